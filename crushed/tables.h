// Code tables of the Crushed decoder: prefix codes given by their code lengths.
//
// Format notes. A code is sent only as one length per symbol (0: unused, 1..16 bits);
// codes are canonical: ordered by length, then by symbol, each length's first code
// directly after the last code of the length before. BuildTable turns the lengths
// into a direct table indexed by the next indexBits stream bits; codes longer than
// indexBits hang off their table entry as a two-way tree:
//
//     table[next indexBits bits] --> symbol            (value <  symbolCount)
//                                \-> node n            (value >= symbolCount)
//                                      0 bit: LeftChild[n], 1 bit: RightChild[n], ...
//
// Node numbers are handed out from symbolCount upward, so the main code's nodes
// (from 510) never meet those of the pre-code (from 19) or the position code (from 13):
// the position code can be built while the main code of the same block is in use.
// The three codes share one pair of child arrays.
//
// The decoder's inner loop does not walk the trees: BuildLookupTable spreads a built
// table into one whose entries resolve a symbol in one step, each carrying what the
// decoder needs of its symbol (its code length among it); a tree hanging off an entry
// becomes a second-level table indexed by the next bits, as many as the tree is deep:
//
//     lookup[next indexBits bits] --> leaf                        (TABLE_LINK clear)
//                                 \-> link: offset, subBits  -->  lookup[offset + next subBits bits]
//
// Bit patterns that match no code of an incomplete set lead where the tree leads them,
// to symbol 0, which then takes the code length of symbol 0 (as the walk does).
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.
#pragma once

#include <cstdint>

#include "crushed/format.h"

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

enum {
    TABLE_LINK = 1u << 31,           // a lookup entry that leads to a second-level table
    TABLE_LINK_BITS_SHIFT = 16,      // a link's index width (1..16 - indexBits) sits here
    TABLE_LINK_OFFSET_MASK = 0xFFFF, // and its table's offset in the low bits
};

// Spreads `table` (2^indexBits entries of a code of symbolCount symbols, as BuildTable
// left it, trees included) into `lookup`: an entry below symbolCount becomes
// leafOf[symbol], a tree its second-level table, placed behind the first level. At
// most `capacity` entries are written; 0, or ERR_BAD_DATA when they would not fit.
int BuildLookupTable(const uint16_t* table, uint32_t indexBits, uint32_t symbolCount, const uint32_t* leafOf,
                     uint32_t* lookup, uint32_t capacity);

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
