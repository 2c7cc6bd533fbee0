// Forward search for a record signature in a file held by a slot (the calls are in
// engine/engine.h): its buffer sizes.
#pragma once

#include <cstdint>

#include "engine/engine.h"

enum {
    // The file is scanned in chunks of this size (or the bytes left, when fewer).
    SEARCH_CHUNK_SIZE = 0x30000,
    // Under memory pressure the chunk is halved and tried again while it is at least
    // this size, so from a full chunk the sizes tried are 0x30000, 0x18000, 0xC000,
    // 0x6000 and 0x3000.
    SEARCH_CHUNK_RETRY_MIN = 0x4000,
    // Longest pattern accepted; its fallback table lives on the stack. The engine's
    // own patterns are the 4-byte signatures.
    SEARCH_PATTERN_MAX = 64,
};
