// The spanned-entry step of ExtractEntry: SpannedEntryBegin collects an entry's pieces
// from disk after disk into a temporary file, SpannedEntryEnd removes it again.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "spanned_fixture.h"

namespace {

const uint8_t kSpanned = WRITER_FLAGS | ENTRY_SPANNED;

class SpannedEntryTest : public SpannedTest {
protected:
    void SetUp() override {
        SpannedTest::SetUp();
        // BIG.BIN: 300 bytes over three disks (120, 100, 80), then NEXT.TXT.
        m_data = Pattern(300);
        m_volumes = {
            VolumeRecord("BIG.BIN", Slice(m_data, 0, 120), 300, 0, kSpanned),
            VolumeRecord("BIG.BIN", Slice(m_data, 120, 100), 180, 1, kSpanned),
            Concat({VolumeRecord("BIG.BIN", Slice(m_data, 220, 80), 80, 2, WRITER_FLAGS),
                    VolumeRecord("NEXT.TXT", Pattern(12), 12, 2, WRITER_FLAGS), EndRecord()}),
        };
        Script().volumes = m_volumes;
        m_output = EnginePath(m_scratch.file("BIG.BIN"));
    }
    void TearDown() override {
        SpannedEntryEnd(&m_desc, &m_span);
        SpannedTest::TearDown();
    }
    // Puts disk (1-based) in the drive, reads its first header and opens the output file,
    // as the walk does before ExtractEntry.
    void StartOnDisk(int disk) {
        Insert(m_volumes[static_cast<size_t>(disk - 1)]);
        std::memset(&m_desc, 0, sizeof m_desc);
        m_desc.input_slot = OpenDrive();
        ASSERT_GE(m_desc.input_slot, 0);
        ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
        std::snprintf(m_desc.name, sizeof m_desc.name, "%s", m_output.c_str());
        m_desc.name_length = static_cast<int32_t>(m_output.size());
        m_desc.output_slot = FileOpen(m_output.c_str(), FILE_WRITE | FILE_CREATE);
        ASSERT_GE(m_desc.output_slot, 0);
        m_archive = m_desc.input_slot;
    }
    int Begin() { return SpannedEntryBegin(&m_desc, &m_span, &m_result); }
    // What the method dispatch would read from the input.
    static Bytes ReadAll(int slot) {
        Bytes out;
        for (int c = FileGetByte(slot); c >= 0; c = FileGetByte(slot))
            out.push_back(static_cast<uint8_t>(c));
        return out;
    }
    std::string NextRecordName(int slot) {
        EntryDescriptor next;
        std::memset(&next, 0, sizeof next);
        next.input_slot = slot;
        if (ReadEntryHeader(&next) != 0) return "(none)";
        return next.name;
    }
    // The events of copying the three pieces.
    static Events ThreePieces() {
        return {{EVT_COPY_PROGRESS, 0},   {EVT_COPY_PROGRESS, 120}, {EVT_COPY_PROGRESS, 120},
                {EVT_INSERT_VOLUME, 2},   {EVT_COPY_PROGRESS, 0},   {EVT_COPY_PROGRESS, 100},
                {EVT_COPY_PROGRESS, 100}, {EVT_INSERT_VOLUME, 3},   {EVT_COPY_PROGRESS, 0},
                {EVT_COPY_PROGRESS, 80},  {EVT_COPY_PROGRESS, 80}};
    }
    static Events Then(Events first, const Events& more) {
        first.insert(first.end(), more.begin(), more.end());
        return first;
    }
    std::vector<std::string> TempFiles() const { return TempFilesIn(m_scratch.path()); }

    Bytes m_data;
    std::vector<Bytes> m_volumes;
    std::string m_output;
    EntryDescriptor m_desc;
    SpannedEntry m_span = {-1, nullptr, 0};
    int m_result = 12345;
    int m_archive = -1;
};

TEST_F(SpannedEntryTest, AnEntryOverThreeDisksIsCollectedIntoOneTemporaryFile) {
    StartOnDisk(1);
    std::vector<std::string> seenDuringCopy;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_COPY_PROGRESS && seenDuringCopy.empty()) seenDuringCopy = TempFiles();
    };
    ASSERT_EQ(Begin(), 1);
    EXPECT_EQ(Recorded(), Then({{EVT_TEMP_NAME, 0}}, ThreePieces()));
    EXPECT_EQ(seenDuringCopy, std::vector<std::string>{"CX00001.$$$"}) << "in the output folder";
    EXPECT_EQ(m_span.active, 1);
    EXPECT_EQ(m_span.archive_slot, m_archive);
    EXPECT_NE(m_desc.input_slot, m_archive);
    EXPECT_EQ(g_currentVolume, 2);
    // The dispatch reads the whole entry, contiguous from offset 0.
    EXPECT_EQ(FileTell(m_desc.input_slot), 0);
    EXPECT_EQ(ReadAll(m_desc.input_slot), m_data);
    EXPECT_EQ(m_desc.compressed_size, 300u);

    SpannedEntryEnd(&m_desc, &m_span);
    EXPECT_EQ(m_desc.input_slot, m_archive);
    EXPECT_EQ(m_span.active, 0);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(NextRecordName(m_archive), "NEXT.TXT") << "the archive stands behind the last piece";
    SpannedEntryEnd(&m_desc, &m_span); // a second call changes nothing
    EXPECT_EQ(m_desc.input_slot, m_archive);
    EXPECT_EQ(BusySlots(), 2) << "archive and output";
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

// After an assembly the archive input already stands on the next record; the entry's
// input is the temporary file, which is no volume. A skip of the entry (an unknown
// method, a refused entry) must not ask for disks on either.
TEST_F(SpannedEntryTest, ASkipAfterTheAssemblyLeavesEverythingWhereItIs) {
    StartOnDisk(1);
    ASSERT_EQ(Begin(), 1);
    const size_t events = Recorded().size();
    const int temp = m_desc.input_slot;
    EXPECT_EQ(SkipEntry(&m_desc), 0);
    EXPECT_EQ(m_desc.input_slot, temp);
    EXPECT_EQ(FileTell(temp), 0);
    SpannedEntryEnd(&m_desc, &m_span);
    EXPECT_EQ(SkipEntry(&m_desc), 0);
    EXPECT_EQ(Recorded().size(), events) << "no prompt";
    EXPECT_EQ(m_desc.input_slot, m_archive);
    EXPECT_EQ(NextRecordName(m_archive), "NEXT.TXT");
}

TEST_F(SpannedEntryTest, AnEntryThatIsNotSpannedGoesStraightOn) {
    const std::string path = Put("plain.arq", BuildArchive({{"ONE.TXT", Pattern(40)}}));
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    ASSERT_EQ(Begin(), 1);
    EXPECT_EQ(m_span.active, 0);
    EXPECT_TRUE(Recorded().empty());
    EXPECT_EQ(FileTell(m_desc.input_slot), 48);
}

TEST_F(SpannedEntryTest, ATemporaryNameChangedByTheHandlerIsUsed) {
    StartOnDisk(1);
    const std::string renamed = EnginePath(m_scratch.file("MINE.TMP"));
    Script().rename_temp = renamed;
    bool existedDuringCopy = false;
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_COPY_PROGRESS)
            existedDuringCopy = std::filesystem::exists(m_scratch.path() / "MINE.TMP");
    };
    ASSERT_EQ(Begin(), 1);
    EXPECT_TRUE(existedDuringCopy);
    EXPECT_TRUE(TempFiles().empty()) << "no file under the offered name";
    EXPECT_EQ(ReadAll(m_desc.input_slot), m_data);
    SpannedEntryEnd(&m_desc, &m_span);
    EXPECT_FALSE(std::filesystem::exists(m_scratch.path() / "MINE.TMP"));
}

TEST_F(SpannedEntryTest, TheOfferedNameDescriptorHoldsOnlyTheName) {
    StartOnDisk(1);
    Script().hook = [&](EntryDescriptor* desc, int32_t event, int32_t) {
        if (event != EVT_TEMP_NAME) return;
        EXPECT_EQ(desc->name_length, static_cast<int32_t>(std::strlen(desc->name)));
        EXPECT_EQ(desc->compressed_size, 0u);
        EXPECT_EQ(desc->status, 0);
        EXPECT_EQ(desc->flags, 0);
    };
    ASSERT_EQ(Begin(), 1);
    ASSERT_EQ(Script().temp_names.size(), 1u);
    const std::string offered = Script().temp_names[0];
    EXPECT_EQ(offered.substr(offered.size() - 12), "\\CX00001.$$$");
}

TEST_F(SpannedEntryTest, ATemporaryFileThatCannotBeCreatedSkipsTheEntry) {
    StartOnDisk(1);
    Script().rename_temp = EnginePath(m_scratch.file("MISSING/X.TMP"));
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, 0) << "the walk goes on with the next entry";
    EXPECT_EQ(
        Recorded(),
        (Events{{EVT_TEMP_NAME, 0}, {EVT_TEMP_FAILED, 0}, {EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}}));
    EXPECT_EQ(m_span.active, 0);
    EXPECT_EQ(NextRecordName(m_archive), "NEXT.TXT");
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, ATemporaryFileCreatedWhenNoSlotIsFreeIsRemovedAgain) {
    StartOnDisk(1);
    // Every free number reserved: the temporary name is probed and the file created,
    // but no slot takes it.
    std::vector<int> reserved;
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
        if (FileReserveSlot(slot) == 0) reserved.push_back(slot);
    }
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event != EVT_TEMP_FAILED) return;
        for (int slot : reserved)
            FileReleaseSlot(slot);
    };
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, 0);
    EXPECT_EQ(
        Recorded(),
        (Events{{EVT_TEMP_NAME, 0}, {EVT_TEMP_FAILED, 0}, {EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}}));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SpannedEntryTest, AStopDuringACopyCancelsTheEntry) {
    StartOnDisk(1);
    Script().cancel_at_copy = 4; // the second piece's first event
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_TEMP_NAME, 0},
                                  {EVT_COPY_PROGRESS, 0},
                                  {EVT_COPY_PROGRESS, 120},
                                  {EVT_COPY_PROGRESS, 120},
                                  {EVT_INSERT_VOLUME, 2},
                                  {EVT_COPY_PROGRESS, 0},
                                  {EVT_CANCELLED, 0}}));
    EXPECT_EQ(m_desc.status, STATUS_CANCEL);
    EXPECT_EQ(FileGetSlot(m_archive), nullptr) << "the archive input is closed";
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, AVolumeChangeGivenUpRemovesTheTemporaryFile) {
    StartOnDisk(1);
    Script().cancel_at_prompt = 2;
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_CANCELLED);
    const Events pieces = ThreePieces();
    Events expected = Then({{EVT_TEMP_NAME, 0}}, Events(pieces.begin(), pieces.begin() + 8));
    expected.push_back({EVT_CANCELLED, 0});
    EXPECT_EQ(Recorded(), expected);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 1) << "only the output file";
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, ASpannedEntryOnAFixedDiskFailsAfterItsFirstPiece) {
    const std::string path = Put("fixed.arq", m_volumes[0]);
    std::memset(&m_desc, 0, sizeof m_desc);
    m_desc.input_slot = FileOpen(path.c_str(), FILE_READ);
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    std::snprintf(m_desc.name, sizeof m_desc.name, "%s", m_output.c_str());
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, -1);
    EXPECT_EQ(
        Recorded(),
        (Events{
            {EVT_TEMP_NAME, 0}, {EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, 120}, {EVT_COPY_PROGRESS, 120}}));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(BusySlots(), 0);
}

// A piece copy that fails other than by a stop used to be tried again with the same
// count for ever; it ends the assembly now.
TEST_F(SpannedEntryTest, AShortCopyEndsTheAssemblyWithAnIoFailure) {
    StartOnDisk(1);
    // The temporary file stops taking bytes: its slot is closed under the copy.
    Script().hook = [&](EntryDescriptor* desc, int32_t event, int32_t argument) {
        if (event == EVT_COPY_PROGRESS && argument == 0 && Script().copies == 1) FileClose(desc->output_slot);
    };
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_IO);
    EXPECT_EQ(Recorded(), (Events{{EVT_TEMP_NAME, 0}, {EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, 0}}));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(m_span.active, 0);
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, ACopyWithoutABufferEndsTheAssemblyWithNoMemory) {
    StartOnDisk(1);
    MemFailFrom(0x2000); // names and descriptors still fit, copy buffers do not
    EXPECT_EQ(Begin(), 0);
    MemFailFrom(0);
    EXPECT_EQ(m_result, ERR_NO_MEMORY);
    EXPECT_EQ(Recorded(), (Events{{EVT_TEMP_NAME, 0}}));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, NoMemoryForTheTemporaryNameSkipsTheEntry) {
    StartOnDisk(1);
    MemFailAfter(0);
    Script().hook = [&](EntryDescriptor*, int32_t, int32_t) { MemFailAfter(-1); };
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_NO_MEMORY);
    EXPECT_EQ(Recorded(), (Events{{EVT_INSERT_VOLUME, 2}, {EVT_INSERT_VOLUME, 3}}));
    EXPECT_EQ(NextRecordName(m_archive), "NEXT.TXT");
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(SpannedEntryTest, ATemporaryFileThatCannotBeReopenedIsRemoved) {
    StartOnDisk(1);
    // After the last copy event every allocation fails: the reopen cannot keep its path.
    Script().hook = [&](EntryDescriptor*, int32_t event, int32_t) {
        if (event == EVT_COPY_PROGRESS && Script().copies == 9) MemFailAfter(0);
    };
    EXPECT_EQ(Begin(), 0);
    MemReset();
    EXPECT_EQ(m_result, ERR_IO);
    EXPECT_EQ(m_desc.input_slot, m_archive);
    EXPECT_EQ(m_span.active, 0);
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

// ---- A start at a later disk ------------------------------------------------------------

TEST_F(SpannedEntryTest, BegunAtTheSecondDiskTheEntryIsTakenFromTheFirst) {
    StartOnDisk(2);
    ASSERT_EQ(m_desc.volume_info[0], 1);
    ASSERT_EQ(m_desc.compressed_size, 180u);
    ASSERT_EQ(Begin(), 1);
    EXPECT_EQ(Recorded(),
              Then({{EVT_SEARCH_PROGRESS, 0}, {EVT_INSERT_VOLUME, 1}, {EVT_TEMP_NAME, 0}}, ThreePieces()));
    EXPECT_EQ(std::string(m_desc.name), m_output) << "the output path stays";
    EXPECT_EQ(m_desc.name_length, static_cast<int32_t>(m_output.size()));
    EXPECT_EQ(m_desc.compressed_size, 300u) << "the first header's fields";
    EXPECT_EQ(m_desc.volume_info[0], 0);
    EXPECT_EQ(ReadAll(m_desc.input_slot), m_data);
    EXPECT_EQ(g_currentVolume, 2);
}

TEST_F(SpannedEntryTest, BegunAtALaterDiskWithAnotherFirstEntryTheWalkStartsOnDiskOne) {
    // Disk 1 begins with SMALL.TXT: its data belongs in its own file, not in BIG.BIN's.
    m_volumes[0] = Concat({VolumeRecord("SMALL.TXT", Pattern(10), 10, 0, WRITER_FLAGS), m_volumes[0]});
    Script().volumes = m_volumes;
    StartOnDisk(2);
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, 0);
    EXPECT_EQ(Recorded(), (Events{{EVT_SEARCH_PROGRESS, 0}, {EVT_INSERT_VOLUME, 1}}));
    EXPECT_EQ(g_currentVolume, 0);
    EXPECT_EQ(m_desc.input_slot, m_archive);
    EXPECT_EQ(FileTell(m_archive), 0) << "the walk reads disk 1 from its first record";
    EXPECT_EQ(std::string(m_desc.name), m_output);
    EXPECT_EQ(m_desc.compressed_size, 180u) << "the descriptor still describes the entry in hand";
    EXPECT_EQ(NextRecordName(m_archive), "SMALL.TXT");
}

TEST_F(SpannedEntryTest, AWalkStartsFromTheFirstDiskOnlyOnce) {
    StartOnDisk(2);
    g_currentVolume = 0;
    ASSERT_EQ(Begin(), 1);
    SpannedEntryEnd(&m_desc, &m_span);
    // A second record whose volume number disagrees again: no more going round.
    const size_t before = Recorded().size();
    m_desc.volume_info[0] = 7;
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_IO);
    EXPECT_EQ(Recorded().size(), before) << "no prompt";
    SpannedResetState();
    EXPECT_EQ(g_currentVolume, 0);
}

TEST_F(SpannedEntryTest, ANewStartGivenUpAtThePromptFails) {
    StartOnDisk(2);
    Script().cancel_at_prompt = 1;
    EXPECT_EQ(Begin(), 0);
    EXPECT_EQ(m_result, ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_SEARCH_PROGRESS, 0}, {EVT_INSERT_VOLUME, 1}, {EVT_CANCELLED, 0}}));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

} // namespace
