// The ANSI code page: lead bytes, stepping back over double-byte characters, and
// the one formatting call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform_fixture.h"

namespace {

// Under Wine the code page comes from the locale of the run; a run that sets
// VARDOK_EXPECT_CODEPAGE must not quietly skip its cases.
bool SwitchCodePage(unsigned codePage) {
    if (PlatSetCodePage(codePage)) return true;
    const char* expected = getenv("VARDOK_EXPECT_CODEPAGE");
    if (expected && strtoul(expected, nullptr, 10) == codePage)
        ADD_FAILURE() << "code page " << codePage << " expected but " << PlatCodePage() << " in force";
    return false;
}

struct LeadByteCase {
    unsigned char byte;
    int lead;
};

// The lead-byte ranges published for each code page.
void CheckLeadBytes(const LeadByteCase* cases, size_t count, unsigned codePage) {
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(PlatIsLeadByte(cases[i].byte), cases[i].lead)
            << "code page " << codePage << ", byte 0x" << std::hex << int(cases[i].byte);
}

class PlatformCodePage : public PlatformTest {};
class PlatformCodePage932 : public PlatformTest {};

TEST_F(PlatformCodePage, Windows1252HasNoLeadBytes) {
    if (!SwitchCodePage(1252)) GTEST_SKIP() << "code page 1252 is not in force";
    EXPECT_EQ(PlatCodePage(), 1252u);
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(PlatIsLeadByte(static_cast<unsigned char>(byte)), 0) << byte;
}

TEST_F(PlatformCodePage932, LeadBytes) {
    if (!SwitchCodePage(932)) GTEST_SKIP() << "code page 932 is not in force";
    EXPECT_EQ(PlatCodePage(), 932u);
    const LeadByteCase cases[] = {
        {0x00, 0}, {0x41, 0}, {0x5C, 0}, {0x7F, 0}, {0x80, 0}, {0x81, 1},
        {0x9F, 1}, {0xA0, 0}, {0xA1, 0}, // half-width katakana: single bytes
        {0xDF, 0}, {0xE0, 1}, {0xEF, 1}, {0xFC, 1}, {0xFD, 0}, {0xFF, 0},
    };
    CheckLeadBytes(cases, sizeof cases / sizeof cases[0], 932);
}

TEST_F(PlatformCodePage, DoubleByteCodePagesLeadFrom81ToFE) {
    const unsigned pages[] = {936, 949, 950};
    const LeadByteCase cases[] = {
        {0x00, 0}, {0x40, 0}, {0x5C, 0}, {0x80, 0}, {0x81, 1}, {0xA1, 1}, {0xFE, 1}, {0xFF, 0},
    };
    for (unsigned page : pages) {
        if (!SwitchCodePage(page)) GTEST_SKIP() << "code page " << page << " is not in force";
        EXPECT_EQ(PlatCodePage(), page);
        CheckLeadBytes(cases, sizeof cases / sizeof cases[0], page);
    }
}

TEST_F(PlatformCodePage, UnknownCodePagesAreRefused) {
    unsigned before = PlatCodePage();
    EXPECT_EQ(PlatSetCodePage(0), 0);
    EXPECT_EQ(PlatSetCodePage(65001), 0);
    EXPECT_EQ(PlatCodePage(), before);
}

struct CharPrevCase {
    const char* text;
    size_t current;  // offset handed in
    size_t expected; // offset of the character before it
    const char* description;
};

void CheckCharPrev(const CharPrevCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const char* text = cases[i].text;
        EXPECT_EQ(PlatCharPrev(text, text + cases[i].current), text + cases[i].expected)
            << cases[i].description;
    }
}

TEST_F(PlatformCodePage932, CharPrevSkipsTrailBytes) {
    if (!SwitchCodePage(932)) GTEST_SKIP() << "code page 932 is not in force";
    const CharPrevCase cases[] = {
        {"A\x81\x5C", 3, 1, "a trail byte 0x5C is not a backslash of its own"},
        {"\x81\x5C\x5C", 3, 2, "a real backslash after a double-byte character"},
        {"\x81\x5C\x5C", 2, 0, "back from the real backslash"},
        {"A\x81\x5C", 2, 1, "from a trail byte: the start of its character"},
        {"\x81\x81\x81\x5C", 4, 2, "two double-byte characters"},
        {"\x81", 1, 0, "a lead byte before the NUL stands alone"},
        {"AB\xE0", 3, 2, "the upper lead range, cut short"},
        {"A\xA1\x5C", 3, 2, "half-width katakana is one byte"},
        {"AB", 0, 0, "the start gives the start"},
        {"", 0, 0, "an empty string gives its start"},
    };
    CheckCharPrev(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(PlatformCodePage, CharPrevInWindows1252GoesOneByteBack) {
    if (!SwitchCodePage(1252)) GTEST_SKIP() << "code page 1252 is not in force";
    const CharPrevCase cases[] = {
        {"A\x81\x5C", 3, 2, "every byte is a character"},
        {"A\x81\x5C", 2, 1, "every byte is a character"},
        {"AB", 0, 0, "the start gives the start"},
    };
    CheckCharPrev(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(PlatformCodePage, FormatUnsignedWritesTemporaryNames) {
    struct Case {
        const char* format;
        uint32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {"%05u.$$$", 1, "00001.$$$"},       {"%05u.$$$", 65534, "65534.$$$"},
        {"%05u.$$$", 123456, "123456.$$$"}, {"%u", 0, "0"},
        {"%u", 4294967295u, "4294967295"},  {"CX%05u", 42, "CX00042"},
    };
    for (const Case& c : cases) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        int length = PlatFormatUnsigned(buffer, c.format, c.value);
        EXPECT_STREQ(buffer, c.expected) << c.format;
        EXPECT_EQ(length, static_cast<int>(strlen(c.expected))) << c.format;
    }
}

// The stand-in keeps a double-byte name whole: its 0x5C trail byte separates no
// folder and its letters are never case-folded.
TEST_F(PlatformCodePage, DoubleByteNamesStayWhole) {
    if (!SwitchCodePage(932)) GTEST_SKIP() << "code page 932 is not in force";
    ScratchDir scratch;
    const std::string name = "\x83\x5C\x83\x74\x83\x67.TXT"; // "software" in katakana
    std::string path = scratch.path().string() + "\\" + name;
    PlatStream* stream = PlatOpen(path.c_str(), "wb");
    if (!stream) GTEST_SKIP() << "this system cannot create such a name";
    EXPECT_EQ(PlatWrite(stream, "k", 1), 1u);
    EXPECT_EQ(PlatClose(stream), 0);
    EXPECT_EQ(ListNames(scratch.path().string()), std::vector<std::string>{name});

    // 0x83 0x74 and 0x83 0x54 differ only in what would be letter case in a trail
    // byte ('t' and 'T'); they are different characters.
    std::string other = scratch.path().string() + "\\\x83\x5C\x83\x54\x83\x67.TXT";
    EXPECT_FALSE(CanOpen(other));
    EXPECT_EQ(ReadThroughPlatform(scratch.path().string() + "/\x83\x5C\x83\x74\x83\x67.txt"), "k");
}

} // namespace

// ---- Names converted to and from the host's ----------------------------------------
// Only the stand-in can switch the conversion off; Windows always converts, in its
// own ANSI code page, which the cases below cannot choose.

struct HostNameCase {
    unsigned codePage;
    const char* host; // UTF-8
    const char* ansi; // null: the code page cannot hold the name
};

const HostNameCase kHostNames[] = {
    {1252, "caf\xC3\xA9.txt", "caf\xE9.txt"},
    {1252, "\xE2\x82\xAC", "\x80"},                        // the euro sign
    {1252, "\xE6\x97\xA5", nullptr},                       // a CJK character
    {932, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"}, // two characters
    {932, "\xE3\x82\xBD", "\x83\x5C"},                     // trail byte 0x5C
    {932, "\xC3\xA9", nullptr},                            // e acute
    {936, "\xE4\xB8\xAD", "\xD6\xD0"},
    {949, "\xED\x95\x9C", "\xC7\xD1"},
    {950, "\xE8\x87\xBA", "\xBB\x4F"},
};

class PlatformHostNames : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        if (!PlatSetNameConversion(0)) GTEST_SKIP() << "the system always converts names";
    }
};

TEST_F(PlatformHostNames, ConvertedBothWaysInEachCodePage) {
    for (const HostNameCase& c : kHostNames) {
        ASSERT_EQ(PlatSetCodePage(c.codePage), 1);
        char out[64];
        const int length = PlatNameFromHost(c.host, out, sizeof out);
        if (c.ansi == nullptr) {
            EXPECT_EQ(length, -1) << c.codePage << " " << c.host;
            continue;
        }
        ASSERT_EQ(length, static_cast<int>(strlen(c.ansi))) << c.codePage << " " << c.host;
        EXPECT_STREQ(out, c.ansi);
        ASSERT_GE(PlatNameToHost(c.ansi, out, sizeof out), 0);
        EXPECT_STREQ(out, c.host);
    }
}

TEST_F(PlatformHostNames, PathsAndListingsAreConvertedWhenSwitchedOn) {
    ScratchDir scratch;
    ASSERT_EQ(PlatSetCodePage(932), 1);
    ASSERT_EQ(PlatSetNameConversion(1), 1);
    const std::string folder = scratch.path().string();
    // The path's own folder is ASCII, so it reads the same in either spelling.
    WriteText(scratch.file("\xE3\x82\xBD.txt"), "so");  // host name in UTF-8
    WriteText(scratch.file("caf\xC3\xA9.txt"), "cafe"); // 932 has no e acute
    EXPECT_EQ(ReadThroughPlatform(folder + "/\x83\x5C.txt"), "so");
    EXPECT_EQ(ListNames(folder), (std::vector<std::string>{"caf?.txt", "\x83\x5C.txt"}));
    PlatStream* made = PlatOpen((folder + "\\\x93\xFA\x96\x7B\\").c_str(), "wb");
    EXPECT_EQ(made, nullptr); // names a folder
    ASSERT_EQ(PlatMkdir((folder + "\\\x93\xFA\x96\x7B").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "\xE6\x97\xA5\xE6\x9C\xAC"));
    ASSERT_EQ(PlatSetNameConversion(0), 1);
    EXPECT_FALSE(CanOpen(folder + "/\x83\x5C.txt")); // the bytes as they are name nothing
}
