// Constants of the Crushed stream, shared by the decoder and our encoder.
//
// An LZ77 stream over a 4096-byte window, coded with static prefix codes sent anew
// for every block: a main code of literals and match lengths, a position code for
// match distances, and a pre-code that carries the main-code lengths.
#pragma once

enum {
    CRUSHED_WINDOW_BITS = 12,
    CRUSHED_WINDOW_SIZE = 1 << CRUSHED_WINDOW_BITS, // 4096 bytes; also the chunk size
    CRUSHED_MIN_MATCH = 3,
    CRUSHED_MAX_MATCH = 256,
    // Symbols 0..255 are literals, 256..509 matches of (symbol - 253) bytes.
    CRUSHED_MATCH_OFFSET = 256 - CRUSHED_MIN_MATCH,                         // 253
    CRUSHED_MAIN_SYMBOLS = 256 + CRUSHED_MAX_MATCH - CRUSHED_MIN_MATCH + 1, // 510
    // Position symbol s > 0 stands for 2^(s-1) plus s-1 extra bits: 13 cover 0..4095.
    CRUSHED_POSITION_SYMBOLS = CRUSHED_WINDOW_BITS + 1, // 13
    CRUSHED_PRECODE_SYMBOLS = 19,
    CRUSHED_MAX_CODE_LENGTH = 16,

    CRUSHED_BLOCK_COUNT_BITS = 16, // main-code symbols in a block
    CRUSHED_PRECODE_COUNT_BITS = 5,
    CRUSHED_PRECODE_SPECIAL_INDEX = 3, // a 2-bit zero run follows the third pre-code length
    CRUSHED_MAIN_COUNT_BITS = 9,
    CRUSHED_POSITION_COUNT_BITS = 4,

    // Pre-code symbols for main-code lengths: 0 one zero, 1 a run of 3..18 zeros
    // (4 bits), 2 a run of 20..531 zeros (9 bits), 3..18 a length of symbol - 2.
    CRUSHED_PRE_ZERO = 0,
    CRUSHED_PRE_RUN_SHORT = 1,
    CRUSHED_PRE_RUN_LONG = 2,
    CRUSHED_PRE_RUN_SHORT_BITS = 4,
    CRUSHED_PRE_RUN_SHORT_MIN = 3,
    CRUSHED_PRE_RUN_LONG_BITS = 9,
    CRUSHED_PRE_RUN_LONG_MIN = 20,
    CRUSHED_PRE_LENGTH_BASE = 2,

    // Aux lengths 0..6 take 3 bits; 7 and above are 111 followed by (length - 7) ones
    // and a closing zero.
    CRUSHED_AUX_LENGTH_ESCAPE = 7,

    CRUSHED_MAIN_TABLE_BITS = 12, // 4096 entries: the main code's table and its lookup's first level
    CRUSHED_AUX_TABLE_BITS = 8,   // 256 entries: pre-code, then position code
    CRUSHED_TREE_NODES = 1024,    // shared child arrays; a complete main code needs < 1019
};
