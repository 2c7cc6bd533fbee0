// Whether arq may replace the file it was told to write. An existing ARCHIVE (arq
// create) or OUTPUT (arq show) is replaced only when it already is what the command
// makes, so that a name typed in the wrong place never destroys another file.
#pragma once

#include <string>

// What an existing output must already be for it to be replaced.
enum OutputKind {
    OUTPUT_ARCHIVE, // arq create: an archive (a self-extracting program too)
    OUTPUT_PROGRAM, // arq show: a Windows program (an earlier show too)
};

// Whether the output may be replaced. A missing or empty file, or one of the kind asked
// for, may; anything else is left as it is: ARQ_EXIT_NOT_REPLACED after a message. A
// link is judged by what it leads to.
int OutputMayReplace(const std::string& output, OutputKind kind);
