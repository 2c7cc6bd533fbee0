// The block decoder on invalid and cut-short streams: each fails the entry with a
// result code, reads and writes nothing out of bounds (see the sanitizer build), and
// stays failed until the next entry.
#include <gtest/gtest.h>

#include <string>

#include "decoder_fixture.h"
#include "decoder_hostile_cases.h"
#include "fileio/codes.h"

TEST_F(DecoderTest, HostileStreams) {
    const std::vector<HostileCase>& cases = HostileCases();
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
