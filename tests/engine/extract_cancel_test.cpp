// Cancelling through the descriptor's status word, at every event that allows it.
// Once a handler has set STATUS_CANCEL, no later entry is touched: its file is neither
// created nor emptied.
#include "extract_fixture.h"

namespace {

const uint32_t MIB = 1024 * 1024;

// Three entries; the third's file exists beforehand and must survive any cancel.
Bytes ThreeEntries() {
    return PlainArchive({Stored("ONE.BIN", RandomData(2 * MIB + 5)), Crushed("TWO.TXT", TextData(10000)),
                         Stored("THREE.TXT", TextData(50))});
}
const Bytes EARLIER = TextData(77, 99);

class ExtractCancelTest : public ExtractTest {
protected:
    void SetUp() override {
        ExtractTest::SetUp();
        WriteFileBytes(OutFile("THREE.TXT"), EARLIER);
    }
    void ExpectThirdUntouched() {
        EXPECT_EQ(ReadFileBytes(OutFile("THREE.TXT")), EARLIER);
        EXPECT_EQ(ExtractWalkResult(), ERR_CANCELLED);
        EXPECT_EQ(BusySlots(), 0);
        EXPECT_EQ(LeakedBlocks(), 0);
    }
};

TEST_F(ExtractCancelTest, AtTheSearchForTheFirstEntry) {
    m_onEvent = CancelAt(EVT_SEARCH_PROGRESS);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(m_events, (Evs{{EVT_SEARCH_PROGRESS, 0}}));
    EXPECT_EQ(Tree(m_out), (std::set<std::string>{"THREE.TXT"}));
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtStoredProgress) {
    // The copy stops before its next buffer: the file holds the first MiB.
    m_onEvent = CancelAt(EVT_PROGRESS, MIB);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_BEGIN, 0}, {EVT_PROGRESS, MIB}}));
    EXPECT_EQ(ReadFileBytes(OutFile("ONE.BIN")).size(), MIB);
    EXPECT_FALSE(OutExists("TWO.TXT"));
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtStoredBegin) {
    m_onEvent = CancelAt(EVT_ENTRY_BEGIN);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_BEGIN, 0}}));
    EXPECT_EQ(ReadFileBytes(OutFile("ONE.BIN")), Bytes());
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtCrushedProgress) {
    // The chunk announced by the event is still decoded and written, then the loop
    // stops: 4096 + 4096 bytes for a cancel at the second event.
    m_onEvent = CancelAt(EVT_PROGRESS, 4096);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(EntryEvents(), (Evs{{EVT_ENTRY_BEGIN, 0},
                                  {EVT_PROGRESS, static_cast<int32_t>(MIB)},
                                  {EVT_PROGRESS, static_cast<int32_t>(2 * MIB)},
                                  {EVT_ENTRY_DONE, 0},
                                  {EVT_PROGRESS, 0},
                                  {EVT_PROGRESS, 4096}}));
    const Bytes text = TextData(10000);
    EXPECT_EQ(ReadFileBytes(OutFile("TWO.TXT")), Bytes(text.begin(), text.begin() + 8192));
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtTheLastCrushedChunk) {
    // Cancelled during the last chunk's event: the whole file is written, yet the
    // entry is not reported done.
    m_onEvent = CancelAt(EVT_PROGRESS, 8192);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(m_done.size(), 1u);
    EXPECT_EQ(ReadFileBytes(OutFile("TWO.TXT")), TextData(10000));
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtEntryDone) {
    m_onEvent = CancelAt(EVT_ENTRY_DONE);
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    EXPECT_EQ(m_done.size(), 1u);
    EXPECT_FALSE(OutExists("TWO.TXT"));
    ExpectThirdUntouched();
}

TEST_F(ExtractCancelTest, AtSkippedEntries) {
    // A status written while an entry is skipped does not change that skip, and stops
    // every later entry.
    for (int32_t code : {EVT_NO_EXTRACT, EVT_UNKNOWN_METHOD, EVT_UNSAFE_NAME, EVT_ENTRY_FAILED}) {
        SCOPED_TRACE(code);
        m_events.clear();
        EntrySpec first = Stored("FIRST.TXT", TextData(10));
        if (code == EVT_NO_EXTRACT) first.flags |= ENTRY_NO_EXTRACT;
        if (code == EVT_UNKNOWN_METHOD) first.method = 3;
        if (code == EVT_UNSAFE_NAME) first.name = "..\\FIRST.TXT";
        if (code == EVT_ENTRY_FAILED)
            first.change = [](EntryHeaderFields* h) { h->block.uncompressed_size = 1; };
        m_onEvent = CancelAt(code);
        ASSERT_EQ(Extract(PlainArchive({first, Stored("THREE.TXT", TextData(50))})), 0);
        EXPECT_EQ(EntryEvents().size(), 1u);
        EXPECT_EQ(EntryEvents()[0].code, code);
        ExpectThirdUntouched();
    }
}

TEST_F(ExtractCancelTest, ByTheOverwriteQuery) {
    // The query may cancel too: its entry is asked no further (the answer is no), and
    // the walk ends.
    WriteFileBytes(OutFile("ONE.BIN"), EARLIER);
    SetOverwriteQuery([](EntryDescriptor* desc, int32_t, int32_t) {
        desc->status = STATUS_CANCEL;
        return 0;
    });
    ASSERT_EQ(Extract(ThreeEntries()), 0);
    SetOverwriteQuery(nullptr);
    EXPECT_TRUE(EntryEvents().empty());
    EXPECT_EQ(ReadFileBytes(OutFile("ONE.BIN")), EARLIER);
    ExpectThirdUntouched();
}

TEST_F(ExtractTest, ExtractEntryReportsCancelForEitherMethod) {
    // Straight through ExtractEntry with a descriptor that is already cancelled: no
    // copy starts, no EVT_ENTRY_DONE, and the input stands behind the entry's data.
    for (int method : {METHOD_STORED, METHOD_CRUSHED}) {
        SCOPED_TRACE(method);
        EntrySpec entry =
            method == METHOD_STORED ? Stored("E.TXT", TextData(5000)) : Crushed("E.TXT", TextData(5000));
        const Bytes archive = PlainArchive({entry, Stored("NEXT.TXT", TextData(3))});
        const std::string path = Put("ENTRY.ARQ", archive);
        EntryDescriptor desc;
        std::memset(&desc, 0, sizeof desc);
        desc.input_slot = FileOpen(path.c_str(), FILE_READ);
        ASSERT_GE(desc.input_slot, 0);
        ASSERT_EQ(ReadEntryHeader(&desc), 0);
        const std::string target = Joined("E.TXT");
        std::strcpy(desc.name, target.c_str());
        desc.output_slot = FileOpen(desc.name, FILE_WRITE | FILE_CREATE);
        ASSERT_GE(desc.output_slot, 0);
        desc.status = STATUS_CANCEL;
        m_events.clear();
        SetEventHandler(EVENT_SLOT_MAIN, Record);
        EXPECT_EQ(ExtractEntry(&desc), ERR_CANCELLED);
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        const Evs expected = method == METHOD_STORED ? Evs{{EVT_ENTRY_BEGIN, 0}} : Evs{};
        EXPECT_EQ(m_events, expected);
        desc.status = 0;
        EXPECT_EQ(ReadEntryHeader(&desc), 0);
        EXPECT_STREQ(desc.name, "NEXT.TXT");
        FileClose(desc.output_slot);
        FileClose(desc.input_slot);
        DecoderRelease();
    }
}

} // namespace
