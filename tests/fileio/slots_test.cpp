// The slot table: opening into the lowest free slot, exhaustion, the kept path,
// closing, reading and writing refusals, positions, and reserve, release, swap, get.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "fileio_fixture.h"
#include "support/scratch.h"

namespace {

std::string AsciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

class SlotsTest : public FileioTest {
protected:
    std::string Path(int i) const { return m_dir.file("f" + std::to_string(i) + ".bin"); }

    // Opens count new files with the output flags; they must land in 0..count-1.
    void OpenMany(int count) {
        for (int i = 0; i < count; i++)
            ASSERT_EQ(FileOpen(Path(i).c_str(), FILE_WRITE | FILE_CREATE), i);
    }

    // A file of the given bytes, opened for reading.
    int OpenWith(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir.file(name);
        WriteFileBytes(path, bytes);
        return FileOpen(path.c_str(), FILE_READ);
    }

    ScratchDir m_dir;
};

TEST_F(SlotsTest, RefusedArgumentsTouchNoFile) {
    const std::string path = m_dir.file("never.bin");
    EXPECT_EQ(FileOpen(path.c_str(), 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FileOpen(path.c_str(), 16), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FileOpen(nullptr, FILE_READ), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FileOpen(nullptr, FILE_WRITE | FILE_CREATE), ERR_BAD_ARGUMENT);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(FileGetSlot(0), nullptr);
}

TEST_F(SlotsTest, FailedOpensUseNoSlot) {
    EXPECT_EQ(FileOpen("", FILE_READ), ERR_IO);
    EXPECT_EQ(FileOpen("", FILE_WRITE | FILE_CREATE), ERR_IO);
    EXPECT_EQ(FileOpen(m_dir.file("missing.bin").c_str(), FILE_READ), ERR_IO);
    EXPECT_EQ(FileOpen(m_dir.file("no-folder/new.bin").c_str(), FILE_WRITE | FILE_CREATE), ERR_IO);
    EXPECT_EQ(FileGetSlot(0), nullptr);
    EXPECT_EQ(FileOpen(Path(0).c_str(), FILE_WRITE | FILE_CREATE), 0);
}

TEST_F(SlotsTest, TwentyFirstOpenIsRefusedButHasCreatedItsFile) {
    OpenMany(FILE_SLOT_COUNT);
    const std::string extra = m_dir.file("extra.bin");
    EXPECT_EQ(FileOpen(extra.c_str(), FILE_WRITE | FILE_CREATE), ERR_NO_SLOT);
    ASSERT_TRUE(std::filesystem::exists(extra));
    EXPECT_EQ(std::filesystem::file_size(extra), 0u);
    EXPECT_EQ(LeakedBlocks(), FILE_SLOT_COUNT); // one kept path per open slot, none for the refused open
    // The refused stream was closed: on Windows an open file could not be deleted.
    EXPECT_EQ(FileDelete(extra.c_str()), 0);
}

TEST_F(SlotsTest, ClosedSlotIsReusedReservedSlotIsNot) {
    OpenMany(FILE_SLOT_COUNT);
    ASSERT_EQ(FileClose(3), 0);
    EXPECT_EQ(FileOpen(Path(3).c_str(), FILE_READ), 3);

    ASSERT_EQ(FileClose(3), 0);
    ASSERT_EQ(FileReserveSlot(3), 0);
    EXPECT_EQ(FileOpen(Path(3).c_str(), FILE_READ), ERR_NO_SLOT);
    EXPECT_EQ(FileGetSlot(3)->state, SLOT_RESERVED);
}

TEST_F(SlotsTest, KeptPathIsUpperCasedWhileTheOpenUsesThePathAsGiven) {
    g_upperCaseNames = 0; // the kept path is folded whatever the switch says
    const std::string path = m_dir.file("data.bin");
    const int slot = FileOpen(path.c_str(), FILE_WRITE | FILE_CREATE);
    ASSERT_EQ(slot, 0);
    ASSERT_NE(FileGetSlot(slot), nullptr);
    EXPECT_EQ(std::string(FileGetSlot(slot)->path), AsciiUpper(path));
    EXPECT_EQ(path, m_dir.file("data.bin")); // the caller's string is left alone

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"data.bin"});
}

TEST_F(SlotsTest, CloseTwiceAndCloseOfWhatIsNotOpen) {
    const int slot = OpenWith("a.bin", {1, 2, 3});
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(FileClose(slot), 0);
    EXPECT_EQ(FileClose(slot), ERR_BAD_HANDLE);
    EXPECT_EQ(FileClose(-1), ERR_BAD_HANDLE);
    EXPECT_EQ(FileClose(FILE_SLOT_COUNT), ERR_BAD_HANDLE);
    EXPECT_EQ(FileClose(INT_MIN), ERR_BAD_HANDLE);

    ASSERT_EQ(FileReserveSlot(5), 0);
    EXPECT_EQ(FileClose(5), ERR_BAD_HANDLE);
    EXPECT_EQ(FileGetSlot(5)->state, SLOT_RESERVED);
    EXPECT_EQ(LeakedBlocks(), 0);
}

struct RefusalCase {
    const char* description;
    int slot; // kOpen: the open slot
    bool nullBuffer;
    int32_t count;
};
constexpr int kOpen = 100;

const RefusalCase REFUSAL_CASES[] = {
    {"count 0", kOpen, false, 0},
    {"null buffer", kOpen, true, 4},
    {"negative count", kOpen, false, -1},
    {"most negative count", kOpen, false, INT32_MIN},
    {"slot -1", -1, false, 4},
    {"slot 20", FILE_SLOT_COUNT, false, 4},
    {"free slot", 7, false, 4},
    {"reserved slot", 8, false, 4},
};

TEST_F(SlotsTest, ReadAndWriteRefusalsMoveNothing) {
    const std::string path = m_dir.file("data.bin");
    const Bytes original = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    WriteFileBytes(path, original);
    const int open = FileOpen(path.c_str(), FILE_READ | FILE_WRITE);
    ASSERT_EQ(open, 0);
    ASSERT_EQ(FileReserveSlot(8), 0);
    for (const RefusalCase& c : REFUSAL_CASES) {
        SCOPED_TRACE(c.description);
        const int slot = c.slot == kOpen ? open : c.slot;
        uint8_t buffer[4] = {'x', 'x', 'x', 'x'};
        EXPECT_EQ(FileRead(slot, c.nullBuffer ? nullptr : buffer, c.count), 0);
        EXPECT_EQ(FileWrite(slot, c.nullBuffer ? nullptr : buffer, c.count), 0);
        EXPECT_EQ(buffer[0], 'x');
        EXPECT_EQ(FileTell(open), 0);
    }
    ASSERT_EQ(FileClose(open), 0);
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(SlotsTest, ReadComesUpShortAtEndOfFile) {
    const int slot = OpenWith("ten.bin", Bytes(10, 0x41));
    ASSERT_EQ(slot, 0);
    uint8_t buffer[16] = {};
    EXPECT_EQ(FileRead(slot, buffer, 16), 10);
    EXPECT_EQ(FileRead(slot, buffer, 16), 0);
}

TEST_F(SlotsTest, WriteThenReadBackThroughAnotherSlot) {
    const std::string path = m_dir.file("out.bin");
    const int out = FileOpen(path.c_str(), FILE_WRITE | FILE_CREATE);
    ASSERT_EQ(out, 0);
    EXPECT_EQ(FileWrite(out, "\x00\x01\xFE\xFF", 4), 4);
    EXPECT_EQ(FileTell(out), 4);
    ASSERT_EQ(FileClose(out), 0);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{0x00, 0x01, 0xFE, 0xFF}));
}

TEST_F(SlotsTest, SeekReportsTheNewAbsolutePosition) {
    const int slot = OpenWith("ten.bin", Bytes(10, 0x41));
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(FileSeek(slot, 0, FILE_SEEK_END), 10);
    EXPECT_EQ(FileSeek(slot, 5, FILE_SEEK_START), 5);
    EXPECT_EQ(FileSeek(slot, 10, FILE_SEEK_CURRENT), 15); // past the end is allowed
    EXPECT_EQ(FileTell(slot), 15);
    EXPECT_EQ(FileGetByte(slot), -1);
    EXPECT_EQ(FileSeek(slot, -3, FILE_SEEK_END), 7);
    EXPECT_EQ(FileSeek(slot, -1, FILE_SEEK_START), -1);
    EXPECT_EQ(FileTell(slot), 7);
}

TEST_F(SlotsTest, SeekAndTellRefusals) {
    const int slot = OpenWith("ten.bin", Bytes(10, 0x41));
    ASSERT_EQ(slot, 0);
    ASSERT_EQ(FileSeek(slot, 4, FILE_SEEK_START), 4);
    EXPECT_EQ(FileSeek(slot, 0, 3), -1);
    EXPECT_EQ(FileSeek(slot, 0, -1), -1);
    EXPECT_EQ(FileTell(slot), 4);
    ASSERT_EQ(FileReserveSlot(2), 0);
    for (int other : std::initializer_list<int>{-1, 2, 5, FILE_SLOT_COUNT, 25}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(FileSeek(other, 0, FILE_SEEK_START), -1);
        EXPECT_EQ(FileTell(other), -1);
    }
}

TEST_F(SlotsTest, GetByteReturnsBytesAsUnsignedThenMinusOneAtEnd) {
    const int slot = OpenWith("bytes.bin", {0x00, 0x7F, 0x80, 0xFF});
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(FileGetByte(slot), 0x00);
    EXPECT_EQ(FileGetByte(slot), 0x7F);
    EXPECT_EQ(FileGetByte(slot), 0x80);
    EXPECT_EQ(FileGetByte(slot), 0xFF);
    EXPECT_EQ(FileGetByte(slot), -1);
    EXPECT_EQ(FileGetByte(slot), -1);
}

TEST_F(SlotsTest, GetByteOnWhatIsNotAnOpenSlot) {
    ASSERT_EQ(FileReserveSlot(3), 0);
    for (int slot : std::initializer_list<int>{25, FILE_SLOT_COUNT, -1, INT_MIN, 0, 3}) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(FileGetByte(slot), -1);
    }
}

TEST_F(SlotsTest, SwapOfOneNumberOrOfANumberOutOfRangeChangesNothing) {
    OpenMany(5);
    int p = 4, q = 4;
    EXPECT_EQ(FileSwapSlots(&p, &q), -1);
    EXPECT_EQ(FileSwapSlots(&p, &p), -1);
    EXPECT_EQ(p, 4);
    EXPECT_EQ(q, 4);

    q = 21;
    EXPECT_EQ(FileSwapSlots(&p, &q), ERR_BAD_HANDLE);
    EXPECT_EQ(FileSwapSlots(&q, &p), ERR_BAD_HANDLE);
    int negative = -1;
    EXPECT_EQ(FileSwapSlots(&negative, &p), ERR_BAD_HANDLE);
    EXPECT_EQ(p, 4);
    EXPECT_EQ(q, 21);
    EXPECT_EQ(negative, -1);
    ASSERT_NE(FileGetSlot(4), nullptr);
    EXPECT_EQ(std::string(FileGetSlot(4)->path), AsciiUpper(Path(4)));

    EXPECT_EQ(FileSwapSlots(nullptr, &p), ERR_BAD_ARGUMENT);
    EXPECT_EQ(FileSwapSlots(&p, nullptr), ERR_BAD_ARGUMENT);
}

TEST_F(SlotsTest, SwapMovesEachFileUnderTheOtherNumber) {
    for (int i = 0; i < 8; i++) {
        const std::string name = i == 2 ? "x.bin" : i == 7 ? "y.bin" : "f" + std::to_string(i) + ".bin";
        const uint8_t content = i == 2 ? 'X' : i == 7 ? 'Y' : '-';
        ASSERT_EQ(OpenWith(name, {content}), i);
    }
    int p = 2, q = 7;
    EXPECT_EQ(FileSwapSlots(&p, &q), 0);
    EXPECT_EQ(p, 7);
    EXPECT_EQ(q, 2);
    EXPECT_EQ(std::string(FileGetSlot(7)->path), AsciiUpper(m_dir.file("x.bin")));
    EXPECT_EQ(std::string(FileGetSlot(2)->path), AsciiUpper(m_dir.file("y.bin")));
    EXPECT_EQ(FileGetByte(p), 'X');
    EXPECT_EQ(FileGetByte(q), 'Y');
}

TEST_F(SlotsTest, SwapCarriesTheStateAlong) {
    OpenMany(3);
    ASSERT_EQ(FileReserveSlot(5), 0);
    int open = 2, reserved = 5;
    EXPECT_EQ(FileSwapSlots(&open, &reserved), 0);
    EXPECT_EQ(FileGetSlot(2)->state, SLOT_RESERVED);
    EXPECT_EQ(FileGetSlot(2)->stream, nullptr);
    EXPECT_EQ(FileGetSlot(5)->state, SLOT_OPEN);

    int moved = 5, empty = 10;
    EXPECT_EQ(FileSwapSlots(&moved, &empty), 0);
    EXPECT_EQ(FileGetSlot(5), nullptr);
    ASSERT_NE(FileGetSlot(10), nullptr);
    EXPECT_EQ(std::string(FileGetSlot(10)->path), AsciiUpper(Path(2)));
    EXPECT_EQ(FileClose(10), 0);
    EXPECT_EQ(FileReleaseSlot(2), 0);
}

struct StateCase {
    const char* description;
    int slot; // 0 is open, 1 reserved, 2 free
    int reserveResult;
    int releaseResult;
};

const StateCase STATE_CASES[] = {
    {"open slot", 0, ERR_BAD_HANDLE, ERR_BAD_HANDLE},
    {"reserved slot", 1, ERR_BAD_HANDLE, 0},
    {"slot -1", -1, ERR_BAD_HANDLE, ERR_BAD_HANDLE},
    {"slot 20", FILE_SLOT_COUNT, ERR_BAD_HANDLE, ERR_BAD_HANDLE},
};

TEST_F(SlotsTest, ReserveAndReleaseInEveryState) {
    for (const StateCase& c : STATE_CASES) {
        SCOPED_TRACE(c.description);
        FileResetSlots();
        ASSERT_EQ(FileOpen(m_dir.file("open.bin").c_str(), FILE_WRITE | FILE_CREATE), 0);
        ASSERT_EQ(FileReserveSlot(1), 0);
        EXPECT_EQ(FileReserveSlot(c.slot), c.reserveResult);
        EXPECT_EQ(FileReleaseSlot(c.slot), c.releaseResult);
        ASSERT_NE(FileGetSlot(0), nullptr);
        EXPECT_EQ(FileGetSlot(0)->state, SLOT_OPEN);
    }
}

TEST_F(SlotsTest, ReserveReleaseCycleOfAFreeSlot) {
    EXPECT_EQ(FileReleaseSlot(0), ERR_BAD_HANDLE);
    EXPECT_EQ(FileGetSlot(0), nullptr);
    ASSERT_EQ(FileReserveSlot(0), 0);
    const FileSlot* reserved = FileGetSlot(0);
    ASSERT_NE(reserved, nullptr);
    EXPECT_EQ(reserved->state, SLOT_RESERVED);
    EXPECT_EQ(reserved->stream, nullptr);
    EXPECT_EQ(reserved->path, nullptr);

    EXPECT_EQ(FileOpen(Path(0).c_str(), FILE_WRITE | FILE_CREATE), 1); // 0 is held back
    EXPECT_EQ(FileReleaseSlot(0), 0);
    EXPECT_EQ(FileGetSlot(0), nullptr);
    EXPECT_EQ(FileReleaseSlot(0), ERR_BAD_HANDLE);
    EXPECT_EQ(FileOpen(Path(0).c_str(), FILE_READ), 0);
}

TEST_F(SlotsTest, GetSlotOfOpenFreeAndOutOfRange) {
    ASSERT_EQ(OpenWith("a.bin", {1}), 0);
    const FileSlot* open = FileGetSlot(0);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->state, SLOT_OPEN);
    EXPECT_NE(open->stream, nullptr);
    EXPECT_EQ(FileGetSlot(1), nullptr);
    EXPECT_EQ(FileGetSlot(-1), nullptr);
    EXPECT_EQ(FileGetSlot(FILE_SLOT_COUNT), nullptr);
}

TEST_F(SlotsTest, NoMemoryForTheKeptPath) {
    const std::string path = m_dir.file("new.bin");
    MemFailAfter(0);
    EXPECT_EQ(FileOpen(path.c_str(), FILE_WRITE | FILE_CREATE), ERR_NO_MEMORY);
    EXPECT_TRUE(std::filesystem::exists(path)); // opened before the copy was asked for
    EXPECT_EQ(FileGetSlot(0), nullptr);
    MemReset();
    MemFailFrom(path.size() + 1);
    EXPECT_EQ(FileOpen(path.c_str(), FILE_READ), ERR_NO_MEMORY);
    MemReset();
    EXPECT_EQ(LeakedBlocks(), 0);
    EXPECT_EQ(FileDelete(path.c_str()), 0); // both refused streams were closed
    EXPECT_EQ(FileOpen(Path(0).c_str(), FILE_WRITE | FILE_CREATE), 0);
}

TEST_F(SlotsTest, ResetClosesOpenSlotsAndFreesReservedOnes) {
    OpenMany(3);
    ASSERT_EQ(FileReserveSlot(3), 0);
    FileResetSlots();
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        EXPECT_EQ(FileGetSlot(slot), nullptr);
    EXPECT_EQ(LeakedBlocks(), 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(FileDelete(Path(i).c_str()), 0);
}

TEST_F(FileioCodePage932Test, KeptPathKeepsTrailBytesThatLookLikeLetters) {
    ScratchDir dir;
    const std::string folder =
        dir.path().string() + static_cast<char>(std::filesystem::path::preferred_separator);
    // "\x82\x61" and "\x82\x62" are double-byte characters whose trail bytes are 'a' and 'b'.
    std::string tail = "x\x82\x61y\x82\x62.bin";
    int slot = FileOpen((folder + tail).c_str(), FILE_WRITE | FILE_CREATE);
    if (slot == ERR_IO) {
        // A system that cannot store such a name may still take it in a folder
        // component that ".." removes again before the file is looked up.
        tail = "x\x82\x61y\x82\x62\\..\\plain.bin";
        slot = FileOpen((folder + tail).c_str(), FILE_WRITE | FILE_CREATE);
    }
    if (slot == ERR_IO) GTEST_SKIP() << "this system takes no names with double-byte characters";
    ASSERT_EQ(slot, 0);
    const std::string kept = FileGetSlot(slot)->path;
    std::string expected = tail;
    for (size_t i = 0; i < expected.size(); i++) {
        const bool trail = i > 0 && expected[i - 1] == '\x82';
        if (!trail && expected[i] >= 'a' && expected[i] <= 'z')
            expected[i] = static_cast<char>(expected[i] - 32);
    }
    ASSERT_GE(kept.size(), tail.size());
    EXPECT_EQ(kept.substr(kept.size() - tail.size()), expected);
    EXPECT_NE(expected.find("X\x82\x61Y\x82\x62"), std::string::npos);
    EXPECT_EQ(FileClose(slot), 0);
}

} // namespace
