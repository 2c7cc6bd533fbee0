// The CRC-32 carried over whole 16-byte blocks by carry-less multiplication, for
// processors that have it; engine/checksum.cpp takes the bytes it leaves.
//
// Format notes. Read as a polynomial over GF(2), the register after a message M is
// M * x^32 mod P (the register started at 0; a start value is first folded into M's
// first four bytes). So 16 bytes X followed by n more bytes may be replaced by
// X * x^(8n) mod P, laid over the first 16 of those bytes, without changing the
// register at the end: for X = H * x^64 + L that is H * (x^(8n+64) mod P) +
// L * (x^(8n) mod P), two carry-less products of a 64-bit half with a 32-bit constant.
// Four such running blocks 64 bytes apart keep the multiplier busy; they are then
// folded into one, and the one 16-byte block left over is the message whose register,
// from 0, is the register of everything folded.
//
//   bytes 0..15 of a block, loaded little-endian:  bit j  <->  x^(127 - j)
//   low half = H (x^127 .. x^64), high half = L (x^63 .. x^0)
#pragma once

#include <cstdint>

enum {
    CHECKSUM_FOLD_BLOCK = 16,                    // bytes folded at a time
    CHECKSUM_FOLD_MIN = 4 * CHECKSUM_FOLD_BLOCK, // the four running blocks to start with
};

// 1 when this processor multiplies without carries (and ChecksumFold may be called).
int ChecksumFoldAvailable();

// Folds size bytes (a multiple of CHECKSUM_FOLD_BLOCK, at least CHECKSUM_FOLD_MIN) into
// the register value reg (the running register, not its inverse). residue receives the
// 16 bytes whose register, started at 0, is the register after all size bytes.
void ChecksumFold(uint32_t reg, const uint8_t* bytes, uint32_t size, uint8_t residue[CHECKSUM_FOLD_BLOCK]);
