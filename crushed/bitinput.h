// Bit input of the Crushed decoder: the entry's compressed bytes as one bit stream.
//
// Format notes. Bytes are taken in file order, each from its most significant bit
// down. Every code and field of the format is at most 16 bits, so a decoder can peek
// at a whole code before consuming it. Beyond the compressed size, and behind input
// that ended early, the stream continues with zero bits.
//
// Two views of the same stream. The decoder works on a 64-bit register (BitReader)
// filled from a read-ahead buffer that takes the slot's bytes a block at a time:
//
//     bits                                   read-ahead              slot
//     63                                  0  [ ... next ... end )    [ read ... )
//     [ count unconsumed bits | behind them ]   bytes not yet in bits  not yet read
//
// Outside the decoder's loop the stream keeps the shape it had when bytes were fetched
// one at a time: BitBuffer holds the next 32 unconsumed bits, the low SpareBits bits of
// SpareByte the bits after those, and the slot stands behind the last byte fetched.
// That shape is a function of the bits consumed alone: with B bits consumed, exactly
// F = ceil((B + 32) / 8) bytes have been fetched. BitInputSettle puts the read-ahead
// back into that shape (the slot sought back behind byte F, the bytes behind it
// forgotten), so that a caller sees the slot, CompressedLeft and the counts exactly as
// the stream's bits place them, whatever was read ahead. The calls below end with it;
// between the chunks of an entry the decoder brings only the counts up to date and
// leaves the slot ahead (a seek per chunk would cost a tenth of the decoding), until
// the entry fails, ends with a short chunk, has every byte it may read in hand, or its
// caller says it is over (DecoderPutBack).
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.
#pragma once

#include <cstdint>
#include <cstring>

#include "crushed/crushed.h"
#include "fileio/slots.h"

// ---- The one-byte-at-a-time view, refreshed by BitInputSettle ----------------
extern uint32_t BitBuffer; // the next 32 unconsumed bits; the next one is bit 31
extern uint32_t SpareByte; // the byte fetched last
extern uint32_t SpareBits; // 0..7 low bits of SpareByte not yet in BitBuffer

enum {
    BIT_BUFFER_BITS = 32, // the view's register
    BIT_MAX_FIELD = 16,   // longest code or field taken in one PullBits
    READER_BITS = 64,     // the decoder's register
    // After ReaderRefill at least this many bits are in the register: a main code (16),
    // a position code (16) and its extra bits (11) fit without another refill.
    READER_REFILLED = READER_BITS - 8,
    // Bytes taken from the slot per read. Small against the runtime's own buffer, so
    // that the seek back behind the bytes consumed stays within what it holds.
    READ_AHEAD_BYTES = 1024,
};

// Starts the stream from CompressedLeft bytes of InputSlot and settles it: BitBuffer
// holds the first four bytes (fewer when CompressedLeft is smaller).
void PrimeBits();
// Discards the top n bits (0..32) of BitBuffer, appends the next n stream bits, settles.
void DropBits(uint32_t n);
// The next n bits (0..16) as a number, first bit most significant; then DropBits(n).
uint32_t PullBits(uint32_t n);
// Puts the bit input back to its start-up state (tests).
void BitInputResetState();

// ---- Register copy for the block decoder's inner loop --------------------------
//
// Loading the state into a local record lets the compiler keep it in registers while
// the window is written through a byte pointer; ReaderStore puts it back. Records go
// in and out of the functions that are not inlined by value: a record whose address
// is taken could be written through the window's byte pointer, as far as the compiler
// knows, and would be kept in memory.
struct BitReader {
    uint64_t bits;       // next unconsumed bit in bit 63
    uint32_t count;      // bits of `bits` that are the stream's (0..64)
    const uint8_t* next; // the read-ahead's next byte for `bits`
    const uint8_t* end;  // behind its last byte
};

BitReader ReaderLoad();
void ReaderStore(BitReader in);
// Puts the stream into its one-byte-at-a-time shape (see above): the slot behind the
// last byte fetched, BitBuffer, SpareByte, SpareBits and CompressedLeft as fetching
// would have left them.
void BitInputSettle();
// Between two chunks: CompressedLeft, the view and the counts up to date; the slot put
// back only when no more than the rest of the compressed size lies ahead of it.
void BitInputSettleBetweenChunks();
// BitInputSettle when the slot may stand ahead; nothing otherwise.
void BitInputPutBack();
// Reads the next block from the slot (or supplies zeros past the data) and refills.
BitReader ReaderRefillSlow(BitReader in);

// Eight stream bytes as one number, the first most significant. Spelt out byte by byte
// so that it is the same on every processor; compilers make it one load and a byte swap.
inline uint64_t LoadBigEndian64(const uint8_t* p) {
    return (static_cast<uint64_t>(p[0]) << 56) | (static_cast<uint64_t>(p[1]) << 48) |
           (static_cast<uint64_t>(p[2]) << 40) | (static_cast<uint64_t>(p[3]) << 32) |
           (static_cast<uint64_t>(p[4]) << 24) | (static_cast<uint64_t>(p[5]) << 16) |
           (static_cast<uint64_t>(p[6]) << 8) | static_cast<uint64_t>(p[7]);
}

// Tops the register up to at least READER_REFILLED bits, whole bytes at a time.
// `bits |= word >> count` also ORs in the leading bits of the byte after the last one
// taken; they are that byte's own bits, which the next refill ORs in again at the same
// place, so they do no harm (and below `count` nothing is read as the stream's).
inline void ReaderRefill(BitReader& in) {
    if (in.count >= READER_REFILLED) return;
    if (in.end - in.next < 8) {
        in = ReaderRefillSlow(in);
        return;
    }
    in.bits |= LoadBigEndian64(in.next) >> in.count;
    const uint32_t taken = (READER_BITS - 1 - in.count) >> 3;
    in.next += taken;
    in.count += taken * 8;
}

// The top n bits (1..32) of the register, which must hold them.
inline uint32_t ReaderPeek(const BitReader& in, uint32_t n) {
    return static_cast<uint32_t>(in.bits >> (READER_BITS - n));
}

// Drops n bits (0..count): a shift below 64, so n = 0 is safe.
inline void ReaderDrop(BitReader& in, uint32_t n) {
    in.bits <<= n;
    in.count -= n;
}

// The next n bits (1..16), refilling first when the register holds fewer.
inline uint32_t ReaderPull(BitReader& in, uint32_t n) {
    if (in.count < n) ReaderRefill(in);
    const uint32_t value = ReaderPeek(in, n);
    ReaderDrop(in, n);
    return value;
}
