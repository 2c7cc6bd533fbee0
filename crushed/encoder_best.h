// The best level: every match the binary trees find is kept for a segment of input,
// the segment is parsed for the least bits, each symbol priced by its share of the
// previous parse's counts (a few times over), cut into blocks where the codes change
// (ends chosen on a grid of 1024 symbols, then moved on one of 128), and each block
// parsed again under its own codes. Stretch by stretch the fast level's blocks for
// the same bytes are made too, and the smaller of the two is sent: the best level is
// never larger than the fast one.
#pragma once

#include <cstdint>

#include "crushed/encoder_bits.h"

int EncBest(const uint8_t* in, uint32_t size, EncBitWriter* writer); // 0 or ERR_NO_MEMORY
