// Output paths: composition, cutting, folders, the path tests, and stored-name safety.
#include "extract_fixture.h"

namespace {

struct NameCase {
    const char* name;
    int safe;
    const char* why;
};

const NameCase NAME_CASES[] = {
    {"FILE.TXT", 1, "plain name"},
    {"DIR\\SUB\\FILE.TXT", 1, "folders"},
    {"DIR/FILE.TXT", 1, "slash separator"},
    {"A..B", 1, "dots inside a name"},
    {"..A", 1, "dots in front of a name"},
    {"CONSOLE.TXT", 1, "device name as a prefix only"},
    {"COM10", 1, "two digits name no device"},
    {"LPT", 1, "prefix without digit"},
    {"NULL", 1, "longer than a device"},
    {"MY CON.TXT", 1, "device inside a longer name"},
    {"", 0, "empty name"},
    {"..", 0, "parent folder"},
    {"..\\FILE", 0, "parent folder first"},
    {"../FILE", 0, "parent folder with slash"},
    {"DIR\\..\\..\\FILE", 0, "parent folder inside"},
    {"DIR\\..", 0, "parent folder last"},
    {".", 0, "current folder"},
    {"...", 0, "dots only"},
    {". .", 0, "dots and blanks only"},
    {" ", 0, "blank only"},
    {"DIR\\ \\FILE", 0, "blank component"},
    {"\\FILE", 0, "leading separator: drive root"},
    {"/FILE", 0, "leading slash"},
    {"\\\\SERVER\\SHARE\\FILE", 0, "another machine"},
    {"C:FILE", 0, "drive prefix"},
    {"C:\\FILE", 0, "absolute path"},
    {"FILE.TXT:STREAM", 0, "data stream"},
    {"DIR\\FILE:", 0, "colon at the end"},
    {"A\\\\B", 0, "empty component"},
    {"DIR\\", 0, "no file name"},
    {"CON", 0, "console device"},
    {"con", 0, "device in lower case"},
    {"Con.txt", 0, "device with extension"},
    {"PRN", 0, "printer"},
    {"AUX.DAT", 0, "aux with extension"},
    {"NUL", 0, "null device"},
    {"NUL .TXT", 0, "device with blank before the extension"},
    {"NUL.TAR.GZ", 0, "device with two extensions"},
    {"COM1", 0, "serial port"},
    {"com9.log", 0, "serial port lower case"},
    {"COM0", 0, "serial port 0"},
    {"LPT1", 0, "parallel port"},
    {"LPT9.TXT", 0, "parallel port with extension"},
    {"COM\xB9", 0, "serial port with superscript one"},
    {"CONIN$", 0, "console input"},
    {"CONOUT$.X", 0, "console output"},
    {"DIR\\CON\\FILE", 0, "device as a folder"},
    {"DIR\\AUX", 0, "device as the file"},
};

TEST(StoredNameSafeTest, Table) {
    PlatResetControls();
    for (const NameCase& c : NAME_CASES)
        EXPECT_EQ(StoredNameSafe(c.name), c.safe) << c.why << ": " << c.name;
    EXPECT_EQ(StoredNameSafe(nullptr), 0);
}

class StoredNameCodePage932Test : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        if (!PlatSetCodePage(932)) GTEST_SKIP() << "ANSI code page 932 not available";
    }
};

TEST_F(StoredNameCodePage932Test, TrailByteIsNoSeparator) {
    // 0x83 0x5C is one character whose trail byte is '\': "\x83\x5C.." is one
    // component, not a name followed by "..".
    EXPECT_EQ(StoredNameSafe("\x83\x5C.."), 1);
    EXPECT_EQ(StoredNameSafe("\x83\x5C..\\FILE"), 1);
    EXPECT_EQ(StoredNameSafe("DIR\\\x83\x5C"), 1);
    // ':' and '/' are no trail bytes (below 0x40): behind a lead byte they still count.
    EXPECT_EQ(StoredNameSafe("\x83:X"), 0);
    EXPECT_EQ(StoredNameSafe("\x83/..\\X"), 0);
    EXPECT_EQ(StoredNameSafe("\x83\x5C\\..\\X"), 0);
}

TEST(StoredNameSafeTest, CodePage1252SeesTheSeparator) {
    PlatResetControls();
    if (!PlatSetCodePage(1252)) GTEST_SKIP() << "ANSI code page 1252 not in force";
    EXPECT_EQ(StoredNameSafe("\x83\x5C.."), 0);
}

TEST_F(ExtractTest, CodePage932NamesAreExtractedWhole) {
    if (!PlatSetCodePage(932)) GTEST_SKIP() << "ANSI code page 932 not available";
    // The same bytes are refused in code page 1252 (see above), extracted here.
    EntrySpec entry = Stored("\x83\x5C..", TextData(10));
    entry.rawName = true;
    ASSERT_EQ(Extract(PlainArchive({entry})), 0);
    // Not refused. (Under Wine without the Japanese locale the file itself cannot be
    // created: the entry may then fail to open, under the same name.)
    ASSERT_FALSE(EntryEvents().empty());
    EXPECT_NE(EntryEvents()[0].code, EVT_UNSAFE_NAME);
    ASSERT_FALSE(m_names.empty());
    EXPECT_EQ(m_names[0], Joined("\x83\x5C.."));
    if (!m_done.empty()) {
        // One component: the test's path must not split at the trail byte either.
        EXPECT_EQ(ReadFileBytes((std::filesystem::path(m_out) / "\x83\x5C..").string()), TextData(10));
    }
}

// ---- Composition -------------------------------------------------------------------

TEST_F(ExtractTest, DestinationEndingInSeparatorGetsNoSecond) {
    const std::string dest = m_out + "\\";
    ASSERT_EQ(Extract(PlainArchive({Stored("A.TXT", TextData(5))}), &dest), 0);
    EXPECT_EQ(m_done, (std::vector<std::string>{m_out + "\\A.TXT"}));
}

TEST_F(ExtractTest, DestinationEndingInColonGetsNoSeparator) {
    // Q: is no drive here: the open fails, and the event shows the path it was given.
    const std::string dest = "Q:";
    ASSERT_EQ(Extract(PlainArchive({Stored("A.TXT", TextData(5)), Stored("B.TXT", Bytes())}), &dest), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_FAILED, ERR_IO}, {EVT_ENTRY_FAILED, ERR_IO}}));
    EXPECT_EQ(m_names, (std::vector<std::string>{"Q:A.TXT", "Q:B.TXT"}));
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
}

TEST_F(ExtractTest, EmptyDestinationKeepsTheStoredName) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_out);
    const std::string dest;
    const int result = Extract(PlainArchive({Stored("DIR\\REL.TXT", TextData(7))}), &dest);
    std::filesystem::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(m_done, (std::vector<std::string>{"DIR\\REL.TXT"}));
    EXPECT_EQ(ReadFileBytes(OutFile("DIR\\REL.TXT")), TextData(7));
}

TEST_F(ExtractTest, NullDestinationIsTheEmptyOne) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(m_out);
    const std::string path = Put("NULLDEST.ARQ", PlainArchive({Stored("N.TXT", TextData(3))}));
    const int result = ExtractArchive(path.c_str(), nullptr);
    std::filesystem::current_path(previous);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(ReadFileBytes(OutFile("N.TXT")), TextData(3));
}

TEST_F(ExtractTest, DestinationLongerThanAPathIsRefused) {
    const std::string dest(ARCHIVE_DEST_MAX + 1, 'D');
    const std::string path = Put("LONG.ARQ", PlainArchive({Stored("A.TXT", TextData(5))}));
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    EXPECT_EQ(ExtractArchive(path.c_str(), dest.c_str()), ERR_BAD_ARGUMENT);
    EXPECT_TRUE(m_events.empty());
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(ExtractTest, OutputPathIsCutAt259Bytes) {
    // A name that runs past the limit is cut inside its last component.
    const size_t prefix = m_out.size() + 1 + 4; // OUT + '\' + "DIR\"
    ASSERT_LT(prefix, 200u);
    const std::string longName = "DIR\\" + std::string(280 - prefix, 'L'); // the path: 280 bytes
    const std::string cut = "DIR\\" + std::string(EXTRACT_PATH_MAX - prefix, 'L');
    size_t lengthInEvent = 0;
    m_onEvent = [&](EntryDescriptor* desc, int32_t code, int32_t) {
        if (code == EVT_ENTRY_DONE) lengthInEvent = static_cast<size_t>(desc->name_length);
    };
    ASSERT_EQ(Extract(PlainArchive({Stored(longName, TextData(11))})), 0);
    ASSERT_EQ(m_done.size(), 1u);
    EXPECT_EQ(m_done[0].size(), static_cast<size_t>(EXTRACT_PATH_MAX));
    EXPECT_EQ(lengthInEvent, static_cast<size_t>(EXTRACT_PATH_MAX));
    EXPECT_EQ(m_done[0], Joined(cut));
    EXPECT_EQ(ReadFileBytes(OutFile(cut)), TextData(11));
}

TEST_F(ExtractTest, CutThatLeavesADeviceIsRefused) {
    // Cut right behind "CON", "CONFIG.SYS" would name the console.
    const size_t room = EXTRACT_PATH_MAX - (m_out.size() + 1);
    ASSERT_GT(room, 4u);
    const std::string folders(room - 4, 'F'); // then '\' and CON fill the room
    const std::string name = folders + "\\CONFIG.SYS";
    ASSERT_EQ(Extract(PlainArchive({Stored(name, TextData(4)), Stored("AFTER.TXT", TextData(5))})), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_UNSAFE_NAME, 0}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_FALSE(OutExists(folders));
    EXPECT_EQ(ReadFileBytes(OutFile("AFTER.TXT")), TextData(5));
}

TEST_F(ExtractTest, CutThatLeavesNothingOfTheNameIsRefused) {
    // The separator is the 259th byte: the cut path would be the destination itself.
    std::string dest = m_out + "\\";
    while (dest.size() < EXTRACT_PATH_MAX - 1)
        dest += 'P';
    ASSERT_EQ(Extract(PlainArchive({Stored("A.TXT", TextData(4))}), &dest), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_UNSAFE_NAME, 0}}));
    EXPECT_TRUE(Tree(m_out).empty());
}

// ---- Folders and path tests --------------------------------------------------------

TEST_F(ExtractTest, MissingFoldersAreCreated) {
    ASSERT_EQ(Extract(PlainArchive(
                  {Stored("DIR\\SUB\\FILE.TXT", TextData(9)), Crushed("DIR\\TWO.TXT", TextData(9, 2))})),
              0);
    EXPECT_EQ(Tree(m_out), (std::set<std::string>{"DIR", "DIR/SUB", "DIR/SUB/FILE.TXT", "DIR/TWO.TXT"}));
    EXPECT_TRUE(std::filesystem::is_directory(OutFile("DIR\\SUB")));
    EXPECT_EQ(ReadFileBytes(OutFile("DIR\\SUB\\FILE.TXT")), TextData(9));
}

TEST_F(ExtractTest, CreateDirectoriesNeverCreatesTheLastComponent) {
    EXPECT_EQ(CreateDirectories(Joined("A\\B\\C.TXT").c_str()), 0);
    EXPECT_EQ(Tree(m_out), (std::set<std::string>{"A", "A/B"}));
    // Existing folders cost nothing.
    EXPECT_EQ(CreateDirectories(Joined("A\\B\\D.TXT").c_str()), 0);
    EXPECT_EQ(CreateDirectories(Joined("E.TXT").c_str()), 0);
    EXPECT_EQ(Tree(m_out), (std::set<std::string>{"A", "A/B"}));
    EXPECT_EQ(CreateDirectories("PLAIN.TXT"), 0);
    EXPECT_EQ(CreateDirectories(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(CreateDirectories(std::string(PATH_MAX_LENGTH + 1, 'x').c_str()), ERR_BAD_ARGUMENT);
}

TEST_F(ExtractTest, CreateDirectoriesCreatesTheDestinationToo) {
    ASSERT_EQ(CreateDirectories((m_out + "\\NEW\\DEEPER\\X.TXT").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(OutFile("NEW\\DEEPER")));
}

TEST_F(ExtractTest, PathTests) {
    WriteFileBytes(OutFile("FILE.TXT"), TextData(3));
    std::filesystem::create_directory(OutFile("FOLDER"));
    EXPECT_EQ(IsDirectory("C:"), 1);
    EXPECT_EQ(IsDirectory("q:"), 1); // a bare drive counts, whether it answers or not
    EXPECT_EQ(IsDirectory(m_out.c_str()), 1);
    EXPECT_EQ(IsDirectory(Joined("FOLDER").c_str()), 1);
    EXPECT_EQ(IsDirectory((Joined("FOLDER") + "\\").c_str()), 1);
    EXPECT_EQ(IsDirectory(Joined("FILE.TXT").c_str()), 0);
    EXPECT_EQ(IsDirectory(Joined("MISSING").c_str()), 0);
    EXPECT_EQ(IsDirectory(""), 0);
    EXPECT_EQ(IsDirectory(nullptr), 0);
    EXPECT_EQ(FileReadable(Joined("FILE.TXT").c_str()), 1);
    EXPECT_EQ(FileReadable(Joined("MISSING").c_str()), 0);
    EXPECT_EQ(FileReadable(Joined("FOLDER").c_str()), 0);
    EXPECT_EQ(FileReadable(nullptr), 0);
    EXPECT_EQ(BusySlots(), 0);
}

} // namespace
