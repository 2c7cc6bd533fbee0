// The Crushed decoder as it stood before its inner loop was rebuilt for speed: bit
// input fetched a byte at a time, code tables with trees for long codes, and the block
// decoder, frozen here word for word (in a namespace of its own, with its own
// process-wide state) so that tests can require the decoder of crushed/ to give
// exactly what this one gives on any stream. Not to be changed: it is the reference.
#include "reference_decoder.h"

#include <cstring>

#include "engine/events.h"
#include "fileio/codes.h"
#include "fileio/memory.h"
#include "fileio/slots.h"

namespace reference {

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

enum {
    MAIN_TABLE_ENTRIES = 1 << CRUSHED_MAIN_TABLE_BITS, // 4096
    AUX_TABLE_ENTRIES = 1 << CRUSHED_AUX_TABLE_BITS,   // 256
    TABLE_MAX_INDEX_BITS = CRUSHED_MAIN_TABLE_BITS,    // the largest table BuildTable fills
};

// ---- Process-wide state (tables.cpp) --------------------------------------------
extern uint16_t AuxTable[AUX_TABLE_ENTRIES]; // pre-code, then position code of the block
extern uint16_t LeftChild[CRUSHED_TREE_NODES];
extern uint16_t RightChild[CRUSHED_TREE_NODES];

// Builds the table (2^indexBits entries) and, for codes longer than indexBits, the tree
// nodes of a code of symbolCount symbols. 0 on success. ERR_BAD_DATA for a length set
// that is no prefix code: a length above 16, lengths whose codes would overlap (the
// sum of 2^-length above 1), no length other than 0, or a tree needing a node number
// of CRUSHED_TREE_NODES or more. ERR_BAD_ARGUMENT for null pointers, symbolCount 0 or
// at least CRUSHED_TREE_NODES, indexBits outside 1..TABLE_MAX_INDEX_BITS. An
// incomplete set (sum below 1) is valid: stream bits matching no code read as symbol 0.
int BuildTable(uint32_t symbolCount, const uint8_t* lengths, uint32_t indexBits, uint16_t* table);

// Clears the aux table and the child arrays (tests).
void TablesResetState();

// The symbol under a table entry: from a node, one stream bit per step picks the
// branch, the first being the bit of `bits` selected by `mask`. Ends because every
// path that BuildTable creates leads to a symbol within 16 - indexBits steps.
inline uint32_t WalkTree(uint32_t value, uint32_t symbolCount, uint32_t bits, uint32_t mask) {
    while (value >= symbolCount) {
        value = (bits & mask) ? RightChild[value] : LeftChild[value];
        mask >>= 1;
    }
    return value;
}

enum {
    // One 16-bit entry per 12-bit index: 8192 bytes, obtained once and kept for later entries.
    MAIN_TABLE_BYTES = MAIN_TABLE_ENTRIES * sizeof(uint16_t),
};

// ---- Process-wide state (decoder.cpp) -------------------------------------------
extern uint16_t* MainTable; // MAIN_TABLE_BYTES from MemAlloc, held until DecoderRelease
extern uint8_t MainLengths[CRUSHED_MAIN_SYMBOLS];
extern uint8_t AuxLengths[CRUSHED_PRECODE_SYMBOLS]; // pre-code, then position code (13, plus 2 spare)
extern uint32_t BlockSymbolsLeft; // main-code symbols left in the block; 0: the next one starts a block
extern int32_t PendingCopy;       // bytes of the current match still owed to the window
extern uint32_t CopyPosition;     // window index of the next byte the current match copies

// Frees MainTable and puts the decoder, its tables and the bit input back to their
// start-up state (tests).
void DecoderResetState();

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

// Process-wide code tables, not thread-safe: one entry is decoded at a time.
uint16_t AuxTable[AUX_TABLE_ENTRIES];
uint16_t LeftChild[CRUSHED_TREE_NODES];
uint16_t RightChild[CRUSHED_TREE_NODES];

enum {
    CODE_SPACE_BITS = CRUSHED_MAX_CODE_LENGTH, // codes are handled left-aligned in 16 bits
    CODE_SPACE = 1 << CODE_SPACE_BITS,         // 65536: the sum of a complete code
};

// An 8-bit code of n symbols creates at most n * (16 - 8) nodes (one per bit beyond the
// table, per long code), so the pre-code's and position code's nodes stay below 171 and
// cannot touch the main code's, which start at 510.
static_assert(CRUSHED_PRECODE_SYMBOLS * (1 + CRUSHED_MAX_CODE_LENGTH - CRUSHED_AUX_TABLE_BITS) <=
                  CRUSHED_MAIN_SYMBOLS,
              "aux code nodes could overwrite the main code's tree");

int BuildTable(uint32_t symbolCount, const uint8_t* lengths, uint32_t indexBits, uint16_t* table) {
    if (lengths == nullptr || table == nullptr) return ERR_BAD_ARGUMENT;
    if (symbolCount == 0 || symbolCount >= CRUSHED_TREE_NODES) return ERR_BAD_ARGUMENT;
    if (indexBits < 1 || indexBits > TABLE_MAX_INDEX_BITS) return ERR_BAD_ARGUMENT;

    uint32_t lengthCount[CRUSHED_MAX_CODE_LENGTH + 1] = {};
    for (uint32_t symbol = 0; symbol < symbolCount; symbol++) {
        if (lengths[symbol] > CRUSHED_MAX_CODE_LENGTH) return ERR_BAD_DATA;
        lengthCount[lengths[symbol]]++;
    }

    // firstCode[k]: the first left-aligned code of length k. Kept in 32 bits so that a
    // complete code ends at exactly CODE_SPACE and an over-subscribed one above it.
    uint32_t firstCode[CRUSHED_MAX_CODE_LENGTH + 2];
    firstCode[1] = 0;
    for (uint32_t k = 1; k <= CRUSHED_MAX_CODE_LENGTH; k++) {
        firstCode[k + 1] = firstCode[k] + (lengthCount[k] << (CODE_SPACE_BITS - k));
    }
    uint32_t codeSum = firstCode[CRUSHED_MAX_CODE_LENGTH + 1];
    if (codeSum == 0) return ERR_BAD_DATA;         // no symbol: there is nothing to build
    if (codeSum > CODE_SPACE) return ERR_BAD_DATA; // codes would overlap

    // Short codes (up to indexBits) as table indices with their span of entries;
    // long codes as left-aligned codes with the step between two of that length.
    uint32_t shift = CODE_SPACE_BITS - indexBits;
    uint32_t tableSize = 1u << indexBits;
    uint32_t nextCode[CRUSHED_MAX_CODE_LENGTH + 1];
    uint32_t codeStep[CRUSHED_MAX_CODE_LENGTH + 1];
    for (uint32_t k = 1; k <= CRUSHED_MAX_CODE_LENGTH; k++) {
        if (k <= indexBits) {
            nextCode[k] = firstCode[k] >> shift;
            codeStep[k] = 1u << (indexBits - k);
        } else {
            nextCode[k] = firstCode[k];
            codeStep[k] = 1u << (CODE_SPACE_BITS - k);
        }
    }

    // Entries behind the short codes become roots of the long codes, or stay 0 (symbol
    // 0) for bits that match no code of an incomplete set. firstFree is taken before any
    // wrap to 16 bits: a set without short codes must clear the whole table, while one
    // whose short codes fill it clears nothing.
    uint32_t firstFree = firstCode[indexBits + 1] >> shift;
    if (firstFree < tableSize) {
        std::memset(table + firstFree, 0, (tableSize - firstFree) * sizeof(table[0]));
    }

    uint32_t nextNode = symbolCount;
    uint32_t branchBit = 1u << (CODE_SPACE_BITS - 1 - indexBits); // first bit below the index
    for (uint32_t symbol = 0; symbol < symbolCount; symbol++) {
        uint32_t length = lengths[symbol];
        if (length == 0) continue;
        uint32_t code = nextCode[length];
        nextCode[length] = code + codeStep[length];
        if (length <= indexBits) {
            // codeSum <= CODE_SPACE keeps code + codeStep within the table.
            for (uint32_t i = code; i < code + codeStep[length]; i++) {
                table[i] = static_cast<uint16_t>(symbol);
            }
            continue;
        }
        // In a prefix code no other code runs through this one's leaf, so every slot on
        // the way holds 0 (not yet used) or a node of this build.
        uint16_t* slot = &table[code >> shift];
        for (uint32_t step = indexBits; step < length; step++) {
            if (*slot == 0) {
                if (nextNode >= CRUSHED_TREE_NODES) return ERR_BAD_DATA;
                LeftChild[nextNode] = 0;
                RightChild[nextNode] = 0;
                *slot = static_cast<uint16_t>(nextNode);
                nextNode++;
            }
            slot = (code & branchBit) ? &RightChild[*slot] : &LeftChild[*slot];
            code <<= 1;
        }
        *slot = static_cast<uint16_t>(symbol);
    }
    return 0;
}

void TablesResetState() {
    std::memset(AuxTable, 0, sizeof(AuxTable));
    std::memset(LeftChild, 0, sizeof(LeftChild));
    std::memset(RightChild, 0, sizeof(RightChild));
}

// Process-wide decoder state, not thread-safe: one entry is decoded at a time.
uint32_t BytesWritten = 0;
uint16_t* MainTable = nullptr;
uint8_t MainLengths[CRUSHED_MAIN_SYMBOLS];
uint8_t AuxLengths[CRUSHED_PRECODE_SYMBOLS];
uint32_t BlockSymbolsLeft = 0;
int32_t PendingCopy = 0;
uint32_t CopyPosition = 0;
static int g_failure = 0;       // the entry's sticky result: 0 or a negative code
static int g_acceptsChunks = 0; // 1 between DecoderReset and the entry's last (short) chunk
static uint32_t g_history = 0;  // bytes of the entry before the current chunk, at most the window

enum {
    WINDOW_MASK = CRUSHED_WINDOW_SIZE - 1,
    LITERAL_SYMBOLS = CRUSHED_MATCH_OFFSET + CRUSHED_MIN_MATCH, // 256: main-code symbols below are bytes
    NO_SPECIAL_INDEX = 0, // i is at least 1 where it is compared, so 0 never matches
    // Where the decoders peek: the top 12 or 8 bits index a table, the first tree step
    // tests the bit just below them.
    MAIN_INDEX_SHIFT = BIT_BUFFER_BITS - CRUSHED_MAIN_TABLE_BITS, // 20
    AUX_INDEX_SHIFT = BIT_BUFFER_BITS - CRUSHED_AUX_TABLE_BITS,   // 24
    LENGTH_FIELD_BITS = 3,                                        // aux lengths 0..6
    LENGTH_FIELD_SHIFT = BIT_BUFFER_BITS - LENGTH_FIELD_BITS,     // 29
    PRE_ZERO_RUN_BITS = 2,                                        // after the third pre-code length
};

static const uint32_t MAIN_TREE_BIT = 1u << (MAIN_INDEX_SHIFT - 1);       // bit 19
static const uint32_t AUX_TREE_BIT = 1u << (AUX_INDEX_SHIFT - 1);         // bit 23
static const uint32_t LENGTH_ESCAPE_BIT = 1u << (LENGTH_FIELD_SHIFT - 1); // bit 28

static void FillTable(uint16_t* table, uint32_t entries, uint32_t value) {
    for (uint32_t i = 0; i < entries; i++)
        table[i] = static_cast<uint16_t>(value);
}

// Format notes: lengths of the pre-code (19 symbols, 5-bit count, a 2-bit zero run
// after the third length) or the position code (13 symbols, 4-bit count).
//
//     count 0:  single value, countBits wide: every decode yields it and takes no bits
//     count n:  n lengths, each  0..6 as 3 bits  |  7 and up as 111, (length - 7) ones, 0
//
// A position-code count of 14 or 15 is allowed: the extra lengths land in
// AuxLengths[13..14] and take no part in the code, which is built from the first 13.
static int ReadAuxLengths(uint32_t symbolCount, uint32_t countBits, uint32_t specialIndex) {
    uint32_t count = PullBits(countBits);
    if (count == 0) {
        uint32_t value = PullBits(countBits);
        if (value >= symbolCount) return ERR_BAD_DATA;
        std::memset(AuxLengths, 0, sizeof(AuxLengths));
        FillTable(AuxTable, AUX_TABLE_ENTRIES, value);
        return 0;
    }
    // AuxLengths has room for the 19 of the pre-code; the 4-bit position count stays within it.
    if (count > CRUSHED_PRECODE_SYMBOLS) return ERR_BAD_DATA;

    uint32_t i = 0;
    while (i < count) {
        uint32_t length = BitBuffer >> LENGTH_FIELD_SHIFT;
        if (length < CRUSHED_AUX_LENGTH_ESCAPE) {
            DropBits(LENGTH_FIELD_BITS);
        } else {
            for (uint32_t mask = LENGTH_ESCAPE_BIT; BitBuffer & mask; mask >>= 1) {
                length++;
                if (length > CRUSHED_MAX_CODE_LENGTH) return ERR_BAD_DATA;
            }
            // The three escape ones, (length - 7) further ones and the closing zero.
            DropBits(LENGTH_FIELD_BITS + (length - CRUSHED_AUX_LENGTH_ESCAPE) + 1);
        }
        AuxLengths[i++] = static_cast<uint8_t>(length);
        if (i == specialIndex) {
            // At most 3 zeros after the third length: i stays below 7.
            for (uint32_t run = PullBits(PRE_ZERO_RUN_BITS); run > 0; run--)
                AuxLengths[i++] = 0;
        }
    }
    if (i < symbolCount) std::memset(AuxLengths + i, 0, symbolCount - i);
    return BuildTable(symbolCount, AuxLengths, CRUSHED_AUX_TABLE_BITS, AuxTable);
}

// Format notes: the main-code lengths, through the pre-code just read.
//
//     count (9 bits) 0:  single value (9 bits) for every main-code symbol, no bits each
//     count n (1..510):  pre-code symbols until n lengths are set:
//         0: one 0      1: 3 + (4 bits) zeros      2: 20 + (9 bits) zeros
//         3..18: one length of symbol - 2 (1..16)
//
// A zero run may end beyond n, but not beyond the 510th length.
static int ReadMainLengths() {
    uint32_t count = PullBits(CRUSHED_MAIN_COUNT_BITS);
    if (count == 0) {
        uint32_t value = PullBits(CRUSHED_MAIN_COUNT_BITS);
        if (value >= CRUSHED_MAIN_SYMBOLS) return ERR_BAD_DATA;
        std::memset(MainLengths, 0, sizeof(MainLengths));
        FillTable(MainTable, MAIN_TABLE_ENTRIES, value);
        return 0;
    }
    if (count > CRUSHED_MAIN_SYMBOLS) return ERR_BAD_DATA;

    uint32_t i = 0;
    while (i < count) {
        uint32_t symbol = WalkTree(AuxTable[BitBuffer >> AUX_INDEX_SHIFT], CRUSHED_PRECODE_SYMBOLS, BitBuffer,
                                   AUX_TREE_BIT);
        DropBits(AuxLengths[symbol]);
        if (symbol == CRUSHED_PRE_ZERO) {
            MainLengths[i++] = 0;
        } else if (symbol == CRUSHED_PRE_RUN_SHORT || symbol == CRUSHED_PRE_RUN_LONG) {
            uint32_t run = (symbol == CRUSHED_PRE_RUN_SHORT)
                               ? PullBits(CRUSHED_PRE_RUN_SHORT_BITS) + CRUSHED_PRE_RUN_SHORT_MIN
                               : PullBits(CRUSHED_PRE_RUN_LONG_BITS) + CRUSHED_PRE_RUN_LONG_MIN;
            if (run > CRUSHED_MAIN_SYMBOLS - i) return ERR_BAD_DATA;
            std::memset(MainLengths + i, 0, run);
            i += run;
        } else {
            MainLengths[i++] = static_cast<uint8_t>(symbol - CRUSHED_PRE_LENGTH_BASE);
        }
    }
    std::memset(MainLengths + i, 0, CRUSHED_MAIN_SYMBOLS - i);
    return BuildTable(CRUSHED_MAIN_SYMBOLS, MainLengths, CRUSHED_MAIN_TABLE_BITS, MainTable);
}

static int ReadBlockHeader() {
    BlockSymbolsLeft = PullBits(CRUSHED_BLOCK_COUNT_BITS);
    int rc =
        ReadAuxLengths(CRUSHED_PRECODE_SYMBOLS, CRUSHED_PRECODE_COUNT_BITS, CRUSHED_PRECODE_SPECIAL_INDEX);
    if (rc < 0) return rc;
    rc = ReadMainLengths();
    if (rc < 0) return rc;
    return ReadAuxLengths(CRUSHED_POSITION_SYMBOLS, CRUSHED_POSITION_COUNT_BITS, NO_SPECIAL_INDEX);
}

// A match's position: symbol 0 is position 0, symbol s > 0 is 2^(s-1) plus the s - 1
// bits that follow the code. Code and extra bits (at most 16 + 11) are taken at once.
static inline uint32_t DecodePosition(BitReader& in) {
    uint32_t symbol = AuxTable[in.buffer >> AUX_INDEX_SHIFT];
    if (symbol >= CRUSHED_POSITION_SYMBOLS) {
        symbol = WalkTree(symbol, CRUSHED_POSITION_SYMBOLS, in.buffer, AUX_TREE_BIT);
    }
    uint32_t codeLength = AuxLengths[symbol];
    if (symbol <= 1) {
        ReaderDrop(in, codeLength);
        return symbol;
    }
    uint32_t extraBits = symbol - 1;
    uint32_t extra = (in.buffer << codeLength) >> (BIT_BUFFER_BITS - extraBits);
    ReaderDrop(in, codeLength + extraBits);
    return (1u << extraBits) | extra;
}

// Copies the rest of the current match one byte at a time through the ring, as far as
// the chunk goes. Returns the next index to write.
static uint32_t CopyPending(uint8_t* window, uint32_t r, uint32_t count) {
    while (PendingCopy > 0 && r < count) {
        PendingCopy--;
        window[r++] = window[CopyPosition];
        CopyPosition = (CopyPosition + 1) & WINDOW_MASK;
    }
    return r;
}

// A match that fits the chunk and whose source does not wrap around the ring. The
// result must equal a forward byte-by-byte copy: when the source lies just behind
// the destination (distance below the length) the bytes repeat with the distance.
static inline void CopyMatch(uint8_t* window, uint32_t r, uint32_t from, uint32_t length) {
    uint8_t* out = window + r;
    const uint8_t* in = window + from;
    if (from >= r || r - from >= length) {
        // Apart, or the source ahead of the destination: forward order is memmove's.
        std::memmove(out, in, length);
    } else if (r - from == 1) {
        std::memset(out, *in, length);
    } else {
        for (uint32_t i = 0; i < length; i++)
            out[i] = in[i];
    }
}

// The inner loop: literals and matches until the chunk is full. The bit input is
// held in a local copy so that writes to the window cannot force it back to memory.
static int DecodeSymbols(uint8_t* window, uint32_t r, uint32_t count) {
    BitReader in;
    ReaderLoad(in);
    const uint16_t* mainTable = MainTable;
    uint32_t symbolsLeft = BlockSymbolsLeft;
    int rc = 0;
    while (r < count) {
        if (symbolsLeft == 0) {
            ReaderStore(in);
            rc = ReadBlockHeader();
            ReaderLoad(in);
            symbolsLeft = BlockSymbolsLeft;
            if (rc < 0) break;
        }
        symbolsLeft--; // a stored count of 0 wraps: that block serves the rest of the entry

        uint32_t symbol = mainTable[in.buffer >> MAIN_INDEX_SHIFT];
        if (symbol >= CRUSHED_MAIN_SYMBOLS) {
            symbol = WalkTree(symbol, CRUSHED_MAIN_SYMBOLS, in.buffer, MAIN_TREE_BIT);
        }
        ReaderDrop(in, MainLengths[symbol]);
        if (symbol < LITERAL_SYMBOLS) {
            window[r++] = static_cast<uint8_t>(symbol);
            continue;
        }

        uint32_t length = symbol - CRUSHED_MATCH_OFFSET;
        uint32_t position = DecodePosition(in);
        // The distance (position + 1) may reach back to the entry's first byte, no further.
        if (position >= g_history + r) {
            rc = ERR_BAD_DATA;
            break;
        }
        uint32_t from = (r - position - 1) & WINDOW_MASK;
        if (length <= count - r && length <= CRUSHED_WINDOW_SIZE - from) {
            CopyMatch(window, r, from, length);
            r += length;
        } else {
            PendingCopy = static_cast<int32_t>(length);
            CopyPosition = from;
            r = CopyPending(window, r, count);
        }
    }
    BlockSymbolsLeft = symbolsLeft;
    ReaderStore(in);
    return rc;
}

int DecoderReset() {
    g_failure = 0;
    g_acceptsChunks = 0;
    g_history = 0;
    BlockSymbolsLeft = 0;
    PendingCopy = 0;
    if (MainTable == nullptr) MainTable = static_cast<uint16_t*>(MemAlloc(MAIN_TABLE_BYTES));
    if (MainTable == nullptr) {
        g_failure = ERR_NO_MEMORY;
        return g_failure;
    }
    PrimeBits();
    if (BitInputEnded()) {
        g_failure = ERR_BAD_DATA;
        return g_failure;
    }
    g_acceptsChunks = 1;
    return 0;
}

int DecodeChunk(EntryDescriptor* descriptor, uint32_t count, uint8_t* window) {
    if (g_failure < 0) return g_failure;
    if (window == nullptr || count == 0 || count > CRUSHED_WINDOW_SIZE || !g_acceptsChunks) {
        return ERR_BAD_ARGUMENT;
    }
    RaiseEvent(descriptor, EVT_PROGRESS, static_cast<int32_t>(BytesWritten));

    uint32_t r = CopyPending(window, 0, count);
    int rc = (r < count) ? DecodeSymbols(window, r, count) : 0;
    // Input that ended early, or a stream whose codes run on past its compressed size,
    // would otherwise decode to filler bytes reported as the entry's content.
    if (rc == 0 && (BitInputEnded() || BitInputOverrun())) rc = ERR_BAD_DATA;
    if (rc < 0) {
        g_failure = rc;
        g_acceptsChunks = 0;
        std::memset(window, 0, count);
        return rc;
    }
    // Only the entry's last chunk may be short; after it the ring no longer lines up.
    if (count < CRUSHED_WINDOW_SIZE) g_acceptsChunks = 0;
    g_history += count;
    if (g_history > CRUSHED_WINDOW_SIZE) g_history = CRUSHED_WINDOW_SIZE;
    return 0;
}

void DecoderRelease() {
    MemFree(MainTable);
    MainTable = nullptr;
    g_acceptsChunks = 0;
}

void DecoderResetState() {
    DecoderRelease();
    BitInputResetState();
    TablesResetState();
    std::memset(MainLengths, 0, sizeof(MainLengths));
    std::memset(AuxLengths, 0, sizeof(AuxLengths));
    BytesWritten = 0;
    BlockSymbolsLeft = 0;
    PendingCopy = 0;
    CopyPosition = 0;
    g_failure = 0;
    g_history = 0;
}

} // namespace reference
