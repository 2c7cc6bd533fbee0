// ExtractSelf on self-extracting files built with our writer: a stand-in program
// image, the archive header record, the entries and the end record. The running
// program's file name is overridden to name the built file.
#include "archive_builder.h"
#include "extract_fixture.h"

namespace {

class ExtractSelfTest : public ExtractTest {
protected:
    void TearDown() override {
        PlatSetModuleFileNameOverride(nullptr);
        ExtractTest::TearDown();
    }
    // Writes the file and makes it the running program's.
    std::string Program(const Bytes& bytes, const std::string& name = "PROG.EXE") {
        const std::string path = Put(name, bytes);
        EXPECT_EQ(PlatSetModuleFileNameOverride(path.c_str()), 1);
        return path;
    }
    int Run(const char* destination) { return ExtractSelf(nullptr, destination, Record, nullptr); }
};

const Bytes SHOW = TextData(10000, 41);
const Bytes PLAYER = RandomData(3000, 42);

std::vector<EntrySpec> Carried() { return {Crushed("SHOW.PPS", SHOW), Crushed("PLAYER.EXE", PLAYER)}; }

TEST_F(ExtractSelfTest, WholeSequence) {
    Program(SelfExtractingFile(Carried()));
    ASSERT_EQ(Run(m_out.c_str()), 0);
    // One search each: OpenArchiveCheck's for the first entry, the one for the archive
    // header record, ExtractArchive's for the first entry.
    const Evs expected = Join({{{EVT_SEARCH_PROGRESS, 0},
                                {EVT_SEARCH_PROGRESS, 0},
                                {EVT_ARCHIVE_TOTAL, 13000},
                                {EVT_SEARCH_PROGRESS, 0}},
                               CrushedProgress(10000),
                               {{EVT_ENTRY_DONE, 0}},
                               CrushedProgress(3000),
                               {{EVT_ENTRY_DONE, 0}}});
    EXPECT_EQ(m_events, expected);
    EXPECT_EQ(m_done, (std::vector<std::string>{Joined("SHOW.PPS"), Joined("PLAYER.EXE")}));
    EXPECT_EQ(ReadFileBytes(OutFile("SHOW.PPS")), SHOW);
    EXPECT_EQ(ReadFileBytes(OutFile("PLAYER.EXE")), PLAYER);
    // The handler slots are cleared and the decoder's table is released.
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_MAIN), nullptr);
    EXPECT_EQ(MainTable, nullptr);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(ExtractSelfTest, TotalArrivesWithoutDescriptor) {
    Program(SelfExtractingFile(Carried()));
    bool sawNull = false;
    m_onEvent = [&](EntryDescriptor* desc, int32_t code, int32_t) {
        if (code == EVT_ARCHIVE_TOTAL) sawNull = desc == nullptr;
    };
    ASSERT_EQ(Run(m_out.c_str()), 0);
    EXPECT_TRUE(sawNull);
}

TEST_F(ExtractSelfTest, StoredDestinationWhenNoneIsPassed) {
    const std::string stored = m_scratch.file("STORED");
    Program(SelfExtractingFile(Carried(), stored.c_str()));
    ASSERT_EQ(Run(nullptr), 0);
    EXPECT_EQ(m_done, (std::vector<std::string>{stored + "\\SHOW.PPS", stored + "\\PLAYER.EXE"}));
    EXPECT_EQ(ReadFileBytes(m_scratch.file("STORED/SHOW.PPS")), SHOW);
    EXPECT_TRUE(Tree(m_out).empty());
}

TEST_F(ExtractSelfTest, PassedDestinationReplacesTheStoredOne) {
    const std::string stored = m_scratch.file("STORED");
    Program(SelfExtractingFile(Carried(), stored.c_str()));
    ASSERT_EQ(Run(m_out.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("SHOW.PPS")), SHOW);
    EXPECT_FALSE(std::filesystem::exists(stored));
}

TEST_F(ExtractSelfTest, EmptyDestinationExtractsIntoTheCurrentFolder) {
    const std::string stored = m_scratch.file("STORED");
    Program(SelfExtractingFile(Carried(), stored.c_str()));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_out);
    const int result = Run("");
    std::filesystem::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(m_done, (std::vector<std::string>{"SHOW.PPS", "PLAYER.EXE"}));
    EXPECT_EQ(ReadFileBytes(OutFile("PLAYER.EXE")), PLAYER);
    EXPECT_FALSE(std::filesystem::exists(stored));
}

TEST_F(ExtractSelfTest, NameWithoutDotGetsExe) {
    const std::string path = Program(SelfExtractingFile(Carried()), "PROG.exe");
    const std::string bare = path.substr(0, path.size() - 4);
    ASSERT_EQ(PlatSetModuleFileNameOverride(bare.c_str()), 1);
    ASSERT_EQ(Run(m_out.c_str()), 0);
    EXPECT_EQ(m_done.size(), 2u);
}

TEST_F(ExtractSelfTest, TrailingBlanksOfTheNameAreRemoved) {
    const std::string path = Program(SelfExtractingFile(Carried()));
    ASSERT_EQ(PlatSetModuleFileNameOverride((path + "  ").c_str()), 1);
    ASSERT_EQ(Run(m_out.c_str()), 0);
    EXPECT_EQ(m_done.size(), 2u);
}

TEST_F(ExtractSelfTest, FailureResults) {
    struct FailureCase {
        const char* why;
        Bytes file;
        int expected;
    };
    const Bytes image(3000, 'I');
    const Bytes entries = PlainArchive(Carried());
    const Bytes selfFile = SelfExtractingFile(Carried());
    // The archive header record, cut inside its destination.
    Bytes cutHeader = image;
    const Bytes header = {0x67, 0x57, 0x04, 0x02, 0, 0, 0, 0, 20, 0, 'A', 'B'};
    cutHeader.insert(cutHeader.end(), header.begin(), header.end());
    const FailureCase cases[] = {
        {"no entry at all", image, ERR_BAD_ARCHIVE},
        {"entries but no archive header record", Concat({image, entries}), ERR_IO},
        {"empty file", Bytes(), ERR_BAD_ARCHIVE},
        {"archive header record cut short", cutHeader, ERR_BAD_ARCHIVE},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.why);
        m_events.clear();
        Program(c.file);
        EXPECT_EQ(Run(m_out.c_str()), c.expected);
        EXPECT_TRUE(m_done.empty());
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(MainTable, nullptr);
        EXPECT_EQ(LeakedBlocks(), 0);
        // On these early returns the handler stays registered.
        EXPECT_EQ(GetEventHandler(EVENT_SLOT_MAIN), &ExtractTest::Record);
        EventsReset();
    }
    // An archive header record cut short behind entries that can be found.
    Bytes cutBehind = Concat({image, entries});
    cutBehind.insert(cutBehind.end(), header.begin(), header.end());
    Program(cutBehind);
    EXPECT_EQ(Run(m_out.c_str()), ERR_IO);
    EXPECT_TRUE(Tree(m_out).empty());
}

TEST_F(ExtractSelfTest, MissingProgramFile) {
    ASSERT_EQ(PlatSetModuleFileNameOverride(m_scratch.file("GONE.EXE").c_str()), 1);
    EXPECT_EQ(Run(m_out.c_str()), ERR_NOT_FOUND);
}

TEST_F(ExtractSelfTest, NameThatCannotBeObtainedFails) {
    // An empty name (the call failed) and one cut short by the buffer both fail,
    // before anything is registered or opened.
    for (const std::string& name : {std::string(), std::string(PATH_MAX_LENGTH + 1, 'x')}) {
        ASSERT_EQ(PlatSetModuleFileNameOverride(name.c_str()), 1);
        EXPECT_EQ(Run(m_out.c_str()), ERR_IO);
        EXPECT_TRUE(m_events.empty());
        EXPECT_EQ(GetEventHandler(EVENT_SLOT_MAIN), nullptr);
        EXPECT_EQ(LeakedBlocks(), 0);
    }
}

TEST_F(ExtractSelfTest, NoPathBufferFailsCleanly) {
    Program(SelfExtractingFile(Carried()));
    MemFailAfter(0);
    EXPECT_EQ(Run(m_out.c_str()), ERR_NO_MEMORY);
    MemReset();
    EXPECT_TRUE(m_events.empty());
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(ExtractSelfTest, CancelDuringTheFirstSearchFindsNoArchive) {
    // The search of OpenArchiveCheck is cancelled: it counts as finding nothing, and
    // offset 0 of the program holds no entry.
    Program(SelfExtractingFile(Carried()));
    m_onEvent = CancelAt(EVT_SEARCH_PROGRESS);
    EXPECT_EQ(Run(m_out.c_str()), ERR_BAD_ARCHIVE);
    EXPECT_EQ(m_events, (Evs{{EVT_SEARCH_PROGRESS, 0}}));
}

TEST_F(ExtractSelfTest, LargeImageBeforeTheArchive) {
    // The archive starts 2 MB into the file: several search chunks for each search.
    Program(SelfExtractingFile(Carried(), nullptr, 2000000));
    ASSERT_EQ(Run(m_out.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("SHOW.PPS")), SHOW);
    EXPECT_EQ(ReadFileBytes(OutFile("PLAYER.EXE")), PLAYER);
}

} // namespace
