// Entry checksums: the CRC-32 itself against published values, the checksum field as
// the reader takes it from the extra bytes, and the extraction that fails an entry
// whose bytes do not give it. (tests/tools/arq_blackbox/test_checksums.py judges the
// field our writer lays down against another CRC-32.)
#include "engine/checksum.h"

#include "extract_fixture.h"

namespace {

// ---- The CRC-32 ------------------------------------------------------------------------

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

TEST(Checksum, PublishedValues) {
    // The check values published for the CRC-32 of zip and gzip.
    struct Case {
        const char* text;
        uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"abc", 0x352441C2u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {"message digest", 0x20159D7Fu},
    };
    for (const Case& c : cases) {
        const Bytes bytes = Text(c.text);
        EXPECT_EQ(ChecksumUpdate(CHECKSUM_EMPTY, bytes.data(), static_cast<uint32_t>(bytes.size())), c.crc)
            << c.text;
    }
    // A megabyte of zeros, as `head -c 1048576 /dev/zero | gzip | tail -c 8` gives it.
    const Bytes zeros(1 << 20, 0);
    EXPECT_EQ(ChecksumUpdate(CHECKSUM_EMPTY, zeros.data(), static_cast<uint32_t>(zeros.size())), 0xA738EA1Cu);
}

TEST(Checksum, FoldedBlocksGiveWhatEightBytesAtATimeGive) {
    // Where the processor folds whole blocks (and elsewhere trivially), every length
    // around the four-block start and the block size, from odd addresses and starts.
    const Bytes data = RandomData(5000, 12);
    for (uint32_t size : {0u, 15u, 16u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 191u, 255u, 256u, 4096u, 4999u}) {
        for (uint32_t from : {0u, 1u}) {
            if (from + size > data.size()) continue;
            for (uint32_t start : {uint32_t{CHECKSUM_EMPTY}, 0x9E3779B9u}) {
                EXPECT_EQ(ChecksumUpdate(start, data.data() + from, size),
                          ChecksumUpdateBySlices(start, data.data() + from, size))
                    << size << " bytes from " << from;
            }
        }
    }
    // Fed in pieces that split the eight-byte steps anywhere, the value is the whole's.
    const uint32_t whole = ChecksumUpdate(CHECKSUM_EMPTY, data.data(), 1000);
    for (uint32_t piece : {1u, 7u, 9u, 17u, 999u}) {
        uint32_t running = CHECKSUM_EMPTY;
        for (uint32_t at = 0; at < 1000; at += piece)
            running = ChecksumUpdate(running, data.data() + at, at + piece <= 1000 ? piece : 1000 - at);
        EXPECT_EQ(running, whole) << "pieces of " << piece;
    }
}

// ---- The field in the extra bytes --------------------------------------------------------

const uint8_t kField[] = {0x43, 0x4B, 0x04, 0x00, 0x78, 0x56, 0x34, 0x12}; // "CK", 4, 0x12345678

Bytes Field(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }
Bytes Plus(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the extra-field handler was given: the entry's name, then each field's id and
// bytes.
std::string g_delivered;

void Deliver(const EntryDescriptor* desc, uint32_t id, const uint8_t* bytes, uint32_t length) {
    char tag[8];
    std::snprintf(tag, sizeof tag, " %04X:", static_cast<unsigned>(id));
    g_delivered += desc->name + std::string(tag) + std::string(reinterpret_cast<const char*>(bytes), length) + ";";
}

class ChecksumFieldTest : public ExtractTest {
protected:
    void TearDown() override {
        SetExtraFieldHandler(nullptr);
        ExtractTest::TearDown();
    }
    // Reads the header of a Stored entry "DATA" carrying these extra bytes, and the
    // first byte the input then gives.
    EntryDescriptor Read(const Bytes& extra, int* next) {
        std::vector<EntrySpec> entries = {Stored("sub/f", Text("DATA"))};
        entries[0].change = [&extra](EntryHeaderFields* header) {
            EntryHeaderSetExtra(header, extra.data(), static_cast<uint32_t>(extra.size()));
        };
        const std::string path = Put("FIELD.ARQ", PlainArchive(entries));
        EntryDescriptor desc;
        std::memset(&desc, 0, sizeof desc);
        desc.checksum_state = -1; // whatever an earlier entry left
        desc.input_slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_EQ(ReadEntryHeader(&desc), 0);
        *next = FileGetByte(desc.input_slot);
        FileClose(desc.input_slot);
        return desc;
    }
};

TEST_F(ChecksumFieldTest, FieldsAreTakenByIdAndLength) {
    const Bytes checksum(kField, kField + sizeof kField);
    const Bytes unknown = Field({0x34, 0x12, 0x03, 0x00, 'x', 'y', 'z'});
    const Bytes other = Field({0x46, 0x54, 0x02, 0x00, 'a', 'b'});
    struct Case {
        const char* what;
        Bytes extra;
        int32_t state;
        uint32_t checksum;
        const char* delivered; // to the extra-field handler
    };
    const Case cases[] = {
        {"no extra bytes", Bytes(), CHECKSUM_NONE, 0, ""},
        {"the checksum field", checksum, CHECKSUM_CARRIED, 0x12345678u, ""},
        {"an unknown field first", Plus(unknown, checksum), CHECKSUM_CARRIED, 0x12345678u, "SUB\\F 1234:xyz;"},
        {"an unknown field behind", Plus(checksum, unknown), CHECKSUM_CARRIED, 0x12345678u, "SUB\\F 1234:xyz;"},
        {"two unknown fields, in order", Plus(unknown, other), CHECKSUM_NONE, 0,
         "SUB\\F 1234:xyz;SUB\\F 5446:ab;"},
        {"two checksum fields: the first counts",
         Plus(checksum, Field({0x43, 0x4B, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00})), CHECKSUM_CARRIED, 0x12345678u, ""},
        {"a checksum field of 5 bytes is not one", Field({0x43, 0x4B, 0x05, 0x00, 1, 2, 3, 4, 5}), CHECKSUM_NONE,
         0, ""},
        {"a field longer than the extra bytes ends them", Plus(Plus(unknown, Field({0x34, 0x12, 0x20, 0x00})), other),
         CHECKSUM_NONE, 0, "SUB\\F 1234:xyz;"},
        {"a checksum cut by the extra count", Bytes(kField, kField + 6), CHECKSUM_NONE, 0, ""},
    };
    for (int handled = 0; handled < 2; handled++) {
        SetExtraFieldHandler(handled ? Deliver : nullptr);
        for (const Case& c : cases) {
            g_delivered.clear();
            int next = -1;
            const EntryDescriptor desc = Read(c.extra, &next);
            EXPECT_EQ(desc.extra_count, static_cast<int32_t>(c.extra.size())) << c.what;
            EXPECT_EQ(desc.checksum_state, c.state) << c.what;
            EXPECT_EQ(desc.checksum, c.checksum) << c.what;
            // Whatever the fields, exactly the extra count is passed over.
            EXPECT_EQ(next, 'D') << c.what;
            EXPECT_EQ(g_delivered, handled ? c.delivered : "") << c.what;
        }
    }
}

// ---- Extraction ----------------------------------------------------------------------------

// An entry that carries the checksum of its data.
EntrySpec WithChecksum(EntrySpec entry) {
    const Bytes& data = entry.data;
    const uint32_t crc = ChecksumUpdate(CHECKSUM_EMPTY, data.data(), static_cast<uint32_t>(data.size()));
    entry.change = [crc](EntryHeaderFields* header) { EntryHeaderSetChecksum(header, crc); };
    return entry;
}

class ChecksumExtractTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        // What the descriptor says of the checksum when the entry is done or fails.
        m_onEvent = [this](EntryDescriptor* desc, int32_t code, int32_t) {
            if ((code == EVT_ENTRY_DONE || code == EVT_ENTRY_FAILED) && desc != nullptr)
                m_states.push_back(desc->checksum_state);
        };
    }
    // The archive's bytes with one bit of the first entry's data changed, data offset
    // bytes behind the header (a plain archive starts with that entry).
    static Bytes Changed(Bytes archive, const EntrySpec& first, size_t offset) {
        const size_t header = ENTRY_FIXED_SIZE + first.name.size() +
                              (first.change ? static_cast<size_t>(EXTRA_CHECKSUM_FIELD_SIZE) : 0);
        archive[header + offset] ^= 0x04;
        return archive;
    }
    // A byte of the Crushed stream of data whose change still decodes without a fault
    // to the full size, into other bytes: only a checksum can tell. Found by trying.
    size_t QuietChange(const Bytes& data) {
        const EntrySpec entry = Crushed("Q.TXT", data);
        const Bytes archive = PlainArchive({entry});
        const size_t stream = CrushedStream(data).size();
        for (size_t offset = stream / 2; offset + 1 < stream; offset++) {
            m_events.clear();
            Extract(Changed(archive, entry, offset));
            if (EntryEvents().back() == Ev{EVT_ENTRY_DONE, 0} && ReadFileBytes(OutFile("Q.TXT")) != data)
                return offset;
        }
        ADD_FAILURE() << "every change of the stream shows as a fault";
        return 0;
    }
    std::vector<int32_t> m_states;
};

TEST_F(ChecksumExtractTest, EntriesThatDoNotMatchTheirChecksumFail) {
    const Bytes text = TextData(30000, 3);
    const Bytes noise = RandomData(9000, 4);
    const size_t quiet = QuietChange(text);
    const Evs stored = {{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_DONE, 0}};
    const Evs storedFailed = {{EVT_ENTRY_BEGIN, 0}, {EVT_ENTRY_FAILED, ERR_BAD_DATA}};
    const Evs crushed = Join({CrushedProgress(30000), {{EVT_ENTRY_DONE, 0}}});
    const Evs crushedFailed = Join({CrushedProgress(30000), {{EVT_ENTRY_FAILED, ERR_BAD_DATA}}});
    struct Case {
        const char* what;
        EntrySpec entry;
        long changeAt; // offset in the entry's data of the changed bit, -1 for none
        Evs events;    // of this entry; NEXT.TXT follows, always done
        int32_t state; // checksum_state at its last event
        bool written;  // the output holds the entry's data
    };
    const Case cases[] = {
        {"Stored, intact", WithChecksum(Stored("A.BIN", noise)), -1, stored, CHECKSUM_MATCHED, true},
        {"Stored, a bit changed", WithChecksum(Stored("A.BIN", noise)), 5000, storedFailed, CHECKSUM_MISMATCH,
         false},
        {"Crushed, intact", WithChecksum(Crushed("A.TXT", text)), -1, crushed, CHECKSUM_MATCHED, true},
        {"Crushed, a bit changed that still decodes", WithChecksum(Crushed("A.TXT", text)),
         static_cast<long>(quiet), crushedFailed, CHECKSUM_MISMATCH, false},
        // Without the field a change that decodes is written, as it always was.
        {"Stored without the field, a bit changed", Stored("A.BIN", noise), 5000, stored, CHECKSUM_NONE, false},
        {"Crushed without the field, a bit changed", Crushed("A.TXT", text), static_cast<long>(quiet), crushed,
         CHECKSUM_NONE, false},
    };
    const Bytes next = Text("next entry");
    for (const Case& c : cases) {
        m_events.clear();
        m_states.clear();
        Bytes archive = PlainArchive({c.entry, WithChecksum(Stored("NEXT.TXT", next))});
        if (c.changeAt >= 0) archive = Changed(archive, c.entry, static_cast<size_t>(c.changeAt));
        ASSERT_EQ(Extract(archive), 0) << c.what;
        EXPECT_EQ(EntryEvents(), Join({c.events, stored})) << c.what;
        EXPECT_EQ(m_states, (std::vector<int32_t>{c.state, CHECKSUM_MATCHED})) << c.what;
        EXPECT_EQ(ExtractWalkResult(), ERR_END_OF_ARCHIVE) << c.what;
        EXPECT_EQ(ReadFileBytes(OutFile(c.entry.name)) == c.entry.data, c.written) << c.what;
        EXPECT_EQ(ReadFileBytes(OutFile("NEXT.TXT")), next) << c.what;
    }
    EXPECT_EQ(LeakedBlocks(), 0);
    EXPECT_EQ(BusySlots(), 0);
}

} // namespace
