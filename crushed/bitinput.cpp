#include "crushed/bitinput.h"

// Process-wide bit input state, not thread-safe: one entry is decoded at a time.
uint32_t BitBuffer = 0;
uint32_t SpareByte = 0;
uint32_t SpareBits = 0;
uint32_t CompressedLeft = 0;
int32_t InputSlot = -1;

static const uint64_t NOT_ENDED = UINT64_MAX;

// The register and the read-ahead between calls (BitReader is their working copy).
static uint64_t g_bits = 0;
static uint32_t g_count = 0;
// Eight bytes more than a read takes: the read-ahead's last bytes stay readable by the
// eight-byte load of ReaderRefill after the zeros past the data have been put behind them.
static uint8_t g_ahead[READ_AHEAD_BYTES + 8];
static uint32_t g_next = 0;     // g_ahead index of the next byte for the register
static uint32_t g_end = 0;      // g_ahead index behind the last byte
static uint64_t g_aheadAt = 0;  // stream index of g_ahead[0]
static uint64_t g_slotRead = 0; // stream bytes read from the slot since PrimeBits
static uint32_t g_primed = 0;   // CompressedLeft at PrimeBits: the bytes the slot may give
// Stream bytes the slot gave before a read came up short; NOT_ENDED until one does.
// Forgotten when the slot is sought back, so that reading on meets the end again.
static uint64_t g_slotEnd = NOT_ENDED;
// 1 while the slot may stand ahead of the last byte fetched (between chunks).
static int g_slotAhead = 0;

BitReader ReaderLoad() {
    BitReader in;
    in.bits = g_bits;
    in.count = g_count;
    in.next = g_ahead + g_next;
    in.end = g_ahead + g_end;
    return in;
}

void ReaderStore(BitReader in) {
    g_bits = in.bits;
    g_count = in.count;
    g_next = static_cast<uint32_t>(in.next - g_ahead);
    g_end = static_cast<uint32_t>(in.end - g_ahead);
}

BitReader ReaderRefillSlow(BitReader in) {
    // The few bytes not yet taken move to the front; the slot's next bytes, or the
    // zeros that stand in for them, go behind.
    const uint32_t kept = static_cast<uint32_t>(in.end - in.next);
    std::memmove(g_ahead, in.next, kept);
    g_aheadAt += static_cast<uint64_t>(in.next - g_ahead);
    uint32_t filled = kept;
    const uint64_t limit = g_primed < g_slotEnd ? g_primed : g_slotEnd;
    if (g_slotRead < limit) {
        const uint64_t owed = limit - g_slotRead;
        const uint64_t most = READ_AHEAD_BYTES;
        const uint32_t want = static_cast<uint32_t>(owed < most ? owed : most);
        const int32_t got = FileRead(InputSlot, g_ahead + kept, static_cast<int32_t>(want));
        g_slotRead += static_cast<uint32_t>(got);
        filled += static_cast<uint32_t>(got);
        if (static_cast<uint32_t>(got) < want) g_slotEnd = g_slotRead;
    }
    if (g_slotRead >= g_primed || g_slotRead == g_slotEnd) {
        std::memset(g_ahead + filled, 0, sizeof g_ahead - filled);
        filled = sizeof g_ahead;
    }
    // Either the slot gave a whole read (at least 8 bytes) or zeros fill the rest.
    in.next = g_ahead;
    in.end = g_ahead + filled;
    ReaderRefill(in);
    return in;
}

// ---- The one-byte-at-a-time view --------------------------------------------------

static uint64_t ConsumedBits() { return (g_aheadAt + g_next) * 8 - g_count; }

// Bytes fetched when fetching went one byte at a time, as each was needed for the
// next 32 bits: ceil((consumed + 32) / 8).
static uint64_t FetchedBytes(uint64_t consumed) { return (consumed + BIT_BUFFER_BITS + 7) / 8; }

// A byte was asked of the slot that it could not give (its stream had ended).
static int FetchFailed(uint64_t fetched) { return g_slotEnd < g_primed && fetched > g_slotEnd; }

// The bytes handed to the register, counted as the one-byte-at-a-time input counted
// them: compressed bytes fetched (and the one fetch that failed), then the zero bytes
// after them, whose count stopped at the largest 32-bit number.
static uint64_t HandedBytes(uint64_t fetched, uint64_t* fill) {
    uint64_t real = fetched < g_primed ? fetched : g_primed;
    if (FetchFailed(fetched)) real = g_slotEnd + 1;
    *fill = fetched - real;
    if (*fill > UINT32_MAX) *fill = UINT32_MAX;
    return real + *fill;
}

// The one-byte-at-a-time view from the register, which holds at least the bits up to
// the last byte fetched (see BitInputSettle).
static void UpdateView(uint64_t consumed, uint64_t fetched) {
    SpareBits = static_cast<uint32_t>(fetched * 8 - consumed) - BIT_BUFFER_BITS;
    BitBuffer = static_cast<uint32_t>(g_bits >> BIT_BUFFER_BITS);
    // The byte fetched last ends SpareBits below BitBuffer.
    SpareByte = static_cast<uint32_t>(g_bits >> (BIT_BUFFER_BITS - SpareBits)) & 0xFF;
    if (FetchFailed(fetched)) {
        CompressedLeft = 0; // nothing more is asked of an input that has ended
    } else {
        CompressedLeft = fetched < g_primed ? g_primed - static_cast<uint32_t>(fetched) : 0;
    }
}

// Refills and stores the register: with at least READER_REFILLED bits it holds every
// byte up to the last one fetched (those end at most 39 bits behind the consumed ones).
static void RefillStored() {
    BitReader in = ReaderLoad();
    ReaderRefill(in);
    ReaderStore(in);
}

void BitInputSettle() {
    RefillStored();
    const uint64_t consumed = ConsumedBits();
    const uint64_t fetched = FetchedBytes(consumed);

    // Bytes read ahead of the last one fetched go back to the slot; so does a read that
    // met the end of the input before the stream asked for the byte behind it (the seek
    // clears the end the runtime noted). The register keeps the bytes fetched.
    const bool endTooEarly = g_slotEnd != NOT_ENDED && fetched <= g_slotEnd;
    if (g_slotRead > fetched || endTooEarly) {
        const uint32_t waiting = static_cast<uint32_t>(fetched * 8 - consumed); // 32..39
        FileSeek(InputSlot, -static_cast<int32_t>(g_slotRead - fetched), FILE_SEEK_CURRENT);
        g_slotRead = fetched;
        g_slotEnd = NOT_ENDED;
        g_count = waiting;
        g_bits &= ~(UINT64_MAX >> waiting);
        g_aheadAt = fetched;
        g_next = 0;
        g_end = 0;
    }
    g_slotAhead = 0;
    UpdateView(consumed, fetched);
}

void BitInputSettleBetweenChunks() {
    // Once the read-ahead holds every byte the slot still owes, the stream is near its
    // end: the slot goes back at every chunk from then on, so that an entry whose
    // stream fills its compressed size leaves it in place whichever chunk is its last.
    if (g_slotRead >= g_primed || g_slotRead == g_slotEnd) {
        BitInputSettle();
        return;
    }
    RefillStored();
    const uint64_t consumed = ConsumedBits();
    g_slotAhead = 1;
    UpdateView(consumed, FetchedBytes(consumed));
}

void BitInputPutBack() {
    if (g_slotAhead) BitInputSettle();
}

// An empty register and read-ahead for a stream of `primed` bytes from the slot.
static void StartStream(uint32_t primed) {
    g_bits = 0;
    g_count = 0;
    g_next = 0;
    g_end = 0;
    g_aheadAt = 0;
    g_slotRead = 0;
    g_primed = primed;
    g_slotEnd = NOT_ENDED;
    g_slotAhead = 0;
}

void PrimeBits() {
    StartStream(CompressedLeft);
    BitInputSettle();
}

void DropBits(uint32_t n) {
    if (n > BIT_BUFFER_BITS) n = BIT_BUFFER_BITS;
    BitReader in = ReaderLoad();
    ReaderRefill(in);
    ReaderDrop(in, n);
    ReaderStore(in);
    BitInputSettle();
}

uint32_t PullBits(uint32_t n) {
    if (n == 0) return 0;
    if (n > BIT_MAX_FIELD) n = BIT_MAX_FIELD;
    BitReader in = ReaderLoad();
    const uint32_t value = ReaderPull(in, n);
    ReaderStore(in);
    BitInputSettle();
    return value;
}

int BitInputEnded() { return FetchFailed(FetchedBytes(ConsumedBits())); }

int BitInputOverrun() {
    // The register holds (fetched * 8 - consumed) bits not consumed yet; any zero bytes
    // beyond those have been consumed as if they were data.
    const uint64_t consumed = ConsumedBits();
    const uint64_t fetched = FetchedBytes(consumed);
    uint64_t fill = 0;
    HandedBytes(fetched, &fill);
    return fill * 8 > fetched * 8 - consumed;
}

uint64_t BitInputBitsUsed() {
    const uint64_t consumed = ConsumedBits();
    const uint64_t fetched = FetchedBytes(consumed);
    uint64_t fill = 0;
    const uint64_t handed = HandedBytes(fetched, &fill);
    const uint64_t waiting = fetched * 8 - consumed;
    return handed * 8 > waiting ? handed * 8 - waiting : 0;
}

void BitInputResetState() {
    BitBuffer = 0;
    SpareByte = 0;
    SpareBits = 0;
    CompressedLeft = 0;
    InputSlot = -1;
    StartStream(0);
}
