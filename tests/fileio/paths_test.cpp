// The in-place path helpers, in code page 1252 and in the double-byte code page 932.
//
// Byte strings are split where a hex escape would run on into a letter
// ("\x82\x61" "b"): in code page 932, 0x82 is a lead byte and 0x61 ('a') and 0x5C
// ('\') are trail bytes that must be neither folded nor taken for separators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fileio_fixture.h"

namespace {

typedef char* (*Edit)(char*);

// One in-place edit: the path after the call, under the given name-case switch.
struct EditCase {
    const char* description;
    const char* input;
    int16_t upper; // g_upperCaseNames during the call
    const char* expected;
};

void RunEdits(Edit edit, const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.description);
        std::string text(c.input);
        g_upperCaseNames = c.upper;
        EXPECT_EQ(edit(&text[0]), &text[0]);
        EXPECT_EQ(std::string(text.c_str()), c.expected);
    }
    g_upperCaseNames = 1;
}

// A helper that points into the path: the offset it points at, and the path after it.
struct PointCase {
    const char* description;
    const char* input;
    int16_t upper;
    long offset; // -1: null
    const char* after;
};

void RunPoints(Edit find, const std::vector<PointCase>& cases) {
    for (const PointCase& c : cases) {
        SCOPED_TRACE(c.description);
        std::string text(c.input);
        g_upperCaseNames = c.upper;
        const char* found = find(&text[0]);
        if (c.offset < 0)
            EXPECT_EQ(found, nullptr);
        else
            EXPECT_EQ(found - text.c_str(), c.offset);
        EXPECT_EQ(std::string(text.c_str()), c.after);
    }
    g_upperCaseNames = 1;
}

struct ExtensionCase {
    const char* description;
    const char* input;
    int expected;
};

void RunExtensions(const std::vector<ExtensionCase>& cases) {
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(PathHasExtension(c.input), c.expected);
    }
}

class PathsTest : public FileioTest {};
class PathsCodePage1252Test : public FileioCodePage1252Test {};
class PathsCodePage932Test : public FileioCodePage932Test {};

TEST_F(PathsTest, CharUpperAZChangesOnlyAsciiLowerCase) {
    const struct {
        int c;
        int expected;
    } cases[] = {
        {'a', 'A'}, {'z', 'Z'}, {'m', 'M'}, {'A', 'A'}, {'Z', 'Z'}, {'[', '['}, {'{', '{'}, {'`', '`'},
        {'@', '@'}, {'0', '0'}, {0, 0},     {-28, -28}, {228, 228}, {-1, -1},   {255, 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CharUpperAZ(c.c), c.expected) << "code " << c.c;
}

TEST_F(PathsTest, UpperCaseIgnoresTheSwitch) {
    RunEdits(PathUpperCase, {
                                {"folded path copy", "c:\\temp\\data.bin", 1, "C:\\TEMP\\DATA.BIN"},
                                {"switch off", "c:\\temp\\data.bin", 0, "C:\\TEMP\\DATA.BIN"},
                                {"empty", "", 1, ""},
                                {"no letters", "1:/[]{}", 1, "1:/[]{}"},
                            });
}

TEST_F(PathsCodePage1252Test, UpperCaseLeavesHighBytes) {
    RunEdits(PathUpperCase, {
                                {"a umlaut stays",
                                 "\xE4"
                                 "b",
                                 1,
                                 "\xE4"
                                 "B"},
                                {"0x82 is no lead byte here", "\x82\x61", 1, "\x82\x41"},
                            });
}

TEST_F(PathsTest, LastChar) {
    EXPECT_EQ(PathLastChar(nullptr), nullptr);
    RunPoints(PathLastChar, {
                                {"empty", "", 1, -1, ""},
                                {"one byte", "a", 1, 0, "a"},
                                {"three bytes", "abc", 1, 2, "abc"},
                                {"separator last", "C:\\", 1, 2, "C:\\"},
                            });
}

TEST_F(PathsTest, NormaliseTurnsSlashesAndFoldsWhileTheSwitchIsOn) {
    RunEdits(PathNormalise, {
                                {"switch on", "c:/dir/file.ext", 1, "C:\\DIR\\FILE.EXT"},
                                {"switch off", "c:/dir/file.ext", 0, "c:\\dir\\file.ext"},
                                {"mixed separators", "a\\b/c", 1, "A\\B\\C"},
                                {"empty", "", 1, ""},
                            });
}

TEST_F(PathsTest, TrimBlanksRemovesOnlyTrailingBlanks) {
    EXPECT_EQ(PathTrimBlanks(nullptr), nullptr);
    RunEdits(PathTrimBlanks, {
                                 {"two blanks", "NAME  ", 1, "NAME"},
                                 {"three blanks only", "   ", 1, ""},
                                 {"blank inside", "A B", 1, "A B"},
                                 {"leading blank", " A", 1, " A"},
                                 {"tab kept", "NAME\t", 1, "NAME\t"},
                                 {"blank before tab kept", "NAME \t", 1, "NAME \t"},
                                 {"empty", "", 1, ""},
                             });
}

TEST_F(PathsTest, FileName) {
    RunPoints(PathFileName, {
                                {"folder and name", "C:\\DIR\\FILE.EXT", 1, 7, "C:\\DIR\\FILE.EXT"},
                                {"drive and name", "C:FILE", 1, 2, "C:FILE"},
                                {"bare name", "FILE", 1, 0, "FILE"},
                                {"empty", "", 1, 0, ""},
                                {"folder only", "C:\\DIR\\", 1, 7, "C:\\DIR\\"},
                                {"root", "\\", 1, 1, "\\"},
                                {"slash is no separator here", "a/b", 1, 0, "A/B"},
                                {"folded while on", "c:\\dir\\file.ext", 1, 7, "C:\\DIR\\FILE.EXT"},
                                {"kept while off", "c:\\dir\\file.ext", 0, 7, "c:\\dir\\file.ext"},
                            });
}

TEST_F(PathsTest, CutToFolderKeepsTheTrailingSeparator) {
    RunEdits(PathCutToFolder, {
                                  {"folder and name", "C:\\DIR\\FILE.EXT", 1, "C:\\DIR\\"},
                                  {"drive and name", "C:FILE", 1, "C:"},
                                  {"bare name", "FILE", 1, ""},
                                  {"folder only", "C:\\DIR\\", 1, "C:\\DIR\\"},
                                  {"folded while on", "c:\\dir\\file", 1, "C:\\DIR\\"},
                                  {"kept while off", "c:\\dir\\file", 0, "c:\\dir\\"},
                              });
}

TEST_F(PathsTest, HasExtension) {
    EXPECT_EQ(PathHasExtension(nullptr), 0);
    RunExtensions({
        {"no dot", "DATA", 0},
        {"extension", "DATA.ARQ", 1},
        {"dot first", ".ARQ", 0},
        {"dot last", "FILE.", 1},
        {"dot in a folder name", "C:\\A.B\\FILE", 1},
        {"dot after separator", "DIR\\.X", 0},
        {"two dots", "A..B", 0},
        {"empty", "", 0},
        {"drive then dot", "C:.X", 1},
    });
}

TEST_F(PathsCodePage1252Test, SingleByteReadingOfDoubleByteLookalikes) {
    // The same bytes as in code page 932 below, here each byte one character.
    RunPoints(PathFileName, {{"0x5C is a separator",
                              "C:\\\x95\x5C"
                              "X",
                              1, 5,
                              "C:\\\x95\x5C"
                              "X"}});
    RunExtensions({{"dot after 0x5C", "A\x95\x5C.X", 0}, {"0x82 then dot", "A\x82.B", 1}});
}

TEST_F(PathsCodePage932Test, UpperCaseSkipsTrailBytes) {
    RunEdits(PathUpperCase, {
                                {"trail byte 'a'",
                                 "c:\\\x82\x61"
                                 "b\\x.txt",
                                 1,
                                 "C:\\\x82\x61"
                                 "B\\X.TXT"},
                                {"only a double-byte character", "\x82\x61", 1, "\x82\x61"},
                                {"two in a row",
                                 "\x82\x61\x82\x61"
                                 "a",
                                 1,
                                 "\x82\x61\x82\x61"
                                 "A"},
                                {"second lead range",
                                 "\xE0\x61"
                                 "a",
                                 1,
                                 "\xE0\x61"
                                 "A"},
                                {"single-byte katakana",
                                 "\xB1"
                                 "a",
                                 1,
                                 "\xB1"
                                 "A"},
                                {"trail byte 0x5C",
                                 "\x95\x5C"
                                 "abc",
                                 1,
                                 "\x95\x5C"
                                 "ABC"},
                                {"lead byte before the NUL", "ab\x82", 1, "AB\x82"},
                            });
}

TEST_F(PathsCodePage932Test, NormaliseSkipsTrailBytes) {
    RunEdits(PathNormalise, {
                                {"trail byte 'a'", "x/\x82\x61/y", 1, "X\\\x82\x61\\Y"},
                                {"switch off", "x/\x82\x61/y", 0, "x\\\x82\x61\\y"},
                                {"trail byte 0x5C", "\x95\x5C/a", 1, "\x95\x5C\\A"},
                                {"lead byte before the NUL", "a/\x82", 1, "A\\\x82"},
                            });
}

TEST_F(PathsCodePage932Test, LastCharStepsOverDoubleByteCharacters) {
    RunPoints(PathLastChar, {
                                {"ends in trail 0x5C", "ab\x95\x5C", 1, 2, "ab\x95\x5C"},
                                {"lead byte before the NUL", "ab\x82", 1, 2, "ab\x82"},
                                {"one double-byte character", "\x95\x5C", 1, 0, "\x95\x5C"},
                                {"character then lone lead", "\x82\x61\x82", 1, 2, "\x82\x61\x82"},
                            });
}

TEST_F(PathsCodePage932Test, FileNameIgnoresTrailBytes) {
    RunPoints(PathFileName, {
                                {"name ends in trail 0x5C", "C:\\DIR\\A\x95\x5C", 1, 7, "C:\\DIR\\A\x95\x5C"},
                                {"trail 0x5C inside the name",
                                 "C:\\\x95\x5C"
                                 "X",
                                 1, 3,
                                 "C:\\\x95\x5C"
                                 "X"},
                                {"folded around trail 'a'",
                                 "d\\\x82\x61"
                                 "b",
                                 1, 2,
                                 "D\\\x82\x61"
                                 "B"},
                                {"no separator at all",
                                 "\x95\x5C"
                                 "n",
                                 1, 0,
                                 "\x95\x5C"
                                 "N"},
                            });
}

TEST_F(PathsCodePage932Test, CutToFolderIgnoresTrailBytes) {
    RunEdits(PathCutToFolder, {
                                  {"name ends in trail 0x5C", "C:\\D\\\x95\x5C", 1, "C:\\D\\"},
                                  {"bare double-byte name",
                                   "\x95\x5C"
                                   "F",
                                   1, ""},
                                  {"folder ends in trail 0x5C", "c:\\\x95\x5C\\f", 1, "C:\\\x95\x5C\\"},
                              });
}

TEST_F(PathsCodePage932Test, HasExtensionIgnoresTrailBytes) {
    RunExtensions({
        {"dot after trail 0x5C", "A\x95\x5C.X", 1},
        {"dot after a whole character", "\x95\x5C.", 1},
        {"dot as a trail byte is no dot", "A\x82.B", 0},
        {"dot first", ".\x95\x5C", 0},
    });
}

} // namespace
