// What the walk never writes through: a link standing where a file goes, a folder
// that is a link leading out of the destination, the archive being read; and the
// process's creation mask applied to the stored mode.
#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "extract_fixture.h"

namespace {

namespace fs = std::filesystem;

const Bytes ENTRY_DATA = TextData(300, 5);
const Bytes VICTIM = TextData(40, 6);

class ExtractSafetyTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        m_outside = m_scratch.file("ELSEWHERE");
        fs::create_directory(m_outside);
        WriteFileBytes(m_outside + "/VICTIM.TXT", VICTIM);
        fs::permissions(m_outside + "/VICTIM.TXT", fs::perms(0644));
    }
    // Makes a symbolic link; false when the system makes none.
    static bool Link(const std::string& target, const std::string& link, bool folder) {
        std::error_code ec;
        if (folder) {
            fs::create_directory_symlink(target, link, ec);
        } else {
            fs::create_symlink(target, link, ec);
        }
        return !ec;
    }
    bool VictimUntouched() const {
        return ReadFileBytes(m_outside + "/VICTIM.TXT") == VICTIM &&
               fs::status(m_outside + "/VICTIM.TXT").permissions() == fs::perms(0644) &&
               fs::directory_iterator(m_outside) != fs::directory_iterator() &&
               std::distance(fs::directory_iterator(m_outside), fs::directory_iterator()) == 1;
    }
    bool Has(int32_t code) const {
        for (const Ev& ev : m_events) {
            if (ev.code == code) return true;
        }
        return false;
    }

    std::string m_outside;
};

struct LinkInPlace {
    const char* description;
    const char* target; // relative to the scratch folder
    bool folder;
};

// A link standing where the file goes is replaced by a regular file; whatever it led
// to stays as it was.
TEST_F(ExtractSafetyTest, ALinkWhereTheFileGoesIsReplacedNotWrittenThrough) {
    const LinkInPlace cases[] = {
        {"a link to a file outside", "ELSEWHERE/VICTIM.TXT", false},
        {"a link to a folder outside", "ELSEWHERE", true},
        {"a link that leads nowhere", "ELSEWHERE/NEW.TXT", false},
    };
    for (const LinkInPlace& c : cases) {
        SCOPED_TRACE(c.description);
        fs::remove_all(m_out);
        fs::create_directory(m_out);
        m_events.clear();
        if (!Link(m_scratch.file(c.target), OutFile("LOWER.TXT"), c.folder)) GTEST_SKIP() << "no links here";
        SetOverwriteQuery(nullptr); // the launcher's way: no query, every file replaced
        ASSERT_EQ(Extract(PlainArchive({Stored("LOWER.TXT", ENTRY_DATA)})), 0);
        EXPECT_FALSE(fs::is_symlink(OutFile("LOWER.TXT")));
        EXPECT_EQ(ReadFileBytes(OutFile("LOWER.TXT")), ENTRY_DATA);
        EXPECT_TRUE(VictimUntouched());
        EXPECT_TRUE(Has(EVT_ENTRY_DONE));
    }
}

struct FolderLink {
    const char* description;
    const char* link;   // under the destination
    const char* target; // relative to the scratch folder
    bool refused;
    const char* written; // where the file lands, relative to the destination, when not refused
};

// A folder of the stored name that is a link is followed only while it stays inside
// the destination.
TEST_F(ExtractSafetyTest, AFolderLinkLeadingOutOfTheDestinationRefusesTheEntry) {
    const FolderLink cases[] = {
        {"a link to a folder outside", "SUB", "ELSEWHERE", true, nullptr},
        {"a link deeper down", "DEEP/SUB", "ELSEWHERE", true, nullptr},
        {"a link that leads nowhere", "SUB", "NOWHERE", true, nullptr},
        {"a link to the destination's parent", "SUB", "", true, nullptr},
        {"a link to a folder inside", "SUB", "OUT/REAL", false, "REAL/F.TXT"},
    };
    for (const FolderLink& c : cases) {
        SCOPED_TRACE(c.description);
        fs::remove_all(m_out);
        fs::create_directories(m_out + "/REAL");
        fs::create_directories(m_out + "/DEEP");
        m_events.clear();
        const std::string stored = std::string(c.link) + "/F.TXT";
        if (!Link(m_scratch.file(c.target), OutFile(c.link), true)) GTEST_SKIP() << "no links here";
        std::string name = stored;
        for (char& ch : name) {
            if (ch == '/') ch = '\\';
        }
        ASSERT_EQ(Extract(PlainArchive({Stored(name, ENTRY_DATA), Stored("AFTER.TXT", ENTRY_DATA)})), 0);
        EXPECT_EQ(Has(EVT_UNSAFE_NAME), c.refused);
        EXPECT_TRUE(VictimUntouched());
        EXPECT_FALSE(fs::exists(m_scratch.file("F.TXT")));
        if (!c.refused) {
            EXPECT_EQ(ReadFileBytes(OutFile(c.written)), ENTRY_DATA);
        }
        EXPECT_EQ(ReadFileBytes(OutFile("AFTER.TXT")), ENTRY_DATA) << "the walk goes on";
    }
}

// An entry whose output is the archive being read is refused; the archive stays whole
// and the walk reads on.
TEST_F(ExtractSafetyTest, TheArchiveBeingReadIsNeverAnOutput) {
    const char* const names[] = {"TEST.ARQ", "test.arq"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        m_events.clear();
        const Bytes archive = PlainArchive({Stored(name, ENTRY_DATA), Stored("NEXT.TXT", ENTRY_DATA)});
        const std::string path = Put("TEST.ARQ", archive);
        const std::string destination = m_scratch.path().string();
        SetEventHandler(EVENT_SLOT_MAIN, Record);
        ASSERT_EQ(ExtractArchive(path.c_str(), destination.c_str()), 0);
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        EXPECT_TRUE(Has(EVT_OUTPUT_IS_ARCHIVE));
        EXPECT_EQ(ReadFileBytes(path), archive);
        EXPECT_EQ(ReadFileBytes(m_scratch.file("NEXT.TXT")), ENTRY_DATA);
        EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
    }
}

struct MaskCase {
    int mask;
    uint16_t stored;
    unsigned expected;
};

// The stored mode narrowed by the creation mask, as files the process creates are.
TEST_F(ExtractSafetyTest, TheCreationMaskNarrowsTheStoredMode) {
    const MaskCase cases[] = {
        {022, 0100666, 0644}, {077, 0100666, 0600}, {022, 0100777, 0755},
        {0, 0100640, 0640},   {027, 0100755, 0750}, {002, 0100664, 0664},
    };
    const int before = PlatCreationMask();
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.mask);
        if (PlatSetCreationMask(c.mask) < 0) GTEST_SKIP() << "no creation mask here";
        EntrySpec entry = Stored("MODE.TXT", ENTRY_DATA);
        entry.mode = c.stored;
        fs::remove(OutFile("MODE.TXT"));
        ASSERT_EQ(Extract(PlainArchive({entry})), 0);
        EXPECT_EQ(static_cast<unsigned>(fs::status(OutFile("MODE.TXT")).permissions()), c.expected);
    }
    PlatSetCreationMask(before);
}

// Extracting into a folder on a small filesystem of its own, reached through C:'s
// root: the check asks that filesystem and refuses the entry before writing it.
TEST_F(ExtractSafetyTest, TheFreeSpaceOfTheOutputFolderCounts) {
    const std::string mountPoint = m_scratch.file("SMALL");
    fs::create_directory(mountPoint);
    if (!PlatMapDrive(19, m_scratch.path().string().c_str(), PLAT_DRIVE_FIXED))
        GTEST_SKIP() << "only the stand-in's tests mount a filesystem";
    PlatMapDrive(19, nullptr, PLAT_DRIVE_FIXED);
    if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + mountPoint + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string destination = mountPoint;
    ASSERT_EQ(Extract(PlainArchive({Stored("BIG.BIN", RandomData(100 * 1024)), Stored("SMALL.TXT", ENTRY_DATA)}),
                      &destination),
              0);
    EXPECT_TRUE(Has(EVT_DISK_FULL));
    EXPECT_EQ(fs::file_size(mountPoint + "/BIG.BIN"), 0u) << "nothing written half way";
    EXPECT_EQ(ReadFileBytes(mountPoint + "/SMALL.TXT"), ENTRY_DATA);
    EXPECT_EQ(std::system(("umount '" + mountPoint + "' 2>/dev/null").c_str()), 0);
}

} // namespace
