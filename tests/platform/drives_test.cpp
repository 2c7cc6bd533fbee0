// Drives: types, disks that do not answer, free space, and the environment map.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform_fixture.h"

namespace {

class PlatformDrives : public PlatformTest {};

TEST_F(PlatformDrives, DriveCIsFixedAndAnUnusedLetterHasNoRoot) {
    EXPECT_EQ(PlatDriveType("C:\\"), PLAT_DRIVE_FIXED);
    EXPECT_EQ(PlatDiskAnswers("C:\\"), 1);
    // Q: is mapped neither by the stand-in nor in a fresh Wine prefix.
    EXPECT_EQ(PlatDriveType("Q:\\"), PLAT_DRIVE_NO_ROOT);
    EXPECT_EQ(PlatDiskAnswers("Q:\\"), 0);
    uint64_t freeBytes = 12345;
    EXPECT_EQ(PlatDiskFreeBytes("Q:\\", &freeBytes), 0);
    EXPECT_EQ(freeBytes, 12345u);
}

TEST_F(PlatformDrives, MappedDrivesTakeTheirType) {
    ScratchDir scratch;
    std::string folder = scratch.path().string();
    if (!PlatMapDrive(TEST_DRIVE, folder.c_str(), PLAT_DRIVE_REMOVABLE))
        GTEST_SKIP() << "drive letters cannot be mapped here";
    EXPECT_EQ(PlatDriveType("D:\\"), PLAT_DRIVE_REMOVABLE);
    EXPECT_EQ(PlatDriveType("d:\\"), PLAT_DRIVE_REMOVABLE);
    ASSERT_EQ(PlatMapDrive(4, folder.c_str(), PLAT_DRIVE_FIXED), 1);
    EXPECT_EQ(PlatDriveType("E:\\"), PLAT_DRIVE_FIXED);
    EXPECT_EQ(PlatDiskAnswers("E:\\"), 1);

    ASSERT_EQ(PlatMapDrive(4, nullptr, 0), 1);
    EXPECT_EQ(PlatDriveType("E:\\"), PLAT_DRIVE_NO_ROOT);
    EXPECT_EQ(PlatDiskAnswers("E:\\"), 0);

    // Only letters A to Z, and only the two types a disk can have here.
    EXPECT_EQ(PlatMapDrive(-1, folder.c_str(), PLAT_DRIVE_FIXED), 0);
    EXPECT_EQ(PlatMapDrive(26, folder.c_str(), PLAT_DRIVE_FIXED), 0);
    EXPECT_EQ(PlatMapDrive(5, folder.c_str(), PLAT_DRIVE_NO_ROOT), 0);
    EXPECT_EQ(PlatMapDrive(5, "", PLAT_DRIVE_FIXED), 0);
}

TEST_F(PlatformDrives, DriveWithoutDiskAnswersNothing) {
    ScratchDir scratch;
    WriteText(scratch.file("vol.arq"), "volume");
    if (!PlatMapDrive(0, scratch.path().string().c_str(), PLAT_DRIVE_REMOVABLE))
        GTEST_SKIP() << "drive letters cannot be mapped here";
    EXPECT_EQ(PlatSetDriveReady(1, 0), 0); // B: is not mapped

    ASSERT_EQ(PlatSetDriveReady(0, 0), 1);
    EXPECT_EQ(PlatDriveType("A:\\"), PLAT_DRIVE_REMOVABLE);
    EXPECT_EQ(PlatDiskAnswers("A:\\"), 0);
    uint64_t freeBytes = 0;
    EXPECT_EQ(PlatDiskFreeBytes("A:\\", &freeBytes), 0);
    EXPECT_FALSE(CanOpen("A:\\VOL.ARQ"));
    PlatStatInfo info;
    EXPECT_EQ(PlatStat("A:\\", &info), -1);
    EXPECT_EQ(PlatAccess("A:\\vol.arq", 0), -1);

    // The disk is back: everything answers again.
    ASSERT_EQ(PlatSetDriveReady(0, 1), 1);
    EXPECT_EQ(PlatDiskAnswers("A:\\"), 1);
    EXPECT_EQ(ReadThroughPlatform("A:\\VOL.ARQ"), "volume");
}

TEST_F(PlatformDrives, ChangingTheMapChangesTheDisk) {
    ScratchDir first;
    ScratchDir second;
    WriteText(first.file("VOL.ARQ"), "disk 1");
    WriteText(second.file("vol.arq"), "disk 2");
    if (!PlatMapDrive(0, first.path().string().c_str(), PLAT_DRIVE_REMOVABLE))
        GTEST_SKIP() << "drive letters cannot be mapped here";
    EXPECT_EQ(ReadThroughPlatform("A:\\VOL.ARQ"), "disk 1");
    ASSERT_EQ(PlatMapDrive(0, second.path().string().c_str(), PLAT_DRIVE_REMOVABLE), 1);
    EXPECT_EQ(ReadThroughPlatform("A:\\VOL.ARQ"), "disk 2");
}

TEST_F(PlatformDrives, FreeBytesAreThoseOfTheFileSystem) {
    ScratchDir scratch;
    std::string folder = scratch.path().string();
    std::string root;
    if (PlatMapDrive(TEST_DRIVE, folder.c_str(), PLAT_DRIVE_FIXED)) {
        root = "D:\\";
    } else {
        ASSERT_TRUE(folder.size() > 2 && folder[1] == ':') << folder;
        root = folder.substr(0, 2) + "\\";
    }
    uint64_t freeBytes = 0;
    ASSERT_EQ(PlatDiskFreeBytes(root.c_str(), &freeBytes), 1);
    EXPECT_GT(freeBytes, 0u);
    // Outside evidence: the host library's count, give or take what other programs
    // write meanwhile.
    uint64_t expected = std::filesystem::space(scratch.path()).available;
    const uint64_t SLACK = 256u << 20; // 256 MiB
    EXPECT_LE(freeBytes, expected + SLACK);
    EXPECT_GE(freeBytes + SLACK, expected);
}

TEST_F(PlatformDrives, ErrorModeReturnsThePreviousMode) {
    int original = PlatSetErrorMode(PLAT_SEM_FAILCRITICALERRORS);
    EXPECT_EQ(PlatSetErrorMode(original) & PLAT_SEM_FAILCRITICALERRORS, PLAT_SEM_FAILCRITICALERRORS);
}

// Runs with VARDOK_DRIVES and VARDOK_CODEPAGE set (a second run of this program).
TEST_F(PlatformDrives, EnvironmentMapsDrives) {
    const char* drives = getenv("VARDOK_DRIVES");
    if (!drives) GTEST_SKIP() << "VARDOK_DRIVES is not set";
    const char* expectedFolder = getenv("VARDOK_EXPECT_FOLDER");
    ASSERT_NE(expectedFolder, nullptr);
    WriteText(std::string(expectedFolder) + "/env-probe.txt", "probe");

    EXPECT_EQ(PlatDriveType("D:\\"), PLAT_DRIVE_REMOVABLE);
    EXPECT_EQ(PlatDriveType("E:\\"), PLAT_DRIVE_FIXED);
    EXPECT_EQ(PlatDriveType("F:\\"), PLAT_DRIVE_NO_ROOT); // a malformed item is skipped
    EXPECT_EQ(ReadThroughPlatform("D:\\ENV-PROBE.TXT"), "probe");
    EXPECT_EQ(PlatCodePage(), 936u);

    // A reset goes back to what the environment says, not to bare defaults.
    ASSERT_EQ(PlatMapDrive(TEST_DRIVE, nullptr, 0), 1);
    ASSERT_EQ(PlatSetCodePage(1252), 1);
    PlatResetControls();
    EXPECT_EQ(PlatDriveType("D:\\"), PLAT_DRIVE_REMOVABLE);
    EXPECT_EQ(PlatCodePage(), 936u);
    std::filesystem::remove(std::string(expectedFolder) + "/env-probe.txt");
}

} // namespace
