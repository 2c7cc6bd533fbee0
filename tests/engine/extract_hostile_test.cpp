// Hostile and damaged archives: names that would leave the destination, archives cut
// at every length, absurd sizes and counts, damaged streams, and allocations that fail
// one after another. Nothing may be written outside the destination, and no entry may
// be reported done unless its file holds exactly its data.
#include "extract_fixture.h"

namespace {

struct HostileName {
    const char* stored; // raw bytes of the stored name
    const char* why;
};

// Every one would write outside OUT, or to a device, if it were joined unchecked.
const HostileName HOSTILE_NAMES[] = {
    {"../ESCAPED-1.TXT", "parent folder"},
    {"..\\ESCAPED-2.TXT", "parent folder, backslash"},
    {"SUB/../../ESCAPED-3.TXT", "parent folder behind a folder"},
    {"SUB\\..\\..\\ESCAPED-4.TXT", "parent folder behind a folder, backslash"},
    {"..", "the parent folder itself"},
    {".../ESCAPED-5.TXT", "three dots"},
    {"/vardok-escaped-6.txt", "root of the drive"},
    {"\\vardok-escaped-7.txt", "root of the drive, backslash"},
    {"C:vardok-escaped-8.txt", "drive prefix"},
    {"C:\\vardok-escaped-9.txt", "absolute path"},
    {"\\\\?\\C:\\vardok-escaped-10.txt", "device path"},
    {"NAME.TXT:ESCAPED", "data stream"},
    {"con", "console, lower case (name-case code 3)"},
    {"CON.TXT", "console with extension"},
    {"NUL", "null device"},
    {"SUB\\AUX\\X.TXT", "device as a folder"},
    {"COM1.LOG", "serial port"},
    {"lpt9", "parallel port"},
    {"SUB\\\\X.TXT", "empty component"},
    {"SUB\\", "no file name"},
    {"", "empty name: read as the end-of-archive record"},
};

TEST_F(ExtractTest, TraversalNamesAreRefused) {
    const std::filesystem::path scratch = m_scratch.path();
    const std::filesystem::path parent = scratch.parent_path();
    for (const HostileName& hostile : HOSTILE_NAMES) {
        SCOPED_TRACE(hostile.why);
        m_events.clear();
        m_names.clear();
        EntrySpec bad = Stored(hostile.stored, TextData(40));
        bad.rawName = true;
        bad.nameCase = NAME_CASE_KEEP;
        const bool endRecord = hostile.stored[0] == '\0';
        ASSERT_EQ(Extract(PlainArchive({bad, Crushed("GOOD.TXT", TextData(5000))})), 0);
        if (endRecord) {
            // A name length of 0 is the end-of-archive record: the walk ends there.
            EXPECT_TRUE(EntryEvents().empty());
            EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
            continue;
        }
        EXPECT_EQ(EntryEvents(),
                  Join({{{EVT_UNSAFE_NAME, 0}}, CrushedProgress(5000), {{EVT_ENTRY_DONE, 0}}}));
        // The event names the stored name, normalised.
        ASSERT_FALSE(m_names.empty());
        EXPECT_EQ(m_names[0].find(m_out), std::string::npos) << m_names[0];
        // Nothing of the refused entry anywhere: not in OUT, not beside it, not above.
        EXPECT_EQ(Tree(m_out), (std::set<std::string>{"GOOD.TXT"}));
        EXPECT_EQ(Tree(scratch), (std::set<std::string>{"OUT", "OUT/GOOD.TXT", "TEST.ARQ"}));
        for (int i = 1; i <= 10; i++) {
            const std::string above = "ESCAPED-" + std::to_string(i) + ".TXT";
            EXPECT_FALSE(std::filesystem::exists(parent / above)) << above;
            const std::string root = "vardok-escaped-" + std::to_string(i) + ".txt";
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("/") / root)) << root;
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("C:\\") / root)) << root;
        }
        EXPECT_EQ(ReadFileBytes(OutFile("GOOD.TXT")), TextData(5000));
        std::filesystem::remove(OutFile("GOOD.TXT"));
    }
}

TEST_F(ExtractTest, HostileDestinationInTheHeaderIsNotNeededToEscape) {
    // A safe name under a destination passed in stays inside it whatever the stored
    // destination says (the stored one is not read by ExtractArchive at all).
    ASSERT_EQ(Extract(PlainArchive({Stored("SAFE\\NAME.TXT", TextData(4))})), 0);
    EXPECT_EQ(Tree(m_out), (std::set<std::string>{"SAFE", "SAFE/NAME.TXT"}));
}

// A small archive with a Stored and a Crushed entry, cut at every length.
TEST_F(ExtractTest, ArchiveCutAtEveryLength) {
    const Bytes stored = TextData(300, 21);
    const Bytes crushed = TextData(3000, 22);
    const Bytes whole = PlainArchive({Stored("S.TXT", stored), Crushed("DIR\\C.TXT", crushed)});
    const std::filesystem::path scratch = m_scratch.path();
    for (size_t length = 0; length <= whole.size(); length++) {
        SCOPED_TRACE(length);
        m_events.clear();
        m_done.clear();
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        ASSERT_EQ(Extract(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length))), 0);
        for (const std::string& done : m_done) {
            if (done == Joined("S.TXT")) {
                EXPECT_EQ(ReadFileBytes(OutFile("S.TXT")), stored);
            } else {
                EXPECT_EQ(done, Joined("DIR\\C.TXT"));
                EXPECT_EQ(ReadFileBytes(OutFile("DIR\\C.TXT")), crushed);
            }
        }
        for (const std::string& path : Tree(scratch)) {
            EXPECT_TRUE(path == "TEST.ARQ" || path.rfind("OUT", 0) == 0) << path;
        }
        // Only an archive whose end-of-archive record is there ends at it; the record
        // counts once its name length has been read, even without its 33-byte block.
        if (length >= whole.size() - ENTRY_BLOCK_SIZE) {
            EXPECT_EQ(m_done.size(), 2u);
            EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
        } else {
            EXPECT_NE(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
        }
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(LeakedBlocks(), 0);
    }
}

TEST_F(ExtractTest, DamagedCrushedStreamFailsAndTheWalkGoesOn) {
    // The stream's first 16 bits say 0 symbols and its pre-code count is 31: more than
    // the code's 19 symbols, an invalid stream.
    const Bytes invalid = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "BAD.TXT", 20000), 0);
    header.block.method = METHOD_CRUSHED;
    header.block.compressed_size = static_cast<uint32_t>(invalid.size());
    ASSERT_EQ(WriterPutEntry(&writer, &header, invalid.data(), static_cast<uint32_t>(invalid.size())), 0);
    PutEntry(&writer, Crushed("NEXT.TXT", TextData(100)));
    WriterPutEnd(&writer, nullptr, 0);

    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(
        EntryEvents(),
        (Evs{{EVT_PROGRESS, 0}, {EVT_ENTRY_FAILED, ERR_BAD_DATA}, {EVT_PROGRESS, 0}, {EVT_ENTRY_DONE, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(100));
    EXPECT_TRUE(OutExists("BAD.TXT")); // the engine never deletes a file it created
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
}

TEST_F(ExtractTest, CrushedStreamThatStopsShortOfItsSizeIsSkippedWhole) {
    // Four spare bytes behind a valid stream: the entry decodes, and the walk finds
    // the next record behind the spare bytes.
    const Bytes data = TextData(7000);
    Bytes stream = CrushedStream(data);
    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x67, 0x57, 0x04, 0x01});
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    EntryHeaderFields header;
    ASSERT_EQ(EntryHeaderDefaults(&header, "PADDED.TXT", static_cast<uint32_t>(data.size())), 0);
    header.block.method = METHOD_CRUSHED;
    header.block.compressed_size = static_cast<uint32_t>(stream.size());
    ASSERT_EQ(WriterPutEntry(&writer, &header, stream.data(), static_cast<uint32_t>(stream.size())), 0);
    PutEntry(&writer, Stored("NEXT.TXT", TextData(10)));
    WriterPutEnd(&writer, nullptr, 0);
    ASSERT_EQ(Extract(archive), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("PADDED.TXT")), data);
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(10));
    EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
}

TEST_F(ExtractTest, AbsurdSizes) {
    // Sizes far beyond the data: the entry fails (or finds no room), is never done,
    // and the walk ends at the record it cannot read.
    struct SizeCase {
        const char* why;
        int method;
        uint32_t compressed;
        uint32_t uncompressed;
    };
    const SizeCase cases[] = {
        {"stored 4 GiB", METHOD_STORED, 0xFFFFFFF0u, 0xFFFFFFF0u},
        {"stored 2 GiB", METHOD_STORED, 0x80000000u, 0x80000000u},
        {"stored 64 KiB of 10 bytes", METHOD_STORED, 65536, 65536},
        {"crushed 4 GiB out of 10 bytes", METHOD_CRUSHED, 10, 0xFFFFFFFFu},
        {"crushed 2 GiB in", METHOD_CRUSHED, 0x80000000u, 1000},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.why);
        m_events.clear();
        m_done.clear();
        // Ten bytes of data; as a Crushed stream they are invalid at once (a pre-code
        // count of 31), so nothing can make the decoder produce gigabytes from them.
        EntrySpec raw = Stored("HUGE.BIN", Bytes(10, 0xFF));
        raw.change = [c](EntryHeaderFields* header) {
            header->block.compressed_size = c.compressed;
            header->block.uncompressed_size = c.uncompressed;
        };
        Bytes archive;
        ArchiveWriter writer;
        WriterToMemory(&writer, &archive);
        PutEntry(&writer, raw); // Stored, so that PutEntry writes the bytes as they are
        archive[ENTRY_LEAD_SIZE + std::strlen("HUGE.BIN") + ENTRY_BLOCK_METHOD] =
            static_cast<uint8_t>(c.method);
        PutEntry(&writer, Stored("NEXT.TXT", TextData(10)));
        WriterPutEnd(&writer, nullptr, 0);
        ASSERT_EQ(Extract(archive), 0);
        for (const std::string& done : m_done)
            EXPECT_EQ(done, Joined("NEXT.TXT"));
        Evs outcome;
        for (const Ev& ev : EntryEvents()) {
            if (ev.code != EVT_PROGRESS && ev.code != EVT_ENTRY_BEGIN) outcome.push_back(ev);
        }
        ASSERT_FALSE(outcome.empty());
        EXPECT_TRUE(outcome[0].code == EVT_ENTRY_FAILED || outcome[0].code == EVT_DISK_FULL)
            << outcome[0].code;
        // The walk finds the next entry only where the compressed size told the truth.
        if (c.compressed == 10) {
            EXPECT_EQ(m_done.size(), 1u);
            EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
        } else {
            EXPECT_TRUE(m_done.empty());
            EXPECT_NE(ExtractWalkResult(), ERR_END_OF_ARCHIVE);
        }
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(LeakedBlocks(), 0);
        std::filesystem::remove(OutFile("HUGE.BIN"));
    }
}

TEST_F(ExtractTest, ManyEntries) {
    std::vector<EntrySpec> entries;
    for (int i = 0; i < 600; i++) {
        const std::string name = "D" + std::to_string(i % 7) + "\\F" + std::to_string(i) + ".TXT";
        entries.push_back(i % 2 ? Crushed(name, TextData(static_cast<size_t>(i), static_cast<uint32_t>(i)))
                                : Stored(name, TextData(static_cast<size_t>(i), static_cast<uint32_t>(i))));
    }
    ASSERT_EQ(Extract(PlainArchive(entries)), 0);
    EXPECT_EQ(m_done.size(), 600u);
    EXPECT_EQ(ReadFileBytes(OutFile("D4\\F599.TXT")), TextData(599, 599));
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(ExtractTest, ExtraBytesAndLongestName) {
    EntrySpec extra = Crushed("EXTRA.TXT", TextData(500));
    static const uint8_t bytes[5] = {1, 2, 3, 4, 5};
    extra.change = [](EntryHeaderFields* header) { EntryHeaderSetExtra(header, bytes, sizeof bytes); };
    ASSERT_EQ(Extract(PlainArchive({extra, Stored("NEXT.TXT", TextData(5))})), 0);
    EXPECT_EQ(ReadFileBytes(OutFile("EXTRA.TXT")), TextData(500));
    EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), TextData(5));

    // A name of 261 bytes ends the walk (the reader refuses it).
    m_events.clear();
    EntrySpec longName = Stored(std::string(261, 'N'), TextData(5));
    longName.rawName = true;
    ASSERT_EQ(Extract(PlainArchive({longName})), 0);
    EXPECT_TRUE(EntryEvents().empty());
    EXPECT_EQ(ExtractWalkResult(), ERR_BAD_HEADER);
}

TEST_F(ExtractTest, EveryAllocationFailingInTurn) {
    // The n-th allocation and all after it fail, for every n until one run needs no
    // more: no leak, no open slot, no entry done with wrong content.
    const Bytes stored = RandomData(20000, 31);
    const Bytes crushed = TextData(9000, 32);
    const std::string path =
        Put("ALLOC.ARQ", PlainArchive({Stored("DIR\\S.BIN", stored), Crushed("DIR\\C.TXT", crushed)}));
    SetEventHandler(EVENT_SLOT_MAIN, Record);
    bool complete = false;
    for (long n = 0; n < 100 && !complete; n++) {
        SCOPED_TRACE(n);
        m_events.clear();
        m_done.clear();
        std::filesystem::remove_all(m_out);
        MemFailAfter(n);
        ExtractArchive(path.c_str(), m_out.c_str());
        MemReset();
        DecoderRelease();
        EXPECT_EQ(LeakedBlocks(), 0);
        EXPECT_EQ(BusySlots(), 0);
        for (const std::string& done : m_done) {
            if (done == Joined("DIR\\S.BIN")) {
                EXPECT_EQ(ReadFileBytes(OutFile("DIR\\S.BIN")), stored);
            } else {
                EXPECT_EQ(done, Joined("DIR\\C.TXT"));
                EXPECT_EQ(ReadFileBytes(OutFile("DIR\\C.TXT")), crushed);
            }
        }
        complete = m_done.size() == 2;
    }
    EXPECT_TRUE(complete);
}

} // namespace
