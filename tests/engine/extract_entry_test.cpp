// Entry by entry: the overwrite query, skipped entries, refused entries and output
// files that cannot be opened. In every case the walk goes on with the next entry.
#include "extract_fixture.h"

namespace {

class ExtractQueryTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        s_query = this;
    }
    void TearDown() override {
        s_query = nullptr;
        ExtractTest::TearDown();
    }
    // Answers from m_answers in turn and records the path it was asked about.
    static int Query(EntryDescriptor* desc, int32_t a, int32_t b) {
        ExtractQueryTest* self = s_query;
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 0);
        self->m_asked.push_back(desc->name);
        const int answer = self->m_answers.empty() ? 1 : self->m_answers.front();
        if (!self->m_answers.empty()) self->m_answers.erase(self->m_answers.begin());
        return answer;
    }
    int ExtractWithQuery(const Bytes& archive) {
        SetOverwriteQuery(Query);
        const int result = Extract(archive);
        SetOverwriteQuery(nullptr);
        return result;
    }

    std::vector<int> m_answers;
    std::vector<std::string> m_asked;
    static inline ExtractQueryTest* s_query = nullptr;
};

const Bytes OLD_A = TextData(50, 11);
const Bytes OLD_C = TextData(60, 12);

Bytes ThreeEntries() {
    return PlainArchive({Crushed("A.TXT", TextData(5000, 1)), Stored("B.TXT", TextData(30, 2)),
                         Crushed("C.TXT", TextData(40, 3))});
}

TEST_F(ExtractQueryTest, AskedOnlyForExistingFiles) {
    WriteFileBytes(OutFile("A.TXT"), OLD_A);
    m_answers = {1};
    ASSERT_EQ(ExtractWithQuery(ThreeEntries()), 0);
    EXPECT_EQ(m_asked, (std::vector<std::string>{Joined("A.TXT")}));
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), TextData(5000, 1));
    EXPECT_EQ(m_done.size(), 3u);
}

TEST_F(ExtractQueryTest, NoKeepsTheFileAndTheWalkGoesOn) {
    WriteFileBytes(OutFile("A.TXT"), OLD_A);
    m_answers = {0};
    ASSERT_EQ(ExtractWithQuery(ThreeEntries()), 0);
    // No event for the kept file; B and C, which did not exist, are extracted.
    EXPECT_EQ(EntryEvents(),
              (Evs{{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}, {EVT_PROGRESS, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), OLD_A);
    EXPECT_EQ(ReadFileBytes(OutFile("B.TXT")), TextData(30, 2));
    EXPECT_EQ(ReadFileBytes(OutFile("C.TXT")), TextData(40, 3));
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
}

TEST_F(ExtractQueryTest, EachAnswerHoldsForItsEntryOnly) {
    WriteFileBytes(OutFile("A.TXT"), OLD_A);
    WriteFileBytes(OutFile("C.TXT"), OLD_C);
    m_answers = {1, 0};
    ASSERT_EQ(ExtractWithQuery(ThreeEntries()), 0);
    EXPECT_EQ(m_asked, (std::vector<std::string>{Joined("A.TXT"), Joined("C.TXT")}));
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), TextData(5000, 1));
    EXPECT_EQ(ReadFileBytes(OutFile("B.TXT")), TextData(30, 2));
    EXPECT_EQ(ReadFileBytes(OutFile("C.TXT")), OLD_C);

    // The other way round: no, then yes.
    m_events.clear();
    m_asked.clear();
    m_answers = {0, 1};
    WriteFileBytes(OutFile("A.TXT"), OLD_A);
    WriteFileBytes(OutFile("C.TXT"), OLD_C);
    std::filesystem::remove(OutFile("B.TXT"));
    ASSERT_EQ(ExtractWithQuery(ThreeEntries()), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), OLD_A);
    EXPECT_EQ(ReadFileBytes(OutFile("B.TXT")), TextData(30, 2));
    EXPECT_EQ(ReadFileBytes(OutFile("C.TXT")), TextData(40, 3));
}

TEST_F(ExtractTest, WithoutQueryExistingFilesAreReplaced) {
    WriteFileBytes(OutFile("A.TXT"), TextData(100000, 9));
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), TextData(5000, 1));
}

TEST_F(ExtractTest, NoExtractFlagLeavesAnEmptyFile) {
    EntrySpec hidden = Crushed("HIDDEN.TXT", TextData(9000));
    hidden.flags = WRITER_FLAGS | ENTRY_NO_EXTRACT;
    hidden.mtime = 1000000000;
    ASSERT_EQ(Extract(PlainArchive({hidden, Stored("NEXT.TXT", TextData(8))})), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_NO_EXTRACT, 0}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("HIDDEN.TXT")), Bytes());
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(Joined("HIDDEN.TXT").c_str(), &info), 0);
    EXPECT_EQ(info.mtime, 1000000000);
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(8));
}

TEST_F(ExtractTest, UnknownMethodLeavesAnEmptyFileWithTheEntrysTime) {
    EntrySpec three = Stored("THREE.BIN", RandomData(3000));
    three.method = 3;
    three.mtime = 1000000000;
    ASSERT_EQ(Extract(PlainArchive({three, Crushed("NEXT.TXT", TextData(8))})), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_UNKNOWN_METHOD, 0}, {EVT_PROGRESS, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("THREE.BIN")), Bytes());
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(Joined("THREE.BIN").c_str(), &info), 0);
    EXPECT_EQ(info.mtime, 1000000000);
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(8));
}

TEST_F(ExtractTest, StoredEntryWithTwoSizesIsRefused) {
    // The uncompressed size claims 10 bytes more than the data: copying it would take
    // the first bytes of the next record into the file.
    for (int32_t delta : {10, -10}) {
        SCOPED_TRACE(delta);
        m_events.clear();
        EntrySpec liar = Stored("LIAR.TXT", TextData(100));
        liar.change = [delta](EntryHeaderFields* header) {
            header->block.uncompressed_size = static_cast<uint32_t>(100 + delta);
        };
        ASSERT_EQ(Extract(PlainArchive({liar, Stored("NEXT.TXT", TextData(20))})), 0);
        EXPECT_EQ(EntryEvents(),
                  (Evs{{EVT_ENTRY_FAILED, ERR_BAD_DATA}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}));
        EXPECT_EQ(ReadFileBytes(OutFile("LIAR.TXT")), Bytes());
        EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(20));
    }
}

TEST_F(ExtractTest, OutputThatCannotBeOpenedFailsAndTheWalkGoesOn) {
    // A folder where the file should go, and an existing read-only file.
    std::filesystem::create_directory(OutFile("TAKEN.TXT"));
    WriteFileBytes(OutFile("LOCKED.TXT"), TextData(7, 8));
    ASSERT_EQ(PlatChmod(Joined("LOCKED.TXT").c_str(), 0x8124), 0);
    ASSERT_EQ(Extract(PlainArchive({Stored("TAKEN.TXT", TextData(30)), Crushed("LOCKED.TXT", TextData(9000)),
                                    Stored("NEXT.TXT", TextData(20))})),
              0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_FAILED, ERR_IO},
                                  {EVT_ENTRY_FAILED, ERR_IO},
                                  {EVT_ENTRY_BEGIN, 0},
                                  {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(m_names[0], Joined("TAKEN.TXT"));
    EXPECT_EQ(ReadFileBytes(OutFile("LOCKED.TXT")), TextData(7, 8));
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(20));
    EXPECT_EQ(PlatChmod(Joined("LOCKED.TXT").c_str(), WRITER_MODE_FILE), 0);
}

TEST_F(ExtractTest, ExtractEntryRefusesSlotsOutsideTheTable) {
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    desc.input_slot = -1;
    desc.output_slot = 0;
    EXPECT_EQ(ExtractEntry(&desc), ERR_BAD_HANDLE);
    desc.input_slot = 0;
    desc.output_slot = -1;
    EXPECT_EQ(ExtractEntry(&desc), ERR_BAD_HANDLE);
    desc.output_slot = FILE_SLOT_COUNT;
    EXPECT_EQ(ExtractEntry(&desc), ERR_BAD_HANDLE);
    EXPECT_EQ(ExtractEntry(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_TRUE(m_events.empty());
}

TEST_F(ExtractTest, CopyStoredWithoutBufferRaisesNoMemory) {
    // Every copy buffer size fails (the smallest is EXTRACT_COPY_MIN); the entry is
    // skipped and the next one, Crushed, needs only 4096 bytes.
    const std::string path =
        Put("NOMEM.ARQ",
            PlainArchive({Stored("BIG.BIN", RandomData(50000)), Crushed("SMALL.TXT", TextData(100))}));
    // The decoder's table (8192 bytes) is kept from an earlier Crushed entry.
    const std::string first = Put("FIRST.ARQ", PlainArchive({Crushed("FIRST.TXT", TextData(10))}));
    ASSERT_EQ(ExtractArchive(first.c_str(), m_out.c_str()), 0);
    ASSERT_NE(MainTable, nullptr);
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    MemFailFrom(EXTRACT_COPY_MIN);
    ASSERT_EQ(ExtractArchive(path.c_str(), m_out.c_str()), 0);
    MemReset();
    DecoderRelease();
    EXPECT_EQ(EntryEvents(),
              (Evs{{EVT_ENTRY_BEGIN, 0}, {EVT_NO_MEMORY, 0}, {EVT_PROGRESS, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("BIG.BIN")), Bytes());
    EXPECT_EQ(ReadFileBytes(OutFile("SMALL.TXT")), TextData(100));
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(ExtractTest, CopyStoredWorksWithTheSmallestBuffer) {
    // Only 0x2000 bytes to be had: 128 buffers for 1 MiB, so progress after every 8th.
    const Bytes data = RandomData(1024 * 1024);
    const std::string path = Put("SMALLBUF.ARQ", PlainArchive({Stored("BIG.BIN", data)}));
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    MemFailFrom(EXTRACT_COPY_MIN + 1);
    ASSERT_EQ(ExtractArchive(path.c_str(), m_out.c_str()), 0);
    MemReset();
    Evs expected = {{EVT_ENTRY_BEGIN, 0}};
    for (int32_t done = 8 * EXTRACT_COPY_MIN; done <= 1024 * 1024; done += 8 * EXTRACT_COPY_MIN)
        expected.push_back({EVT_PROGRESS, done});
    expected.push_back({EVT_ENTRY_DONE, 0});
    EXPECT_EQ(EntryEvents(), expected);
    EXPECT_EQ(ReadFileBytes(OutFile("BIG.BIN")), data);
}

TEST_F(ExtractTest, CrushedWithoutWindowFailsWithNoMemory) {
    // The window is 4096 bytes; the path copies and the search buffer are smaller or
    // larger: fail exactly that size.
    const std::string path =
        Put("NOWIN.ARQ", PlainArchive({Crushed("A.TXT", TextData(9000)), Stored("B.TXT", TextData(10))}));
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    MemFailFrom(4096);
    // Sizes from 4096 up fail: the search buffer (the whole small file) still fits.
    ASSERT_LT(ReadFileBytes(path).size(), 4096u);
    ASSERT_EQ(ExtractArchive(path.c_str(), m_out.c_str()), 0);
    MemReset();
    DecoderRelease();
    // The Stored entry behind it finds no copy buffer of 0x2000 either.
    EXPECT_EQ(EntryEvents(),
              (Evs{{EVT_ENTRY_FAILED, ERR_NO_MEMORY}, {EVT_ENTRY_BEGIN, 0}, {EVT_NO_MEMORY, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("A.TXT")), Bytes());
    EXPECT_EQ(ReadFileBytes(OutFile("B.TXT")), Bytes());
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
    EXPECT_EQ(LeakedBlocks(), 0);
}

} // namespace
