// VerifyEntry: an entry read or decoded as ExtractEntry reads it, with nothing written,
// and the bits a Crushed stream used counted exactly, over hand-made streams.
#include "engine/checksum.h"
#include "extract_fixture.h"

namespace {

// A Crushed stream made by hand (format notes in crushed/decoder.h): one block of ten
// main-code symbols, every code a single value and so of no bits:
//     16 bits  symbol count 10      0000 0000 0000 1010
//      5 + 5   pre-code count 0, single value 0
//      9 + 9   main-code count 0, single value 65 ('A')
//      4 + 4   position-code count 0, single value 0
// 52 bits, then 4 bits of padding; it decodes to ten 'A's.
const Bytes TEN_A = {0x00, 0x0A, 0x00, 0x00, 0x04, 0x10, 0x00};
const Bytes TEN_A_TEXT(10, 'A');
// The same with the main code's single value 511, beyond the 510 symbols: invalid
// once the 44 bits up to and with it are taken.
const Bytes BAD_VALUE = {0x00, 0x0A, 0x00, 0x00, 0x1F, 0xF0, 0x00};
const Bytes TEXT = {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd'};

const int64_t NO_CHECKSUM = -1;

uint32_t Crc(const Bytes& bytes) {
    return ChecksumUpdate(CHECKSUM_EMPTY, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

Bytes Cut(const Bytes& bytes, size_t dropped) { return Bytes(bytes.begin(), bytes.end() - dropped); }
Bytes Plus(const Bytes& bytes, size_t zeros) {
    Bytes out = bytes;
    out.resize(bytes.size() + zeros, 0);
    return out;
}

// An entry whose data is stored as given, with its header's fields set by hand.
EntrySpec Entry(const Bytes& data, int method, uint32_t size, int64_t checksum,
                uint8_t flags = WRITER_FLAGS) {
    EntrySpec entry = Stored("E.TXT", data);
    entry.flags = flags;
    entry.change = [method, size, checksum](EntryHeaderFields* header) {
        header->block.method = static_cast<uint8_t>(method);
        header->block.uncompressed_size = size;
        if (checksum != NO_CHECKSUM) EntryHeaderSetChecksum(header, static_cast<uint32_t>(checksum));
    };
    return entry;
}

class VerifyEntryTest : public ExtractTest {
protected:
    // Verifies the archive's first entry; the slot stays open in m_slot.
    int VerifyFirst(const Bytes& archive, uint32_t lookahead, EntryDescriptor* desc, VerifyReport* report) {
        m_slot = FileOpen(Put("VERIFY.ARQ", archive).c_str(), FILE_READ);
        std::memset(desc, 0, sizeof *desc);
        desc->input_slot = m_slot;
        EXPECT_EQ(ReadEntryHeader(desc), 0);
        SetEventHandler(EVENT_SLOT_MAIN, Record);
        const int result = VerifyEntry(desc, lookahead, report);
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        return result;
    }
    bool Done() const {
        for (const Ev& ev : m_events) {
            if (ev.code == EVT_ENTRY_DONE) return true;
        }
        return false;
    }
    int m_slot = -1;
};

// What follows the entry's data in the file.
enum Behind {
    NEXT_RECORD, // another entry, then the end record
    FILE_ENDS,   // nothing: the file ends three bytes before the data does
};

Bytes ArchiveOf(const EntrySpec& entry, Behind behind) {
    if (behind == NEXT_RECORD) return PlainArchive({entry, Stored("NEXT.TXT", TEXT)});
    return Cut(PlainArchive({entry}), ENTRY_FIXED_SIZE + 3);
}

TEST_F(VerifyEntryTest, ResultsAndBitsUsed) {
    struct Case {
        const char* what;
        EntrySpec entry;
        Behind behind;
        uint32_t lookahead;
        int result;
        int32_t checked;
        uint64_t bits;
        int32_t ended;
        int32_t state;  // checksum_state afterwards
        uint32_t found; // report.checksum where the header carries one
    };
    const uint32_t tenA = Crc(TEN_A_TEXT);
    const Case cases[] = {
        {"Stored, intact", Entry(TEXT, METHOD_STORED, 12, Crc(TEXT)), NEXT_RECORD, 0, 0, 1, 0, 0,
         CHECKSUM_MATCHED, Crc(TEXT)},
        {"Stored, another checksum", Entry(TEXT, METHOD_STORED, 12, 0x12345678), NEXT_RECORD, 0, ERR_BAD_DATA,
         1, 0, 0, CHECKSUM_MISMATCH, Crc(TEXT)},
        {"Stored, two sizes", Entry(TEXT, METHOD_STORED, 10, NO_CHECKSUM), NEXT_RECORD, 0, ERR_BAD_DATA, 1, 0,
         0, CHECKSUM_NONE, 0},
        {"Stored, marked not to be extracted",
         Entry(TEXT, METHOD_STORED, 12, NO_CHECKSUM, 2 | ENTRY_NO_EXTRACT), NEXT_RECORD, 0, 0, 1, 0, 0,
         CHECKSUM_NONE, 0},
        {"Stored, cut by the end of the file", Entry(TEXT, METHOD_STORED, 12, NO_CHECKSUM), FILE_ENDS, 0,
         ERR_IO, 1, 0, 0, CHECKSUM_NONE, 0},
        {"Crushed, intact", Entry(TEN_A, METHOD_CRUSHED, 10, NO_CHECKSUM), NEXT_RECORD, 0, 0, 1, 52, 0,
         CHECKSUM_NONE, 0},
        {"Crushed, intact, its checksum", Entry(TEN_A, METHOD_CRUSHED, 10, tenA), NEXT_RECORD, 0, 0, 1, 52, 0,
         CHECKSUM_MATCHED, tenA},
        {"Crushed, another checksum", Entry(TEN_A, METHOD_CRUSHED, 10, 0x12345678), NEXT_RECORD, 0,
         ERR_BAD_DATA, 1, 52, 0, CHECKSUM_MISMATCH, tenA},
        // The caller tells bytes left over from the bits: 52 of 72.
        {"Crushed, two bytes left over", Entry(Plus(TEN_A, 2), METHOD_CRUSHED, 10, NO_CHECKSUM), NEXT_RECORD,
         0, 0, 1, 52, 0, CHECKSUM_NONE, 0},
        // 52 bits of 48: the last four are zeros read past the data.
        {"Crushed, cut short", Entry(Cut(TEN_A, 1), METHOD_CRUSHED, 10, NO_CHECKSUM), NEXT_RECORD, 0,
         ERR_BAD_DATA, 1, 52, 0, CHECKSUM_NONE, 0},
        // Read on into the next record, the stream decodes; its bits still say it ran past.
        {"Crushed, cut short, with a lookahead", Entry(Cut(TEN_A, 1), METHOD_CRUSHED, 10, NO_CHECKSUM),
         NEXT_RECORD, 8, 0, 1, 52, 0, CHECKSUM_NONE, 0},
        // Zeros stand in for the three missing bytes, and are counted.
        {"Crushed, cut by the end of the file", Entry(TEN_A, METHOD_CRUSHED, 10, NO_CHECKSUM), FILE_ENDS, 0,
         ERR_BAD_DATA, 1, 52, 1, CHECKSUM_NONE, 0},
        {"Crushed, invalid", Entry(BAD_VALUE, METHOD_CRUSHED, 10, NO_CHECKSUM), NEXT_RECORD, 0, ERR_BAD_DATA,
         1, 44, 0, CHECKSUM_NONE, 0},
        {"unknown method", Entry(TEXT, 3, 12, NO_CHECKSUM), NEXT_RECORD, 0, 0, 0, 0, 0, CHECKSUM_NONE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_events.clear();
        EntryDescriptor desc;
        VerifyReport report;
        EXPECT_EQ(VerifyFirst(ArchiveOf(c.entry, c.behind), c.lookahead, &desc, &report), c.result);
        EXPECT_EQ(report.checked, c.checked);
        EXPECT_EQ(report.bits_used, c.bits);
        EXPECT_EQ(report.input_ended, c.ended);
        EXPECT_EQ(desc.checksum_state, c.state);
        if (c.state != CHECKSUM_NONE) {
            EXPECT_EQ(report.checksum, c.found);
        }
        // Done exactly when intact, as ExtractEntry reports it.
        EXPECT_EQ(Done(), c.result == 0 && c.checked == 1);
        EXPECT_EQ(std::string(desc.name), "E.TXT");
        if (c.behind == NEXT_RECORD) {
            // The input stands on the next record.
            EXPECT_EQ(ReadEntryHeader(&desc), 0);
            EXPECT_EQ(std::string(desc.name), "NEXT.TXT");
        }
        FileClose(m_slot);
    }
    ReleaseEntryBuffers();
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(VerifyEntryTest, RefusesWhatItCannotRead) {
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    VerifyReport report;
    desc.input_slot = -1;
    EXPECT_EQ(VerifyEntry(&desc, 0, &report), ERR_BAD_HANDLE);
    EXPECT_EQ(VerifyEntry(nullptr, 0, &report), ERR_BAD_ARGUMENT);
    EXPECT_EQ(VerifyEntry(&desc, 0, nullptr), ERR_BAD_ARGUMENT);
}

} // namespace
