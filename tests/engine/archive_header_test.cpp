// The bounded reader of the archive header record.
#include <gtest/gtest.h>

#include "archive_builder.h"
#include "engine/engine.h"
#include "engine/search.h"
#include "engine_fixture.h"

namespace {

class ArchiveHeaderTest : public EngineTest {
protected:
    // Opens the file, finds the record and reads it.
    int Read(const Bytes& bytes) {
        const std::string path = Put("show.exe", bytes);
        m_slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_GE(m_slot, 0);
        const int32_t behind = FindArchiveHeader(nullptr, m_slot);
        EXPECT_GE(behind, 0);
        FileSeek(m_slot, behind, FILE_SEEK_START);
        return ReadArchiveHeader(m_slot, &m_info);
    }
    static Bytes Record(const Bytes& destination, const Bytes& comment, uint16_t destinationLength) {
        Bytes out;
        ArchiveWriter writer;
        WriterToMemory(&writer, &out);
        ArchiveHeaderFields header;
        ArchiveHeaderDefaults(&header, 1234, nullptr, nullptr);
        header.destination = destination.data();
        header.destination_size = static_cast<uint32_t>(destination.size());
        header.destination_length = destinationLength;
        header.comment = comment.data();
        header.comment_size = static_cast<uint32_t>(comment.size());
        header.comment_length = static_cast<uint16_t>(comment.size());
        WriterPutArchiveHeader(&writer, &header);
        return out;
    }

    int m_slot = -1;
    ArchiveHeaderInfo m_info;
};

TEST_F(ArchiveHeaderTest, EmptyRecordIs12BytesAndTheFirstEntryFollows) {
    const Bytes file = BuildSelfExtracting(700, {{"a.pps", Bytes(3, 'a')}, {"b.exe", Bytes(4, 'b')}});
    ASSERT_EQ(Read(file), 0);
    EXPECT_EQ(m_info.total_size, 7u);
    EXPECT_EQ(m_info.destination_length, 0);
    EXPECT_STREQ(m_info.destination, "");
    EXPECT_EQ(m_info.comment_length, 0);
    EXPECT_EQ(FileTell(m_slot), 700 + 12);
    EXPECT_EQ(FindEntrySignature(nullptr, m_slot), 700 + 12);
}

TEST_F(ArchiveHeaderTest, DestinationIsKeptAndCommentPassedOver) {
    const Bytes file = Concat({Bytes(10, 0), Record(TextBytes("C:\\SHOWS"), Bytes(300, 'c'), 8), {0xEE}});
    ASSERT_EQ(Read(file), 0);
    EXPECT_EQ(m_info.total_size, 1234u);
    EXPECT_EQ(m_info.destination_length, 8);
    EXPECT_STREQ(m_info.destination, "C:\\SHOWS");
    EXPECT_EQ(m_info.comment_length, 300);
    EXPECT_EQ(FileTell(m_slot), 10 + 12 + 8 + 300);
    EXPECT_EQ(FileGetByte(m_slot), 0xEE);
}

TEST_F(ArchiveHeaderTest, DestinationOf259BytesIsReadAnd260Refused) {
    const Bytes longest(259, 'D');
    ASSERT_EQ(Read(Record(longest, {}, 259)), 0);
    EXPECT_EQ(std::string(m_info.destination), std::string(259, 'D'));
    FileResetSlots();
    const Bytes tooLong(260, 'D');
    EXPECT_EQ(Read(Record(tooLong, {}, 260)), ERR_BAD_HEADER);
    EXPECT_STREQ(m_info.destination, "");
    FileResetSlots();
    EXPECT_EQ(Read(Record({}, {}, 0xFFFF)), ERR_BAD_HEADER); // a length with no bytes behind it
}

TEST_F(ArchiveHeaderTest, RecordCutShortIsBadHeader) {
    const Bytes whole = Record(TextBytes("DEST"), TextBytes("comment"), 4);
    for (size_t size = 4; size < whole.size(); size++) {
        FileResetSlots();
        EXPECT_EQ(Read(Bytes(whole.begin(), whole.begin() + static_cast<long>(size))), ERR_BAD_HEADER)
            << size;
    }
    FileResetSlots();
    EXPECT_EQ(Read(whole), 0);
}

TEST_F(ArchiveHeaderTest, SlotOutsideTheTable) {
    EXPECT_EQ(ReadArchiveHeader(-1, &m_info), ERR_BAD_HANDLE);
    EXPECT_EQ(ReadArchiveHeader(FILE_SLOT_COUNT, &m_info), ERR_BAD_HANDLE);
    EXPECT_EQ(ReadArchiveHeader(0, nullptr), ERR_BAD_ARGUMENT);
}

} // namespace
