// The storing level the command line asks for.
#include "tools/arq/compression_level.h"

#include "crushed/crushed.h"

int OutputChosenLevel(const CommandLine& line, int storedId, int fastId, int bestId) {
    int level = CRUSHED_LEVEL_DEFAULT;
    int chosen = 0;
    for (const ParsedOption& option : line.options) {
        int asked;
        if (option.id == storedId) {
            asked = OUTPUT_STORED;
        } else if (option.id == fastId) {
            asked = CRUSHED_LEVEL_FAST;
        } else if (option.id == bestId) {
            asked = CRUSHED_LEVEL_BEST;
        } else {
            continue;
        }
        // Naming one level twice is no contradiction.
        if (chosen && asked != level) return -1;
        level = asked;
        chosen = 1;
    }
    return level;
}
