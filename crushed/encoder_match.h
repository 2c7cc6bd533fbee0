// Match finders over the 4096-byte window, working on the whole input in memory.
//
// Positions are input offsets; links and heads store offset + 1, so 0 means none.
// Both keep a history of ENC_HISTORY positions, more than the window, so the link of
// every position still inside the window is its own.
#pragma once

#include <cstdint>
#include <cstring>

#include "crushed/format.h"

enum {
    ENC_HISTORY = 2 * CRUSHED_WINDOW_SIZE, // 8192 link slots, a power of two
    ENC_HASH_BITS = 14,                    // 16384 heads, hashed from the next 3 bytes
    ENC_HASH_SIZE = 1 << ENC_HASH_BITS,
};

struct EncFound {
    uint16_t length;   // 3..256
    uint16_t distance; // 1..4096
};

inline uint32_t EncHash3(const uint8_t* bytes) {
    uint32_t value = static_cast<uint32_t>(bytes[0]) << 16 | static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
    return (value * 2654435761u) >> (32 - ENC_HASH_BITS);
}

// How many of the bytes at here and there agree, from length up to limit. Compares
// eight bytes at a time while eight remain before limit.
inline uint32_t EncMatchLength(const uint8_t* here, const uint8_t* there, uint32_t length, uint32_t limit) {
    while (length + 8 <= limit) {
        uint64_t a, b;
        std::memcpy(&a, here + length, 8);
        std::memcpy(&b, there + length, 8);
        if (a != b) break; // the difference lies within these eight bytes
        length += 8;
    }
    while (length < limit && here[length] == there[length])
        length++;
    return length;
}

// Hash chains: every position is linked to the previous one with the same hash.
struct EncChains {
    uint32_t head[ENC_HASH_SIZE];
    uint32_t previous[ENC_HISTORY];
};

void EncChainsReset(EncChains* chains);
// Adds pos (which needs 3 bytes of input from pos).
inline void EncChainsInsert(EncChains* chains, const uint8_t* data, uint32_t pos) {
    uint32_t hash = EncHash3(data + pos);
    chains->previous[pos & (ENC_HISTORY - 1)] = chains->head[hash];
    chains->head[hash] = pos + 1;
}
// The longest match for pos among the last maxTries candidates, nearest first for
// equal lengths; stops early at niceLength. Returns its length (0 when none of 3 or
// more) and sets *distance. Does not insert pos.
uint32_t EncChainsFind(const EncChains* chains, const uint8_t* data, uint32_t size, uint32_t pos,
                       uint32_t maxTries, uint32_t niceLength, uint32_t* distance);

// Binary trees: the window's positions kept sorted by the strings they start, one
// tree per hash. A search walks down the tree and re-links it with pos as its root,
// so every position must be passed to EncTreeFind in order.
struct EncTree {
    uint32_t head[ENC_HASH_SIZE];
    uint32_t children[2 * ENC_HISTORY]; // smaller, larger
};

void EncTreeReset(EncTree* tree);
// Inserts pos and writes to found the matches of increasing length (each the first
// met, so as near as the walk finds them), at most CRUSHED_MAX_MATCH - 2 of them.
// Walks at most maxTries nodes. Returns how many were written.
uint32_t EncTreeFind(EncTree* tree, const uint8_t* data, uint32_t size, uint32_t pos, uint32_t maxTries,
                     EncFound* found);
