#include "crushed/tables.h"

#include <cstring>

#include "fileio/codes.h"

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

// How many bits below the first level a tree reaches: at most 16 - indexBits, since
// BuildTable makes nodes only on the way to codes of at most 16 bits.
static uint32_t TreeDepth(uint32_t value, uint32_t symbolCount) {
    if (value < symbolCount) return 0;
    const uint32_t left = TreeDepth(LeftChild[value], symbolCount);
    const uint32_t right = TreeDepth(RightChild[value], symbolCount);
    return 1 + (left > right ? left : right);
}

// Format notes: a second-level table of 2^depth entries for the tree at `node`, entry
// p being where the walk ends on the bits of p, first bit most significant. A walk that
// ends early (a shorter code under the same entry) fills every p that begins so.
int BuildLookupTable(const uint16_t* table, uint32_t indexBits, uint32_t symbolCount, const uint32_t* leafOf,
                     uint32_t* lookup, uint32_t capacity) {
    const uint32_t tableSize = 1u << indexBits;
    if (capacity < tableSize) return ERR_BAD_DATA;
    uint32_t next = tableSize;
    for (uint32_t i = 0; i < tableSize; i++) {
        const uint32_t value = table[i];
        if (value < symbolCount) {
            lookup[i] = leafOf[value];
            continue;
        }
        // Every tree holds at least one code and a code lies under one entry only, so
        // there are at most symbolCount trees: capacity is sized for that many of the
        // deepest; the check only keeps a wrong size from writing out of bounds.
        const uint32_t depth = TreeDepth(value, symbolCount);
        const uint32_t entries = 1u << depth;
        if (entries > capacity - next) return ERR_BAD_DATA;
        lookup[i] = TABLE_LINK | (depth << TABLE_LINK_BITS_SHIFT) | next;
        for (uint32_t p = 0; p < entries; p++) {
            uint32_t node = value;
            for (uint32_t bit = depth; node >= symbolCount; bit--)
                node = ((p >> (bit - 1)) & 1) ? RightChild[node] : LeftChild[node];
            lookup[next + p] = leafOf[node];
        }
        next += entries;
    }
    return 0;
}

void TablesResetState() {
    std::memset(AuxTable, 0, sizeof(AuxTable));
    std::memset(LeftChild, 0, sizeof(LeftChild));
    std::memset(RightChild, 0, sizeof(RightChild));
}
