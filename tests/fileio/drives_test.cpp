// Drive letters and drive queries, and file existence and deletion.
//
// Natively the platform's stand-in maps letters to scratch folders, so removable,
// not-ready and fixed drives can all be had; on Windows (PlatMapDrive gives 0) only
// what the machine has is tested: C: is a fixed drive there, and under Wine Z: is the
// host's root.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "fileio_fixture.h"
#include "support/scratch.h"

namespace {

const int DRIVE_A = 0;
const int DRIVE_C = 2;
const int DRIVE_D = 3;
const int DRIVE_Q = 16; // a letter no test machine maps
const int DRIVE_Z = 25;

class DrivesTest : public FileioTest {
protected:
    // The fixture puts the drive map back after each test.
    bool Map(int index, int type) { return PlatMapDrive(index, m_dir.path().string().c_str(), type) != 0; }

    ScratchDir m_dir;
};

TEST_F(DrivesTest, DriveFromPathReadsTheLetter) {
    const struct {
        const char* path;
        int expected;
    } cases[] = {
        {"d:\\x", 3}, {"D:\\x", 3}, {"a:", 0}, {"c:file", 2}, {"Z:\\", 25}, {"z:", 25},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DriveFromPath(c.path), c.expected) << c.path;
}

TEST_F(DrivesTest, DriveFromPathWithoutLetterIsTheCurrentDrive) {
    // The drive of the working folder, as the host library sees it; the stand-in
    // puts a folder without a letter on C:.
    const std::string cwd = std::filesystem::current_path().string();
    const int expected = (cwd.size() >= 2 && cwd[1] == ':') ? CharUpperAZ(cwd[0]) - 'A' : DRIVE_C;
    EXPECT_EQ(DriveFromPath("\\x"), expected);
    EXPECT_EQ(DriveFromPath("x"), expected);
    EXPECT_EQ(DriveFromPath(""), expected);
    EXPECT_EQ(DriveFromPath("\\x"), PlatCurrentDrive() - 1);
}

TEST_F(DrivesTest, FixedDriveC) {
    EXPECT_EQ(DriveIsRemovable(DRIVE_C), 0);
    EXPECT_EQ(DriveIsReady(DRIVE_C), 1);
    EXPECT_GT(DriveFreeBytes(DRIVE_C), 0u);
}

TEST_F(DrivesTest, WineRootDriveZ) {
    if (PlatDriveType("Z:\\") == PLAT_DRIVE_NO_ROOT) GTEST_SKIP() << "no Z: here";
    EXPECT_EQ(DriveIsRemovable(DRIVE_Z), 0);
    EXPECT_EQ(DriveIsReady(DRIVE_Z), 1);
    EXPECT_GT(DriveFreeBytes(DRIVE_Z), 0u);
}

TEST_F(DrivesTest, UnknownDrivesAnswerNothing) {
    for (int index :
         std::initializer_list<int>{DRIVE_Q, DRIVE_LETTER_COUNT, 100, 190, 256 + DRIVE_C, INT_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(DriveIsRemovable(index), 0);
        EXPECT_EQ(DriveIsReady(index), 0);
        EXPECT_EQ(DriveFreeBytes(index), 0u);
    }
}

TEST_F(DrivesTest, ReadyQueryRestoresTheErrorMode) {
    PlatSetErrorMode(0);
    EXPECT_EQ(DriveIsReady(DRIVE_C), 1);
    EXPECT_EQ(DriveIsReady(DRIVE_Q), 0);
    EXPECT_EQ(PlatSetErrorMode(0), 0);
}

TEST_F(DrivesTest, MappedRemovableDrive) {
    if (!Map(DRIVE_D, PLAT_DRIVE_REMOVABLE)) GTEST_SKIP() << "drives cannot be mapped here";
    EXPECT_EQ(DriveIsRemovable(DriveFromPath("d:\\x")), 1);
    EXPECT_EQ(DriveIsReady(DRIVE_D), 1);
    const uint64_t available = std::filesystem::space(m_dir.path()).available;
    const uint64_t reported = DriveFreeBytes(DRIVE_D);
    // The filesystem is shared with other programs: allow for their writes meanwhile.
    const uint64_t slack = 64u << 20;
    EXPECT_GT(reported, 0u);
    EXPECT_LE(reported, available + slack);
    EXPECT_GE(reported + slack, available);
}

TEST_F(DrivesTest, RemovableDriveWithoutDisk) {
    if (!Map(DRIVE_D, PLAT_DRIVE_REMOVABLE)) GTEST_SKIP() << "drives cannot be mapped here";
    ASSERT_TRUE(PlatSetDriveReady(DRIVE_D, 0));
    PlatSetErrorMode(0);
    EXPECT_EQ(DriveIsRemovable(DRIVE_D), 1);
    EXPECT_EQ(DriveIsReady(DRIVE_D), 0);
    EXPECT_EQ(PlatSetErrorMode(0), 0);
    EXPECT_EQ(DriveFreeBytes(DRIVE_D), 0u); // an unanswered drive counts as full
    ASSERT_TRUE(PlatSetDriveReady(DRIVE_D, 1));
    EXPECT_EQ(DriveIsReady(DRIVE_D), 1);
}

TEST_F(DrivesTest, MappedFixedDrive) {
    if (!Map(DRIVE_D, PLAT_DRIVE_FIXED)) GTEST_SKIP() << "drives cannot be mapped here";
    EXPECT_EQ(DriveIsRemovable(DRIVE_D), 0);
    EXPECT_EQ(DriveIsReady(DRIVE_D), 1);
    EXPECT_GT(DriveFreeBytes(DRIVE_D), 0u);
}

TEST_F(DrivesTest, NegativeIndexAsksAboutDriveA) {
    if (!Map(DRIVE_A, PLAT_DRIVE_REMOVABLE)) GTEST_SKIP() << "drives cannot be mapped here";
    EXPECT_EQ(DriveIsRemovable(-1), 1);
    EXPECT_EQ(DriveIsRemovable(-192), 1);
    EXPECT_EQ(DriveIsReady(-1), 1);
    EXPECT_GT(DriveFreeBytes(-1), 0u);
    ASSERT_TRUE(PlatSetDriveReady(DRIVE_A, 0));
    EXPECT_EQ(DriveIsReady(-1), 0);
    EXPECT_EQ(DriveFreeBytes(-1), 0u);
}

class FilesTest : public FileioTest {
protected:
    ScratchDir m_dir;
};

TEST_F(FilesTest, ExistsAndDelete) {
    const std::string path = m_dir.file("here.bin");
    WriteFileBytes(path, {1});
    EXPECT_EQ(FileExists(path.c_str()), 1);
    EXPECT_EQ(FileExists(m_dir.path().string().c_str()), 1); // a folder exists too
    EXPECT_EQ(FileExists(m_dir.file("gone.bin").c_str()), 0);
    EXPECT_EQ(FileExists(""), 0);
    EXPECT_EQ(FileExists(nullptr), 0);

    EXPECT_EQ(FileDelete(path.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(FileExists(path.c_str()), 0);
    EXPECT_NE(FileDelete(path.c_str()), 0);
    EXPECT_EQ(FileDelete(nullptr), -1);
}

} // namespace
