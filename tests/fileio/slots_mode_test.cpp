// The open modes of all sixteen flag values: the runtime's mode string, and what an
// open really does to an existing file and to a missing one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fileio_fixture.h"
#include "support/scratch.h"

namespace {

struct ModeCase {
    int flags;
    const char* description;
    const char* mode;       // expected mode string, null for none
    bool createsMissing;    // a missing file is created
    bool reads;             // bytes can be read (after a seek to the start)
    const char* afterOpen;  // an existing "0123456789" right after the open and close
    const char* afterWrite; // the same file after writing "AB" at the open position
};

const char ORIGINAL[] = "0123456789";

const ModeCase MODE_CASES[] = {
    {0, "no flags", nullptr, false, false, ORIGINAL, ORIGINAL},
    {1, "read", "rb", false, true, ORIGINAL, ORIGINAL},
    {2, "write alone truncates, it does not update", "wb", true, false, "", "AB"},
    {3, "read and write update in place", "r+b", false, true, ORIGINAL, "AB23456789"},
    {4, "append", "ab", true, false, ORIGINAL, "0123456789AB"},
    {5, "read and append", "a+b", true, true, ORIGINAL, "0123456789AB"},
    {6, "write and append: append wins", "ab", true, false, ORIGINAL, "0123456789AB"},
    {7, "read, write and append", "a+b", true, true, ORIGINAL, "0123456789AB"},
    {8, "create", "wb", true, false, "", "AB"},
    {9, "read and create", "w+b", true, true, "", "AB"},
    {10, "write and create (output files)", "wb", true, false, "", "AB"},
    {11, "read, write and create (spanned temporary file)", "w+b", true, true, "", "AB"},
    {12, "append and create: create wins", "wb", true, false, "", "AB"},
    {13, "read, append and create", "w+b", true, true, "", "AB"},
    {14, "write, append and create", "wb", true, false, "", "AB"},
    {15, "every flag", "w+b", true, true, "", "AB"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ModeCase& c, std::ostream* out) { *out << c.description; }

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes FromText(const char* text) { return Bytes(text, text + std::strlen(text)); }

class SlotModeTest : public FileioTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(SlotModeTest, ModeString) {
    const ModeCase& c = GetParam();
    if (c.mode == nullptr)
        EXPECT_EQ(FileOpenMode(c.flags), nullptr);
    else
        EXPECT_STREQ(FileOpenMode(c.flags), c.mode);
}

TEST_P(SlotModeTest, OpenOfMissingFile) {
    const ModeCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("missing.bin");
    const int slot = FileOpen(path.c_str(), c.flags);
    if (c.mode == nullptr) {
        EXPECT_EQ(slot, ERR_BAD_ARGUMENT);
    } else if (c.createsMissing) {
        ASSERT_GE(slot, 0);
        EXPECT_EQ(FileClose(slot), 0);
    } else {
        EXPECT_EQ(slot, ERR_IO);
    }
    EXPECT_EQ(std::filesystem::exists(path), c.createsMissing);
}

TEST_P(SlotModeTest, ReadingAnExistingFile) {
    const ModeCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("data.bin");
    WriteFileBytes(path, FromText(ORIGINAL));
    const int slot = FileOpen(path.c_str(), c.flags);
    if (c.mode == nullptr) {
        EXPECT_EQ(slot, ERR_BAD_ARGUMENT);
    } else {
        ASSERT_GE(slot, 0);
        uint8_t buffer[4] = {};
        ASSERT_EQ(FileSeek(slot, 0, FILE_SEEK_START), 0);
        const int32_t got = FileRead(slot, buffer, sizeof buffer);
        if (c.reads && c.afterOpen[0] != '\0') {
            EXPECT_EQ(got, 4);
            EXPECT_EQ(std::string(buffer, buffer + 4), "0123");
        } else {
            EXPECT_EQ(got, 0);
        }
        EXPECT_EQ(FileClose(slot), 0);
    }
    EXPECT_EQ(Text(ReadFileBytes(path)), c.afterOpen);
}

TEST_P(SlotModeTest, WritingAnExistingFile) {
    const ModeCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("data.bin");
    WriteFileBytes(path, FromText(ORIGINAL));
    const int slot = FileOpen(path.c_str(), c.flags);
    if (c.mode == nullptr) {
        EXPECT_EQ(slot, ERR_BAD_ARGUMENT);
    } else {
        ASSERT_GE(slot, 0);
        const bool writes = (c.flags & ~FILE_READ) != 0;
        EXPECT_EQ(FileWrite(slot, "AB", 2), writes ? 2 : 0);
        EXPECT_EQ(FileClose(slot), 0);
    }
    EXPECT_EQ(Text(ReadFileBytes(path)), c.afterWrite);
}

INSTANTIATE_TEST_SUITE_P(AllFlagValues, SlotModeTest, ::testing::ValuesIn(MODE_CASES),
                         [](const ::testing::TestParamInfo<ModeCase>& flagsCase) {
                             return "Flags" + std::to_string(flagsCase.param.flags);
                         });

TEST_F(FileioTest, FlagsBeyondTheFourAreIgnored) {
    EXPECT_EQ(FileOpenMode(16), nullptr);
    EXPECT_STREQ(FileOpenMode(16 | FILE_READ), "rb");
}

} // namespace
