// CopyBytes: moving one piece of a spanned entry into its temporary file.
#include <gtest/gtest.h>

#include "spanned_fixture.h"

namespace {

class CopyBytesTest : public SpannedTest {
protected:
    // Opens a source holding bytes and an empty target.
    void Open(const Bytes& bytes) {
        m_in = FileOpen(Put("in.bin", bytes).c_str(), FILE_READ);
        m_out = FileOpen(m_scratch.file("out.bin").c_str(), FILE_READ | FILE_WRITE | FILE_CREATE);
        ASSERT_GE(m_in, 0);
        ASSERT_GE(m_out, 0);
    }
    Bytes Target() {
        FileClose(m_out);
        m_out = -1;
        return ReadFileBytes(m_scratch.file("out.bin"));
    }
    int m_in = -1;
    int m_out = -1;
};

TEST_F(CopyBytesTest, NoBytesRaisesTwoEventsWithZero) {
    Open(Pattern(10));
    EXPECT_EQ(CopyBytes(m_in, m_out, 0), 0);
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, 0}}));
    EXPECT_TRUE(Target().empty());
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(CopyBytesTest, HundredBytesRaiseZeroThenTheTotalTwice) {
    const Bytes data = Pattern(150);
    Open(data);
    EXPECT_EQ(CopyBytes(m_in, m_out, 100), 0);
    EXPECT_EQ(Recorded(),
              (Events{{EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, 100}, {EVT_COPY_PROGRESS, 100}}));
    EXPECT_EQ(FileTell(m_in), 100) << "the source stands behind the piece";
    EXPECT_EQ(Target(), Slice(data, 0, 100));
}

TEST_F(CopyBytesTest, TheScratchDescriptorNamesTheCopy) {
    Open(Pattern(20));
    int seen = 0;
    Script().hook = [&](EntryDescriptor* desc, int32_t, int32_t) {
        EXPECT_EQ(desc->input_slot, m_in);
        EXPECT_EQ(desc->output_slot, m_out);
        EXPECT_EQ(desc->compressed_size, 20u);
        EXPECT_EQ(desc->name[0], '\0');
        seen++;
    };
    EXPECT_EQ(CopyBytes(m_in, m_out, 20), 0);
    EXPECT_EQ(seen, 3);
}

TEST_F(CopyBytesTest, LargePiecesGoInBuffersOf128KiB) {
    const Bytes data = Pattern(COPY_BYTES_BUFFER * 2 + 5);
    Open(data);
    EXPECT_EQ(CopyBytes(m_in, m_out, static_cast<uint32_t>(data.size())), 0);
    const int32_t full = COPY_BYTES_BUFFER;
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0},
                                  {EVT_COPY_PROGRESS, full},
                                  {EVT_COPY_PROGRESS, 2 * full},
                                  {EVT_COPY_PROGRESS, 2 * full + 5},
                                  {EVT_COPY_PROGRESS, 2 * full + 5}}));
    EXPECT_EQ(Target(), data);
}

TEST_F(CopyBytesTest, UnderMemoryPressureTheBufferHalvesDownTo8KiB) {
    const Bytes data = Pattern(20000);
    Open(data);
    MemFailFrom(0x4000); // 128, 64, 32 and 16 KiB fail
    EXPECT_EQ(CopyBytes(m_in, m_out, 20000), 0);
    MemFailFrom(0);
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0},
                                  {EVT_COPY_PROGRESS, 0x2000},
                                  {EVT_COPY_PROGRESS, 0x4000},
                                  {EVT_COPY_PROGRESS, 20000},
                                  {EVT_COPY_PROGRESS, 20000}}));
    EXPECT_EQ(Target(), data);
    EXPECT_EQ(LeakedBeyondOpenSlots(), 0);
}

TEST_F(CopyBytesTest, WithoutAn8KiBBufferNothingHappens) {
    Open(Pattern(100));
    MemFailFrom(0x2000);
    EXPECT_EQ(CopyBytes(m_in, m_out, 100), ERR_NO_MEMORY);
    MemFailFrom(0);
    EXPECT_TRUE(Recorded().empty());
    EXPECT_EQ(FileTell(m_in), 0);
}

TEST_F(CopyBytesTest, SlotNumbersOutsideTheTableAreRefusedWithoutAnEvent) {
    Open(Pattern(10));
    EXPECT_EQ(CopyBytes(20, m_out, 10), ERR_BAD_HANDLE);
    EXPECT_EQ(CopyBytes(m_in, 20, 10), ERR_BAD_HANDLE);
    EXPECT_EQ(CopyBytes(-1, m_out, 10), ERR_BAD_HANDLE);
    EXPECT_TRUE(Recorded().empty());
}

TEST_F(CopyBytesTest, ASourceThatEndsEarlyGivesAShortCopy) {
    Open(Pattern(30));
    EXPECT_EQ(CopyBytes(m_in, m_out, 50), ERR_IO);
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, 30}, {EVT_COPY_PROGRESS, 30}}));
    EXPECT_EQ(Target().size(), 30u);
}

TEST_F(CopyBytesTest, AStopAtTheFirstEventCopiesNothing) {
    Open(Pattern(30));
    Script().cancel_at_copy = 1;
    EXPECT_EQ(CopyBytes(m_in, m_out, 30), ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0}}));
    EXPECT_TRUE(Target().empty());
}

TEST_F(CopyBytesTest, AStopAfterTheFirstBufferEndsTheCopyThere) {
    const Bytes data = Pattern(COPY_BYTES_BUFFER + 10);
    Open(data);
    Script().cancel_at_copy = 2;
    EXPECT_EQ(CopyBytes(m_in, m_out, static_cast<uint32_t>(data.size())), ERR_CANCELLED);
    EXPECT_EQ(Recorded(), (Events{{EVT_COPY_PROGRESS, 0}, {EVT_COPY_PROGRESS, COPY_BYTES_BUFFER}}));
    EXPECT_EQ(Target().size(), static_cast<size_t>(COPY_BYTES_BUFFER));
}

} // namespace
