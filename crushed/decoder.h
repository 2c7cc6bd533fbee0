// Block decoder of the Crushed method: LZ77 over a 4096-byte window, prefix-coded.
//
// Format notes. Blocks follow each other without alignment or end marker until the
// caller has its uncompressed size. Each block is
//
//     16 bits   number of main-code symbols in the block (0 means: 2^32, i.e. the rest)
//     pre-code  lengths of the 19-symbol code that carries the main-code lengths
//     main code lengths of the 510 literals (0..255) and match lengths (256..509: 3..256)
//     pos code  lengths of the 13-symbol position code
//     symbols   main-code symbols; a match symbol is followed by its position symbol
//               s and s - 1 extra bits: position 0, or 2^(s-1) + extra; distance is
//               position + 1 (1..4096)
//
// The caller's chunk buffer is the window: every chunk of an entry but the last is
// exactly 4096 bytes and the same unchanged buffer is passed each time, so an index
// of the buffer that the current chunk has not reached yet still holds the byte
// written 4096 bytes earlier. A match that does not fit the chunk is finished at the
// start of the next call.
//
// The calling pattern and the public calls are in crushed/crushed.h.
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.
#pragma once

#include <cstdint>

#include "crushed/crushed.h"
#include "crushed/tables.h"

enum {
    // Lookup entries of the main code: the 4096 of its first level, then second-level
    // tables for the codes longer than 12 bits, at most one per symbol (each holds a
    // code) and none deeper than 16 - 12 bits: 12,256 entries.
    MAIN_LOOKUP_ENTRIES = MAIN_TABLE_ENTRIES +
                          CRUSHED_MAIN_SYMBOLS * (1 << (CRUSHED_MAX_CODE_LENGTH - CRUSHED_MAIN_TABLE_BITS)),
    // The same for the position code over its 8-bit first level: 3,584 entries.
    POSITION_LOOKUP_ENTRIES = AUX_TABLE_ENTRIES + CRUSHED_POSITION_SYMBOLS * (1 << (CRUSHED_MAX_CODE_LENGTH -
                                                                                    CRUSHED_AUX_TABLE_BITS)),
};

// The decoder's tables, obtained once (MAIN_TABLE_BYTES, 71,552 bytes) and kept for
// later entries.
struct DecoderTables {
    uint32_t main[MAIN_LOOKUP_ENTRIES];         // main-code symbol and code length in one step
    uint32_t position[POSITION_LOOKUP_ENTRIES]; // position base, extra bits and code length
    uint16_t mainTree[MAIN_TABLE_ENTRIES];      // BuildTable's table of the main code
};

enum { MAIN_TABLE_BYTES = sizeof(DecoderTables) };

// ---- Process-wide state (decoder.cpp) -------------------------------------------
extern DecoderTables* MainTable; // MAIN_TABLE_BYTES from MemAlloc, held until DecoderRelease
extern uint8_t MainLengths[CRUSHED_MAIN_SYMBOLS];
extern uint8_t AuxLengths[CRUSHED_PRECODE_SYMBOLS]; // pre-code, then position code (13, plus 2 spare)
extern uint32_t BlockSymbolsLeft; // main-code symbols left in the block; 0: the next one starts a block
extern int32_t PendingCopy;       // bytes of the current match still owed to the window
extern uint32_t CopyPosition;     // window index of the next byte the current match copies

// Frees MainTable and puts the decoder, its tables and the bit input back to their
// start-up state (tests).
void DecoderResetState();
