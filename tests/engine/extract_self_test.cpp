// ExtractSelf on self-extracting files built with our writer: a stand-in program
// image, the archive header record, the entries and the end record. The running
// program's file name is overridden to name the built file.
#include <algorithm>

#include "archive_builder.h"
#include "engine/signed_bytes.h"
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

// A certificate table in the program: only the bytes before it are the signer's.
enum TablePlace { NO_TABLE, AFTER_ARCHIVE, AT_ARCHIVE, AT_PLAYER, PAST_THE_END };

struct SignedCase {
    const char* what;
    uint16_t magic; // PE32 or PE32+
    TablePlace table;
    int result;
    bool show, player; // extracted
};

// The stand-in image made a PE header whose certificate table (directory 4) is placed
// as asked; a table of 64 bytes is appended where it is to follow the archive.
Bytes SignedProgram(uint16_t magic, TablePlace place) {
    Bytes bytes = SelfExtractingFile(Carried());
    const size_t image = 5000;
    std::fill(bytes.begin(), bytes.begin() + 0x200, 0);
    const auto put = [&](size_t at, uint32_t value, int count) {
        for (int i = 0; i < count; i++)
            bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    };
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put(PE_HEADER_OFFSET_AT, 0x80, 4);
    put(0x80, 0x00004550, 4); // "PE\0\0"
    const bool plus = magic == PE32_PLUS_MAGIC;
    const size_t optional = 0x80 + 4 + PE_FILE_HEADER_SIZE;
    const size_t directories = optional + (plus ? PE32_PLUS_DIRECTORIES_AT : PE32_DIRECTORIES_AT);
    put(0x84 + PE_OPTIONAL_SIZE_AT, plus ? 240 : 224, 2);
    put(optional, magic, 2);
    put(directories - 4, 16, 4);
    const auto entry = [&](Bytes::iterator from) {
        return std::search(from, bytes.end(), EntrySignature(), EntrySignature() + SIGNATURE_SIZE);
    };
    const auto secondEntry = entry(entry(bytes.begin() + static_cast<long>(image)) + 1);
    size_t tableAt = 0;
    if (place == AFTER_ARCHIVE) tableAt = bytes.size();
    if (place == AT_ARCHIVE) tableAt = image;
    if (place == AT_PLAYER) tableAt = static_cast<size_t>(secondEntry - bytes.begin());
    if (place == PAST_THE_END) tableAt = bytes.size() + 100;
    if (place != NO_TABLE) {
        put(directories + PE_CERTIFICATE_DIRECTORY * PE_DIRECTORY_SIZE, static_cast<uint32_t>(tableAt), 4);
        put(directories + PE_CERTIFICATE_DIRECTORY * PE_DIRECTORY_SIZE + 4, 64, 4);
    }
    if (place == AFTER_ARCHIVE) bytes.resize(bytes.size() + 64, 0x30);
    return bytes;
}

TEST_F(ExtractSelfTest, OnlyTheSignedBytesAreExtracted) {
    const SignedCase cases[] = {
        {"unsigned program", PE32_MAGIC, NO_TABLE, 0, true, true},
        {"signed after the archive was added", PE32_MAGIC, AFTER_ARCHIVE, 0, true, true},
        {"archive inside a stretched table", PE32_MAGIC, AT_ARCHIVE, ERR_IO, false, false},
        {"archive inside a stretched table, PE32+", PE32_PLUS_MAGIC, AT_ARCHIVE, ERR_IO, false, false},
        {"the player inside the table", PE32_MAGIC, AT_PLAYER, 0, true, false},
        {"a table said to begin past the end", PE32_PLUS_MAGIC, PAST_THE_END, 0, true, true},
    };
    for (const SignedCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directories(m_out);
        Program(SignedProgram(c.magic, c.table));
        EXPECT_EQ(Run(m_out.c_str()), c.result);
        EXPECT_EQ(std::filesystem::exists(OutFile("SHOW.PPS")), c.show);
        EXPECT_EQ(std::filesystem::exists(OutFile("PLAYER.EXE")), c.player);
        if (c.show && !c.player) {
            EXPECT_EQ(ExtractWalkResult(), ERR_BAD_ARCHIVE);
        }
        EXPECT_EQ(BusySlots(), 0);
    }
}

} // namespace
