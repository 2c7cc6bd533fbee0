// The files that arq create is to store, found from the paths on its command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

struct InputFile {
    std::string source; // the path to read it from
    std::string stored; // its stored name: relative to the path given, '\' between folders
    uint64_t size;
    int64_t mtime;     // seconds since 1970-01-01 UTC
    int executable;    // the owner may run it
    uint16_t mode = 0; // stored mode when not 0; otherwise from the name and executable
    // The name's letter case as the engine reads it: WRITER_NAME_CASE (upper-cased) or
    // NAME_CASE_KEEP. stored is already in that case and in the archive's code page.
    uint8_t name_case = WRITER_NAME_CASE;
    // stored as the host spells it, for messages; empty: stored itself.
    std::string shown;
    // The times of the folders in stored, outermost first, on the first file stored
    // from them (see tools/arq/folder_times.h); empty on the others.
    std::vector<int64_t> folder_times;
};

// How arq create names what it stores.
struct CollectOptions {
    std::string directory; // -C: relative paths are taken from this folder; empty: none
    int keep_case;         // --keep-case: names keep their letter case (NAME_CASE_KEEP)
    unsigned code_page;    // the ANSI code page the stored names are written in
};

// Every regular file the paths name: a file under its own name, a folder under its
// own name (its last component; "." and a root add none) with everything in it, in
// name order, each folder's time on the first file in it. The archive being written (at archivePath) is left
// out. Fails, with a message, on a named path that does not exist, a name the format or the code page cannot
// carry (too long, holding ':' or '\', a device name of Windows), names that would clash when extracted
// (every clash is named), or a file too large for the format. Inside folders, what cannot be stored (devices,
// pipes, unreadable files and folders, links to nothing, links back to a folder they lie in) is passed over
// with a message each, counted in *skipped; empty folders, which an archive cannot hold, are counted in one
// message. Returns ARQ_EXIT_OK or the exit code.
int CollectInputs(const std::vector<std::string>& paths, const std::string& archivePath,
                  const CollectOptions& options, std::vector<InputFile>* files, int* skipped);

// Fills file->stored with a name as the host spells it ('\\' between folders) in the
// archive's code page, upper-cased unless keepCase, and file->shown with the host's
// spelling in the same letter case. The reason when it cannot be stored, else empty.
std::string StoredNameOf(const std::string& host, unsigned codePage, int keepCase, InputFile* file);

// A stored name the engine would refuse to extract is refused when it is stored.
// The reason, or empty when the name is fine.
std::string StoredNameProblem(const std::string& stored);
