// The hostile decoder table: hand-made streams, each with what the decoder must make
// of it. The decoder's hostile test runs them; the differential test mutates them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fileio/codes.h"

inline std::string Bin(uint32_t value, int width) {
    std::string bits;
    for (int i = width - 1; i >= 0; i--)
        bits += ((value >> i) & 1u) ? '1' : '0';
    return bits + ' ';
}
inline std::string Repeat(const std::string& bits, int times) {
    std::string all;
    for (int i = 0; i < times; i++)
        all += bits;
    return all;
}

// Block pieces as bit strings.
inline const std::string kPreLength9 = "00000 01011 ";            // pre-code: single value 11, a length of 9
inline const std::string kFixedMain = kPreLength9 + "111111110 "; // 510 main lengths of 9
inline const std::string kFixedPosition = "1101 " + Repeat("100 ", 13); // 13 position lengths of 4
inline std::string FixedHeader(uint32_t symbols) { return Bin(symbols, 16) + kFixedMain + kFixedPosition; }
inline std::string Literal(uint8_t byte) { return Bin(byte, 9); }

struct HostileCase {
    std::string bits;
    const char* description;
    uint32_t size; // uncompressed size claimed
    int expected;
};

inline const std::vector<HostileCase>& HostileCases() {
    static const std::vector<HostileCase> cases = {
        // Pre-code.
        {Bin(1, 16) + "10100", "pre-code count 20", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "11111", "pre-code count 31", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00000 10011", "pre-code single value 19", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00000 11111", "pre-code single value 31", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00001 111 1111111111 0", "pre-code length 17", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00001 111" + Repeat("1", 29), "pre-code length escape running through the register",
         16, ERR_BAD_DATA},
        {Bin(1, 16) + "00011 001 001 001 00", "pre-code lengths 1, 1, 1: over-subscribed", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00011 000 000 000 00", "pre-code lengths all 0", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00110 000 000 000 11", "pre-code lengths all 0 through its zero run", 16,
         ERR_BAD_DATA},
        // Main code.
        {Bin(1, 16) + kPreLength9 + "111111111", "main count 511", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kPreLength9 + "000000000" + Bin(510, 9), "main single value 510", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kPreLength9 + "000000000" + Bin(511, 9), "main single value 511", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00000 00010 111111110 111111111", "main zero run of 531 from 0", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00011 000 001 001 00 111111110 1" + Bin(480, 9) + "0 1111",
         "main zero runs of 500, then 18 past the 510th length", 16, ERR_BAD_DATA},
        {Bin(1, 16) + "00000 00010 111111110" + Bin(490, 9), "main lengths all 0 (one run of 510)", 16,
         ERR_BAD_DATA},
        {Bin(1, 16) + "00000 00011 000000011", "main lengths 1, 1, 1: over-subscribed", 16, ERR_BAD_DATA},
        // Position code.
        {Bin(1, 16) + kFixedMain + "0000 1101", "position single value 13", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kFixedMain + "0000 1111", "position single value 15", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kFixedMain + "0011 001 001 001", "position lengths 1, 1, 1: over-subscribed", 16,
         ERR_BAD_DATA},
        {Bin(1, 16) + kFixedMain + "0011 000 000 000", "position lengths all 0", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kFixedMain + "0001 111 1111111111 0", "position length 17", 16, ERR_BAD_DATA},
        {Bin(1, 16) + kFixedMain + "1111" + Repeat("100 ", 14) + "111 1111111111 0",
         "position count 15 whose 15th length is 17", 16, ERR_BAD_DATA},
        // Matches.
        {FixedHeader(1) + Bin(256, 9) + "0000", "a match before the entry's first byte", 16, ERR_BAD_DATA},
        {FixedHeader(2) + Literal('a') + Bin(256, 9) + "0001", "distance 2 after one byte", 16, ERR_BAD_DATA},
        {FixedHeader(3) + Literal('a') + Literal('b') + Bin(509, 9) + "1100 11111111111",
         "distance 4096 after two bytes", 16, ERR_BAD_DATA},
        // Valid neighbours of the cases above.
        {FixedHeader(2) + Literal('a') + Bin(256, 9) + "0000", "distance 1 after one byte", 4, 0},
        {Bin(1, 16) + kFixedMain + "0001 111 111111111 0" + Literal('a'), "position length 16, the longest",
         1, 0},
        {FixedHeader(3) + Literal('a') + Literal('b') + Bin(256, 9) + "0001", "distance 2 after two bytes", 5,
         0},
        {Bin(2, 16) + "00100 000 010 010 00 001" + "000000011 0 0 10 0000" + "0000 0000" + "0 1",
         "a zero run ending beyond the count but within 510", 2, 0},
        {Bin(0, 16) + kPreLength9 + "000000000" + Bin(7, 9) + "0000 0000",
         "block count 0 and a single value: the rest of the entry takes no bits", 100000, 0},
        {"", "an empty stream: its codes would all lie in the zero bits behind it", 5000, ERR_BAD_DATA},
        {"0000 0000 0000 0000 0000 0000 0000 0000 0000 0000",
         "a stream cut short: its last codes lie behind its five bytes", 5000, ERR_BAD_DATA},
    };
    return cases;
}
