// The writer's spanned volumes: the plan of where volumes end, and the volume files
// against bytes written out by hand from the format.
#include <gtest/gtest.h>

#include <random>

#include "spanned_fixture.h"

namespace {

class SpannedWriterTest : public EngineTest {};

// ---- Hand-made records ------------------------------------------------------------------

void PutLE32Bytes(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; i++)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The 33-byte block of our writer's Stored entries with these sizes, flags and volume.
Bytes HandBlock(uint32_t compressed, uint32_t uncompressed, uint8_t flags, uint8_t volume) {
    Bytes b = {0x00, 0x00, 0x00, 0x00, // mtime
               0xB6, 0x81,             // mode 100666
               0x00, 0x00, 0x00, 0x00};
    PutLE32Bytes(b, compressed);
    PutLE32Bytes(b, uncompressed);
    const Bytes rest = {0x00,   0x00, 0x00,  0x00,       // reserved
                        0x01,   0x10, flags, 0x00,       // Stored, case 16, flags, reserved
                        volume, 0x00, 0x00,  0x00, 0x00, // volume field
                        0x00,   0x00};                   // no extra bytes
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

Bytes HandHeader(const char* name, uint32_t compressed, uint32_t uncompressed, uint8_t flags,
                 uint8_t volume) {
    // Sized once and filled in place: growing the vector trips GCC 12's bounds warning.
    const size_t n = std::strlen(name);
    const Bytes lead = {0x67, 0x57, 0x04, 0x01, 0x31, 0x12, static_cast<uint8_t>(n), 0x00};
    const Bytes block = HandBlock(compressed, uncompressed, flags, volume);
    Bytes b(lead.size() + n + block.size());
    std::memcpy(b.data(), lead.data(), lead.size());
    std::memcpy(b.data() + lead.size(), name, n);
    std::memcpy(b.data() + lead.size() + n, block.data(), block.size());
    return b;
}

// An end-of-archive record repeating a block.
Bytes HandEnd(const Bytes& block) {
    const Bytes lead = {0x67, 0x57, 0x04, 0x01, 0x31, 0x12, 0x00, 0x00};
    Bytes b(lead.size() + block.size());
    std::memcpy(b.data(), lead.data(), lead.size());
    std::memcpy(b.data() + lead.size(), block.data(), block.size());
    return b;
}

const uint8_t F = WRITER_FLAGS;                  // 0x02
const uint8_t FS = WRITER_FLAGS | ENTRY_SPANNED; // 0x0A

// ---- The plan ---------------------------------------------------------------------------

struct PlanCase {
    const char* description;
    std::vector<SpanItem> items;
    uint32_t end_size;
    uint32_t volume_size;
    std::vector<uint32_t> expected; // volume lengths; empty: refused
};

TEST_F(SpannedWriterTest, PlansPutVolumeChangesOnlyInsideData) {
    // A.TXT and B.TXT have 46-byte headers (41 + 5); the end record has 41 bytes.
    const SpanItem a = {46, 30}, b = {46, 20}, empty = {46, 0}, one = {46, 1};
    const PlanCase cases[] = {
        {"everything on one disk", {a, b}, 41, 1000, {183}},
        {"exactly one disk", {a, b}, 41, 183, {183}},
        {"one byte less: B spans, one of its bytes goes on", {a, b}, 41, 182, {141, 88}},
        {"two disks: B's header and 19 bytes on the first", {a, b}, 41, 160, {141, 88}},
        {"B's header does not fit with a byte: A ends the first disk early", {a, b}, 41, 100, {75, 100, 100}},
        {"an entry of 0 bytes cannot span: the change moves into A", {a, empty, b}, 41, 140, {75, 140, 106}},
        {"smallest size for a continuation, its byte and the end record", {a}, 41, 88, {75, 88}},
        {"one byte smaller: no legal change", {a}, 41, 87, {}},
        {"an entry of one byte cannot span", {one, b}, 41, 60, {}},
        {"an empty archive", {}, 41, 41, {41}},
        {"an end record larger than a disk", {}, 41, 40, {}},
        {"end record with extra bytes", {a}, 41 + 10, 98, {75, 98}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<uint32_t> sizes(16, 0);
        const int32_t count =
            SpanPlanVolumes(c.items.data(), static_cast<int32_t>(c.items.size()), c.end_size, c.volume_size,
                            sizes.data(), static_cast<int32_t>(sizes.size()));
        if (c.expected.empty()) {
            EXPECT_EQ(count, ERR_BAD_ARGUMENT);
        } else {
            ASSERT_EQ(count, static_cast<int32_t>(c.expected.size()));
            sizes.resize(static_cast<size_t>(count));
            EXPECT_EQ(sizes, c.expected);
        }
    }
}

TEST_F(SpannedWriterTest, PlansRefuseRecordsThatAreNoEntries) {
    const SpanItem nameless = {ENTRY_FIXED_SIZE, 10};
    EXPECT_EQ(SpanPlanVolumes(&nameless, 1, 41, 1000, nullptr, 0), ERR_BAD_ARGUMENT);
    const SpanItem a = {46, 30};
    EXPECT_EQ(SpanPlanVolumes(&a, 1, 40, 1000, nullptr, 0), ERR_BAD_ARGUMENT) << "end record too short";
    EXPECT_EQ(SpanPlanVolumes(&a, -1, 41, 1000, nullptr, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(SpanPlanVolumes(nullptr, 1, 41, 1000, nullptr, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(SpanPlanVolumes(&a, 1, 41, 1000, nullptr, 0), 1) << "no room for lengths is fine";
}

// ---- Volume files, byte by byte -------------------------------------------------------------

class VolumeFilesTest : public SpannedWriterTest {
protected:
    void SetUp() override {
        SpannedWriterTest::SetUp();
        m_a = Pattern(30, 1);
        m_b = Pattern(20, 2);
    }
    static int PathOf(void* context, int32_t volume, char* path, uint32_t size) {
        const VolumeFilesTest* test = static_cast<VolumeFilesTest*>(context);
        std::snprintf(path, size, "%s", test->VolumePath(volume).c_str());
        return 0;
    }
    std::string VolumePath(int32_t volume) const {
        return m_scratch.file("SET." + std::to_string(volume + 1));
    }
    std::vector<Bytes> Volumes(int32_t count) const {
        std::vector<Bytes> out;
        for (int32_t i = 0; i < count; i++)
            out.push_back(ReadFileBytes(VolumePath(i)));
        return out;
    }
    // A.TXT and B.TXT written with the spanned writer from memory.
    std::vector<Bytes> WriteDirectly(uint32_t volumeSize) {
        EntryHeaderFields a, b;
        EntryHeaderDefaults(&a, "a.txt", 30);
        EntryHeaderDefaults(&b, "b.txt", 20);
        const SpanItem items[] = {{EntryHeaderSize(&a), 30}, {EntryHeaderSize(&b), 20}};
        SpannedWriter writer;
        EXPECT_EQ(SpannedWriterStart(&writer, volumeSize, PathOf, this, items, 2, 0), 0);
        EXPECT_EQ(SpannedPutEntry(&writer, &a, m_a.data(), 30), 0);
        // B's data in uneven pieces, as a caller streaming a file gives it.
        EXPECT_EQ(SpannedPutEntryHeader(&writer, &b), 0);
        EXPECT_EQ(SpannedPutData(&writer, m_b.data(), 3), 0);
        EXPECT_EQ(SpannedPutData(&writer, m_b.data() + 3, 17), 0);
        EXPECT_EQ(SpannedPutEnd(&writer, nullptr, 0), 0);
        int32_t volumes = 0;
        EXPECT_EQ(SpannedWriterFinish(&writer, &volumes), 0);
        EXPECT_EQ(BusySlots(), 0);
        return Volumes(volumes);
    }
    std::vector<Bytes> WriteBySplitting(uint32_t volumeSize) {
        const std::string source = Put("whole.arq", BuildArchive({{"A.TXT", m_a}, {"B.TXT", m_b}}));
        const int32_t volumes = WriterSplitArchive(source.c_str(), volumeSize, PathOf, this);
        EXPECT_GT(volumes, 0);
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(LeakedBlocks(), 0);
        return Volumes(volumes);
    }
    // Two disks of 160 bytes: A whole, B's header and 19 of its bytes on the first (141
    // bytes); B's continuation, its last byte and the end record on the second (88).
    std::vector<Bytes> TwoDisks() const {
        return {
            Concat({HandHeader("A.TXT", 30, 30, F, 0), m_a, HandHeader("B.TXT", 20, 20, FS, 0),
                    Slice(m_b, 0, 19)}),
            Concat({HandHeader("B.TXT", 1, 20, F, 1), Slice(m_b, 19, 1), HandEnd(HandBlock(1, 20, F, 1))})};
    }
    // Three disks of 100 bytes: B's header with a byte would not fit behind A (76 + 47),
    // so the first disk ends inside A, one byte before its end (75 bytes); the second
    // holds A's continuation and last byte, B's header and 7 bytes (100); the third B's
    // continuation, 13 bytes and the end record (100).
    std::vector<Bytes> ThreeDisks() const {
        return {
            Concat({HandHeader("A.TXT", 30, 30, FS, 0), Slice(m_a, 0, 29)}),
            Concat({HandHeader("A.TXT", 1, 30, F, 1), Slice(m_a, 29, 1), HandHeader("B.TXT", 20, 20, FS, 1),
                    Slice(m_b, 0, 7)}),
            Concat({HandHeader("B.TXT", 13, 20, F, 2), Slice(m_b, 7, 13), HandEnd(HandBlock(13, 20, F, 2))})};
    }

    Bytes m_a;
    Bytes m_b;
};

TEST_F(VolumeFilesTest, TwoVolumesAreWrittenByteForByte) {
    const std::vector<Bytes> expected = TwoDisks();
    ASSERT_EQ(expected[0].size(), 141u);
    ASSERT_EQ(expected[1].size(), 88u);
    EXPECT_EQ(WriteDirectly(160), expected);
    EXPECT_EQ(WriteBySplitting(160), expected);
}

TEST_F(VolumeFilesTest, ThreeVolumesAreWrittenByteForByte) {
    const std::vector<Bytes> expected = ThreeDisks();
    ASSERT_EQ(expected[0].size(), 75u);
    ASSERT_EQ(expected[1].size(), 100u);
    ASSERT_EQ(expected[2].size(), 100u);
    EXPECT_EQ(WriteDirectly(100), expected);
    EXPECT_EQ(WriteBySplitting(100), expected);
}

TEST_F(VolumeFilesTest, AVolumeSizeTooSmallIsRefusedBeforeAnyFileIsMade) {
    const std::string source = Put("whole.arq", BuildArchive({{"A.TXT", m_a}, {"B.TXT", m_b}}));
    EXPECT_EQ(WriterSplitArchive(source.c_str(), 60, PathOf, this), ERR_BAD_ARGUMENT);
    EXPECT_FALSE(std::filesystem::exists(VolumePath(0)));
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(VolumeFilesTest, SplittingRefusesWhatIsNoCompletePlainArchive) {
    const Bytes whole = BuildArchive({{"A.TXT", m_a}, {"B.TXT", m_b}});
    const struct {
        const char* description;
        Bytes bytes;
        int expected;
    } cases[] = {
        {"cut inside B's data", Slice(whole, 0, 46 + 30 + 46 + 10), ERR_BAD_ARCHIVE},
        {"cut inside the end record", Slice(whole, 0, whole.size() - 1), ERR_BAD_ARCHIVE},
        {"no end record", Slice(whole, 0, 46 + 30 + 46 + 20), ERR_BAD_ARCHIVE},
        {"not an archive", Pattern(100), ERR_BAD_ARCHIVE},
        {"already spanned", Concat({VolumeRecord("A.TXT", m_a, 40, 0, FS), EndRecord()}), ERR_BAD_ARGUMENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const std::string source = Put("bad.arq", c.bytes);
        EXPECT_EQ(WriterSplitArchive(source.c_str(), 100, PathOf, this), c.expected);
        EXPECT_FALSE(std::filesystem::exists(VolumePath(0)));
    }
    EXPECT_EQ(WriterSplitArchive(m_scratch.file("missing.arq").c_str(), 100, PathOf, this), ERR_NOT_FOUND);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(VolumeFilesTest, TheWriterRefusesRecordsThatDifferFromThePlan) {
    EntryHeaderFields a, b;
    EntryHeaderDefaults(&a, "A.TXT", 30);
    EntryHeaderDefaults(&b, "B.TXT", 20);
    const SpanItem items[] = {{46, 30}, {46, 20}};
    SpannedWriter writer;

    ASSERT_EQ(SpannedWriterStart(&writer, 100, PathOf, this, items, 2, 0), 0);
    EXPECT_EQ(SpannedPutEntryHeader(&writer, &b), ERR_BAD_ARGUMENT) << "B where A's sizes were planned";
    EXPECT_EQ(SpannedPutEntryHeader(&writer, &a), ERR_BAD_ARGUMENT) << "the first failure stays";
    EXPECT_EQ(SpannedWriterFinish(&writer, nullptr), ERR_BAD_ARGUMENT);

    ASSERT_EQ(SpannedWriterStart(&writer, 100, PathOf, this, items, 2, 0), 0);
    EXPECT_EQ(SpannedPutEntryHeader(&writer, &a), 0);
    EXPECT_EQ(SpannedPutData(&writer, m_a.data(), 10), 0);
    EXPECT_EQ(SpannedPutEntryHeader(&writer, &b), ERR_BAD_ARGUMENT) << "A's data not complete";
    EXPECT_EQ(SpannedWriterFinish(&writer, nullptr), ERR_BAD_ARGUMENT);

    ASSERT_EQ(SpannedWriterStart(&writer, 100, PathOf, this, items, 2, 0), 0);
    EntryHeaderFields longer;
    EntryHeaderDefaults(&longer, "LONGER.TXT", 30);
    EXPECT_EQ(SpannedPutEntryHeader(&writer, &longer), ERR_BAD_ARGUMENT);
    EXPECT_EQ(SpannedWriterFinish(&writer, nullptr), ERR_BAD_ARGUMENT);

    ASSERT_EQ(SpannedWriterStart(&writer, 100, PathOf, this, items, 2, 0), 0);
    EXPECT_EQ(SpannedPutEntry(&writer, &a, m_a.data(), 30), 0);
    EXPECT_EQ(SpannedPutData(&writer, m_a.data(), 1), ERR_BAD_ARGUMENT) << "more data than the entry holds";
    EXPECT_EQ(SpannedWriterFinish(&writer, nullptr), ERR_BAD_ARGUMENT);

    ASSERT_EQ(SpannedWriterStart(&writer, 100, PathOf, this, items, 2, 0), 0);
    EXPECT_EQ(SpannedPutEntry(&writer, &a, m_a.data(), 30), 0);
    EXPECT_EQ(SpannedWriterFinish(&writer, nullptr), ERR_BAD_ARGUMENT) << "no end record";
    EXPECT_EQ(BusySlots(), 0);
}

TEST_F(VolumeFilesTest, APathCallbackFailureEndsTheWriting) {
    struct Context {
        std::string first;
    } context{m_scratch.file("ONLY.1")};
    auto pathOf = [](void* c, int32_t volume, char* path, uint32_t size) -> int {
        if (volume > 0) return ERR_IO;
        std::snprintf(path, size, "%s", static_cast<Context*>(c)->first.c_str());
        return 0;
    };
    const std::string source = Put("whole.arq", BuildArchive({{"A.TXT", m_a}, {"B.TXT", m_b}}));
    EXPECT_EQ(WriterSplitArchive(source.c_str(), 100, pathOf, &context), ERR_IO);
    EXPECT_EQ(ReadFileBytes(context.first), ThreeDisks()[0]) << "the first volume was complete";
    EXPECT_EQ(BusySlots(), 0);
    EXPECT_EQ(LeakedBlocks(), 0);
}

// ---- Many archives, many sizes -----------------------------------------------------------

// Reads a volume set back record by record, as the format describes it, and checks what
// the reader relies on. Returns the entries' names and whole data.
struct Joined {
    std::vector<std::string> names;
    std::vector<Bytes> data;
    std::string problem;
};

Joined JoinVolumes(const std::vector<Bytes>& volumes, uint32_t volumeSize) {
    Joined out;
    size_t v = 0, at = 0;
    uint32_t remaining = 0; // of a spanned entry continued on the next volume
    auto fail = [&](const std::string& why) {
        out.problem = "volume " + std::to_string(v) + " offset " + std::to_string(at) + ": " + why;
        return out;
    };
    while (out.problem.empty()) {
        const Bytes& vol = volumes[v];
        if (vol.size() > volumeSize) return fail("larger than the volume size");
        if (at + ENTRY_FIXED_SIZE > vol.size()) return fail("no complete header");
        const uint32_t n = GetLE16(&vol[at + 6]);
        if (at + ENTRY_FIXED_SIZE + n > vol.size()) return fail("header cut");
        const uint8_t* block = &vol[at + 8 + n];
        const uint32_t size = GetLE32(block + ENTRY_BLOCK_COMPRESSED);
        const uint8_t flags = block[ENTRY_BLOCK_FLAGS];
        if (block[ENTRY_BLOCK_VOLUME] != static_cast<uint8_t>(v)) return fail("wrong volume number");
        const std::string name(reinterpret_cast<const char*>(&vol[at + 8]), n);
        at += ENTRY_FIXED_SIZE + n + GetLE16(block + ENTRY_BLOCK_EXTRA_COUNT);
        if (remaining > 0) {
            // A continuation: at the very start of the volume.
            if (at != ENTRY_FIXED_SIZE + n || name != out.names.back()) return fail("bad continuation");
            if (size != remaining) return fail("continuation size");
        } else if (n == 0) {
            if (at != vol.size() || v + 1 != volumes.size()) return fail("end record not at the end");
            return out;
        } else {
            out.names.push_back(name);
            out.data.emplace_back();
        }
        if (flags & ENTRY_SPANNED) {
            // The piece runs to the end of the volume and at least one byte stands here.
            if (at >= vol.size() || vol.size() - at >= size) return fail("spanned piece");
            out.data.back().insert(out.data.back().end(), vol.begin() + static_cast<std::ptrdiff_t>(at),
                                   vol.end());
            remaining = size - static_cast<uint32_t>(vol.size() - at);
            v++;
            at = 0;
            if (v == volumes.size()) return fail("set ends inside an entry");
        } else {
            if (at + size > vol.size()) return fail("data cut");
            if (at + size == vol.size() && v + 1 != volumes.size()) return fail("volume ends at a record");
            out.data.back().insert(out.data.back().end(), vol.begin() + static_cast<std::ptrdiff_t>(at),
                                   vol.begin() + static_cast<std::ptrdiff_t>(at + size));
            at += size;
            remaining = 0;
        }
    }
    return out;
}

TEST_F(VolumeFilesTest, ManyArchivesSplitIntoSetsThatReadBackWhole) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 60; round++) {
        std::vector<StoredFile> files;
        const int count = static_cast<int>(random() % 6);
        for (int i = 0; i < count; i++) {
            const size_t sizes[] = {0, 1, 2, 3, 50, 300, 4096};
            const size_t size = sizes[random() % 7] + (random() % 3 == 0 ? random() % 200 : 0);
            files.push_back({"F" + std::to_string(i) + std::string(random() % 20, 'X'),
                             Pattern(size, static_cast<uint8_t>(i))});
        }
        const Bytes whole = BuildArchive(files);
        const uint32_t volumeSizes[] = {90, 120, 200, 333, 1000, 5000};
        for (uint32_t volumeSize : volumeSizes) {
            SCOPED_TRACE("round " + std::to_string(round) + ", volumes of " + std::to_string(volumeSize));
            ScratchDir folder;
            const std::vector<Bytes> volumes = SplitIntoVolumes(folder, whole, volumeSize);
            if (volumes.empty()) continue; // refused: no legal plan for this size
            const Joined joined = JoinVolumes(volumes, volumeSize);
            ASSERT_EQ(joined.problem, "");
            ASSERT_EQ(joined.names.size(), files.size());
            for (size_t i = 0; i < files.size(); i++) {
                EXPECT_EQ(joined.data[i], files[i].data) << files[i].name;
            }
        }
    }
    EXPECT_EQ(LeakedBlocks(), 0);
}

} // namespace
