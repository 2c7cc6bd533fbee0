// Real lack of space: the output folder on a 1 MiB filesystem reached as drive T:.
//
// On the stand-in the test mounts a tmpfs of its own and maps T: to it; on Windows
// (Wine) the test fixture has mapped T: to such a filesystem already, when it could
// mount one. Without either the tests skip.
#include <cstdlib>
#include <fstream>
#include <memory>

#include "extract_fixture.h"

namespace {

const int DRIVE_T = 19;
const uint64_t SMALL_DRIVE_BYTES = 1024 * 1024;
const uint32_t KIB = 1024;

// Drive T: on a small filesystem for the length of a test.
class SmallDrive {
public:
    explicit SmallDrive(const ScratchDir& scratch) {
        // PlatMapDrive succeeds only on the stand-in, which can then be given a drive
        // of the test's own.
        const std::string mountPoint = scratch.file("small");
        if (PlatMapDrive(DRIVE_T, scratch.path().string().c_str(), PLAT_DRIVE_FIXED)) {
            std::filesystem::create_directory(mountPoint);
            const std::string command = "mount -t tmpfs -o size=1m tmpfs '" + mountPoint + "' 2>/dev/null";
            if (std::system(command.c_str()) != 0) {
                m_why = "cannot mount a tmpfs here";
                return;
            }
            m_mountPoint = mountPoint;
            PlatMapDrive(DRIVE_T, mountPoint.c_str(), PLAT_DRIVE_FIXED);
            m_hostRoot = mountPoint + "/";
        } else {
            m_hostRoot = "T:\\";
        }
        const uint64_t free = DriveFreeBytes(DRIVE_T);
        if (free == 0 || free > SMALL_DRIVE_BYTES) {
            m_why = "drive T: is no small filesystem";
            return;
        }
        if (free < SMALL_DRIVE_BYTES - 64 * KIB) {
            m_why = "drive T: is in use";
            return;
        }
        // A folder of this test's own on the drive.
        m_folder = "vardok-" + scratch.path().filename().string();
        std::filesystem::create_directory(m_hostRoot + m_folder);
        m_ready = true;
    }
    ~SmallDrive() {
        std::error_code ec;
        if (m_ready) std::filesystem::remove_all(m_hostRoot + m_folder, ec);
        if (!m_mountPoint.empty()) {
            const std::string command = "umount '" + m_mountPoint + "' 2>/dev/null";
            if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot unmount " << m_mountPoint;
        }
    }
    bool ready() const { return m_ready; }
    const std::string& why() const { return m_why; }
    // The folder as the engine names it, and a file in it as the test opens it.
    std::string EngineFolder() const { return "T:\\" + m_folder; }
    std::string HostFile(const std::string& name) const { return m_hostRoot + m_folder + "/" + name; }

    // Writes a file until the drive is full.
    void Fill(const std::string& name) const {
        std::ofstream out(HostFile(name), std::ios::binary);
        const std::string block(4096, 'F');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())) && out.flush()) {
        }
    }

private:
    std::string m_mountPoint;
    std::string m_hostRoot;
    std::string m_folder;
    std::string m_why;
    bool m_ready = false;
};

class ExtractSpaceTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        m_drive = std::make_unique<SmallDrive>(m_scratch);
        if (!m_drive->ready()) GTEST_SKIP() << m_drive->why();
        m_dest = m_drive->EngineFolder();
    }
    void TearDown() override {
        m_drive.reset();
        ExtractTest::TearDown();
    }
    std::string Target(const std::string& stored) const { return m_dest + "\\" + stored; }

    std::unique_ptr<SmallDrive> m_drive;
    std::string m_dest;
};

TEST_F(ExtractSpaceTest, DiskFullSkipsTheEntryAndTheWalkGoesOn) {
    // The first entry takes 900 KiB of the 1 MiB; the second does not fit what is
    // left; the third does.
    const Bytes first = RandomData(900 * KIB, 1);
    ASSERT_EQ(Extract(PlainArchive({Stored("FIRST.BIN", first), Crushed("SECOND.TXT", TextData(900 * KIB)),
                                    Stored("THIRD.TXT", TextData(1000))}),
                      &m_dest),
              0);
    // 900 KiB are eight copy buffers, the last one short: one progress event.
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_BEGIN, 0},
                                  {EVT_PROGRESS, 900 * KIB},
                                  {EVT_ENTRY_DONE, 0},
                                  {EVT_DISK_FULL, DRIVE_T},
                                  {EVT_ENTRY_BEGIN, 0},
                                  {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(m_names[2], Target("SECOND.TXT"));
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("FIRST.BIN")), first);
    EXPECT_TRUE(std::filesystem::exists(m_drive->HostFile("SECOND.TXT")));
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("SECOND.TXT")), Bytes());
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("THIRD.TXT")), TextData(1000));
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
}

TEST_F(ExtractSpaceTest, CancelAtDiskFullStopsEveryLaterEntry) {
    m_onEvent = CancelAt(EVT_DISK_FULL);
    ASSERT_EQ(
        Extract(PlainArchive({Stored("HUGE.BIN", RandomData(1100 * KIB)), Stored("LATER.TXT", TextData(10))}),
                &m_dest),
        0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_DISK_FULL, DRIVE_T}}));
    EXPECT_FALSE(std::filesystem::exists(m_drive->HostFile("LATER.TXT")));
    EXPECT_EQ(ExtractWalkResult(), ERR_CANCELLED);
}

TEST_F(ExtractSpaceTest, SelfExtractionCancelledAtDiskFullStillReturnsZero) {
    const std::string program = Put(
        "PROG.EXE",
        SelfExtractingFile({Stored("HUGE.BIN", RandomData(1100 * KIB)), Stored("LATER.TXT", TextData(10))}));
    ASSERT_EQ(PlatSetModuleFileNameOverride(program.c_str()), 1);
    m_onEvent = CancelAt(EVT_DISK_FULL);
    const int result = ExtractSelf(nullptr, m_dest.c_str(), Record, nullptr);
    PlatSetModuleFileNameOverride(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ARCHIVE_TOTAL, 1100 * KIB + 10}, {EVT_DISK_FULL, DRIVE_T}}));
    EXPECT_TRUE(m_done.empty());
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("HUGE.BIN")), Bytes());
    EXPECT_FALSE(std::filesystem::exists(m_drive->HostFile("LATER.TXT")));
}

TEST_F(ExtractSpaceTest, CrushedWriteThatComesUpShortFails) {
    // The free-space check passes; on the entry's first progress event another
    // program takes the rest of the drive, so the entry's writes come up short.
    const Bytes data = TextData(600 * KIB);
    bool filled = false;
    m_onEvent = [this, &filled](EntryDescriptor*, int32_t code, int32_t argument) {
        if (code == EVT_PROGRESS && argument == 0 && !filled) {
            m_drive->Fill("FILLER");
            filled = true;
        }
        if (code == EVT_ENTRY_FAILED) std::filesystem::remove(m_drive->HostFile("FILLER"));
    };
    ASSERT_EQ(
        Extract(PlainArchive({Crushed("TEXT.TXT", data), Crushed("NEXT.TXT", TextData(5000, 2))}), &m_dest),
        0);

    // Some chunks may still have gone into the runtime's buffer before a write failed.
    Evs progress;
    Evs rest;
    for (const Ev& ev : EntryEvents())
        (ev.code == EVT_PROGRESS ? progress : rest).push_back(ev);
    EXPECT_EQ(rest, (Evs{{EVT_ENTRY_FAILED, ERR_IO}, {EVT_ENTRY_DONE, 0}}));
    ASSERT_GE(progress.size(), 3u);
    const Evs entryProgress(progress.begin(), progress.end() - 2);
    EXPECT_EQ(entryProgress, CrushedProgress(static_cast<uint32_t>(entryProgress.size() * 4096)));
    EXPECT_LT(entryProgress.size(), static_cast<size_t>(600 * KIB / 4096));
    EXPECT_EQ(m_done, (std::vector<std::string>{Target("NEXT.TXT")}));
    // The failed file stays, short.
    EXPECT_LT(ReadFileBytes(m_drive->HostFile("TEXT.TXT")).size(), data.size());
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("NEXT.TXT")), TextData(5000, 2));
}

TEST_F(ExtractSpaceTest, StoredWriteThatComesUpShortFails) {
    bool filled = false;
    m_onEvent = [this, &filled](EntryDescriptor*, int32_t code, int32_t) {
        if (code == EVT_ENTRY_BEGIN && !filled) {
            m_drive->Fill("FILLER");
            filled = true;
        }
        if (code == EVT_ENTRY_FAILED) std::filesystem::remove(m_drive->HostFile("FILLER"));
    };
    const Bytes data = RandomData(600 * KIB);
    ASSERT_EQ(Extract(PlainArchive({Stored("DATA.BIN", data), Stored("NEXT.TXT", TextData(300))}), &m_dest),
              0);
    EXPECT_EQ(
        EntryEvents(),
        (Evs{{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_FAILED, ERR_IO}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_LT(ReadFileBytes(m_drive->HostFile("DATA.BIN")).size(), data.size());
    EXPECT_EQ(ReadFileBytes(m_drive->HostFile("NEXT.TXT")), TextData(300));
}

} // namespace
