#include "crushed/decoder.h"

#include <cstring>

#include "crushed/bitinput.h"
#include "engine/events.h"
#include "fileio/codes.h"
#include "fileio/memory.h"

// Process-wide decoder state, not thread-safe: one entry is decoded at a time.
uint32_t BytesWritten = 0;
DecoderTables* MainTable = nullptr;
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
    // Where the header's decoders peek in the top 32 bits of the register: the top 8
    // bits index the pre-code's table, the first tree step tests the bit below them.
    AUX_INDEX_SHIFT = BIT_BUFFER_BITS - CRUSHED_AUX_TABLE_BITS, // 24
    LENGTH_FIELD_BITS = 3,                                      // aux lengths 0..6
    LENGTH_FIELD_SHIFT = BIT_BUFFER_BITS - LENGTH_FIELD_BITS,   // 29
    PRE_ZERO_RUN_BITS = 2,                                      // after the third pre-code length
    // Lookup entries (see crushed/tables.h). A leaf of the main code holds the symbol
    // and its code length; one of the position code the position's base (0, 1 or
    // 2^(s-1)), the count of extra bits (s - 1 from symbol 2 on) and the code length.
    LEAF_LENGTH_SHIFT = 16,
    LEAF_LENGTH_MASK = 0x1F,
    MAIN_LEAF_SYMBOL_MASK = 0xFFFF,
    POSITION_BASE_MASK = 0xFFF,
    POSITION_EXTRA_SHIFT = 12,
    POSITION_EXTRA_MASK = 0xF,
    // The most one symbol takes: a main code, a position code and 11 extra bits. The
    // inner loop refills only when fewer are left, which after a refill (56 or more)
    // lets most literals and short codes go by without one.
    SYMBOL_MAX_BITS = 2 * CRUSHED_MAX_CODE_LENGTH + CRUSHED_WINDOW_BITS - 1, // 43
    MAIN_LOOKUP_SHIFT = READER_BITS - CRUSHED_MAIN_TABLE_BITS,               // 52
    POSITION_LOOKUP_SHIFT = READER_BITS - CRUSHED_AUX_TABLE_BITS,            // 56
};

static const uint32_t AUX_TREE_BIT = 1u << (AUX_INDEX_SHIFT - 1);         // bit 23
static const uint32_t LENGTH_ESCAPE_BIT = 1u << (LENGTH_FIELD_SHIFT - 1); // bit 28

static_assert(static_cast<int>(CRUSHED_MAIN_SYMBOLS) <= MAIN_LEAF_SYMBOL_MASK,
              "main leaves too narrow for a symbol");
static_assert((1 << (CRUSHED_POSITION_SYMBOLS - 2)) <= POSITION_BASE_MASK,
              "position leaves too narrow for a base");
static_assert(static_cast<int>(MAIN_LOOKUP_ENTRIES) <= TABLE_LINK_OFFSET_MASK,
              "second-level offsets do not fit a link");

// The top 32 bits of the register, refilled first: the header's fields are read
// from them as they were from the 32-bit register (a field and its escape run, or a
// pre-code walk, need at most 16 of them).
static uint32_t PeekHeaderBits(BitReader& in) {
    ReaderRefill(in);
    return ReaderPeek(in, BIT_BUFFER_BITS);
}

// The position code as lookup leaves: symbol s (lengths from AuxLengths).
static void BuildPositionLeaves(uint32_t* leafOf) {
    for (uint32_t s = 0; s < CRUSHED_POSITION_SYMBOLS; s++) {
        const uint32_t extraBits = s >= 2 ? s - 1 : 0;
        const uint32_t base = s >= 2 ? 1u << extraBits : s;
        leafOf[s] = base | (extraBits << POSITION_EXTRA_SHIFT) |
                    (static_cast<uint32_t>(AuxLengths[s]) << LEAF_LENGTH_SHIFT);
    }
}

// Format notes: lengths of the pre-code (19 symbols, 5-bit count, a 2-bit zero run
// after the third length) or the position code (13 symbols, 4-bit count).
//
//     count 0:  single value, countBits wide: every decode yields it and takes no bits
//     count n:  n lengths, each  0..6 as 3 bits  |  7 and up as 111, (length - 7) ones, 0
//
// A position-code count of 14 or 15 is allowed: the extra lengths land in
// AuxLengths[13..14] and take no part in the code, which is built from the first 13.
// The pre-code is kept as BuildTable left it (AuxTable and its tree): it serves only
// the block header.
static int ReadAuxLengths(BitReader& in, uint32_t symbolCount, uint32_t countBits, uint32_t specialIndex) {
    uint32_t count = ReaderPull(in, countBits);
    if (count == 0) {
        uint32_t value = ReaderPull(in, countBits);
        if (value >= symbolCount) return ERR_BAD_DATA;
        std::memset(AuxLengths, 0, sizeof(AuxLengths));
        for (uint32_t i = 0; i < AUX_TABLE_ENTRIES; i++)
            AuxTable[i] = static_cast<uint16_t>(value);
        return 0;
    }
    // AuxLengths has room for the 19 of the pre-code; the 4-bit position count stays within it.
    if (count > CRUSHED_PRECODE_SYMBOLS) return ERR_BAD_DATA;

    uint32_t i = 0;
    while (i < count) {
        const uint32_t top = PeekHeaderBits(in);
        uint32_t length = top >> LENGTH_FIELD_SHIFT;
        if (length < CRUSHED_AUX_LENGTH_ESCAPE) {
            ReaderDrop(in, LENGTH_FIELD_BITS);
        } else {
            for (uint32_t mask = LENGTH_ESCAPE_BIT; top & mask; mask >>= 1) {
                length++;
                if (length > CRUSHED_MAX_CODE_LENGTH) return ERR_BAD_DATA;
            }
            // The three escape ones, (length - 7) further ones and the closing zero.
            ReaderDrop(in, LENGTH_FIELD_BITS + (length - CRUSHED_AUX_LENGTH_ESCAPE) + 1);
        }
        AuxLengths[i++] = static_cast<uint8_t>(length);
        if (i == specialIndex) {
            // At most 3 zeros after the third length: i stays below 7.
            for (uint32_t run = ReaderPull(in, PRE_ZERO_RUN_BITS); run > 0; run--)
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
// A zero run may end beyond n, but not beyond the 510th length. The code is built
// by BuildTable into mainTree and then spread into the one-step lookup table.
static int ReadMainLengths(BitReader& in) {
    uint32_t leafOf[CRUSHED_MAIN_SYMBOLS];
    uint32_t count = ReaderPull(in, CRUSHED_MAIN_COUNT_BITS);
    if (count == 0) {
        uint32_t value = ReaderPull(in, CRUSHED_MAIN_COUNT_BITS);
        if (value >= CRUSHED_MAIN_SYMBOLS) return ERR_BAD_DATA;
        std::memset(MainLengths, 0, sizeof(MainLengths));
        // Every symbol is the value, taking no bits: a first level of leaves only.
        for (uint32_t i = 0; i < MAIN_TABLE_ENTRIES; i++)
            MainTable->main[i] = value;
        return 0;
    }
    if (count > CRUSHED_MAIN_SYMBOLS) return ERR_BAD_DATA;

    uint32_t i = 0;
    while (i < count) {
        const uint32_t top = PeekHeaderBits(in);
        uint32_t symbol =
            WalkTree(AuxTable[top >> AUX_INDEX_SHIFT], CRUSHED_PRECODE_SYMBOLS, top, AUX_TREE_BIT);
        ReaderDrop(in, AuxLengths[symbol]);
        if (symbol == CRUSHED_PRE_ZERO) {
            MainLengths[i++] = 0;
        } else if (symbol == CRUSHED_PRE_RUN_SHORT || symbol == CRUSHED_PRE_RUN_LONG) {
            uint32_t run = (symbol == CRUSHED_PRE_RUN_SHORT)
                               ? ReaderPull(in, CRUSHED_PRE_RUN_SHORT_BITS) + CRUSHED_PRE_RUN_SHORT_MIN
                               : ReaderPull(in, CRUSHED_PRE_RUN_LONG_BITS) + CRUSHED_PRE_RUN_LONG_MIN;
            if (run > CRUSHED_MAIN_SYMBOLS - i) return ERR_BAD_DATA;
            std::memset(MainLengths + i, 0, run);
            i += run;
        } else {
            MainLengths[i++] = static_cast<uint8_t>(symbol - CRUSHED_PRE_LENGTH_BASE);
        }
    }
    std::memset(MainLengths + i, 0, CRUSHED_MAIN_SYMBOLS - i);
    int rc = BuildTable(CRUSHED_MAIN_SYMBOLS, MainLengths, CRUSHED_MAIN_TABLE_BITS, MainTable->mainTree);
    if (rc < 0) return rc;
    for (uint32_t s = 0; s < CRUSHED_MAIN_SYMBOLS; s++)
        leafOf[s] = s | (static_cast<uint32_t>(MainLengths[s]) << LEAF_LENGTH_SHIFT);
    return BuildLookupTable(MainTable->mainTree, CRUSHED_MAIN_TABLE_BITS, CRUSHED_MAIN_SYMBOLS, leafOf,
                            MainTable->main, MAIN_LOOKUP_ENTRIES);
}

// The position code's lookup table, from AuxTable as ReadAuxLengths left it (a
// single value fills AuxTable and clears the lengths, so it needs no case of its own).
static int BuildPositionLookup() {
    uint32_t leafOf[CRUSHED_POSITION_SYMBOLS];
    BuildPositionLeaves(leafOf);
    return BuildLookupTable(AuxTable, CRUSHED_AUX_TABLE_BITS, CRUSHED_POSITION_SYMBOLS, leafOf,
                            MainTable->position, POSITION_LOOKUP_ENTRIES);
}

// Reads the header from the bit input's process-wide state and puts it back there.
static int ReadBlockHeader() {
    BitReader in = ReaderLoad();
    BlockSymbolsLeft = ReaderPull(in, CRUSHED_BLOCK_COUNT_BITS);
    int rc = ReadAuxLengths(in, CRUSHED_PRECODE_SYMBOLS, CRUSHED_PRECODE_COUNT_BITS,
                            CRUSHED_PRECODE_SPECIAL_INDEX);
    if (rc == 0) rc = ReadMainLengths(in);
    if (rc == 0)
        rc = ReadAuxLengths(in, CRUSHED_POSITION_SYMBOLS, CRUSHED_POSITION_COUNT_BITS, NO_SPECIAL_INDEX);
    if (rc == 0) rc = BuildPositionLookup();
    ReaderStore(in);
    return rc;
}

// Copies the rest of the current match one byte at a time through the ring, as far as
// the chunk goes. Returns the next index to write. (Locals: the globals would be
// written back after every byte, which the window's byte pointer might alias.)
static uint32_t CopyPending(uint8_t* window, uint32_t r, uint32_t count) {
    int32_t pending = PendingCopy;
    uint32_t from = CopyPosition;
    while (pending > 0 && r < count) {
        pending--;
        window[r++] = window[from];
        from = (from + 1) & WINDOW_MASK;
    }
    PendingCopy = pending;
    CopyPosition = from;
    return r;
}

// A match that fits the chunk and whose source does not wrap around the ring. The
// result must equal a forward byte-by-byte copy: when the source lies just behind
// the destination (distance below the length) the bytes repeat with the distance.
//
// Eight bytes at a time are safe when the source lies ahead of the destination (no
// byte read has been written by this copy yet) or at least eight behind it (every
// byte read is final: written earlier, by this copy or before it). The last word may
// run up to seven bytes past the match; the bytes there are the ring's history, still
// to be read by later matches, so they are saved first and put back after (a source
// ahead of the destination reads them before the overrun writes them, one at least
// eight behind never reaches them).
static inline void CopyMatch(uint8_t* window, uint32_t r, uint32_t from, uint32_t length) {
    uint8_t* out = window + r;
    const uint8_t* in = window + from;
    const bool wordsSafe = from > r || r - from >= 8;
    if (wordsSafe && r + length + 8 <= CRUSHED_WINDOW_SIZE && from + length + 8 <= CRUSHED_WINDOW_SIZE) {
        uint64_t behind;
        std::memcpy(&behind, out + length, 8);
        for (uint32_t i = 0; i < length; i += 8) {
            uint64_t word;
            std::memcpy(&word, in + i, 8);
            std::memcpy(out + i, &word, 8);
        }
        std::memcpy(out + length, &behind, 8);
    } else if (wordsSafe) {
        // At the buffer's end: whole words, then the last bytes one by one.
        uint32_t i = 0;
        for (; i + 8 <= length; i += 8) {
            uint64_t word;
            std::memcpy(&word, in + i, 8);
            std::memcpy(out + i, &word, 8);
        }
        for (; i < length; i++)
            out[i] = in[i];
    } else if (r - from == 1) {
        std::memset(out, *in, length);
    } else {
        for (uint32_t i = 0; i < length; i++)
            out[i] = in[i];
    }
}

// Format notes: the symbols of the blocks until the chunk is full. Each turn refills
// the register once, which then holds a whole main code, a position code and its
// extra bits (16 + 16 + 11 bits), and looks each code up in one step (two for codes
// longer than the first level):
//
//     main entry:      symbol | code length << 16              (or a link)
//     position entry:  base | extra bits << 12 | code length << 16   (or a link)
//
// The bit input is held in a local copy so that writes to the window cannot force it
// back to memory.
static int DecodeSymbols(uint8_t* window, uint32_t r, uint32_t count) {
    BitReader in = ReaderLoad();
    const uint32_t* mainLookup = MainTable->main;
    const uint32_t* positionLookup = MainTable->position;
    const uint32_t history = g_history;
    uint32_t symbolsLeft = BlockSymbolsLeft;
    int rc = 0;
    while (r < count) {
        if (symbolsLeft == 0) {
            ReaderStore(in);
            rc = ReadBlockHeader();
            in = ReaderLoad();
            symbolsLeft = BlockSymbolsLeft;
            if (rc < 0) break;
        }
        symbolsLeft--; // a stored count of 0 wraps: that block serves the rest of the entry

        if (in.count < SYMBOL_MAX_BITS) ReaderRefill(in);
        uint32_t entry = mainLookup[in.bits >> MAIN_LOOKUP_SHIFT];
        if (entry & TABLE_LINK) {
            const uint32_t subBits = (entry >> TABLE_LINK_BITS_SHIFT) & LEAF_LENGTH_MASK;
            entry = mainLookup[(entry & TABLE_LINK_OFFSET_MASK) +
                               static_cast<uint32_t>((in.bits << CRUSHED_MAIN_TABLE_BITS) >>
                                                     (READER_BITS - subBits))];
        }
        ReaderDrop(in, entry >> LEAF_LENGTH_SHIFT);
        const uint32_t symbol = entry & MAIN_LEAF_SYMBOL_MASK;
        if (symbol < LITERAL_SYMBOLS) {
            window[r++] = static_cast<uint8_t>(symbol);
            continue;
        }

        const uint32_t length = symbol - CRUSHED_MATCH_OFFSET;
        entry = positionLookup[in.bits >> POSITION_LOOKUP_SHIFT];
        if (entry & TABLE_LINK) {
            const uint32_t subBits = (entry >> TABLE_LINK_BITS_SHIFT) & LEAF_LENGTH_MASK;
            entry = positionLookup[(entry & TABLE_LINK_OFFSET_MASK) +
                                   static_cast<uint32_t>((in.bits << CRUSHED_AUX_TABLE_BITS) >>
                                                         (READER_BITS - subBits))];
        }
        const uint32_t codeLength = entry >> LEAF_LENGTH_SHIFT;
        const uint32_t extraBits = (entry >> POSITION_EXTRA_SHIFT) & POSITION_EXTRA_MASK;
        // The extra bits follow the code; shifting by one and then 63 - extraBits keeps
        // every shift below 64 and gives 0 for none.
        const uint32_t position =
            (entry & POSITION_BASE_MASK) |
            static_cast<uint32_t>(((in.bits << codeLength) >> 1) >> (READER_BITS - 1 - extraBits));
        ReaderDrop(in, codeLength + extraBits);
        // The distance (position + 1) may reach back to the entry's first byte, no further.
        if (position >= history + r) {
            rc = ERR_BAD_DATA;
            break;
        }
        const uint32_t from = (r - position - 1) & WINDOW_MASK;
        if (length <= count - r) {
            // A source that runs over the ring's end goes on at its start: two copies,
            // each a forward copy, make one.
            const uint32_t first = CRUSHED_WINDOW_SIZE - from;
            if (length <= first) {
                CopyMatch(window, r, from, length);
            } else {
                CopyMatch(window, r, from, first);
                CopyMatch(window, r + first, 0, length - first);
            }
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
    if (MainTable == nullptr) MainTable = static_cast<DecoderTables*>(MemAlloc(MAIN_TABLE_BYTES));
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
    BitInputSettleBetweenChunks();
    // Input that ended early, or a stream whose codes run on past its compressed size,
    // would otherwise decode to filler bytes reported as the entry's content.
    if (rc == 0 && (BitInputEnded() || BitInputOverrun())) rc = ERR_BAD_DATA;
    // An entry that fails or ends here puts the slot back behind the last byte its
    // stream has reached, where the caller (or the next header's reader) expects it.
    if (rc < 0 || count < CRUSHED_WINDOW_SIZE) BitInputSettle();
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

void DecoderPutBack() {
    // Without its table the entry never started: the bit input still holds an earlier
    // entry's state, and the slot is where the caller left it.
    if (g_failure != ERR_NO_MEMORY) BitInputPutBack();
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
