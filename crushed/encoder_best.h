// The best level: every match the binary trees find is kept for a segment of input,
// the segment is parsed for the least bits under the codes' costs (the costs taken
// from the previous parse, a few times over), cut into blocks where the codes
// change, and each block parsed once more under its own codes. Stretch by stretch
// the fast level's blocks for the same bytes are made too, and the smaller of the two
// is sent: the best level is never larger than the fast one.
#pragma once

#include <cstdint>

#include "crushed/encoder_bits.h"

int EncBest(const uint8_t* in, uint32_t size, EncBitWriter* writer); // 0 or ERR_NO_MEMORY
