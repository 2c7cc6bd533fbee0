// Crushed entries written by our writer: the header they get, the choice between
// Crushed and Stored, files on disk, and lhasa reading the data as -lh4-.
#include "extract_fixture.h"
#include "tests/crushed/lha_oracle.h"

namespace {

class WriterCrushedTest : public ExtractTest {
protected:
    // The first entry header of an archive in memory, and its data.
    EntryDescriptor FirstEntry(const Bytes& archive, Bytes* data = nullptr) {
        const std::string path = Put("READ.ARQ", archive);
        EntryDescriptor desc;
        std::memset(&desc, 0, sizeof desc);
        desc.input_slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_EQ(ReadEntryHeader(&desc), 0);
        if (data != nullptr) {
            data->resize(desc.compressed_size);
            if (!data->empty()) FileRead(desc.input_slot, data->data(), static_cast<int32_t>(data->size()));
        }
        FileClose(desc.input_slot);
        return desc;
    }
};

TEST_F(WriterCrushedTest, CrushedEntryTakesMethodAndSizesFromTheStream) {
    const Bytes text = TextData(30000);
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "doc/show.pps", 1), 0); // the size is replaced
    header.block.mtime = 1000000000;
    ASSERT_EQ(WriterPutCrushed(&writer, &header, text.data(), static_cast<uint32_t>(text.size()),
                               CRUSHED_LEVEL_BEST),
              0);
    ASSERT_EQ(WriterPutEnd(&writer, nullptr, 0), 0);

    Bytes stream;
    const EntryDescriptor desc = FirstEntry(archive, &stream);
    EXPECT_EQ(desc.method, METHOD_CRUSHED);
    EXPECT_EQ(desc.uncompressed_size, text.size());
    EXPECT_LT(desc.compressed_size, text.size() / 2);
    EXPECT_EQ(desc.mtime, 1000000000u);
    EXPECT_STREQ(desc.name, "DOC\\SHOW.PPS");

    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("DOC\\SHOW.PPS")), text);

    // lhasa, a decoder of its own, reads the entry's data as a -lh4- member.
    LhaOracle oracle(m_scratch);
    if (!oracle.LhasaRuns()) GTEST_SKIP() << "lhasa cannot be run here";
    Bytes printed;
    ASSERT_TRUE(oracle.LhasaPrint(LhaArchive("SHOW.PPS", "-lh4-", stream, text), &printed));
    EXPECT_EQ(printed, text);
}

TEST_F(WriterCrushedTest, EmptyDataGivesAnEmptyStream) {
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "EMPTY", 0), 0);
    ASSERT_EQ(WriterPutCrushed(&writer, &header, nullptr, 0, CRUSHED_LEVEL_FAST), 0);
    WriterPutEnd(&writer, nullptr, 0);
    const EntryDescriptor desc = FirstEntry(archive);
    EXPECT_EQ(desc.method, METHOD_CRUSHED);
    EXPECT_EQ(desc.compressed_size, 0u);
    EXPECT_EQ(desc.uncompressed_size, 0u);
    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_DONE, 0}}));
}

TEST_F(WriterCrushedTest, SmallerChoosesStoredForDataThatDoesNotShrink) {
    const Bytes noise = RandomData(20000);
    const Bytes text = TextData(20000);
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "NOISE.BIN", 0);
    ASSERT_EQ(WriterPutSmaller(&writer, &header, noise.data(), 20000, CRUSHED_LEVEL_FAST), 0);
    const Bytes noiseOnly = archive;
    EntryHeaderDefaults(&header, "TEXT.TXT", 0);
    ASSERT_EQ(WriterPutSmaller(&writer, &header, text.data(), 20000, CRUSHED_LEVEL_FAST), 0);
    WriterPutEnd(&writer, nullptr, 0);

    const EntryDescriptor first = FirstEntry(noiseOnly);
    EXPECT_EQ(first.method, METHOD_STORED);
    EXPECT_EQ(first.compressed_size, 20000u);
    EXPECT_EQ(first.uncompressed_size, 20000u);
    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(
        EntryEvents(),
        Join({{{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}, CrushedProgress(20000), {{EVT_ENTRY_DONE, 0}}}));
    EXPECT_EQ(ReadFileBytes(OutFile("NOISE.BIN")), noise);
    EXPECT_EQ(ReadFileBytes(OutFile("TEXT.TXT")), text);
}

TEST_F(WriterCrushedTest, FileOnDiskKeepsItsTime) {
    const Bytes text = TextData(12345);
    const std::string source = Put("SOURCE.TXT", text);
    ASSERT_EQ(PlatUtime(source.c_str(), 1000000000, 1000000000), 0);
    const std::string noise = Put("NOISE.BIN", RandomData(5000));

    const std::string path = m_scratch.file("FILES.ARQ");
    ArchiveWriter writer;
    ASSERT_EQ(WriterCreateFile(&writer, path.c_str()), 0);
    ASSERT_EQ(WriterPutFileCrushed(&writer, "A/SOURCE.TXT", source.c_str(), CRUSHED_LEVEL_FAST,
                                   WRITER_CRUSHED_ALWAYS),
              0);
    ASSERT_EQ(
        WriterPutFileCrushed(&writer, "NOISE.BIN", noise.c_str(), CRUSHED_LEVEL_FAST, WRITER_CRUSHED_ALWAYS),
        0);
    ASSERT_EQ(WriterPutFileCrushed(&writer, "STORED.BIN", noise.c_str(), CRUSHED_LEVEL_FAST,
                                   WRITER_CRUSHED_IF_SMALLER),
              0);
    ASSERT_EQ(WriterPutEnd(&writer, nullptr, 0), 0);
    ASSERT_EQ(WriterFinish(&writer), 0);

    const Bytes archive = ReadFileBytes(path);
    const EntryDescriptor first = FirstEntry(archive);
    EXPECT_EQ(first.method, METHOD_CRUSHED);
    EXPECT_EQ(first.mtime, 1000000000u);
    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(m_done.size(), 3u);
    EXPECT_EQ(ReadFileBytes(OutFile("A\\SOURCE.TXT")), text);
    EXPECT_EQ(ReadFileBytes(OutFile("NOISE.BIN")), RandomData(5000));
    EXPECT_EQ(ReadFileBytes(OutFile("STORED.BIN")), RandomData(5000));
    // Crushed noise is one event per chunk, Stored noise a begin and a done.
    EXPECT_EQ(EntryEvents(), Join({CrushedProgress(12345),
                                   {{EVT_ENTRY_DONE, 0}},
                                   CrushedProgress(5000),
                                   {{EVT_ENTRY_DONE, 0}, {EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}}}));
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(Joined("A\\SOURCE.TXT").c_str(), &info), 0);
    EXPECT_EQ(info.mtime, 1000000000);
}

TEST_F(WriterCrushedTest, FailuresAreSticky) {
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EXPECT_EQ(WriterPutFileCrushed(&writer, "X", m_scratch.file("MISSING").c_str(), CRUSHED_LEVEL_FAST,
                                   WRITER_CRUSHED_ALWAYS),
              ERR_NOT_FOUND);
    EXPECT_EQ(WriterPutEnd(&writer, nullptr, 0), ERR_NOT_FOUND);
    EXPECT_TRUE(archive.empty());

    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "X", 0);
    const Bytes text = TextData(10);
    EXPECT_EQ(WriterPutCrushed(&writer, &header, text.data(), 10, 99), ERR_BAD_ARGUMENT);
    EXPECT_EQ(WriterPutCrushed(&writer, &header, text.data(), 10, CRUSHED_LEVEL_FAST), ERR_BAD_ARGUMENT);
    EXPECT_EQ(WriterFinish(&writer), ERR_BAD_ARGUMENT);

    WriterToMemory(&writer, &archive);
    MemFailAfter(0);
    EXPECT_EQ(WriterPutCrushed(&writer, &header, text.data(), 10, CRUSHED_LEVEL_FAST), ERR_NO_MEMORY);
    MemReset();
    EXPECT_EQ(LeakedBlocks(), 0);
}

} // namespace
