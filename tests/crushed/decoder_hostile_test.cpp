// The block decoder on invalid and cut-short streams: each fails the entry with a
// result code, reads and writes nothing out of bounds (see the sanitizer build), and
// stays failed until the next entry.
#include <gtest/gtest.h>

#include <string>

#include "decoder_fixture.h"
#include "fileio/codes.h"

static std::string Bin(uint32_t value, int width) {
    std::string bits;
    for (int i = width - 1; i >= 0; i--)
        bits += ((value >> i) & 1u) ? '1' : '0';
    return bits + ' ';
}
static std::string Repeat(const std::string& bits, int times) {
    std::string all;
    for (int i = 0; i < times; i++)
        all += bits;
    return all;
}

// Block pieces as bit strings.
static const std::string kPreLength9 = "00000 01011 ";            // pre-code: single value 11, a length of 9
static const std::string kFixedMain = kPreLength9 + "111111110 "; // 510 main lengths of 9
static const std::string kFixedPosition = "1101 " + Repeat("100 ", 13); // 13 position lengths of 4
static std::string FixedHeader(uint32_t symbols) { return Bin(symbols, 16) + kFixedMain + kFixedPosition; }
static std::string Literal(uint8_t byte) { return Bin(byte, 9); }

struct HostileCase {
    std::string bits;
    const char* description;
    uint32_t size; // uncompressed size claimed
    int expected;
};

TEST_F(DecoderTest, HostileStreams) {
    const std::vector<HostileCase> cases = {
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
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.description);
        const Bytes stream = BitsToBytes(c.bits);
        EntryRun run = DecodeEntry(stream, c.size);
        EXPECT_EQ(run.resetResult, 0);
        EXPECT_EQ(run.result, c.expected);
        if (c.expected == 0) {
            EXPECT_EQ(run.output.size(), c.size);
        }
        EXPECT_LE(run.consumed, static_cast<int32_t>(stream.size()));
    }
}

static const Bytes kWorkedStream = {0x00, 0x03, 0x28, 0x04, 0x4A, 0x0C, 0x16, 0xD9, 0x5D, 0x80, 0xAC};

TEST_F(DecoderTest, InputEndingBeforeTheCompressedSizeFailsTheEntry) {
    for (size_t kept : {0, 2, 3}) {
        EntryRun run = DecodeEntry(kWorkedStream, 10, -1, kept);
        EXPECT_EQ(run.resetResult, ERR_BAD_DATA) << kept << " bytes in the file";
    }
    for (size_t kept : {4, 5, 9, 10}) {
        EntryRun run = DecodeEntry(kWorkedStream, 10, -1, kept);
        EXPECT_EQ(run.resetResult, 0);
        EXPECT_EQ(run.result, ERR_BAD_DATA) << kept << " bytes in the file";
        EXPECT_TRUE(run.output.empty());
    }
}

TEST_F(DecoderTest, CompressedSizeBoundsTheInput) {
    // The worked stream with two bytes of its compressed size missing: the decoder takes
    // zero bits instead and leaves the record behind the entry alone.
    EntryRun run = DecodeEntry(kWorkedStream, 10, 9);
    EXPECT_EQ(run.consumed, 9);
    EXPECT_EQ(run.nextByte, kWorkedStream[9]);
}

TEST_F(DecoderTest, FailureIsStickyUntilTheNextEntry) {
    const Bytes bad = BitsToBytes(Bin(1, 16) + "11111");
    int slot = OpenStream(bad);
    InputSlot = slot;
    CompressedLeft = static_cast<uint32_t>(bad.size());
    ASSERT_EQ(DecoderReset(), 0);
    SetEventHandler(EVENT_SLOT_MAIN, RecordEvent);
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE, 0xCC);
    EntryDescriptor descriptor = {};
    EXPECT_EQ(DecodeChunk(&descriptor, 4096, window.data()), ERR_BAD_DATA);
    EXPECT_EQ(window, std::vector<uint8_t>(CRUSHED_WINDOW_SIZE, 0)); // no undefined bytes handed out
    ASSERT_EQ(s_events.size(), 1u);
    EXPECT_EQ(DecodeChunk(&descriptor, 4096, window.data()), ERR_BAD_DATA);
    EXPECT_EQ(s_events.size(), 1u); // no progress for an entry that has failed
    FileClose(slot);

    EntryRun next = DecodeEntry(kWorkedStream, 10);
    EXPECT_EQ(next.result, 0);
    EXPECT_EQ(next.output, Bytes({'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'}));
}

TEST_F(DecoderTest, MissingMainTableFailsTheEntryWithNoMemory) {
    MemFailFrom(MAIN_TABLE_BYTES);
    EntryRun run = DecodeEntry(kWorkedStream, 10);
    EXPECT_EQ(run.resetResult, ERR_NO_MEMORY);
    EXPECT_EQ(MainTable, nullptr);

    // The loop's first call, had it been made, gets the same answer and raises nothing.
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE);
    SetEventHandler(EVENT_SLOT_MAIN, RecordEvent);
    s_events.clear();
    EXPECT_EQ(DecodeChunk(nullptr, 10, window.data()), ERR_NO_MEMORY);
    EXPECT_TRUE(s_events.empty());

    MemReset();
    EXPECT_EQ(DecodeEntry(kWorkedStream, 10).result, 0);
}

TEST_F(DecoderTest, CallsOutsideTheCallingPatternAreRefused) {
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE);
    EXPECT_EQ(DecodeChunk(nullptr, 10, window.data()), ERR_BAD_ARGUMENT); // no DecoderReset yet

    int slot = OpenStream(kWorkedStream);
    InputSlot = slot;
    CompressedLeft = static_cast<uint32_t>(kWorkedStream.size());
    ASSERT_EQ(DecoderReset(), 0);
    EXPECT_EQ(DecodeChunk(nullptr, 0, window.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(DecodeChunk(nullptr, CRUSHED_WINDOW_SIZE + 1, window.data()), ERR_BAD_ARGUMENT);
    EXPECT_EQ(DecodeChunk(nullptr, 10, nullptr), ERR_BAD_ARGUMENT);
    ASSERT_EQ(DecodeChunk(nullptr, 4, window.data()), 0);
    // After a short chunk the ring no longer lines up with the output.
    EXPECT_EQ(DecodeChunk(nullptr, 6, window.data()), ERR_BAD_ARGUMENT);
    DecoderRelease();
    EXPECT_EQ(DecodeChunk(nullptr, 6, window.data()), ERR_BAD_ARGUMENT);
    FileClose(slot);
}

// Arbitrary bytes, sizes and claimed lengths: every result is 0 or ERR_BAD_DATA, and
// the input never runs past the compressed size.
TEST_F(DecoderTest, RandomStreamsFailCleanly) {
    Lcg rng(2024);
    for (int i = 0; i < 300; i++) {
        Bytes stream(rng.Next(200));
        for (uint8_t& b : stream)
            b = static_cast<uint8_t>(rng.Next(256));
        if (stream.size() >= 2 && rng.Next(2)) stream[0] = 0; // small block counts
        uint32_t size = rng.Next(3) == 0 ? rng.Next(20000) : rng.Next(300);
        EntryRun run = DecodeEntry(stream, size);
        ASSERT_TRUE(run.resetResult == 0 || run.resetResult == ERR_BAD_DATA);
        ASSERT_TRUE(run.result == 0 || run.result == ERR_BAD_DATA) << run.result;
        ASSERT_LE(run.consumed, static_cast<int32_t>(stream.size()));
    }
}
