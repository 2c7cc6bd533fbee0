// NextVolume (asking for the next disk) and SkipEntry (passing over an entry, also
// across disks), on volumes put into the removable drive A:.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "spanned_fixture.h"

namespace {

const uint8_t kSpanned = WRITER_FLAGS | ENTRY_SPANNED;

class VolumeTest : public SpannedTest {
protected:
    void SetUp() override {
        SpannedTest::SetUp();
        // BIG.BIN: 300 bytes, 120 on the first disk, 100 on the second, 80 on the third,
        // then NEXT.TXT.
        m_data = Pattern(300);
        m_next = Pattern(12, 9);
        m_volumes = {
            VolumeRecord("BIG.BIN", Slice(m_data, 0, 120), 300, 0, kSpanned),
            VolumeRecord("BIG.BIN", Slice(m_data, 120, 100), 180, 1, kSpanned),
            Concat({VolumeRecord("BIG.BIN", Slice(m_data, 220, 80), 80, 2, WRITER_FLAGS),
                    VolumeRecord("NEXT.TXT", m_next, 12, 2, WRITER_FLAGS), EndRecord()}),
        };
        Script().volumes = m_volumes;
    }
    // Puts disk 1 in the drive and reads its first header into m_desc.
    void StartOnFirstDisk() {
        Insert(m_volumes[0]);
        std::memset(&m_desc, 0, sizeof m_desc);
        m_desc.input_slot = OpenDrive();
        ASSERT_GE(m_desc.input_slot, 0);
        ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    }
    Bytes ReadRest(int slot) {
        Bytes out;
        for (int c = FileGetByte(slot); c >= 0; c = FileGetByte(slot))
            out.push_back(static_cast<uint8_t>(c));
        return out;
    }

    Bytes m_data;
    Bytes m_next;
    std::vector<Bytes> m_volumes;
    EntryDescriptor m_desc;
};

Events Prompts(int count, int32_t disk) {
    return Events(static_cast<size_t>(count), {EVT_INSERT_VOLUME, disk});
}

// ---- NextVolume --------------------------------------------------------------------

TEST_F(VolumeTest, TheNextDiskComesInUnderTheSameSlotNumber) {
    StartOnFirstDisk();
    const int slot = m_desc.input_slot;
    ASSERT_EQ(g_currentVolume, 0);
    EXPECT_EQ(NextVolume(&m_desc), 0);
    EXPECT_EQ(Recorded(), Prompts(1, 2)) << "disk 2 is asked for, counted from 1";
    EXPECT_EQ(m_desc.input_slot, slot);
    EXPECT_EQ(g_currentVolume, 1);
    EXPECT_EQ(FileTell(slot), 41 + 7) << "behind the new volume's first header (BIG.BIN)";
    EXPECT_EQ(ReadRest(slot), Slice(m_data, 120, 100));
    EXPECT_EQ(BusySlots(), 1) << "the number used by the reopen ends free";
    EXPECT_EQ(std::string(m_desc.name), "BIG.BIN") << "the entry's descriptor keeps its fields";
}

TEST_F(VolumeTest, OnAFixedDiskItRefusesAtOnceAndTheInputIsClosed) {
    const std::string path = Put("fixed.arq", m_volumes[0]);
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
    ASSERT_GE(m_desc.input_slot, 0);
    EXPECT_EQ(NextVolume(&m_desc), -1);
    EXPECT_TRUE(Recorded().empty()) << "no prompt";
    EXPECT_EQ(FileGetSlot(m_desc.input_slot), nullptr) << "closed, and its number free again";
    EXPECT_EQ(g_currentVolume, 0);
}

TEST_F(VolumeTest, ASlotNotInUseIsRefused) {
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = 4;
    EXPECT_EQ(NextVolume(&m_desc), -1);
    ASSERT_EQ(FileReserveSlot(4), 0);
    EXPECT_EQ(NextVolume(&m_desc), -1) << "a reserved number holds no file";
    m_desc.input_slot = 20;
    EXPECT_EQ(NextVolume(&m_desc), -1);
    EXPECT_TRUE(Recorded().empty());
}

TEST_F(VolumeTest, TheSameDiskLeftInTheDriveIsAskedForTenTimes) {
    StartOnFirstDisk();
    Script().insert = 0;
    EXPECT_EQ(NextVolume(&m_desc), ERR_CANCELLED);
    Events expected = Prompts(10, 2);
    expected.push_back({EVT_CANCELLED, 0});
    EXPECT_EQ(Recorded(), expected);
    EXPECT_EQ(BusySlots(), 0) << "input closed, nothing reserved or left open";
    EXPECT_EQ(FileGetSlot(m_desc.input_slot), nullptr);
    EXPECT_EQ(g_currentVolume, 0);
}

TEST_F(VolumeTest, AStopAtThePromptGivesOnePromptAndOneCancelEvent) {
    StartOnFirstDisk();
    Script().cancel_at_prompt = 1;
    EXPECT_EQ(NextVolume(&m_desc), ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_INSERT_VOLUME, 2}, {EVT_CANCELLED, 0}}));
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(VolumeTest, AStatusSetBeforeTheChangeAlsoStopsAtTheFirstPrompt) {
    StartOnFirstDisk();
    m_desc.status = 7; // any value but 0
    EXPECT_EQ(NextVolume(&m_desc), ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_INSERT_VOLUME, 2}, {EVT_CANCELLED, 0}}));
}

TEST_F(VolumeTest, AnEmptyDriveOrAnotherDiskMeansAskingAgain) {
    StartOnFirstDisk();
    // Prompt 1: the disk is taken out and none put in; prompt 2: disk 3 (volume 2);
    // prompt 3: the right one.
    Script().insert = 0;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event != EVT_INSERT_VOLUME) return;
        if (Script().prompts == 1) Eject();
        if (Script().prompts == 2) Insert(m_volumes[2]);
        if (Script().prompts == 3) Insert(m_volumes[1]);
    };
    EXPECT_EQ(NextVolume(&m_desc), 0);
    EXPECT_EQ(Recorded(), Prompts(3, 2));
    EXPECT_EQ(g_currentVolume, 1);
    EXPECT_EQ(BusySlots(), 1);
}

TEST_F(VolumeTest, NoOpenDuringThePromptTakesTheArchiveNumber) {
    StartOnFirstDisk();
    const int slot = m_desc.input_slot;
    const std::string other = Put("other.bin", Pattern(5));
    int opened = -1;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_INSERT_VOLUME) opened = FileOpen(other.c_str(), FILE_READ);
    };
    EXPECT_EQ(NextVolume(&m_desc), 0);
    ASSERT_GE(opened, 0);
    EXPECT_NE(opened, slot);
    EXPECT_EQ(m_desc.input_slot, slot);
    EXPECT_EQ(ReadRest(slot), Slice(m_data, 120, 100));
    FileClose(opened);
}

TEST_F(VolumeTest, VolumeNumbersAreComparedByTheirLowByte) {
    // Volume 256 is numbered 0 again.
    Insert(VolumeRecord("BIG.BIN", Pattern(4), 4, 255, kSpanned));
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = OpenDrive();
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    g_currentVolume = 255;
    Script().insert = 0;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_INSERT_VOLUME) Insert(VolumeRecord("BIG.BIN", Pattern(4), 4, 0, WRITER_FLAGS));
    };
    EXPECT_EQ(NextVolume(&m_desc), 0);
    EXPECT_EQ(Recorded(), Prompts(1, 257));
    EXPECT_EQ(g_currentVolume, 256);
}

// ---- SkipEntry ----------------------------------------------------------------------

TEST_F(VolumeTest, AnEntryOnOneVolumeIsPassedOverByItsSize) {
    const std::string path =
        Put("plain.arq", BuildArchive({{"ONE.TXT", Pattern(40)}, {"TWO.TXT", Pattern(3)}}));
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    EXPECT_EQ(SkipEntry(&m_desc), 0);
    EXPECT_EQ(FileTell(m_desc.input_slot), 48 + 40);
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    EXPECT_EQ(std::string(m_desc.name), "TWO.TXT");
    EXPECT_TRUE(Recorded().empty());
}

TEST_F(VolumeTest, SizesOf2GiBAndMoreNeverSeekBackwards) {
    // Taken as a signed offset, 0xFFFFFFD7 is -41: the reader would go back onto the
    // header it has just read, and a walk would read it for ever.
    const struct {
        uint32_t size;
        const char* description;
    } cases[] = {
        {0xFFFFFFD7u, "-41 as a signed offset"},
        {0x80000000u, "2^31"},
        {0xFFFFFFFFu, "the largest size"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        FileResetSlots();
        const Bytes bytes =
            Concat({VolumeRecord("HUGE.BIN", Pattern(10), c.size, 0, WRITER_FLAGS), EndRecord()});
        const std::string path = Put("huge.arq", bytes);
        std::memset(&m_desc, 0, sizeof m_desc);
        m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
        ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
        EXPECT_EQ(m_desc.compressed_size, c.size);
        EXPECT_NE(SkipEntry(&m_desc), 0);
        EXPECT_GE(FileTell(m_desc.input_slot), static_cast<int32_t>(bytes.size())) << "not before the data";
        EXPECT_LT(ReadEntryHeader(&m_desc), 0);
    }
}

TEST_F(VolumeTest, ASpannedEntryOnAFixedDiskEndsInARefusedVolumeChange) {
    const std::string path = Put("fixed.arq", m_volumes[0]);
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    EXPECT_EQ(SkipEntry(&m_desc), -1);
    EXPECT_TRUE(Recorded().empty()) << "no prompt";
    EXPECT_EQ(FileGetSlot(m_desc.input_slot), nullptr) << "the archive's slot is closed";
}

TEST_F(VolumeTest, ASpannedEntryIsSkippedOverEveryDiskItCovers) {
    StartOnFirstDisk();
    const int slot = m_desc.input_slot;
    EXPECT_EQ(SkipEntry(&m_desc), 0);
    EXPECT_EQ(Recorded(), (Events{{EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}}));
    EXPECT_EQ(g_currentVolume, 2);
    EXPECT_EQ(m_desc.input_slot, slot);
    EXPECT_EQ(FileTell(slot), 48 + 80) << "behind the last piece";
    // The entry's descriptor still describes the entry, not its last piece.
    EXPECT_EQ(std::string(m_desc.name), "BIG.BIN");
    EXPECT_EQ(m_desc.compressed_size, 300u);
    EXPECT_EQ(m_desc.volume_info[0], 0);
    EntryDescriptor next;
    std::memset(&next, 0, sizeof next);
    next.input_slot = slot;
    ASSERT_EQ(ReadEntryHeader(&next), 0);
    EXPECT_EQ(std::string(next.name), "NEXT.TXT");
}

TEST_F(VolumeTest, ASignatureInsideSpannedDataIsNotTakenForTheNextRecord) {
    // The piece on disk 1 is an archive stored inside the archive: a search for the
    // next record would stop on its header.
    const Bytes inner = BuildArchive({{"INNER.TXT", Pattern(8)}});
    const Bytes data = Concat({Pattern(20), inner, Pattern(30)});
    const uint32_t total = static_cast<uint32_t>(data.size()) + 5;
    Script().volumes = {VolumeRecord("OUTER.ARQ", data, total, 0, kSpanned),
                        Concat({VolumeRecord("OUTER.ARQ", Pattern(5), 5, 1, WRITER_FLAGS),
                                VolumeRecord("NEXT.TXT", m_next, 12, 1, WRITER_FLAGS), EndRecord()})};
    Insert(Script().volumes[0]);
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = OpenDrive();
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    EXPECT_EQ(SkipEntry(&m_desc), 0);
    EXPECT_EQ(Recorded(), Prompts(1, 2));
    EntryDescriptor next;
    std::memset(&next, 0, sizeof next);
    next.input_slot = m_desc.input_slot;
    ASSERT_EQ(ReadEntryHeader(&next), 0);
    EXPECT_EQ(std::string(next.name), "NEXT.TXT");
}

TEST_F(VolumeTest, AStopAtAPromptEndsTheSkip) {
    StartOnFirstDisk();
    Script().cancel_at_prompt = 2;
    EXPECT_EQ(SkipEntry(&m_desc), ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}, {EVT_CANCELLED, 0}}));
    EXPECT_EQ(BusySlots(), 0);
}

} // namespace
