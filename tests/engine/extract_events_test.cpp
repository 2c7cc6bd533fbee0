// Whole extractions and their exact event sequences.
#include "extract_fixture.h"

namespace {

const uint32_t MIB = 1024 * 1024;

struct SequenceCase {
    const char* description;
    int method;
    uint32_t size;
    Evs expected; // behind the search for the first entry
};

class ExtractSequenceTest : public ExtractTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(ExtractSequenceTest, OneEntry) {
    const SequenceCase& c = GetParam();
    const Bytes data = c.method == METHOD_CRUSHED ? TextData(c.size) : RandomData(c.size);
    EntrySpec entry = c.method == METHOD_CRUSHED ? Crushed("DATA.BIN", data) : Stored("DATA.BIN", data);
    ASSERT_EQ(Extract(PlainArchive({entry})), 0);

    // One search for the first entry, which stands at offset 0 of a plain archive.
    const Evs expected = Join({{{EVT_SEARCH_PROGRESS, 0}}, c.expected});
    EXPECT_EQ(m_events, expected);
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
    EXPECT_EQ(ReadFileBytes(OutFile("DATA.BIN")), data);
    ASSERT_EQ(m_done.size(), 1u);
    EXPECT_EQ(m_done[0], Joined("DATA.BIN"));
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ExtractSequenceTest,
    ::testing::Values(
        SequenceCase{"stored_0", METHOD_STORED, 0, {{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}},
        SequenceCase{"stored_10000", METHOD_STORED, 10000, {{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}},
        // Eight buffers of 0x20000: one progress event, after the 8th.
        SequenceCase{"stored_1MiB",
                     METHOD_STORED,
                     MIB,
                     {{EVT_ENTRY_BEGIN, 0}, {EVT_PROGRESS, 1048576}, {EVT_ENTRY_DONE, 0}}},
        SequenceCase{"stored_1MiB_plus_1",
                     METHOD_STORED,
                     MIB + 1,
                     {{EVT_ENTRY_BEGIN, 0}, {EVT_PROGRESS, 1048576}, {EVT_ENTRY_DONE, 0}}},
        // Crushed: progress before every chunk, with the bytes before it; none for 0 bytes.
        SequenceCase{"crushed_0", METHOD_CRUSHED, 0, {{EVT_ENTRY_DONE, 0}}},
        SequenceCase{"crushed_10000",
                     METHOD_CRUSHED,
                     10000,
                     {{EVT_PROGRESS, 0}, {EVT_PROGRESS, 4096}, {EVT_PROGRESS, 8192}, {EVT_ENTRY_DONE, 0}}},
        SequenceCase{"crushed_4096", METHOD_CRUSHED, 4096, {{EVT_PROGRESS, 0}, {EVT_ENTRY_DONE, 0}}},
        SequenceCase{"crushed_1MiB", METHOD_CRUSHED, MIB,
                     Join({CrushedProgress(MIB), {{EVT_ENTRY_DONE, 0}}})}),
    [](const ::testing::TestParamInfo<SequenceCase>& param) { return std::string(param.param.description); });

TEST_F(ExtractTest, SeveralEntriesInArchiveOrder) {
    const Bytes show = TextData(10000, 3);
    const Bytes player = RandomData(5000, 4);
    const Bytes readme = TextData(100, 5);
    ASSERT_EQ(Extract(PlainArchive(
                  {Crushed("SHOW.PPS", show), Stored("PLAYER.EXE", player), Crushed("README.TXT", readme)})),
              0);
    const Evs expected = {{EVT_SEARCH_PROGRESS, 0}, {EVT_PROGRESS, 0},   {EVT_PROGRESS, 4096},
                          {EVT_PROGRESS, 8192},     {EVT_ENTRY_DONE, 0}, {EVT_ENTRY_BEGIN, 0},
                          {EVT_ENTRY_DONE, 0},      {EVT_PROGRESS, 0},   {EVT_ENTRY_DONE, 0}};
    EXPECT_EQ(m_events, expected);
    EXPECT_EQ(m_done,
              (std::vector<std::string>{Joined("SHOW.PPS"), Joined("PLAYER.EXE"), Joined("README.TXT")}));
    EXPECT_EQ(ReadFileBytes(OutFile("SHOW.PPS")), show);
    EXPECT_EQ(ReadFileBytes(OutFile("PLAYER.EXE")), player);
    EXPECT_EQ(ReadFileBytes(OutFile("README.TXT")), readme);
}

TEST_F(ExtractTest, EmptyArchiveExtractsNothing) {
    ASSERT_EQ(Extract(PlainArchive({})), 0);
    EXPECT_EQ(m_events, (Evs{{EVT_SEARCH_PROGRESS, 0}}));
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
    EXPECT_TRUE(Tree(m_out).empty());
}

TEST_F(ExtractTest, ArchiveThatCannotBeOpened) {
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    EXPECT_EQ(ExtractArchive(m_scratch.file("MISSING.ARQ").c_str(), m_out.c_str()), -1);
    EXPECT_EQ(ExtractArchive(nullptr, m_out.c_str()), -1);
    EXPECT_TRUE(m_events.empty());
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(ExtractTest, ExtractedFilesCarryModeAndTime) {
    EntrySpec plain = Stored("PLAIN.TXT", TextData(300));
    EntrySpec runnable = Crushed("RUN.EXE", TextData(300, 2));
    runnable.mtime = 1000000000; // 2001-09-09 01:46:40 UTC
    ASSERT_EQ(Extract(PlainArchive({plain, runnable})), 0);

    PlatStatInfo info;
    ASSERT_EQ(PlatStat(Joined("PLAIN.TXT").c_str(), &info), 0);
    EXPECT_EQ(info.mtime, TEST_MTIME);
    EXPECT_NE(info.mode & 0x80, 0u); // owner may write
    ASSERT_EQ(PlatStat(Joined("RUN.EXE").c_str(), &info), 0);
    EXPECT_EQ(info.mtime, 1000000000);
}

TEST_F(ExtractTest, ReadOnlyModeKeepsTheWriteTime) {
    // Owner-write bit clear: the file becomes read-only, and a read-only file's time
    // cannot be set, so it keeps the time it was written at.
    EntrySpec locked = Stored("LOCKED.TXT", TextData(300));
    locked.mode = 0x8124; // regular file, r--r--r--
    locked.mtime = 1000000000;
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    ASSERT_EQ(Extract(PlainArchive({locked, Stored("NEXT.TXT", TextData(10))})), 0);
    EXPECT_EQ(EntryEvents(),
              (Evs{{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}));

    PlatStatInfo info;
    ASSERT_EQ(PlatStat(Joined("LOCKED.TXT").c_str(), &info), 0);
    EXPECT_EQ(info.mode & 0x80, 0u);
    EXPECT_GE(info.mtime, before - 5);
    EXPECT_EQ(PlatAccess(Joined("LOCKED.TXT").c_str(), 2), -1); // not writable
    EXPECT_EQ(ReadFileBytes(OutFile("LOCKED.TXT")), TextData(300));
    // Let the scratch folder go again.
    EXPECT_EQ(PlatChmod(Joined("LOCKED.TXT").c_str(), WRITER_MODE_FILE), 0);
}

TEST_F(ExtractTest, NameCaseCodeThreeKeepsTheStoredCase) {
    EntrySpec mixed = Stored("Sub/Mixed.txt", TextData(20));
    mixed.rawName = true;
    mixed.nameCase = NAME_CASE_KEEP;
    EntrySpec folded = Stored("lower.txt", TextData(20, 2));
    folded.rawName = true;
    ASSERT_EQ(Extract(PlainArchive({mixed, folded})), 0);
    EXPECT_EQ(m_done, (std::vector<std::string>{Joined("Sub\\Mixed.txt"), Joined("LOWER.TXT")}));
    EXPECT_EQ(ReadFileBytes(OutFile("Sub\\Mixed.txt")), TextData(20));
}

} // namespace
