#include "crushed/decoder.h"

#include <cstring>

#include "crushed/bitinput.h"
#include "engine/events.h"
#include "fileio/codes.h"
#include "fileio/memory.h"

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
