// ReadEntryHeader over hand-made and writer-made records.
#include <gtest/gtest.h>

#include <cstring>

#include "archive_builder.h"
#include "engine/engine.h"
#include "engine_fixture.h"
#include "listing.h"

namespace {

class EntryReaderTest : public EngineTest {
protected:
    // Opens bytes as a file and reads one header into desc, which starts filled with
    // 0xAA so that fields the read leaves alone or fails to zero show up.
    int ReadFrom(const Bytes& bytes, int32_t offset = 0) {
        const std::string path = Put("entry.arq", bytes);
        m_slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_GE(m_slot, 0);
        FileSeek(m_slot, offset, FILE_SEEK_START);
        std::memset(&m_desc, 0xAA, sizeof m_desc);
        m_desc.input_slot = m_slot;
        m_desc.status = 0;
        return ReadEntryHeader(&m_desc);
    }
    std::string Name() const { return std::string(m_desc.name); }

    int m_slot = -1;
    EntryDescriptor m_desc;
};

Bytes Header(const char* name, uint32_t size, void (*change)(EntryHeaderFields*) = nullptr) {
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, name, size);
    if (change != nullptr) change(&header);
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    WriterPutEntryHeader(&writer, &header);
    return out;
}

Bytes RawName(const char* name, uint8_t nameCase) {
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "x", 0);
    EntryHeaderSetName(&header, reinterpret_cast<const uint8_t*>(name),
                       static_cast<uint32_t>(std::strlen(name)));
    header.block.name_case = nameCase;
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    WriterPutEntryHeader(&writer, &header);
    return out;
}

TEST_F(EntryReaderTest, FillsEveryFieldInBlockOrder) {
    // A hand-made record: every field a different value.
    const Bytes record = {
        0x67, 0x57, 0x04, 0x01, 0x30, 0x12, 0x03, 0x00, 'a',  '/',  'b', //
        0x04, 0x03, 0x02, 0x01, 0xFF, 0x81, 0x11, 0x11, 0x22, 0x22,      //
        0x05, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,                  //
        0x88, 0x77, 0x66, 0x55, 0x01, 0x10, 0x0E, 0x99,                  //
        0x02, 0x04, 0x05, 0x06, 0x07, 0x00, 0x00,                        //
        'D',  'A',  'T',  'A',  '!',
    };
    ASSERT_EQ(ReadFrom(record), 0);
    EXPECT_EQ(m_desc.input_slot, m_slot);
    EXPECT_EQ(m_desc.version_made_by, 0x30);
    EXPECT_EQ(m_desc.version_needed, 0x12);
    EXPECT_EQ(m_desc.name_length, 3);
    EXPECT_EQ(Name(), "A\\B");
    EXPECT_EQ(m_desc.mtime, 0x01020304u);
    EXPECT_EQ(m_desc.mode, static_cast<int16_t>(0x81FF));
    EXPECT_EQ(m_desc.reserved1, 0x1111);
    EXPECT_EQ(m_desc.reserved2, 0x2222);
    EXPECT_EQ(m_desc.compressed_size, 5u);
    EXPECT_EQ(m_desc.uncompressed_size, 6u);
    EXPECT_EQ(m_desc.reserved3, 0x55667788u);
    EXPECT_EQ(m_desc.method, METHOD_STORED);
    EXPECT_EQ(m_desc.name_case, 16);
    EXPECT_EQ(m_desc.flags, 0x0E);
    EXPECT_EQ(m_desc.reserved4, 0x99);
    EXPECT_EQ(Bytes(m_desc.volume_info, m_desc.volume_info + 5), (Bytes{2, 4, 5, 6, 7}));
    EXPECT_EQ(m_desc.extra_count, 0);
    EXPECT_EQ(FileTell(m_slot), 44); // on the data
    EXPECT_EQ(FileGetByte(m_slot), 'D');
    // Left alone:
    EXPECT_EQ(m_desc.status, 0);
    EXPECT_EQ(m_desc.output_slot, static_cast<int32_t>(0xAAAAAAAA));
}

struct ReadCase {
    const char* description;
    Bytes bytes;
    int expected;
    int32_t position; // slot position afterwards; -1 = not checked
};

TEST_F(EntryReaderTest, ResultsOfWellFormedAndBrokenRecords) {
    const Bytes entry = Header("show.pps", 2);
    const Bytes end =
        Concat({Header("x", 0, [](EntryHeaderFields* h) { EntryHeaderSetName(h, nullptr, 0); })});
    const ReadCase cases[] = {
        {"an entry", Concat({entry, {1, 2}}), 0, 49},
        {"an empty file", {}, ERR_BAD_ARCHIVE, 0},
        {"a wrong signature at offset 0", Header("a", 0, [](EntryHeaderFields* h) { h->signature[3] = 2; }),
         ERR_BAD_HEADER, 8},
        {"three bytes of a signature", {0x67, 0x57, 0x04}, ERR_BAD_HEADER, 3},
        {"a signature without versions and name length",
         {0x67, 0x57, 0x04, 0x01, 0x31, 0x12},
         ERR_BAD_HEADER,
         6},
        {"version needed 0x31", Header("a", 0, [](EntryHeaderFields* h) { h->version_needed = 0x31; }), 0,
         42},
        {"version needed 0x32", Header("a", 0, [](EntryHeaderFields* h) { h->version_needed = 0x32; }),
         ERR_VERSION, 8},
        {"version made by 0xFF is not compared",
         Header("a", 0, [](EntryHeaderFields* h) { h->version_made_by = 0xFF; }), 0, 42},
        {"name of 260 bytes", RawName(std::string(260, 'N').c_str(), 16), 0, 41 + 260},
        {"name of 261 bytes", RawName(std::string(261, 'N').c_str(), 16), ERR_BAD_HEADER, 8},
        {"name length 0xFFFF", Header("a", 0, [](EntryHeaderFields* h) { h->name_length = 0xFFFF; }),
         ERR_BAD_HEADER, 8},
        {"end-of-archive record", end, ERR_END_OF_ARCHIVE, 41},
        {"end-of-archive record without its block", Bytes(end.begin(), end.begin() + 8), ERR_END_OF_ARCHIVE,
         8},
        {"end-of-archive record with part of its block", Bytes(end.begin(), end.begin() + 20),
         ERR_END_OF_ARCHIVE, 20},
        {"end-of-archive record with 3 extra bytes",
         Concat({Header("x", 0,
                        [](EntryHeaderFields* h) {
                            static const uint8_t extra[3] = {9, 9, 9};
                            EntryHeaderSetName(h, nullptr, 0);
                            EntryHeaderSetExtra(h, extra, 3);
                        })}),
         ERR_END_OF_ARCHIVE, 44},
        {"a name and no block", Bytes(entry.begin(), entry.begin() + 16), ERR_BAD_HEADER, 16},
        {"a name cut short", Bytes(entry.begin(), entry.begin() + 12), ERR_BAD_HEADER, 12},
        {"a block of 1 byte", Bytes(entry.begin(), entry.begin() + 17), ERR_BAD_HEADER, 17},
        {"a block of 32 bytes", Bytes(entry.begin(), entry.begin() + 48), ERR_BAD_HEADER, 48},
        {"5 extra bytes passed over",
         Concat({Header("a", 1,
                        [](EntryHeaderFields* h) {
                            static const uint8_t extra[5] = {0x67, 0x57, 0x04, 0x01, 0};
                            EntryHeaderSetExtra(h, extra, 5);
                        }),
                 {0xDA}}),
         0, 47},
        {"extra count beyond the end of the file",
         Header("a", 0, [](EntryHeaderFields* h) { h->block.extra_count = 0xFFFF; }), 0, 42},
    };
    for (const ReadCase& c : cases) {
        FileResetSlots();
        EXPECT_EQ(ReadFrom(c.bytes), c.expected) << c.description;
        if (c.position >= 0) {
            EXPECT_EQ(FileTell(m_slot), c.position) << c.description;
        }
        EXPECT_EQ(g_upperCaseNames, 1) << c.description;
    }
}

TEST_F(EntryReaderTest, WrongSignatureAwayFromOffsetZeroIsBadHeader) {
    const Bytes bytes = Concat({Header("a", 0), TextBytes("not a record at all")});
    EXPECT_EQ(ReadFrom(bytes, 42), ERR_BAD_HEADER);
    // At offset 0 only a read that returns nothing leaves the position at 0.
    EXPECT_EQ(ReadFrom(TextBytes("junk"), 0), ERR_BAD_HEADER);
}

TEST_F(EntryReaderTest, NameOf260BytesIsReadWholeAndTerminated) {
    const std::string name(260, 'q');
    ASSERT_EQ(ReadFrom(RawName(name.c_str(), 16)), 0);
    EXPECT_EQ(m_desc.name_length, 260);
    EXPECT_EQ(Name(), std::string(260, 'Q'));
    EXPECT_EQ(m_desc.name[260], '\0');
}

TEST_F(EntryReaderTest, NameOf261BytesSetsNameLengthToZero) {
    ASSERT_EQ(ReadFrom(RawName(std::string(261, 'q').c_str(), 16)), ERR_BAD_HEADER);
    EXPECT_EQ(m_desc.name_length, 0);
}

TEST_F(EntryReaderTest, NameCaseThreeKeepsLetterCase) {
    ASSERT_EQ(ReadFrom(RawName("dir/sub/file.txt", 16)), 0);
    EXPECT_EQ(Name(), "DIR\\SUB\\FILE.TXT");
    ASSERT_EQ(ReadFrom(RawName("dir/sub/file.txt", NAME_CASE_KEEP)), 0);
    EXPECT_EQ(Name(), "dir\\sub\\file.txt");
    EXPECT_EQ(g_upperCaseNames, 1); // on again afterwards
    ASSERT_EQ(ReadFrom(RawName("dir/sub/file.txt", 2)), 0);
    EXPECT_EQ(Name(), "DIR\\SUB\\FILE.TXT");
}

TEST_F(EntryReaderTest, BlockCutShortLeavesNoStaleFields) {
    // The first 16 bytes of the block: mtime, mode, reserved words, compressed size and
    // two bytes of the uncompressed size.
    const Bytes entry = Header("a", 0x01020304, [](EntryHeaderFields* h) {
        h->block.mtime = 0x0A0B0C0D;
        h->block.flags = ENTRY_SPANNED;
        h->block.volume[0] = 7;
        h->block.extra_count = 9;
    });
    ASSERT_EQ(ReadFrom(Bytes(entry.begin(), entry.begin() + 9 + 16)), ERR_BAD_HEADER);
    EXPECT_EQ(m_desc.mtime, 0x0A0B0C0Du);
    EXPECT_EQ(m_desc.compressed_size, 0x01020304u);
    EXPECT_EQ(m_desc.uncompressed_size, 0x0304u);
    EXPECT_EQ(m_desc.reserved3, 0u);
    EXPECT_EQ(m_desc.method, 0);
    EXPECT_EQ(m_desc.name_case, 0);
    EXPECT_EQ(m_desc.flags, 0);
    EXPECT_EQ(m_desc.reserved4, 0);
    EXPECT_EQ(Bytes(m_desc.volume_info, m_desc.volume_info + 5), Bytes(5, 0));
    EXPECT_EQ(m_desc.extra_count, 0);
}

TEST_F(EntryReaderTest, NameCutShortKeepsNoBytesOfThePreviousName) {
    const Bytes full = RawName("previous-name", 16);
    ASSERT_EQ(ReadFrom(full), 0);
    const Bytes whole = RawName("abcdefgh", 16);
    const Bytes cut(whole.begin(), whole.begin() + 11);
    const std::string path = Put("cut.arq", cut);
    const int slot = FileOpen(path.c_str(), FILE_READ);
    m_desc.input_slot = slot;
    ASSERT_EQ(ReadEntryHeader(&m_desc), ERR_BAD_HEADER);
    EXPECT_EQ(Name(), "ABC");
}

TEST_F(EntryReaderTest, SlotOutsideTheTableIsBadHandle) {
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    for (int slot : {-1, static_cast<int>(FILE_SLOT_COUNT), 1000}) {
        desc.input_slot = slot;
        EXPECT_EQ(ReadEntryHeader(&desc), ERR_BAD_HANDLE) << slot;
    }
}

TEST_F(EntryReaderTest, StatusIsNeverReset) {
    ASSERT_EQ(ReadFrom(Header("a", 0)), 0);
    FileSeek(m_slot, 0, FILE_SEEK_START);
    m_desc.status = STATUS_CANCEL;
    ASSERT_EQ(ReadEntryHeader(&m_desc), 0);
    EXPECT_EQ(m_desc.status, STATUS_CANCEL);
}

TEST_F(EntryReaderTest, ListingWalksEntriesToTheEndRecord) {
    const Bytes archive = BuildArchive(
        {{"show.pps", Bytes(1000, 's')}, {"dir/empty.txt", {}}, {"play.exe", Bytes(70000, 'p')}});
    const Listing listing = ListArchive(Put("three.arq", archive));
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.start, 0);
    EXPECT_EQ(listing.entries[0].name, "SHOW.PPS");
    EXPECT_EQ(listing.entries[0].compressed_size, 1000u);
    EXPECT_EQ(listing.entries[1].name, "DIR\\EMPTY.TXT");
    EXPECT_EQ(listing.entries[1].uncompressed_size, 0u);
    EXPECT_EQ(listing.entries[2].name, "PLAY.EXE");
    EXPECT_EQ(listing.entries[2].uncompressed_size, 70000u);
    EXPECT_EQ(listing.end_result, ERR_END_OF_ARCHIVE);
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(EntryReaderTest, ListingOfSelfExtractingFileStartsAtFirstEntry) {
    const Bytes file = BuildSelfExtracting(5000, {{"a.pps", Bytes(10, 'a')}, {"b.exe", Bytes(20, 'b')}});
    const Listing listing = ListArchive(Put("show.exe", file));
    EXPECT_EQ(listing.start, 5000 + 12);
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[0].name, "A.PPS");
    EXPECT_EQ(listing.entries[1].name, "B.EXE");
    EXPECT_EQ(listing.end_result, ERR_END_OF_ARCHIVE);
}

TEST_F(EntryReaderTest, ListingStopsAtDataThatIsNotARecord) {
    // A compressed size one byte short leaves the walk one byte before the next record.
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "a", 4);
    header.block.compressed_size = 3;
    const Bytes data = {1, 2, 3, 4};
    WriterPutEntry(&writer, &header, data.data(), 4);
    WriterPutEnd(&writer, nullptr, 0);
    const Listing listing = ListArchive(Put("short.arq", out));
    EXPECT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.end_result, ERR_BAD_HEADER);
}

TEST_F(EntryReaderTest, ArchiveOfOnlyTheEndRecord) {
    const Listing listing = ListArchive(Put("empty.arq", BuildArchive({})));
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_EQ(listing.end_result, ERR_END_OF_ARCHIVE);
}

} // namespace

namespace {

class EntryReaderCodePage932Test : public EntryReaderTest {
protected:
    void SetUp() override {
        EntryReaderTest::SetUp();
        if (!PlatSetCodePage(932)) GTEST_SKIP() << "ANSI code page 932 not available";
    }
};

TEST_F(EntryReaderCodePage932Test, TrailBytesOfStoredNamesAreNeitherFoldedNorSeparators) {
    // 0x82 0x61 and 0x95 0x5C are double-byte characters whose trail bytes are 'a' and '\'.
    ASSERT_EQ(ReadFrom(RawName("\x82\x61/b\x95\x5C", 16)), 0);
    EXPECT_EQ(Name(), "\x82\x61\\B\x95\x5C");
    // A lead byte as the last byte ends the normalisation.
    ASSERT_EQ(ReadFrom(RawName("a/\x82", 16)), 0);
    EXPECT_EQ(Name(), "A\\\x82");
}

} // namespace
