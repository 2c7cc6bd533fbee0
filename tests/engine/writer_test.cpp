// The writer's records against byte vectors written out by hand from the format.
#include "engine/writer.h"

#include <gtest/gtest.h>

#include "archive_builder.h"
#include "engine_fixture.h"

namespace {

class WriterTest : public EngineTest {};

// 16-byte name, 0x1234 bytes of data, mtime 0x5F5E1000.
const Bytes kSlidesHeader = {
    0x67, 0x57, 0x04, 0x01,                      // entry signature
    0x31, 0x12,                                  // made by 3.1, needs 1.2
    0x10, 0x00,                                  // name length 16
    'S',  'H',  'O',  'W',  '\\', 'S', 'L', 'I', //
    'D',  'E',  'S',  '1',  '.',  'P', 'P', 'S', // name
    0x00, 0x10, 0x5E, 0x5F,                      // mtime
    0xB6, 0x81,                                  // mode 100666
    0x00, 0x00, 0x00, 0x00,                      // reserved words
    0x34, 0x12, 0x00, 0x00,                      // compressed size
    0x34, 0x12, 0x00, 0x00,                      // uncompressed size
    0x00, 0x00, 0x00, 0x00,                      // reserved
    0x01, 0x10, 0x02, 0x00,                      // Stored, case 16, flags 2, reserved
    0x00, 0x00, 0x00, 0x00, 0x00,                // volume field
    0x00, 0x00,                                  // no extra bytes
};

// 8-byte name of a program: mode 100777.
const Bytes kPlayerHeader = {
    0x67, 0x57, 0x04, 0x01, 0x31, 0x12, 0x08, 0x00,             //
    'P',  'L',  'A',  'Y',  '.',  'E',  'X',  'E',              //
    0x00, 0x00, 0x00, 0x00, 0xFF, 0x81, 0x00, 0x00, 0x00, 0x00, //
    0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,             // 3 bytes
    0x00, 0x00, 0x00, 0x00, 0x01, 0x10, 0x02, 0x00,             //
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                   //
};

Bytes Written(void (*build)(ArchiveWriter*)) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    build(&writer);
    EXPECT_EQ(WriterFinish(&writer), 0);
    return out;
}

TEST_F(WriterTest, EntryHeaderWithSixteenByteNameIs57Bytes) {
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "show/slides1.pps", 0x1234), 0);
    header.block.mtime = 0x5F5E1000;
    EXPECT_EQ(EntryHeaderSize(&header), 57u);

    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ASSERT_EQ(WriterPutEntryHeader(&writer, &header), 0);
    ASSERT_EQ(kSlidesHeader.size(), 57u);
    EXPECT_EQ(out, kSlidesHeader);
    EXPECT_EQ(writer.bytes_written, 57u);
}

TEST_F(WriterTest, ProgramEntryWithEightByteNameIs49BytesAndExecutable) {
    const Bytes data = {'a', 'b', 'c'};
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "play.exe", 3), 0);
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ASSERT_EQ(WriterPutEntry(&writer, &header, data.data(), 3), 0);
    ASSERT_EQ(kPlayerHeader.size(), 49u);
    EXPECT_EQ(out, Concat({kPlayerHeader, data}));
}

TEST_F(WriterTest, EndRecordRepeatsPreviousBlockAndIs41Bytes) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "play.exe", 3);
    const Bytes data = {'a', 'b', 'c'};
    WriterPutEntry(&writer, &header, data.data(), 3);
    ASSERT_EQ(WriterPutEnd(&writer, nullptr, 0), 0);

    Bytes end = {0x67, 0x57, 0x04, 0x01, 0x31, 0x12, 0x00, 0x00};
    end.insert(end.end(), kPlayerHeader.begin() + 16, kPlayerHeader.end()); // the 33-byte block
    ASSERT_EQ(end.size(), 41u);
    EXPECT_EQ(Bytes(out.begin() + 52, out.end()), end);
}

TEST_F(WriterTest, EndRecordOfEmptyArchiveCarriesExtraBytes) {
    const Bytes extra = {0xE1, 0xE2};
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ASSERT_EQ(WriterPutEnd(&writer, extra.data(), 2), 0);
    const Bytes expected = {
        0x67, 0x57, 0x04, 0x01, 0x31, 0x12, 0x00, 0x00,             //
        0x00, 0x00, 0x00, 0x00, 0xB6, 0x81, 0x00, 0x00, 0x00, 0x00, //
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // no data
        0x00, 0x00, 0x00, 0x00, 0x01, 0x10, 0x02, 0x00,             //
        0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00,                   // two extra bytes
        0xE1, 0xE2,
    };
    EXPECT_EQ(out, expected);
}

TEST_F(WriterTest, ArchiveHeaderWithoutDestinationOrCommentIs12Bytes) {
    const Bytes out = Written([](ArchiveWriter* w) {
        ArchiveHeaderFields header;
        ArchiveHeaderDefaults(&header, 0x00012345, nullptr, nullptr);
        EXPECT_EQ(ArchiveHeaderSize(&header), 12u);
        WriterPutArchiveHeader(w, &header);
    });
    const Bytes expected = {0x67, 0x57, 0x04, 0x02, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(out, expected);
}

TEST_F(WriterTest, ArchiveHeaderWithDestinationAndComment) {
    const Bytes out = Written([](ArchiveWriter* w) {
        ArchiveHeaderFields header;
        ArchiveHeaderDefaults(&header, 7, "C:\\SHOWS", "hi");
        EXPECT_EQ(ArchiveHeaderSize(&header), 22u);
        WriterPutArchiveHeader(w, &header);
    });
    const Bytes expected = {0x67, 0x57, 0x04, 0x02, 0x07, 0x00, 0x00, 0x00,           //
                            0x08, 0x00, 'C',  ':',  '\\', 'S',  'H',  'O',  'W', 'S', //
                            0x02, 0x00, 'h',  'i'};
    EXPECT_EQ(out, expected);
}

TEST_F(WriterTest, DestinationLongerThan259BytesIsRefused) {
    ArchiveHeaderFields header;
    EXPECT_EQ(ArchiveHeaderDefaults(&header, 0, std::string(259, 'D').c_str(), nullptr), 0);
    EXPECT_EQ(ArchiveHeaderDefaults(&header, 0, std::string(260, 'D').c_str(), nullptr), ERR_BAD_ARGUMENT);
}

struct NameCase {
    const char* given;
    const char* stored;
    uint16_t mode;
};

TEST_F(WriterTest, NamesAreUpperCasedWithBackslashSeparators) {
    const NameCase cases[] = {
        {"dir/sub/file.txt", "DIR\\SUB\\FILE.TXT", 0x81B6},
        {"Mixed\\Case.Pps", "MIXED\\CASE.PPS", 0x81B6},
        {"a-z{[`@]}", "A-Z{[`@]}", 0x81B6},     // only a..z change
        {"caf\xE9.txt", "CAF\xE9.TXT", 0x81B6}, // letters of the upper half keep their case
        {"run.com", "RUN.COM", 0x81FF},
        {"go.bat", "GO.BAT", 0x81FF},
        {"go.cmd", "GO.CMD", 0x81FF},
        {"exe", "EXE", 0x81B6},
        {"player.exe.txt", "PLAYER.EXE.TXT", 0x81B6},
    };
    for (const NameCase& c : cases) {
        EntryHeaderFields header;
        ASSERT_EQ(EntryHeaderDefaults(&header, c.given, 0), 0) << c.given;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.name), header.name_size), c.stored)
            << c.given;
        EXPECT_EQ(header.name_length, header.name_size) << c.given;
        EXPECT_EQ(header.block.mode, c.mode) << c.given;
    }
}

TEST_F(WriterTest, NamesOutsideOneTo260BytesAreRefused) {
    EntryHeaderFields header;
    EXPECT_EQ(EntryHeaderDefaults(&header, "", 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(EntryHeaderDefaults(&header, nullptr, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(EntryHeaderDefaults(&header, std::string(260, 'n').c_str(), 0), 0);
    EXPECT_EQ(EntryHeaderDefaults(&header, std::string(261, 'n').c_str(), 0), ERR_BAD_ARGUMENT);
}

TEST_F(WriterTest, EveryFieldCanBeOverridden) {
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "x", 0), 0);
    const uint8_t wrongSignature[4] = {0x67, 0x57, 0x04, 0x09};
    std::memcpy(header.signature, wrongSignature, 4);
    header.version_made_by = 0x20;
    header.version_needed = 0x32;
    const uint8_t name[] = {'a', '/', 'b'};
    ASSERT_EQ(EntryHeaderSetName(&header, name, 3), 0); // kept as given
    header.name_length = 0x0102;                        // and a length field that disagrees
    header.block.mtime = 0x01020304;
    header.block.mode = 0x4000;
    header.block.reserved1 = 0x1111;
    header.block.reserved2 = 0x2222;
    header.block.compressed_size = 0xAABBCCDD;
    header.block.uncompressed_size = 0x11223344;
    header.block.reserved3 = 0x55667788;
    header.block.method = METHOD_CRUSHED;
    header.block.name_case = NAME_CASE_KEEP;
    header.block.flags = ENTRY_NO_EXTRACT | ENTRY_SPANNED;
    header.block.reserved4 = 0x99;
    const uint8_t volume[5] = {3, 4, 5, 6, 7};
    std::memcpy(header.block.volume, volume, 5);
    const uint8_t extra[] = {0xEE, 0xEF};
    ASSERT_EQ(EntryHeaderSetExtra(&header, extra, 2), 0);

    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ASSERT_EQ(WriterPutEntryHeader(&writer, &header), 0);
    const Bytes expected = {
        0x67, 0x57, 0x04, 0x09, 0x20, 0x32, 0x02, 0x01,             //
        'a',  '/',  'b',                                            //
        0x04, 0x03, 0x02, 0x01, 0x00, 0x40, 0x11, 0x11, 0x22, 0x22, //
        0xDD, 0xCC, 0xBB, 0xAA, 0x44, 0x33, 0x22, 0x11,             //
        0x88, 0x77, 0x66, 0x55, 0x02, 0x03, 0x0C, 0x99,             //
        0x03, 0x04, 0x05, 0x06, 0x07, 0x02, 0x00,                   //
        0xEE, 0xEF,
    };
    EXPECT_EQ(out, expected);
}

TEST_F(WriterTest, CrushedEntryCarriesEncodedBytesAndBothSizes) {
    const Bytes encoded = {0x00, 0x03, 0x28, 0x04};
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "a", 10), 0);
    header.block.method = METHOD_CRUSHED;
    header.block.compressed_size = static_cast<uint32_t>(encoded.size());
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ASSERT_EQ(WriterPutEntry(&writer, &header, encoded.data(), 4), 0);
    ASSERT_EQ(out.size(), 42u + 4u);
    EXPECT_EQ(Bytes(out.begin() + 19, out.begin() + 27), (Bytes{4, 0, 0, 0, 10, 0, 0, 0}));
    EXPECT_EQ(out[31], METHOD_CRUSHED);
    EXPECT_EQ(Bytes(out.begin() + 42, out.end()), encoded);
}

TEST_F(WriterTest, FileOutputMatchesMemoryOutput) {
    Bytes data(300000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const std::string source = Put("source.bin", data);
    const std::string target = m_scratch.file("out.arq");

    ArchiveWriter writer;
    ASSERT_EQ(WriterCreateFile(&writer, target.c_str()), 0);
    ASSERT_EQ(WriterPutFile(&writer, "slides/show.pps", source.c_str()), 0);
    ASSERT_EQ(WriterPutEnd(&writer, nullptr, 0), 0);
    ASSERT_EQ(WriterFinish(&writer), 0);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);

    PlatStatInfo info;
    ASSERT_EQ(PlatStat(source.c_str(), &info), 0);
    Bytes expected;
    ArchiveWriter memory;
    WriterToMemory(&memory, &expected);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "slides/show.pps", static_cast<uint32_t>(data.size()));
    header.block.mtime = static_cast<uint32_t>(info.mtime);
    WriterPutEntry(&memory, &header, data.data(), static_cast<uint32_t>(data.size()));
    WriterPutEnd(&memory, nullptr, 0);
    EXPECT_EQ(ReadFileBytes(target), expected);
}

TEST_F(WriterTest, FileDataIsCopiedWithSmallerBuffersUnderMemoryPressure) {
    Bytes data(70000, 0x5A);
    const std::string source = Put("source.bin", data);
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    MemFailFrom(WRITER_COPY_MIN + 1); // only the smallest buffer
    ASSERT_EQ(WriterPutFile(&writer, "a", source.c_str()), 0);
    EXPECT_EQ(Bytes(out.begin() + 42, out.end()), data);

    MemFailFrom(WRITER_COPY_MIN); // not even that
    EXPECT_EQ(WriterPutFile(&writer, "b", source.c_str()), ERR_NO_MEMORY);
    EXPECT_EQ(WriterFinish(&writer), ERR_NO_MEMORY);
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(WriterTest, FailureIsStickyAndReported) {
    ArchiveWriter writer;
    const std::string target = m_scratch.file("no-such-folder/out.arq");
    EXPECT_LT(WriterCreateFile(&writer, target.c_str()), 0);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "a", 0);
    EXPECT_LT(WriterPutEntryHeader(&writer, &header), 0);
    EXPECT_LT(WriterFinish(&writer), 0);

    Bytes out;
    WriterToMemory(&writer, &out);
    EXPECT_EQ(WriterPutFile(&writer, "a", m_scratch.file("missing.bin").c_str()), ERR_NOT_FOUND);
    EXPECT_EQ(WriterPutEnd(&writer, nullptr, 0), ERR_NOT_FOUND);
    EXPECT_TRUE(out.empty());
}

class WriterCodePage932Test : public WriterTest {
protected:
    void SetUp() override {
        WriterTest::SetUp();
        if (!PlatSetCodePage(932)) GTEST_SKIP() << "ANSI code page 932 not available";
    }
};

TEST_F(WriterCodePage932Test, TrailBytesOfDoubleByteNamesAreNotFolded) {
    // 0x82 0x61 is one character (a full-width letter) whose trail byte is 'a'.
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "\x82\x61/a\x82\x5C", 0), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.name), header.name_size),
              "\x82\x61\\A\x82\x5C");
}

} // namespace
