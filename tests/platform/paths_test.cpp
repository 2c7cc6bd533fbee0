// Paths: drive letters, letter case, and the stat/chmod/utime/rename family.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform_fixture.h"

namespace {

std::string UpperCased(std::string text) {
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithBackslashes(std::string text) {
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

class PlatformPaths : public PlatformTest {};

// Each file holds its own name, so what was read tells which file was opened.
struct LetterCase {
    const char* path;
    const char* description;
    const char* expected; // the content read; "" when the open must fail
};

TEST_F(PlatformPaths, DriveLettersSelectTheMappedFolder) {
    ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() / "sub");
    WriteText(scratch.file("a.txt"), "a.txt");
    WriteText(scratch.file("sub/b.txt"), "sub/b.txt");
    if (!PlatMapDrive(TEST_DRIVE, scratch.path().string().c_str(), PLAT_DRIVE_FIXED))
        GTEST_SKIP() << "drive letters cannot be mapped here";

    const LetterCase cases[] = {
        {"D:\\a.txt", "backslash after the letter", "a.txt"},
        {"d:/a.txt", "lower-case letter, slash", "a.txt"},
        {"D:a.txt", "letter and relative name: the drive's root", "a.txt"},
        {"D:\\SUB\\B.TXT", "folder and file upper-cased", "sub/b.txt"},
        {"D:/sub\\b.txt", "both separators mixed", "sub/b.txt"},
        {"D:\\\\sub\\\\b.txt", "doubled separators", "sub/b.txt"},
        {"D:\\sub\\.\\b.txt", "a dot component", "sub/b.txt"},
        {"D:\\missing.txt", "no such file", ""},
        {"E:\\a.txt", "unmapped letter", ""},
        {"D:\\a.txt\\", "a file named as a folder", ""},
    };
    for (const LetterCase& c : cases)
        EXPECT_EQ(ReadThroughPlatform(c.path), c.expected) << c.description;
}

// This program's own file is on the current drive both natively and under Wine
// (where the scratch folder is on C: but the build, and so the current folder, on Z:).
TEST_F(PlatformPaths, PathWithoutLetterLiesOnTheCurrentDrive) {
    char buffer[1024];
    ASSERT_GT(PlatModuleFileName(nullptr, buffer, sizeof buffer), 0u);
    std::string path = buffer;
    if (path.size() > 1 && path[1] == ':') {
        if (toupper(static_cast<unsigned char>(path[0])) - 'A' + 1 != PlatCurrentDrive())
            GTEST_SKIP() << "this program is not on the current drive";
        path.erase(0, 2);
    }
    ASSERT_TRUE(IsSeparator(path[0])) << path;
    const std::string forms[] = {path, WithBackslashes(path), UpperCased(WithBackslashes(path))};
    for (const std::string& form : forms) {
        EXPECT_EQ(PlatAccess(form.c_str(), 4), 0) << form;
        EXPECT_TRUE(CanOpen(form)) << form;
    }
}

TEST_F(PlatformPaths, CurrentDriveIsALetter) {
    int drive = PlatCurrentDrive();
    EXPECT_GE(drive, 1);
    EXPECT_LE(drive, 26);
}

TEST_F(PlatformPaths, UpperCasedPathFindsLowerCaseFile) {
    ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() / "sub");
    WriteText(scratch.file("sub/file.txt"), "lower");
    std::string upper = UpperCased(scratch.file("sub/file.txt"));

    EXPECT_EQ(ReadThroughPlatform(upper), "lower");
    EXPECT_EQ(ReadThroughPlatform(WithBackslashes(upper)), "lower");
    EXPECT_EQ(PlatAccess(upper.c_str(), 0), 0);
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(upper.c_str(), &info), 0);
    EXPECT_EQ(info.size, 5u);
}

TEST_F(PlatformPaths, NewFileIsCreatedAsSpelledInAFoundFolder) {
    ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() / "sub");
    std::string path = UpperCased(scratch.file("sub")) + "/New.Txt";

    PlatStream* stream = PlatOpen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(PlatWrite(stream, "xyz", 3), 3u);
    EXPECT_EQ(PlatClose(stream), 0);

    // No second folder "SUB": the file went into "sub", under the name given.
    EXPECT_EQ(ListNames(scratch.path().string()), std::vector<std::string>{"sub"});
    EXPECT_EQ(ListNames(scratch.file("sub")), std::vector<std::string>{"New.Txt"});
    EXPECT_EQ(ReadFileBytes(scratch.file("sub/New.Txt")), (Bytes{'x', 'y', 'z'}));
}

TEST_F(PlatformPaths, ExactSpellingWinsOverCaseFold) {
    ScratchDir scratch;
    WriteText(scratch.file("file.txt"), "lower");
    WriteText(scratch.file("FILE.TXT"), "upper");
    if (ReadFileBytes(scratch.file("file.txt")) == ReadFileBytes(scratch.file("FILE.TXT")))
        GTEST_SKIP() << "the file system ignores letter case";

    EXPECT_EQ(ReadThroughPlatform(scratch.file("file.txt")), "lower");
    EXPECT_EQ(ReadThroughPlatform(scratch.file("FILE.TXT")), "upper");
    // Neither spelled exactly: one of the two, the same each time.
    std::string mixed = ReadThroughPlatform(scratch.file("File.Txt"));
    EXPECT_TRUE(mixed == "lower" || mixed == "upper") << mixed;
    EXPECT_EQ(ReadThroughPlatform(scratch.file("File.Txt")), mixed);
}

TEST_F(PlatformPaths, NothingOpensByAnEmptyNameOrAsAFolder) {
    ScratchDir scratch;
    EXPECT_EQ(PlatOpen("", "rb"), nullptr);
    EXPECT_EQ(PlatOpen(scratch.path().string().c_str(), "rb"), nullptr);
    EXPECT_EQ(PlatOpen(scratch.file("missing.bin").c_str(), "rb"), nullptr);
}

TEST_F(PlatformPaths, StreamsReadWriteSeekAndTell) {
    ScratchDir scratch;
    std::string path = scratch.file("s.bin");
    PlatStream* stream = PlatOpen(path.c_str(), "w+b");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(PlatWrite(stream, "0123456789", 10), 10u);
    EXPECT_EQ(PlatTell(stream), 10);
    EXPECT_EQ(PlatSeek(stream, 5, 0), 0);
    EXPECT_EQ(PlatGetByte(stream), '5');
    EXPECT_EQ(PlatSeek(stream, 2, 1), 0);
    EXPECT_EQ(PlatTell(stream), 8);
    EXPECT_EQ(PlatSeek(stream, -1, 2), 0);
    EXPECT_EQ(PlatGetByte(stream), '9');
    EXPECT_EQ(PlatGetByte(stream), -1);
    EXPECT_EQ(PlatSeek(stream, -20, 0), -1);
    EXPECT_EQ(PlatSeek(stream, 0, 0), 0);
    char buffer[16] = {};
    EXPECT_EQ(PlatRead(stream, buffer, sizeof buffer), 10u);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(PlatFlush(stream), 0);
    EXPECT_EQ(PlatClose(stream), 0);
}

TEST_F(PlatformPaths, StatTellsFilesFromFolders) {
    ScratchDir scratch;
    WriteFileBytes(scratch.file("five.bin"), Bytes{1, 2, 3, 4, 5});
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(scratch.file("five.bin").c_str(), &info), 0);
    EXPECT_EQ(info.mode & 0xF000u, 0x8000u);
    EXPECT_EQ(info.size, 5u);

    std::string folder = scratch.path().string();
    ASSERT_EQ(PlatStat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.mode & 0xF000u, 0x4000u);
    // The engine names folders with a trailing separator.
    ASSERT_EQ(PlatStat((folder + "\\").c_str(), &info), 0);
    EXPECT_EQ(info.mode & 0xF000u, 0x4000u);

    EXPECT_EQ(PlatStat(scratch.file("missing").c_str(), &info), -1);
}

struct Sameness {
    const char* first;
    const char* second;
    const char* description;
    int expected;
};

// One file under another name must be told from a copy: a tool that writes its output
// over one of its inputs would otherwise destroy the input.
TEST_F(PlatformPaths, SameFileSeesThroughOtherNames) {
    ScratchDir scratch;
    std::filesystem::create_directory(scratch.path() / "sub");
    WriteText(scratch.file("sub/one.txt"), "same text");
    WriteText(scratch.file("copy.txt"), "same text");
    std::error_code linked;
    std::filesystem::create_hard_link(scratch.file("sub/one.txt"), scratch.file("hard.txt"), linked);

    const std::string one = scratch.file("sub/one.txt");
    const std::string upper = UpperCased(WithBackslashes(one));
    const std::string dotted = scratch.file("sub/./one.txt");
    const std::string roundabout = scratch.file("sub/../sub/one.txt");
    const std::string copy = scratch.file("copy.txt");
    const std::string hard = scratch.file("hard.txt");
    const std::string missing = scratch.file("missing.txt");
    const std::string folder = scratch.file("sub");
    const Sameness cases[] = {
        {one.c_str(), one.c_str(), "the same spelling", 1},
        {one.c_str(), upper.c_str(), "upper-cased with backslashes", 1},
        {one.c_str(), dotted.c_str(), "a dot component", 1},
        {one.c_str(), roundabout.c_str(), "through the parent folder", 1},
        {one.c_str(), copy.c_str(), "a copy with the same bytes", 0},
        {one.c_str(), missing.c_str(), "the second names nothing", 0},
        {missing.c_str(), missing.c_str(), "neither exists", 0},
        {one.c_str(), folder.c_str(), "the file's folder", 0},
    };
    for (const Sameness& c : cases)
        EXPECT_EQ(PlatSameFile(c.first, c.second), c.expected) << c.description;
    if (!linked) {
        EXPECT_EQ(PlatSameFile(one.c_str(), hard.c_str()), 1) << "a hard link";
    }
}

TEST_F(PlatformPaths, UtimeSetsTimesBeyond2038) {
    ScratchDir scratch;
    std::string reference = scratch.file("reference.bin");
    std::string path = scratch.file("t.bin");
    WriteFileBytes(reference, Bytes{1});
    WriteFileBytes(path, Bytes{1});
    const int64_t REFERENCE_TIME = 1700000000; // 2023-11-14
    ASSERT_EQ(PlatUtime(reference.c_str(), REFERENCE_TIME, REFERENCE_TIME), 0);
    const int64_t times[] = {
        315532800,  // 1980-01-01, the oldest a DOS date holds
        1700000000, // the reference itself
        2147483648, // 2038-01-19, one past the 32-bit range
        4102444800, // 2100-01-01
    };
    for (int64_t t : times) {
        ASSERT_EQ(PlatUtime(path.c_str(), t, t), 0) << t;
        PlatStatInfo info;
        ASSERT_EQ(PlatStat(path.c_str(), &info), 0);
        EXPECT_EQ(info.mtime, t);
        // Outside evidence: the host library sees the same distance from the reference.
        // (The i686 Windows build of that library keeps only 32-bit times.)
        if (t < 2147483648) {
            auto distance =
                std::filesystem::last_write_time(path) - std::filesystem::last_write_time(reference);
            EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(distance).count(), t - REFERENCE_TIME)
                << t;
        }
    }
}

// Only the owner-write bit counts on Windows, and the stand-in treats a file
// without it as read-only too, even for a superuser.
TEST_F(PlatformPaths, OwnerWriteBitMakesAFileReadOnly) {
    ScratchDir scratch;
    std::string path = scratch.file("ro.bin");
    std::string other = scratch.file("other.bin");
    WriteFileBytes(path, Bytes{7, 7});
    WriteFileBytes(other, Bytes{9});

    ASSERT_EQ(PlatChmod(path.c_str(), 0444), 0);
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(path.c_str(), &info), 0);
    EXPECT_EQ(info.mode & 0x80u, 0u);
    EXPECT_NE(info.mode & 0x100u, 0u);

    EXPECT_EQ(PlatAccess(path.c_str(), 4), 0);
    EXPECT_EQ(PlatAccess(path.c_str(), 2), -1);
    const char* const writingModes[] = {"ab", "a+b", "r+b", "wb", "w+b"};
    for (const char* mode : writingModes) {
        PlatStream* stream = PlatOpen(path.c_str(), mode);
        EXPECT_EQ(stream, nullptr) << mode;
        if (stream) PlatClose(stream);
    }
    EXPECT_EQ(PlatUtime(path.c_str(), 1700000000, 1700000000), -1);
    EXPECT_EQ(PlatUnlink(path.c_str()), -1);
    EXPECT_EQ(PlatDeleteFile(path.c_str()), 0);
    EXPECT_EQ(PlatRename(other.c_str(), path.c_str()), -1);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{7, 7}));
    EXPECT_EQ(ReadThroughPlatform(path), std::string("\x07\x07"));

    ASSERT_EQ(PlatChmod(path.c_str(), 0666), 0);
    ASSERT_EQ(PlatStat(path.c_str(), &info), 0);
    EXPECT_NE(info.mode & 0x80u, 0u);
    EXPECT_EQ(PlatAccess(path.c_str(), 6), 0);
    EXPECT_EQ(PlatUtime(path.c_str(), 1700000000, 1700000000), 0);
    EXPECT_EQ(PlatDeleteFile(path.c_str()), 1);
    EXPECT_EQ(PlatAccess(path.c_str(), 0), -1);
}

TEST_F(PlatformPaths, RenameReplacesAnExistingFile) {
    ScratchDir scratch;
    std::string from = scratch.file("from.bin");
    std::string to = scratch.file("to.bin");
    WriteFileBytes(from, Bytes{1});
    WriteFileBytes(to, Bytes{2, 2});
    ASSERT_EQ(PlatRename(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(to), Bytes{1});
    EXPECT_EQ(PlatAccess(from.c_str(), 0), -1);
    EXPECT_EQ(PlatRename(from.c_str(), to.c_str()), -1);

    // A folder is never replaced by a file.
    std::string folder = scratch.file("dir");
    ASSERT_EQ(PlatMkdir(folder.c_str()), 0);
    EXPECT_EQ(PlatRename(to.c_str(), folder.c_str()), -1);
    EXPECT_EQ(ReadFileBytes(to), Bytes{1});
}

TEST_F(PlatformPaths, FoldersAreMadeAndRemoved) {
    ScratchDir scratch;
    std::string folder = scratch.file("new");
    EXPECT_EQ(PlatMkdir(folder.c_str()), 0);
    EXPECT_EQ(PlatMkdir(folder.c_str()), -1);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    WriteFileBytes(scratch.file("new/f"), Bytes{1});
    EXPECT_EQ(PlatRmdir(folder.c_str()), -1); // not empty
    EXPECT_EQ(PlatUnlink(scratch.file("new/f").c_str()), 0);
    EXPECT_EQ(PlatUnlink(scratch.file("new/f").c_str()), -1);
    EXPECT_EQ(PlatRmdir(UpperCased(folder).c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(PlatMkdir(scratch.file("no/such/parent").c_str()), -1);
}

TEST_F(PlatformPaths, ListFolderVisitsEveryNameUntilTold) {
    ScratchDir scratch;
    WriteFileBytes(scratch.file("a"), Bytes{});
    WriteFileBytes(scratch.file("b"), Bytes{});
    std::filesystem::create_directory(scratch.path() / "c");
    EXPECT_EQ(ListNames(scratch.path().string()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ListNames(scratch.file("c")), std::vector<std::string>{});
    EXPECT_EQ(ListNames(scratch.file("missing")), std::vector<std::string>{"<unreadable>"});

    int visits = 0;
    int (*stopAtOnce)(const char*, void*) = [](const char*, void* context) {
        ++*static_cast<int*>(context);
        return 1;
    };
    EXPECT_EQ(PlatListFolder(scratch.path().string().c_str(), stopAtOnce, &visits), 0);
    EXPECT_EQ(visits, 1);
}

} // namespace
