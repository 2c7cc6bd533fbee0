// Unique temporary names: numbering shared across calls, names of existing files
// skipped, the prefix rules, the separator rule, exhaustion and refusals.
#include <gtest/gtest.h>

#include <string>

#include "fileio_fixture.h"
#include "support/scratch.h"

namespace {

class TempNameTest : public FileioTest {
protected:
    // The name for folder and prefix as a string (freed here); "<null>" for none.
    std::string TakeWith(const char* folder, char* prefix) {
        char* name = TempFileName(folder, prefix);
        if (name == nullptr) return "<null>";
        std::string text(name);
        MemFree(name);
        return text;
    }
    std::string Take(const std::string& folder, const char* prefix) {
        std::string writable(prefix);
        return TakeWith(folder.c_str(), &writable[0]);
    }

    // The scratch folder as the engine names it, without a trailing separator.
    std::string Folder() const { return m_dir.path().string(); }

    ScratchDir m_dir;
};

TEST_F(TempNameTest, FirstNameOfTheProcessUsesNumberOne) {
    const std::string name = Take(Folder(), "");
    EXPECT_EQ(name, Folder() + "\\CX00001.$$$");
    EXPECT_EQ(g_tempCounter, 1u);
    EXPECT_EQ(FileExists(name.c_str()), 0); // the name is only chosen, not created
    EXPECT_EQ(LeakedBlocks(), 0);
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        EXPECT_EQ(FileGetSlot(slot), nullptr);
}

TEST_F(TempNameTest, NoSecondSeparatorAndPrefixCutInTheCallersString) {
    EXPECT_EQ(Take(Folder() + "\\", ""), Folder() + "\\CX00001.$$$");
    char prefix[] = "ABCDE";
    EXPECT_EQ(TakeWith((Folder() + "\\").c_str(), prefix), Folder() + "\\ABC00002.$$$");
    EXPECT_STREQ(prefix, "ABC");
}

TEST_F(TempNameTest, ShortPrefixesAreKeptWhole) {
    char three[] = "XYZ";
    EXPECT_EQ(TakeWith(Folder().c_str(), three), Folder() + "\\XYZ00001.$$$");
    EXPECT_STREQ(three, "XYZ");
    EXPECT_EQ(Take(Folder(), "Q"), Folder() + "\\Q00002.$$$");
}

TEST_F(TempNameTest, EmptyFolderGivesARelativeName) { EXPECT_EQ(Take(std::string(), "CX"), "CX00001.$$$"); }

TEST_F(TempNameTest, NamesOfExistingFilesAreSkipped) {
    WriteFileBytes(m_dir.file("CX00001.$$$"), {1});
    WriteFileBytes(m_dir.file("CX00002.$$$"), {});
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX00003.$$$");
    EXPECT_EQ(g_tempCounter, 3u);
    // The probes closed what they opened.
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        EXPECT_EQ(FileGetSlot(slot), nullptr);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(TempNameTest, LaterCallsContinueAfterTheLastNumber) {
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX00001.$$$");
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX00002.$$$"); // even though 00001 was never created
    WriteFileBytes(m_dir.file("CX00003.$$$"), {1});
    EXPECT_EQ(Take(Folder(), "AB"), Folder() + "\\AB00003.$$$"); // another prefix, the same counter
}

TEST_F(TempNameTest, ExistingNameIsSkippedEvenWhenNoSlotIsFree) {
    // The probe cannot open anything now, yet CX00001.$$$ exists and must not be
    // handed out: its user would create it anew and lose what it holds.
    WriteFileBytes(m_dir.file("CX00001.$$$"), {1, 2, 3});
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        ASSERT_EQ(FileReserveSlot(slot), 0);
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX00002.$$$");
    EXPECT_EQ(ReadFileBytes(m_dir.file("CX00001.$$$")), (Bytes{1, 2, 3}));
}

TEST_F(TempNameTest, CounterStopsAtTheLimit) {
    g_tempCounter = 65533;
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX65534.$$$");
    EXPECT_EQ(Take(Folder(), "CX"), "<null>");
    EXPECT_EQ(g_tempCounter, 65535u);
    EXPECT_EQ(Take(Folder(), "CX"), "<null>");
    EXPECT_EQ(g_tempCounter, 65535u); // stays, so it never wraps round to used numbers
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(TempNameTest, LastFreeNumberTakenGivesNull) {
    g_tempCounter = 65533;
    WriteFileBytes(m_dir.file("CX65534.$$$"), {1});
    EXPECT_EQ(Take(Folder(), "CX"), "<null>");
    EXPECT_EQ(g_tempCounter, 65535u);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(TempNameTest, NullArgumentsGiveNull) {
    char prefix[] = "CX";
    EXPECT_EQ(TempFileName(nullptr, prefix), nullptr);
    EXPECT_EQ(TempFileName(Folder().c_str(), nullptr), nullptr);
    EXPECT_EQ(g_tempCounter, 0u);
    EXPECT_EQ(LeakedBlocks(), 0);
}

TEST_F(TempNameTest, NoMemoryGivesNullWithoutLeaks) {
    for (long successes : {0L, 1L}) { // the name buffer, then the number buffer
        SCOPED_TRACE(successes);
        MemFailAfter(successes);
        EXPECT_EQ(Take(Folder(), "CX"), "<null>");
        MemReset();
        EXPECT_EQ(LeakedBlocks(), 0);
    }
    EXPECT_EQ(Take(Folder(), "CX"), Folder() + "\\CX00001.$$$");
}

TEST_F(TempNameTest, FolderTooLongForTheBufferIsRefused) {
    // Folder, separator, three-byte prefix, "00001.$$$" and the NUL: 261 bytes at most.
    const std::string fits = "Q:\\" + std::string(TEMP_NAME_SIZE - 1 - 1 - 3 - TEMP_NUMBER_LENGTH - 3, 'd');
    ASSERT_EQ(fits.size(), 247u);
    const std::string name = Take(fits, "ABC");
    EXPECT_EQ(name, fits + "\\ABC00001.$$$");
    EXPECT_EQ(name.size(), static_cast<size_t>(PATH_MAX_LENGTH));

    EXPECT_EQ(Take(fits + "d", "ABC"), "<null>");
    EXPECT_EQ(Take(fits + "d", "CX"), fits + "d\\CX00002.$$$"); // a shorter prefix still fits
    EXPECT_EQ(Take(fits + std::string(400, 'd'), "CX"), "<null>");
    EXPECT_EQ(g_tempCounter, 2u);
    EXPECT_EQ(LeakedBlocks(), 0);
}

class TempNameCodePage932Test : public FileioCodePage932Test {
protected:
    std::string Take(const char* folder, const char* prefix) {
        std::string writable(prefix);
        char* name = TempFileName(folder, &writable[0]);
        m_prefix = writable.c_str();
        if (name == nullptr) return "<null>";
        std::string text(name);
        MemFree(name);
        return text;
    }
    std::string m_prefix; // the caller's prefix after the call
};

TEST_F(TempNameCodePage932Test, TrailByte0x5CEndingTheFolderIsNoSeparator) {
    EXPECT_EQ(Take("Q:\\\x95\x5C", "CX"), "Q:\\\x95\x5C\\CX00001.$$$");
    EXPECT_EQ(Take("Q:\\\x95\x5C\\", "CX"), "Q:\\\x95\x5C\\CX00002.$$$");
}

TEST_F(TempNameCodePage932Test, PrefixIsNeverCutThroughACharacter) {
    EXPECT_EQ(Take("Q:\\T", "AB\x95\x5C"), "Q:\\T\\AB00001.$$$");
    EXPECT_EQ(m_prefix, "AB");
    EXPECT_EQ(Take("Q:\\T",
                   "\x95\x5C"
                   "CD"),
              "Q:\\T\\\x95\x5C"
              "C00002.$$$");
    EXPECT_EQ(m_prefix,
              "\x95\x5C"
              "C");
}

} // namespace
