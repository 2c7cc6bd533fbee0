// How arq create and arq show store entries, as --stored, --fast and --best choose.
#pragma once

#include "tools/arq/options.h"

// How entries are stored.
enum {
    OUTPUT_STORED = 0, // as they are
    // Otherwise a CRUSHED_LEVEL_: Crushed when that is smaller, else Stored.
};

// The storing level that --stored, --fast and --best (given by their option ids) ask
// for: OUTPUT_STORED or a CRUSHED_LEVEL_, CRUSHED_LEVEL_DEFAULT when none is given, -1
// when they contradict each other.
int OutputChosenLevel(const CommandLine& line, int storedId, int fastId, int bestId);
