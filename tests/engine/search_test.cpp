// FindSignature and its two wrappers.
#include "engine/search.h"

#include <gtest/gtest.h>

#include <cstring>

#include "archive_builder.h"
#include "engine/descriptor.h"
#include "engine_fixture.h"

namespace {

const Bytes kEntry = {0x67, 0x57, 0x04, 0x01};
const Bytes kHeader = {0x67, 0x57, 0x04, 0x02};

// Handler state; reset by the fixture.
int g_searchEvents = 0;
int g_otherEvents = 0;
int g_cancelAt = 0; // cancel during this search event (1-based); 0 = never

int CountingHandler(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (event != EVT_SEARCH_PROGRESS || argument != 0 || desc == nullptr) {
        g_otherEvents++;
        return 0;
    }
    g_searchEvents++;
    if (g_searchEvents == g_cancelAt) desc->status = STATUS_CANCEL;
    return 0;
}

int NeverCalled(EntryDescriptor*, int32_t, int32_t) {
    g_otherEvents += 1000;
    return 0;
}

class SearchTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        g_searchEvents = 0;
        g_otherEvents = 0;
        g_cancelAt = 0;
    }
    // Opens bytes as a file and searches from offset start.
    int32_t Search(const Bytes& bytes, const Bytes& pattern, int32_t limit = 0, int32_t start = 0) {
        const std::string path = Put("search.bin", bytes);
        m_slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_GE(m_slot, 0);
        FileSeek(m_slot, start, FILE_SEEK_START);
        MemFailFrom(m_failFrom); // after the open, which needs memory for its path
        const int32_t result =
            FindSignature(m_slot, pattern.data(), static_cast<int32_t>(pattern.size()), limit);
        MemFailFrom(0);
        EXPECT_EQ(FileTell(m_slot), start) << "position restored";
        FileClose(m_slot);
        EXPECT_EQ(LeakedBlocks(), 0);
        return result;
    }
    // size filler bytes (no signature byte among them) with the pattern at offset at.
    static Bytes With(size_t size, size_t at, const Bytes& pattern) {
        Bytes bytes(size, 0x00);
        std::memcpy(bytes.data() + at, pattern.data(), pattern.size());
        return bytes;
    }

    int m_slot = -1;
    size_t m_failFrom = 0; // allocations of this size and more fail during the search
};

struct SearchCase {
    const char* description;
    Bytes bytes;
    Bytes pattern;
    int32_t expected;
};

TEST_F(SearchTest, FirstOccurrenceInSmallFiles) {
    const SearchCase cases[] = {
        {"at offset 0", kEntry, kEntry, 0},
        {"behind filler", {0, 1, 2, 0x67, 0x57, 0x04, 0x01, 9}, kEntry, 3},
        {"behind a copy of its first byte", {0x67, 0x67, 0x57, 0x04, 0x01}, kEntry, 1},
        {"behind a copy of its first two bytes", {0x67, 0x57, 0x67, 0x57, 0x04, 0x01}, kEntry, 2},
        {"behind a copy of its first three bytes", {0x67, 0x57, 0x04, 0x67, 0x57, 0x04, 0x01}, kEntry, 3},
        {"behind the other signature", {0x67, 0x57, 0x04, 0x02, 0x67, 0x57, 0x04, 0x01}, kEntry, 4},
        {"the first of two", {0x67, 0x57, 0x04, 0x01, 0x67, 0x57, 0x04, 0x01}, kEntry, 0},
        {"at the very end", {5, 5, 5, 5, 0x67, 0x57, 0x04, 0x01}, kEntry, 4},
        {"three of four bytes at the end", {5, 0x67, 0x57, 0x04}, kEntry, -5},
        {"none", {1, 2, 3, 4, 5, 6, 7, 8}, kEntry, -5},
        {"the archive header signature", {9, 0x67, 0x57, 0x04, 0x02}, kHeader, 1},
        // Patterns that overlap themselves need more than a look at the first byte.
        {"AAB in AAAB", {'A', 'A', 'A', 'B'}, {'A', 'A', 'B'}, 1},
        {"ABAC in ABABAC", {'A', 'B', 'A', 'B', 'A', 'C'}, {'A', 'B', 'A', 'C'}, 2},
        {"AABAAC in AABAABAAC",
         {'A', 'A', 'B', 'A', 'A', 'B', 'A', 'A', 'C'},
         {'A', 'A', 'B', 'A', 'A', 'C'},
         3},
        {"one-byte pattern", {1, 2, 3}, {3}, 2},
        {"a pattern longer than the file", {'A', 'B'}, {'A', 'B', 'C'}, -4},
        {"an empty file", {}, kEntry, -5},
    };
    for (const SearchCase& c : cases) {
        EXPECT_EQ(Search(c.bytes, c.pattern), c.expected) << c.description;
    }
}

TEST_F(SearchTest, SearchStartsAtTheSlotPosition) {
    Bytes bytes = With(100, 5, kEntry);
    std::memcpy(bytes.data() + 60, kEntry.data(), 4);
    EXPECT_EQ(Search(bytes, kEntry, 0, 10), 60);
    EXPECT_EQ(Search(bytes, kEntry, 0, 61), -5);
    EXPECT_EQ(Search(bytes, kEntry, 0, 500), -5); // past the end
}

TEST_F(SearchTest, SignatureAcrossChunkBorderGivesItsFirstByte) {
    for (int before = 1; before <= 3; before++) {
        const size_t at = SEARCH_CHUNK_SIZE - static_cast<size_t>(before);
        EXPECT_EQ(Search(With(SEARCH_CHUNK_SIZE + 100, at, kEntry), kEntry), static_cast<int32_t>(at))
            << before;
    }
    // A partial match at the end of one chunk, the whole signature at the start of the next.
    Bytes bytes = With(SEARCH_CHUNK_SIZE + 100, SEARCH_CHUNK_SIZE, kEntry);
    bytes[SEARCH_CHUNK_SIZE - 1] = 0x67;
    EXPECT_EQ(Search(bytes, kEntry), SEARCH_CHUNK_SIZE);
    bytes[SEARCH_CHUNK_SIZE - 2] = 0x67;
    bytes[SEARCH_CHUNK_SIZE - 1] = 0x57;
    EXPECT_EQ(Search(bytes, kEntry), SEARCH_CHUNK_SIZE);
}

TEST_F(SearchTest, LimitStopsAfterTheChunkThatPassesIt) {
    // 21 full chunks (4,128,768 bytes) pass 4,000,000; 20 (3,932,160) do not.
    const int32_t covered = 21 * SEARCH_CHUNK_SIZE;
    ASSERT_EQ(covered, 4128768);
    const size_t size = static_cast<size_t>(covered) + SEARCH_CHUNK_SIZE;
    EXPECT_EQ(Search(With(size, covered - 4, kEntry), kEntry, SIGNATURE_SEARCH_LIMIT), covered - 4);
    EXPECT_EQ(Search(With(size, covered - 3, kEntry), kEntry, SIGNATURE_SEARCH_LIMIT), -5);
    EXPECT_EQ(Search(With(size, covered, kEntry), kEntry, SIGNATURE_SEARCH_LIMIT), -5);
    // Without a limit the whole file is searched.
    EXPECT_EQ(Search(With(size, covered, kEntry), kEntry, 0), covered);
}

TEST_F(SearchTest, LimitCountsFromTheStartPosition) {
    const int32_t covered = 21 * SEARCH_CHUNK_SIZE;
    const size_t size = static_cast<size_t>(covered) + 1000 + SEARCH_CHUNK_SIZE;
    EXPECT_EQ(Search(With(size, 1000 + covered - 4, kEntry), kEntry, SIGNATURE_SEARCH_LIMIT, 1000),
              1000 + covered - 4);
    EXPECT_EQ(Search(With(size, 1000 + covered - 3, kEntry), kEntry, SIGNATURE_SEARCH_LIMIT, 1000), -5);
}

TEST_F(SearchTest, EmptyFileRaisesExactlyOneEvent) {
    SetEventHandler(EVENT_SLOT_MAIN, CountingHandler);
    EXPECT_EQ(Search({}, kEntry), -5);
    EXPECT_EQ(g_searchEvents, 1);
    EXPECT_EQ(g_otherEvents, 0);
}

TEST_F(SearchTest, OneEventPerChunkAndForTheLastEmptyRead) {
    SetEventHandler(EVENT_SLOT_MAIN, CountingHandler);
    EXPECT_EQ(Search(Bytes(2 * SEARCH_CHUNK_SIZE + SEARCH_CHUNK_SIZE / 2, 0), kEntry), -5);
    EXPECT_EQ(g_searchEvents, 4);
    g_searchEvents = 0;
    EXPECT_EQ(Search(With(2 * SEARCH_CHUNK_SIZE + 10, SEARCH_CHUNK_SIZE + 10, kEntry), kEntry),
              SEARCH_CHUNK_SIZE + 10);
    EXPECT_EQ(g_searchEvents, 2); // the search ends in the chunk that holds the signature
}

TEST_F(SearchTest, HandlerCancelsTheSearch) {
    SetEventHandler(EVENT_SLOT_MAIN, CountingHandler);
    g_cancelAt = 1;
    EXPECT_EQ(Search(With(3 * SEARCH_CHUNK_SIZE, 2 * SEARCH_CHUNK_SIZE + 5, kEntry), kEntry, 0, 7),
              ERR_CANCELLED);
    EXPECT_EQ(g_searchEvents, 1); // no further chunk is read
    g_searchEvents = 0;
    g_cancelAt = 2;
    EXPECT_EQ(Search(With(3 * SEARCH_CHUNK_SIZE, 2 * SEARCH_CHUNK_SIZE + 5, kEntry), kEntry), ERR_CANCELLED);
    EXPECT_EQ(g_searchEvents, 2);
}

TEST_F(SearchTest, SmallerChunksUnderMemoryPressure) {
    SetEventHandler(EVENT_SLOT_MAIN, CountingHandler);
    const Bytes bytes = With(SEARCH_CHUNK_SIZE, SEARCH_CHUNK_SIZE - 0x3000 - 2, kEntry);
    struct {
        size_t failFrom;
        int32_t chunk;
    } const steps[] = {{0x30000, 0x18000}, {0x18000, 0xC000}, {0xC000, 0x6000}, {0x6000, 0x3000}};
    for (const auto& step : steps) {
        g_searchEvents = 0;
        m_failFrom = step.failFrom;
        EXPECT_EQ(Search(bytes, kEntry), SEARCH_CHUNK_SIZE - 0x3000 - 2) << step.chunk;
        // The signature straddles the border in front of the last 0x3000 bytes.
        EXPECT_EQ(g_searchEvents, SEARCH_CHUNK_SIZE / step.chunk) << step.chunk;
    }
    g_searchEvents = 0;
    m_failFrom = 0x3000;
    EXPECT_EQ(Search(bytes, kEntry), ERR_NO_MEMORY);
    EXPECT_EQ(g_searchEvents, 0);
    m_failFrom = 1;
    EXPECT_EQ(Search(Bytes(100, 0), kEntry), ERR_NO_MEMORY);
}

TEST_F(SearchTest, BadArguments) {
    const std::string path = Put("a.bin", kEntry);
    const int slot = FileOpen(path.c_str(), FILE_READ);
    EXPECT_EQ(FindSignature(slot, nullptr, 4, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FindSignature(slot, kEntry.data(), 0, 0), ERR_BAD_ARGUMENT);
    const Bytes longPattern(SEARCH_PATTERN_MAX + 1, 0x67);
    EXPECT_EQ(FindSignature(slot, longPattern.data(), SEARCH_PATTERN_MAX + 1, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FindSignature(slot + 1, kEntry.data(), 4, 0), ERR_BAD_HANDLE); // not open
    EXPECT_EQ(FindSignature(-1, kEntry.data(), 4, 0), ERR_BAD_HANDLE);
    FileClose(slot);
}

TEST_F(SearchTest, WrappersByName) {
    const Bytes file = BuildSelfExtracting(3000, {{"a.pps", Bytes(10, 'a')}});
    const std::string path = Put("show.exe", file);
    EXPECT_EQ(FindArchiveHeader(path.c_str(), 0), 3000 + 4);
    EXPECT_EQ(FindEntrySignature(path.c_str(), 0), 3000 + 12);
    EXPECT_EQ(BusySlots(), 0);
    const std::string none = Put("none.bin", Bytes(5000, 1));
    EXPECT_EQ(FindArchiveHeader(none.c_str(), 0), -5);
    EXPECT_EQ(FindEntrySignature(none.c_str(), 0), -5);
    EXPECT_EQ(FindEntrySignature("", 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FindArchiveHeader("", 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FindEntrySignature(m_scratch.file("missing.exe").c_str(), 0), ERR_NOT_FOUND);
    EXPECT_EQ(FindArchiveHeader(m_scratch.file("missing.exe").c_str(), 0), ERR_NOT_FOUND);
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(SearchTest, WrappersOnAnOpenSlot) {
    const Bytes file = BuildSelfExtracting(3000, {{"a.pps", Bytes(10, 'a')}, {"b.pps", Bytes(10, 'b')}});
    const int slot = FileOpen(Put("show.exe", file).c_str(), FILE_READ);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(FindArchiveHeader(nullptr, slot), 3004);
    EXPECT_EQ(FindEntrySignature(nullptr, slot), 3012);
    FileSeek(slot, 3013, FILE_SEEK_START);
    EXPECT_EQ(FindEntrySignature(nullptr, slot), 3012 + 41 + 5 + 10); // the second entry
    EXPECT_EQ(FileTell(slot), 3013);
    EXPECT_EQ(FindArchiveHeader(nullptr, slot), -5);
    EXPECT_EQ(FindEntrySignature(nullptr, FILE_SLOT_COUNT), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FindArchiveHeader(nullptr, -1), ERR_BAD_ARGUMENT);
    FileClose(slot);
}

TEST_F(SearchTest, WrappersGiveUpBeyondTheLimit) {
    const int32_t covered = 21 * SEARCH_CHUNK_SIZE;
    const std::string path = Put("far.exe", With(static_cast<size_t>(covered) + 100, covered, kHeader));
    EXPECT_EQ(FindArchiveHeader(path.c_str(), 0), -5);
    const std::string near = Put("near.exe", With(static_cast<size_t>(covered) + 100, covered - 4, kHeader));
    EXPECT_EQ(FindArchiveHeader(near.c_str(), 0), covered);
}

TEST_F(SearchTest, SecondHandlerSlotIsStoredButNeverCalled) {
    EXPECT_EQ(SetEventHandler(EVENT_SLOT_SECOND, NeverCalled), 0);
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_SECOND), NeverCalled);
    EXPECT_EQ(Search(With(1000, 500, kEntry), kEntry), 500);
    SetEventHandler(EVENT_SLOT_MAIN, CountingHandler);
    EXPECT_EQ(Search(With(1000, 500, kEntry), kEntry), 500);
    EXPECT_EQ(g_searchEvents, 1);
    EXPECT_EQ(g_otherEvents, 0);
}

} // namespace
