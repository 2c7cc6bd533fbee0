// Code table construction: tables and trees of known length sets, byte for byte, and
// length sets that are no prefix code.
#include "crushed/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crushed/decoder.h"
#include "fileio/codes.h"

class TablesTest : public ::testing::Test {
protected:
    void SetUp() override { DecoderResetState(); }
    void TearDown() override { DecoderResetState(); }
};

// Every entry of a table in ranges: {first, last, value}.
struct Span {
    uint32_t first;
    uint32_t last;
    uint16_t value;
};

static void ExpectSpans(const std::vector<uint16_t>& table, const std::vector<Span>& spans) {
    for (const Span& s : spans) {
        for (uint32_t i = s.first; i <= s.last; i++) {
            ASSERT_EQ(table[i], s.value) << "entry " << i;
        }
    }
}

TEST_F(TablesTest, LengthsTwoOneThreeThree) {
    std::vector<uint16_t> table(AUX_TABLE_ENTRIES, 0xEEEE);
    const uint8_t lengths[] = {2, 1, 3, 3};
    ASSERT_EQ(BuildTable(4, lengths, 8, table.data()), 0);
    ExpectSpans(table, {{0, 127, 1}, {128, 191, 0}, {192, 223, 2}, {224, 255, 3}});
}

// Lengths 1..15 for symbols 0..14 and 16 for 15 and 16: complete, and the four longest
// codes hang off the last entry as the nodes 510..513.
TEST_F(TablesTest, MainCodeWithSixteenBitCodesBuildsNodes510To513) {
    std::vector<uint16_t> table(MAIN_TABLE_ENTRIES, 0xEEEE);
    uint8_t lengths[CRUSHED_MAIN_SYMBOLS] = {};
    for (int s = 0; s < 15; s++)
        lengths[s] = static_cast<uint8_t>(s + 1);
    lengths[15] = 16;
    lengths[16] = 16;
    std::memset(LeftChild, 0xEE, sizeof(LeftChild));
    std::memset(RightChild, 0xEE, sizeof(RightChild));
    ASSERT_EQ(BuildTable(CRUSHED_MAIN_SYMBOLS, lengths, 12, table.data()), 0);

    // Symbol s (length s + 1, s < 12) covers 2^(11 - s) entries from 4096 - 2^(12 - s).
    for (uint32_t s = 0; s < 12; s++) {
        uint32_t first = 4096 - (4096u >> s);
        ExpectSpans(table, {{first, first + (2048u >> s) - 1, static_cast<uint16_t>(s)}});
    }
    EXPECT_EQ(table[4094], 11);
    EXPECT_EQ(table[4095], 510);
    const uint16_t expected[4][2] = {{12, 511}, {13, 512}, {14, 513}, {15, 16}};
    for (int n = 0; n < 4; n++) {
        EXPECT_EQ(LeftChild[510 + n], expected[n][0]) << "node " << 510 + n;
        EXPECT_EQ(RightChild[510 + n], expected[n][1]) << "node " << 510 + n;
    }
    EXPECT_EQ(LeftChild[514], 0xEEEE); // no fifth node
    // Sixteen 1 bits: entry 4095, then four steps to the right.
    EXPECT_EQ(WalkTree(table[4095], CRUSHED_MAIN_SYMBOLS, 0xFFFFFFFFu, 1u << 19), 16u);
    EXPECT_EQ(WalkTree(table[4095], CRUSHED_MAIN_SYMBOLS, 0xFFFE0000u, 1u << 19), 15u);
    EXPECT_EQ(WalkTree(table[4095], CRUSHED_MAIN_SYMBOLS, 0xFFF00000u, 1u << 19), 12u);
}

TEST_F(TablesTest, IncompleteSingleSymbolLeavesTheRestAsSymbolZero) {
    std::vector<uint16_t> table(AUX_TABLE_ENTRIES, 0xEEEE);
    uint8_t lengths[CRUSHED_PRECODE_SYMBOLS] = {};
    lengths[5] = 1;
    ASSERT_EQ(BuildTable(CRUSHED_PRECODE_SYMBOLS, lengths, 8, table.data()), 0);
    ExpectSpans(table, {{0, 127, 5}, {128, 255, 0}});
}

TEST_F(TablesTest, CompleteShortCodeFillsEveryEntry) {
    std::vector<uint16_t> table(AUX_TABLE_ENTRIES, 0xEEEE);
    std::vector<uint8_t> lengths(256, 8);
    ASSERT_EQ(BuildTable(256, lengths.data(), 8, table.data()), 0);
    for (uint32_t i = 0; i < 256; i++)
        ASSERT_EQ(table[i], i);
}

// A set whose codes are all longer than the index (an incomplete one: valid) must start
// from a cleared table, not from whatever the table held before.
TEST_F(TablesTest, SetWithOnlyLongCodesClearsTheWholeTable) {
    std::vector<uint16_t> table(AUX_TABLE_ENTRIES, 0xEEEE);
    uint8_t lengths[CRUSHED_POSITION_SYMBOLS] = {};
    lengths[3] = 9;
    lengths[4] = 9;
    ASSERT_EQ(BuildTable(CRUSHED_POSITION_SYMBOLS, lengths, 8, table.data()), 0);
    EXPECT_EQ(table[0], 13); // the first node of this code
    EXPECT_EQ(LeftChild[13], 3);
    EXPECT_EQ(RightChild[13], 4);
    ExpectSpans(table, {{1, 255, 0}});
}

TEST_F(TablesTest, PositionCodeLeavesTheMainTreeIntact) {
    std::vector<uint16_t> mainTable(MAIN_TABLE_ENTRIES);
    uint8_t mainLengths[CRUSHED_MAIN_SYMBOLS] = {};
    for (int s = 0; s < 15; s++)
        mainLengths[s] = static_cast<uint8_t>(s + 1);
    mainLengths[15] = 16;
    mainLengths[16] = 16;
    ASSERT_EQ(BuildTable(CRUSHED_MAIN_SYMBOLS, mainLengths, 12, mainTable.data()), 0);
    std::vector<uint16_t> left(LeftChild + 510, LeftChild + CRUSHED_TREE_NODES);
    std::vector<uint16_t> right(RightChild + 510, RightChild + CRUSHED_TREE_NODES);

    // Lengths 1..12, 12: complete, with the codes of 9 bits and more in trees.
    uint8_t positionLengths[CRUSHED_POSITION_SYMBOLS];
    for (int s = 0; s < 12; s++)
        positionLengths[s] = static_cast<uint8_t>(s + 1);
    positionLengths[12] = 12;
    ASSERT_EQ(BuildTable(CRUSHED_POSITION_SYMBOLS, positionLengths, 8, AuxTable), 0);
    EXPECT_EQ(AuxTable[255], 13); // its own nodes start at 13

    EXPECT_EQ(std::vector<uint16_t>(LeftChild + 510, LeftChild + CRUSHED_TREE_NODES), left);
    EXPECT_EQ(std::vector<uint16_t>(RightChild + 510, RightChild + CRUSHED_TREE_NODES), right);
    EXPECT_EQ(mainTable[4095], 510);
    EXPECT_EQ(WalkTree(mainTable[4095], CRUSHED_MAIN_SYMBOLS, 0xFFFFFFFFu, 1u << 19), 16u);
}

struct BadSet {
    std::vector<uint8_t> lengths;
    uint32_t indexBits;
    const char* description;
    int expected;
};

// Invalid sets fail without touching memory beyond the table and the child arrays
// (the table is exactly its size, so the sanitizer build sees any overrun).
TEST_F(TablesTest, InvalidLengthSetsFail) {
    std::vector<uint8_t> sixteens(510, 16);
    std::vector<uint8_t> overfull(510, 1);
    const std::vector<BadSet> cases = {
        {{1, 1, 1}, 8, "three codes of one bit: over-subscribed", ERR_BAD_DATA},
        {{2, 2, 2, 2, 2}, 8, "five codes of two bits", ERR_BAD_DATA},
        {{1, 2, 2, 16}, 8, "a complete set plus one more code", ERR_BAD_DATA},
        {{1, 17}, 8, "a length of 17", ERR_BAD_DATA},
        {{255, 1}, 8, "a length of 255", ERR_BAD_DATA},
        {{0, 0, 0, 0}, 8, "no length other than 0", ERR_BAD_DATA},
        {std::vector<uint8_t>(19, 0), 8, "19 lengths of 0", ERR_BAD_DATA},
        {overfull, 12, "510 codes of one bit", ERR_BAD_DATA},
        {sixteens, 1, "510 long codes below a 1-bit index need node 1024 and more", ERR_BAD_DATA},
    };
    for (const BadSet& c : cases) {
        std::vector<uint16_t> table(size_t{1} << c.indexBits, 0xEEEE);
        EXPECT_EQ(
            BuildTable(static_cast<uint32_t>(c.lengths.size()), c.lengths.data(), c.indexBits, table.data()),
            c.expected)
            << c.description;
    }
}

TEST_F(TablesTest, BadArgumentsAreRefused) {
    std::vector<uint16_t> table(MAIN_TABLE_ENTRIES);
    const uint8_t lengths[] = {1, 1};
    EXPECT_EQ(BuildTable(2, lengths, 0, table.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(BuildTable(2, lengths, 13, table.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(BuildTable(0, lengths, 8, table.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(BuildTable(CRUSHED_TREE_NODES, lengths, 8, table.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(BuildTable(2, nullptr, 8, table.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(BuildTable(2, lengths, 8, nullptr), ERR_BAD_ARGUMENT);
}
