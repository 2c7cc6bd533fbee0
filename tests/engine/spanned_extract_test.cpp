// Spanned sets extracted through ExtractArchive, disks changed in drive A: as asked.
#include <gtest/gtest.h>

#include "crushed/decoder.h"
#include "crushed/crushed.h"
#include "engine/extract.h"
#include "spanned_fixture.h"

namespace {

class SpannedExtractTest : public SpannedTest {
protected:
    void SetUp() override {
        SpannedTest::SetUp();
        ExtractResetState();
        m_small = Pattern(50, 1);
        m_big = Pattern(3000, 2);
        m_last = Pattern(20, 3);
        m_destination = m_scratch.path() / "out";
        std::filesystem::create_directory(m_destination);
    }
    void TearDown() override {
        ExtractResetState();
        SpannedTest::TearDown();
    }
    // SMALL.TXT (50-byte header, 50 bytes), BIG.BIN (48-byte header, 3000 bytes) and
    // LAST.TXT (49-byte header, 20 bytes), Stored, spread over volumes of volumeSize.
    std::vector<Bytes> ThreeFiles(uint32_t volumeSize) {
        return SplitIntoVolumes(
            m_scratch, BuildArchive({{"SMALL.TXT", m_small}, {"BIG.BIN", m_big}, {"LAST.TXT", m_last}}),
            volumeSize);
    }
    // Extracts the set, disk `first` in the drive to begin with.
    void Extract(const std::vector<Bytes>& volumes, int first = 1) {
        Script().volumes = volumes;
        Insert(volumes[static_cast<size_t>(first - 1)]);
        ExtractArchive(DrivePath().c_str(), EnginePath(m_destination.string()).c_str());
    }
    Bytes Output(const char* name) const { return ReadFileBytes((m_destination / name).string()); }
    bool Exists(const char* name) const { return std::filesystem::exists(m_destination / name); }
    std::vector<std::string> TempFiles() const { return TempFilesIn(m_destination); }

    Bytes m_small;
    Bytes m_big;
    Bytes m_last;
    std::filesystem::path m_destination;
};

const RecordedEvent kSearch = {EVT_SEARCH_PROGRESS, 0};
const RecordedEvent kBegin = {EVT_ENTRY_BEGIN, 0};
const RecordedEvent kDone = {EVT_ENTRY_DONE, 0};
const RecordedEvent kTempName = {EVT_TEMP_NAME, 0};

// One piece copy: the start, the bytes after the one buffer, the closing empty read.
Events Piece(int32_t bytes) {
    return {{EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, bytes}, {EVT_COPY_PROGRESS, bytes}};
}

Events Join(std::initializer_list<Events> parts) {
    Events out;
    for (const Events& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST_F(SpannedExtractTest, ASetOfTwoDisks) {
    // Disk 1 (2500 bytes): SMALL.TXT (100), BIG.BIN's header and 2352 of its bytes.
    // Disk 2: BIG.BIN's continuation and last 648 bytes, LAST.TXT, the end record.
    const std::vector<Bytes> volumes = ThreeFiles(2500);
    ASSERT_EQ(volumes.size(), 2u);
    ASSERT_EQ(volumes[0].size(), 2500u);
    ASSERT_EQ(volumes[1].size(), 48u + 648 + 49 + 20 + 41);
    Extract(volumes);
    EXPECT_EQ(Recorded(), Join({{kSearch, kBegin, kDone, kTempName},
                                Piece(2352),
                                {{EVT_INSERT_VOLUME, 2}},
                                Piece(648),
                                {kBegin, kDone, kBegin, kDone}}));
    EXPECT_EQ(Output("SMALL.TXT"), m_small);
    EXPECT_EQ(Output("BIG.BIN"), m_big);
    EXPECT_EQ(Output("LAST.TXT"), m_last);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
    EXPECT_EQ(g_currentVolume, 1);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(SpannedExtractTest, ASetOfThreeDisks) {
    // Disks of 1200 bytes: BIG.BIN has 1052 bytes on disk 1, 1152 on disk 2 and 796 on
    // disk 3, followed there by LAST.TXT and the end record.
    const std::vector<Bytes> volumes = ThreeFiles(1200);
    ASSERT_EQ(volumes.size(), 3u);
    Extract(volumes);
    EXPECT_EQ(Recorded(), Join({{kSearch, kBegin, kDone, kTempName},
                                Piece(1052),
                                {{EVT_INSERT_VOLUME, 2}},
                                Piece(1152),
                                {{EVT_INSERT_VOLUME, 3}},
                                Piece(796),
                                {kBegin, kDone, kBegin, kDone}}));
    EXPECT_EQ(Output("SMALL.TXT"), m_small);
    EXPECT_EQ(Output("BIG.BIN"), m_big);
    EXPECT_EQ(Output("LAST.TXT"), m_last);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(g_currentVolume, 2);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(SpannedExtractTest, ACrushedEntryOverThreeDisks) {
    Bytes text;
    for (int i = 0; i < 400; i++) {
        const std::string line = "line " + std::to_string(i * 37 % 101) + " of the show\r\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "SHOW.TXT", static_cast<uint32_t>(text.size()));
    ASSERT_EQ(WriterPutCrushed(&writer, &header, text.data(), static_cast<uint32_t>(text.size()),
                               CRUSHED_LEVEL_BEST),
              0);
    WriterPutEnd(&writer, nullptr, 0);
    const uint32_t compressed = static_cast<uint32_t>(archive.size()) - 48 - 41;
    ASSERT_LT(compressed, text.size());

    // A third of the stream on each disk, about.
    const std::vector<Bytes> volumes = SplitIntoVolumes(m_scratch, archive, 48 + compressed / 3 + 50);
    ASSERT_EQ(volumes.size(), 3u);
    Extract(volumes);
    EXPECT_EQ(Output("SHOW.TXT"), text);
    Events prompts;
    for (const RecordedEvent& e : Recorded()) {
        if (e.event == EVT_INSERT_VOLUME || e.event == EVT_ENTRY_DONE || e.event == EVT_CANCELLED)
            prompts.push_back(e);
    }
    EXPECT_EQ(prompts, (Events{{EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}, kDone}));
    EXPECT_TRUE(TempFiles().empty());
    DecoderRelease(); // the decoder keeps its table until the extraction's end
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(SpannedExtractTest, BegunAtTheSecondDiskTheEntryIsTakenFromTheFirst) {
    // BIG.BIN alone: 1152 bytes on disk 1, 1152 on disk 2, 696 on disk 3.
    const std::vector<Bytes> volumes = SplitIntoVolumes(m_scratch, BuildArchive({{"BIG.BIN", m_big}}), 1200);
    ASSERT_EQ(volumes.size(), 3u);
    Extract(volumes, 2);
    EXPECT_EQ(Recorded(), Join({{kSearch, kSearch, {EVT_INSERT_VOLUME, 1}, kTempName},
                                Piece(1152),
                                {{EVT_INSERT_VOLUME, 2}},
                                Piece(1152),
                                {{EVT_INSERT_VOLUME, 3}},
                                Piece(696),
                                {kBegin, kDone}}));
    EXPECT_EQ(Output("BIG.BIN"), m_big);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(SpannedExtractTest, BegunAtTheSecondDiskTheFirstDiskIsExtractedFromItsStart) {
    const std::vector<Bytes> volumes = ThreeFiles(1200);
    Extract(volumes, 2);
    EXPECT_EQ(Recorded(), Join({{kSearch, kSearch, {EVT_INSERT_VOLUME, 1}, kBegin, kDone, kTempName},
                                Piece(1052),
                                {{EVT_INSERT_VOLUME, 2}},
                                Piece(1152),
                                {{EVT_INSERT_VOLUME, 3}},
                                Piece(796),
                                {kBegin, kDone, kBegin, kDone}}));
    EXPECT_EQ(Output("SMALL.TXT"), m_small) << "the first disk's first entry, under the destination";
    EXPECT_EQ(Output("BIG.BIN"), m_big);
    EXPECT_EQ(Output("LAST.TXT"), m_last);
    EXPECT_TRUE(TempFiles().empty());
}

// The overwrite query's answers in turn (0 keep, 1 replace), and how often it was asked.
std::vector<int> g_answers;
int g_asked = 0;
int AnswerInTurn(EntryDescriptor*, int32_t, int32_t) {
    g_asked++;
    const int answer = g_answers.empty() ? 0 : g_answers.front();
    if (!g_answers.empty()) g_answers.erase(g_answers.begin());
    return answer;
}

// Begun at a later disk, the walk finds its way back to the first disk before it asks
// about a file or opens it: the question comes once, and a file kept is kept whole.
TEST_F(SpannedExtractTest, BegunAtALaterDiskTheQueryComesOnceAndKeepsMeanKept) {
    const struct {
        bool threeFiles; // SMALL.TXT first on disk 1; else BIG.BIN alone
        std::vector<int> answers;
        bool replaced; // BIG.BIN holds the entry afterwards, else the person's file
    } cases[] = {{true, {0}, false}, {true, {1}, true}, {true, {1, 0}, true}, {false, {0}, false}, {false, {1}, true}};
    const Bytes mine = Pattern(77, 9);
    for (const auto& c : cases) {
        std::filesystem::remove_all(m_destination);
        std::filesystem::create_directory(m_destination);
        WriteFileBytes((m_destination / "BIG.BIN").string(), mine);
        SpannedResetState();
        g_answers = c.answers;
        g_asked = 0;
        SetOverwriteQuery(AnswerInTurn);
        Extract(c.threeFiles ? ThreeFiles(1200) : SplitIntoVolumes(m_scratch, BuildArchive({{"BIG.BIN", m_big}}), 1200),
                2);
        SetOverwriteQuery(nullptr);
        EXPECT_EQ(g_asked, 1);
        EXPECT_EQ(Output("BIG.BIN"), c.replaced ? m_big : mine) << c.threeFiles << c.answers.size();
        EXPECT_TRUE(TempFiles().empty());
    }
}

TEST_F(SpannedExtractTest, TheWrongDiskTenTimesGivesTheEntryUp) {
    const std::vector<Bytes> volumes = ThreeFiles(2500);
    Script().insert = 0; // disk 1 stays in the drive
    Extract(volumes);
    Events expected = Join({{kSearch, kBegin, kDone, kTempName}, Piece(2352)});
    for (int i = 0; i < 10; i++)
        expected.push_back({EVT_INSERT_VOLUME, 2});
    expected.push_back({EVT_CANCELLED, 0});
    EXPECT_EQ(Recorded(), expected);
    EXPECT_EQ(Output("SMALL.TXT"), m_small);
    EXPECT_TRUE(Exists("BIG.BIN"));
    EXPECT_TRUE(Output("BIG.BIN").empty()) << "the entry's file stays, without data";
    EXPECT_FALSE(Exists("LAST.TXT"));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(SpannedExtractTest, ACancelAtThePromptGivesOnePromptAndOneCancelEvent) {
    const std::vector<Bytes> volumes = ThreeFiles(2500);
    Script().cancel_at_prompt = 1;
    Extract(volumes);
    EXPECT_EQ(Recorded(), Join({{kSearch, kBegin, kDone, kTempName},
                                Piece(2352),
                                {{EVT_INSERT_VOLUME, 2}, {EVT_CANCELLED, 0}}}));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(SpannedExtractTest, ACancelDuringAPieceStopsTheWalk) {
    const std::vector<Bytes> volumes = ThreeFiles(2500);
    Script().cancel_at_copy = 2;
    Extract(volumes);
    EXPECT_EQ(Recorded(), (Events{kSearch,
                                  kBegin,
                                  kDone,
                                  kTempName,
                                  {EVT_COPY_PROGRESS, 0},
                                  {EVT_COPY_PROGRESS, 2352},
                                  {EVT_CANCELLED, 0}}));
    EXPECT_FALSE(Exists("LAST.TXT"));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(SpannedExtractTest, ARenamedTemporaryFileIsGoneAfterwards) {
    const std::vector<Bytes> volumes = ThreeFiles(1200);
    Script().rename_temp = EnginePath((m_scratch.path() / "COLLECT.TMP").string());
    bool existed = false;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_COPY_PROGRESS)
            existed = existed || std::filesystem::exists(m_scratch.path() / "COLLECT.TMP");
    };
    Extract(volumes);
    EXPECT_TRUE(existed);
    EXPECT_FALSE(std::filesystem::exists(m_scratch.path() / "COLLECT.TMP"));
    EXPECT_EQ(Output("BIG.BIN"), m_big);
    EXPECT_TRUE(TempFiles().empty());
}

} // namespace
