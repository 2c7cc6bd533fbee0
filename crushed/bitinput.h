// Bit input of the Crushed decoder: the entry's compressed bytes as one bit stream.
//
// Format notes. Bytes are taken in file order, each from its most significant bit
// down. BitBuffer always holds the next 32 unconsumed bits, the next one in bit 31;
// the low SpareBits bits of SpareByte are the bits after those:
//
//     BitBuffer                          SpareByte
//     31                               0  7       0
//     [ next 32 bits of the stream     ]  [ used |  SpareBits still to come ]
//
// Every code and field of the format is at most 16 bits, so a decoder can peek at
// a whole code in BitBuffer before consuming it. Bytes are fetched one FileGetByte
// at a time, only when BitBuffer needs them, and never more than CompressedLeft of
// them: after a well-formed entry the slot stands exactly on the byte behind its
// compressed data, where the next record starts, without a seek. Beyond the
// compressed size the stream continues with zero bits.
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.
// The block decoder works on a register copy of it (BitReader) in its inner loop.
#pragma once

#include <cstdint>

#include "crushed/crushed.h"
#include "fileio/slots.h"

// ---- Process-wide state (bitinput.cpp) ----------------------------------------
extern uint32_t BitBuffer; // the next 32 unconsumed bits; the next one is bit 31
extern uint32_t SpareByte; // the byte fetched last
extern uint32_t SpareBits; // 0..8 low bits of SpareByte not yet in BitBuffer

enum {
    BIT_BUFFER_BITS = 32,
    BIT_MAX_FIELD = 16, // longest code or field taken in one PullBits
};

// Starts the stream: BitBuffer, SpareByte and SpareBits to 0, then DropBits(32), which
// fetches the first four bytes (fewer when CompressedLeft is smaller).
void PrimeBits();
// Discards the top n bits (0..32) of BitBuffer and appends the next n stream bits.
void DropBits(uint32_t n);
// The next n bits (0..16) as a number, first bit most significant; then DropBits(n).
uint32_t PullBits(uint32_t n);
// Puts the bit input back to its start-up state (tests).
void BitInputResetState();

// ---- Register copy for the block decoder's inner loop --------------------------
//
// Loading the state into a local record lets the compiler keep it in registers while
// the window is written through a byte pointer; ReaderStore puts it back.
struct BitReader {
    uint32_t buffer;
    uint32_t spareByte;
    uint32_t spareBits;
    uint32_t left;
    int32_t slot;
    int32_t ended;
    uint32_t fill; // zero bytes supplied after the compressed size was used up
    uint32_t lost; // compressed bytes never fetched because the input ended early
};

void ReaderLoad(BitReader& in);
void ReaderStore(const BitReader& in);

// The next byte of the entry (one FileGetByte), or 0 once its compressed size is used up.
inline uint32_t ReaderFetch(BitReader& in) {
    if (in.left == 0) {
        if (in.fill < UINT32_MAX) in.fill++;
        return 0;
    }
    in.left--;
    int byte = FileGetByte(in.slot);
    if (byte < 0) {
        // The input ended before the compressed size: nothing behind it is worth asking for.
        in.ended = 1;
        in.lost = in.left;
        in.left = 0;
        return 0;
    }
    return static_cast<uint32_t>(byte);
}

// DropBits for n from 0 to 31.
inline void ReaderDrop(BitReader& in, uint32_t n) {
    in.buffer <<= n;
    while (n > in.spareBits) {
        n -= in.spareBits;
        // The spare bits land directly above the n bits still missing.
        in.buffer |= in.spareByte << n;
        in.spareByte = ReaderFetch(in);
        in.spareBits = 8;
    }
    in.spareBits -= n;
    // The bits of spareByte above the new ones are already in place; OR-ing them again is harmless.
    in.buffer |= in.spareByte >> in.spareBits;
}

// PullBits for n from 1 to 16.
inline uint32_t ReaderPull(BitReader& in, uint32_t n) {
    uint32_t value = in.buffer >> (BIT_BUFFER_BITS - n);
    ReaderDrop(in, n);
    return value;
}
