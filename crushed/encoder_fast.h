// The fast level: hash chains, one-step lazy matching, blocks of a fixed symbol count.
#pragma once

#include <cstdint>

#include "crushed/encoder_bits.h"

int EncFast(const uint8_t* in, uint32_t size, EncBitWriter* writer); // 0 or ERR_NO_MEMORY
