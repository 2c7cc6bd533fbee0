// The fast level: hash chains, one-step lazy matching, blocks of a fixed symbol count.
#pragma once

#include <cstdint>

#include "crushed/encoder_bits.h"

int EncFast(const uint8_t* in, uint32_t size, EncBitWriter* writer); // 0 or ERR_NO_MEMORY

// The same encoding a few blocks at a time, for the best level, which weighs its own
// blocks against these over the same bytes. EncFast is Start, Advance until the whole
// input is written, End.
struct FastState;
struct FastRun {
    const uint8_t* in;
    uint32_t size;
    FastState* state;
    uint32_t blockCount; // symbols of the open block
    uint32_t blockBits;  // its planned size
    uint32_t count;      // symbols in the buffer
    EncBitWriter* writer;
    uint32_t pos;     // next input byte to parse
    uint32_t written; // input bytes that the blocks written so far stand for
    int32_t finished; // the last block is written
};

int EncFastStart(FastRun* run, const uint8_t* in, uint32_t size, EncBitWriter* writer); // 0 or ERR_NO_MEMORY
// Parses on until at least one more block has gone to the writer (the last ones once
// the input is parsed). Returns run->written: the bytes from 0 that the writer's bits
// now stand for, `size` at the end.
uint32_t EncFastAdvance(FastRun* run);
void EncFastEnd(FastRun* run);
