#include "crushed/bitinput.h"

// Process-wide bit input state, not thread-safe: one entry is decoded at a time.
uint32_t BitBuffer = 0;
uint32_t SpareByte = 0;
uint32_t SpareBits = 0;
uint32_t CompressedLeft = 0;
int32_t InputSlot = -1;
static int32_t g_inputEnded = 0;
static uint32_t g_fillBytes = 0; // zero bytes supplied behind the compressed data
static uint32_t g_lostBytes = 0; // compressed bytes not fetched after the input ended
// CompressedLeft when the stream was primed: with it the bytes handed to the bit buffer
// are counted without a count in the fetch itself.
static uint32_t g_primedBytes = 0;

void ReaderLoad(BitReader& in) {
    in.buffer = BitBuffer;
    in.spareByte = SpareByte;
    in.spareBits = SpareBits;
    in.left = CompressedLeft;
    in.slot = InputSlot;
    in.ended = g_inputEnded;
    in.fill = g_fillBytes;
    in.lost = g_lostBytes;
}

void ReaderStore(const BitReader& in) {
    BitBuffer = in.buffer;
    SpareByte = in.spareByte;
    SpareBits = in.spareBits;
    CompressedLeft = in.left;
    g_inputEnded = in.ended;
    g_fillBytes = in.fill;
    g_lostBytes = in.lost;
}

void PrimeBits() {
    BitBuffer = 0;
    SpareByte = 0;
    SpareBits = 0;
    g_inputEnded = 0;
    g_fillBytes = 0;
    g_lostBytes = 0;
    g_primedBytes = CompressedLeft;
    DropBits(BIT_BUFFER_BITS);
}

void DropBits(uint32_t n) {
    if (n > BIT_BUFFER_BITS) n = BIT_BUFFER_BITS;
    BitReader in;
    ReaderLoad(in);
    // A shift by the full register width is undefined in C++; two halves do the same job.
    if (n > BIT_MAX_FIELD) {
        ReaderDrop(in, BIT_MAX_FIELD);
        n -= BIT_MAX_FIELD;
    }
    ReaderDrop(in, n);
    ReaderStore(in);
}

uint32_t PullBits(uint32_t n) {
    if (n == 0) return 0;
    if (n > BIT_MAX_FIELD) n = BIT_MAX_FIELD;
    BitReader in;
    ReaderLoad(in);
    uint32_t value = ReaderPull(in, n);
    ReaderStore(in);
    return value;
}

int BitInputEnded() { return g_inputEnded; }

int BitInputOverrun() {
    // The register and the spare byte hold 32 + SpareBits bits not consumed yet; any
    // fill bits beyond those have been consumed as if they were data.
    return static_cast<uint64_t>(g_fillBytes) * 8 > BIT_BUFFER_BITS + SpareBits;
}

uint64_t BitInputBitsUsed() {
    // Every fetch hands one byte: a compressed one (the primed count less those still
    // owed or lost) or a zero in their place.
    const uint64_t handed = static_cast<uint64_t>(g_primedBytes - CompressedLeft - g_lostBytes) + g_fillBytes;
    const uint64_t waiting = BIT_BUFFER_BITS + SpareBits;
    return handed * 8 > waiting ? handed * 8 - waiting : 0;
}

void BitInputResetState() {
    BitBuffer = 0;
    SpareByte = 0;
    SpareBits = 0;
    CompressedLeft = 0;
    InputSlot = -1;
    g_inputEnded = 0;
    g_fillBytes = 0;
    g_lostBytes = 0;
    g_primedBytes = 0;
}
