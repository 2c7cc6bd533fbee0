// One block of the stream: its three codes, how the main-code lengths travel
// through the pre-code, its exact size in bits, and its bits.
#pragma once

#include <cstdint>

#include "crushed/encoder_bits.h"
#include "crushed/format.h"

enum {
    ENC_MAX_BLOCK_SYMBOLS = 65535, // the block's symbol count is a 16-bit field
};

// A parsed symbol: main symbol 0..255 is a literal byte; 256..509 a match of
// (main - 253) bytes at position `position` (distance position + 1).
struct EncSymbol {
    uint16_t main;
    uint16_t position;
};

// Position symbol of a position 0..4095: 0 for 0, else its bit length, with that
// many bits less one sent raw after the code.
inline uint32_t EncPositionSymbol(uint32_t position) {
    return position == 0 ? 0 : 32 - static_cast<uint32_t>(__builtin_clz(position));
}
inline uint32_t EncPositionExtraBits(uint32_t symbol) { return symbol > 1 ? symbol - 1 : 0; }

inline EncSymbol EncLiteral(uint8_t byte) { return EncSymbol{byte, 0}; }
inline EncSymbol EncMatch(uint32_t length, uint32_t distance) {
    return EncSymbol{static_cast<uint16_t>(length + CRUSHED_MATCH_OFFSET),
                     static_cast<uint16_t>(distance - 1)};
}

struct EncBlockStats {
    uint32_t main[CRUSHED_MAIN_SYMBOLS];
    uint32_t position[CRUSHED_POSITION_SYMBOLS];
    uint32_t symbols; // main symbols counted
};

void EncStatsClear(EncBlockStats* stats);
void EncStatsAdd(EncBlockStats* stats, const EncSymbol* symbols, uint32_t count);

struct EncCode {
    uint8_t lengths[CRUSHED_MAIN_SYMBOLS];
    uint16_t codes[CRUSHED_MAIN_SYMBOLS];
    int32_t single; // the value of a single-value code, or -1
};

// Everything needed to write a block, and its size.
struct EncBlockPlan {
    EncCode main, position, pre;
    uint16_t preTokens[CRUSHED_MAIN_SYMBOLS]; // pre-code symbol | run value << 5
    uint32_t preTokenCount;
    uint32_t mainCount; // main-code lengths sent
    uint32_t bits;      // the whole block
};

// Plans the block for these statistics (1..65535 symbols). Returns plan->bits.
uint32_t EncPlanBlock(const EncBlockStats* stats, EncBlockPlan* plan);
// Writes the planned block holding exactly the counted symbols.
void EncWriteBlock(EncBitWriter* writer, const EncBlockPlan* plan, const EncSymbol* symbols, uint32_t count);

// Plans and writes symbols as blocks of at most ENC_MAX_BLOCK_SYMBOLS (count may be 0).
void EncEmitBlocks(EncBitWriter* writer, const EncSymbol* symbols, uint32_t count);
