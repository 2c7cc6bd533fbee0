// The CRC-32 that an entry's checksum field carries: the one of zip and gzip
// (reflected polynomial 0xEDB88320, register started and finished inverted), over the
// entry's uncompressed bytes.
//
// The tables are built into process-wide state on the first call, not thread-safe:
// built at run time rather than held as constants, so the launcher's file grows by
// the few bytes of the builder only, and none of its bytes can happen to spell a
// record signature.
#pragma once

#include <cstdint>

enum {
    CHECKSUM_EMPTY = 0, // the checksum of no bytes, and the value to start a running one with
    // Bytes taken per step: one table per byte of the step, so the step costs eight
    // look-ups and no shifts through the register bit by bit.
    CHECKSUM_SLICE_BYTES = 8,
    CHECKSUM_TABLE_SIZE = 256,
};

// The checksum of bytes that follow those whose checksum is `checksum`: start with
// CHECKSUM_EMPTY and feed the data in pieces of any size.
// 0x04C11DB7 with its bits in reverse order: the register shifts to the right.
constexpr uint32_t CHECKSUM_POLYNOMIAL = 0xEDB88320u;

uint32_t ChecksumUpdate(uint32_t checksum, const uint8_t* bytes, uint32_t count);
// The same, eight bytes at a time throughout, never folded by the processor's
// carry-less multiplication (for tests to compare the two ways).
uint32_t ChecksumUpdateBySlices(uint32_t checksum, const uint8_t* bytes, uint32_t count);
