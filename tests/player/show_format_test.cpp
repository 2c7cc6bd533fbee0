// The demo player's show documents: what a document holds once read, every way one
// can be wrong, pictures and the BMP layout the player hands GDI, reading from files,
// and finding the path on a command line.
#include "player/show_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace {

struct Slide {
    std::string title;
    std::vector<std::string> lines;
    uint32_t durationMs;

    bool operator==(const Slide& other) const {
        return title == other.title && lines == other.lines && durationMs == other.durationMs;
    }
};

std::ostream& operator<<(std::ostream& out, const Slide& slide) {
    out << "{\"" << slide.title << "\", " << slide.durationMs << " ms,";
    for (const std::string& line : slide.lines)
        out << " \"" << line << "\"";
    return out << "}";
}

std::string Text(const Show& show, ShowText piece) {
    return std::string(show.text + piece.offset, piece.length);
}

std::vector<Slide> SlidesOf(const Show& show) {
    std::vector<Slide> slides;
    for (uint32_t i = 0; i < show.slide_count; ++i) {
        const ShowSlide& s = show.slides[i];
        Slide slide = {Text(show, s.title), {}, s.duration_ms};
        for (uint32_t j = 0; j < s.line_count; ++j)
            slide.lines.push_back(Text(show, show.lines[s.first_line + j]));
        slides.push_back(slide);
    }
    return slides;
}

const uint32_t D = SHOW_DEFAULT_DURATION_MS;

// A literal with every byte it holds, NULs included.
template <size_t N>
std::string Raw(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

struct ValidCase {
    const char* description;
    std::string document;
    std::string showTitle;
    std::vector<Slide> slides;
};

const std::vector<ValidCase>& ValidCases() {
    static const std::vector<ValidCase> cases = {
        {"one slide", "= Hello\nWorld\n", "", {{"Hello", {"World"}, D}}},
        {"two slides",
         "= First\none\ntwo\n= Second\nthree\n",
         "",
         {{"First", {"one", "two"}, D}, {"Second", {"three"}, D}}},
        {"a slide with a title only", "= Alone\n", "", {{"Alone", {}, D}}},
        {"comments anywhere, indented too",
         "# intro\n= A\n# between\nx\n   # indented\n\t# tabbed\ny\n",
         "",
         {{"A", {"x", "y"}, D}}},
        {"show title", "@title My show\n= A\n", "My show", {{"A", {}, D}}},
        {"empty show title", "@title\n= A\n", "", {{"A", {}, D}}},
        {"show duration, slide duration",
         "@duration 2\n= A\n= B\n@duration 0.5\nb\n= C\n",
         "",
         {{"A", {}, 2000}, {"B", {"b"}, 500}, {"C", {}, 2000}}},
        {"slide duration before its text", "= A\n@duration 1\nx\n", "", {{"A", {"x"}, 1000}}},
        {"the last duration of a slide counts", "= A\n@duration 1\n@duration 3\n", "", {{"A", {}, 3000}}},
        {"decimals and an s",
         "@duration 1.25s\n= A\n= B\n@duration .75\n",
         "",
         {{"A", {}, 1250}, {"B", {}, 750}}},
        {"shortest and longest durations",
         "= A\n@duration 0.05\n= B\n@duration 3600\n",
         "",
         {{"A", {}, 50}, {"B", {}, 3600000}}},
        {"directive names in any case", "@TITLE T\n@Duration 3\n= A\n", "T", {{"A", {}, 3000}}},
        {"blank lines dropped at a slide's ends, kept between lines",
         "\n\n= A\n\n\nx\n\ny\n\n\nz\n\n\n= B\n\n",
         "",
         {{"A", {"x", "", "y", "", "", "z"}, D}, {"B", {}, D}}},
        {"a comment does not end a run of blank lines",
         "= A\nx\n\n# note\n\ny\n",
         "",
         {{"A", {"x", "", "", "y"}, D}}},
        {"escaped markers are text",
         "= A\n\\# not a comment\n\\= not a slide\n\\@duration 9\n\\\\one backslash\n",
         "",
         {{"A", {"# not a comment", "= not a slide", "@duration 9", "\\one backslash"}, D}}},
        {"a backslash inside a line stays", "= A\nC:\\shows\\x\n", "", {{"A", {"C:\\shows\\x"}, D}}},
        {"empty title", "=\nx\n", "", {{"", {"x"}, D}}},
        {"title and lines trimmed",
         "=   Spaced title \t\n   indented line  \n",
         "",
         {{"Spaced title", {"indented line"}, D}}},
        {"markers after blanks", "  @duration 1\n\t= A\n", "", {{"A", {}, 1000}}},
        {"title with equals signs", "== A = B\n", "", {{"= A = B", {}, D}}},
        {"bullets kept as written", "= A\n- one\n* two\n", "", {{"A", {"- one", "* two"}, D}}},
        {"CRLF line ends", "= A\r\nx\r\n\r\ny\r\n", "", {{"A", {"x", "", "y"}, D}}},
        {"CR line ends", "= A\rx\r\ry\r", "", {{"A", {"x", "", "y"}, D}}},
        {"mixed line ends", "= A\nx\r\ny\rz", "", {{"A", {"x", "y", "z"}, D}}},
        {"no newline at the end", "= A\nlast", "", {{"A", {"last"}, D}}},
        {"a title at the very end", "= A\n= B", "", {{"A", {}, D}, {"B", {}, D}}},
        {"byte-order mark skipped", "\xEF\xBB\xBF= A\n", "", {{"A", {}, D}}},
        {"UTF-8 text kept as bytes",
         "= Gr\xC3\xBC\xC3\x9F"
         "e\n\xE2\x82\xAC 5\n",
         "",
         {{"Gr\xC3\xBC\xC3\x9F"
           "e",
           {"\xE2\x82\xAC 5"},
           D}}},
        {"a very long line",
         "= A\n" + std::string(200000, 'x') + "\n",
         "",
         {{"A", {std::string(200000, 'x')}, D}}},
        {"a very long title", "= " + std::string(70000, 't'), "", {{std::string(70000, 't'), {}, D}}},
    };
    return cases;
}

TEST(ShowFormat, ValidDocuments) {
    for (const ValidCase& c : ValidCases()) {
        SCOPED_TRACE(c.description);
        Show show;
        ASSERT_EQ(ShowParse(c.document.data(), c.document.size(), &show), SHOW_OK);
        EXPECT_EQ(show.error_line, 0u);
        EXPECT_EQ(Text(show, show.title), c.showTitle);
        EXPECT_EQ(SlidesOf(show), c.slides);
        ShowFree(&show);
    }
}

struct BrokenCase {
    const char* description;
    std::string document;
    int expected;
    uint32_t line;
};

const std::vector<BrokenCase>& BrokenCases() {
    static const std::vector<BrokenCase> cases = {
        {"empty document", "", SHOW_ERR_NO_SLIDE, 0},
        {"only a byte-order mark", "\xEF\xBB\xBF", SHOW_ERR_NO_SLIDE, 0},
        {"blank lines only", "\n\r\n  \t\n", SHOW_ERR_NO_SLIDE, 0},
        {"comments only", "# one\n# two", SHOW_ERR_NO_SLIDE, 0},
        {"directives only", "@title T\n@duration 2\n", SHOW_ERR_NO_SLIDE, 0},
        {"text before the first slide", "# c\nhello\n= A\n", SHOW_ERR_TEXT_BEFORE_SLIDE, 2},
        {"escaped text before the first slide", "\\= A\n", SHOW_ERR_TEXT_BEFORE_SLIDE, 1},
        {"unknown directive", "= A\nx\n@colour red\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 3},
        {"a lone at sign", "@\n= A\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 1},
        {"a directive name run on", "@durations 2\n= A\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 1},
        {"title within a slide", "= A\n@title T\n", SHOW_ERR_MISPLACED_DIRECTIVE, 2},
        {"a NUL byte", Raw("= A\nx\ny\0z\n"), SHOW_ERR_BINARY, 3},
        {"a NUL byte after CRLF and CR", Raw("= A\r\nx\ry\r\n\0"), SHOW_ERR_BINARY, 4},
        {"the first error counts", "= A\n@bad\n@duration 0\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 2},
        {"line numbers count CRLF once", "= A\r\nx\r\n@bad\r\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 3},
        // Pictures. Faults of a picture as a whole name its @picture line.
        {"@picture before the first slide", "@picture\nQk0=\n@end\n= A\n", SHOW_ERR_MISPLACED_DIRECTIVE, 1},
        {"@end outside a picture", "= A\nx\n@end\n", SHOW_ERR_MISPLACED_DIRECTIVE, 3},
        {"data on the @picture line", "= A\n@picture Qk0=\n@end\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 2},
        {"a run-on directive name", "= A\n@pictures\nQk0=\n@end\n", SHOW_ERR_UNKNOWN_DIRECTIVE, 2},
        {"no @end", "= A\n@picture\nQk0=\n", SHOW_ERR_PICTURE_NOT_ENDED, 2},
        {"no @end, CRLF, second slide", "= A\r\n= B\r\n@picture\r\nQk0=", SHOW_ERR_PICTURE_NOT_ENDED, 3},
        {"no @end before the next slide", "= A\n@picture\nQk0=\n\n= B\n", SHOW_ERR_BAD_BASE64, 5},
        {"@end with more on its line is data", "= A\n@picture\nQk0=\n@end now\n@end\n", SHOW_ERR_BAD_BASE64,
         4},
        {"@picture within a picture is data", "= A\n@picture\nQk0=\n@picture\n@end\n", SHOW_ERR_BAD_BASE64,
         4},
        {"no data", "= A\n@picture\n@end\n", SHOW_ERR_EMPTY_PICTURE, 2},
        {"only empty lines", "= A\nx\n@picture\n\n  \t\n@end\n", SHOW_ERR_EMPTY_PICTURE, 3},
        {"a character outside the alphabet", "= A\n@picture\nQk0B\nQk*B\n@end\n", SHOW_ERR_BAD_BASE64, 4},
        {"the URL-safe alphabet", "= A\n@picture\nQk1-_w==\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"a blank inside a line", "= A\n@picture\nQk0 B\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"a comment inside a picture", "= A\n@picture\n# a BMP\nQk0=\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"a byte beyond ASCII", "= A\n@picture\nQk1\xC3\xA9\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"padding first in a group", "= A\n@picture\n=Qk0\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"padding second in a group", "= A\n@picture\nQ===\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"three padding characters", "= A\n@picture\nQk==\n=\n@end\n", SHOW_ERR_BAD_BASE64, 4},
        {"data after padding", "= A\n@picture\nQk0=Qk0=\n@end\n", SHOW_ERR_BAD_BASE64, 3},
        {"data after padding, next line", "= A\n@picture\nQk0=\nQk0=\n@end\n", SHOW_ERR_BAD_BASE64, 4},
        {"a group cut short", "= A\n@picture\nQk1mb\n@end\n", SHOW_ERR_BAD_BASE64, 2},
        {"padding left out", "= A\n@picture\nQk0\n@end\n", SHOW_ERR_BAD_BASE64, 2},
        {"a group cut short by a missing =", "= A\n@picture\nQk0mbw=\n@end\n", SHOW_ERR_BAD_BASE64, 2},
        {"a GIF", "= A\n@picture\nR0lGODlh\n@end\n", SHOW_ERR_UNKNOWN_PICTURE, 2},
        {"text, not a picture", "= A\n@picture\naGVsbG8=\n@end\n", SHOW_ERR_UNKNOWN_PICTURE, 2},
        {"a B alone", "= A\n@picture\nQg==\n@end\n", SHOW_ERR_UNKNOWN_PICTURE, 2},
        {"a PNG signature cut short", "= A\n@picture\niVBORw0K\n@end\n", SHOW_ERR_UNKNOWN_PICTURE, 2},
        {"a PNG signature with a wrong byte", "= A\n@picture\niVBORw0KGgs=\n@end\n", SHOW_ERR_UNKNOWN_PICTURE,
         2},
        {"a JPEG signature cut short", "= A\n@picture\n/9g=\n@end\n", SHOW_ERR_UNKNOWN_PICTURE, 2},
        {"two pictures in a slide", "= A\n@picture\nQk0=\n@end\ntext\n@picture\nQk0=\n@end\n",
         SHOW_ERR_SECOND_PICTURE, 6},
        {"a second picture right after the first", "= A\n@picture\nQk0=\n@END\n@Picture\n",
         SHOW_ERR_SECOND_PICTURE, 5},
    };
    return cases;
}

TEST(ShowFormat, BrokenDocuments) {
    for (const BrokenCase& c : BrokenCases()) {
        SCOPED_TRACE(c.description);
        Show show;
        EXPECT_EQ(ShowParse(c.document.data(), c.document.size(), &show), c.expected);
        EXPECT_EQ(show.error_line, c.line);
        EXPECT_EQ(show.text, nullptr);
        EXPECT_EQ(show.slides, nullptr);
        EXPECT_EQ(show.slide_count, 0u);
        ShowFree(&show);
    }
}

TEST(ShowFormat, DurationsOutsideTheFormatAreRefused) {
    const char* const values[] = {
        "",
        "0",
        "0.0",
        "0.049",
        "0.01",
        "-1",
        "+2",
        "abc",
        "1.2345",
        "3600.001",
        "3601",
        "1e3",
        "1,5",
        "2 s",
        "5ms",
        "s",
        ".",
        "1..2",
        "99999999999999999999999",
        "0x10",
        "2s s",
    };
    for (const char* value : values) {
        SCOPED_TRACE(value);
        std::string document = std::string("= A\n@duration ") + value + "\n";
        Show show;
        EXPECT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_ERR_BAD_DURATION);
        EXPECT_EQ(show.error_line, 2u);
        ShowFree(&show);
    }
}

TEST(ShowFormat, DocumentsOfAnySize) {
    const size_t MIB = 1024 * 1024;
    const size_t sizes[] = {MIB - 1, MIB, MIB + 1, 5 * MIB + 3};
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string document = "= A\n" + std::string(size - 4, 'x');
        Show show;
        ASSERT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_OK);
        EXPECT_EQ(show.size, size);
        ASSERT_EQ(show.line_count, 1u);
        EXPECT_EQ(show.lines[0].length, size - 4);
        EXPECT_EQ(show.text[size - 1], 'x');
        ShowFree(&show);
    }
}

// Offsets are 32-bit: a larger size is refused before anything is read or allocated
// (the bytes given here are one, so reading them would fault).
TEST(ShowFormat, SizesBeyondOffsetsAreRefused) {
    const char byte = '=';
    Show show;
    EXPECT_EQ(ShowParse(&byte, static_cast<size_t>(-1), &show), SHOW_ERR_NO_MEMORY);
    EXPECT_EQ(show.text, nullptr);
    if (sizeof(size_t) > sizeof(uint32_t)) {
        size_t justOver = static_cast<size_t>(static_cast<uint64_t>(SHOW_ADDRESSABLE_BYTES) + 1);
        EXPECT_EQ(ShowParse(&byte, justOver, &show), SHOW_ERR_NO_MEMORY);
        EXPECT_EQ(show.text, nullptr);
    }
}

TEST(ShowFormat, ManySlidesAndLines) {
    std::string document;
    for (int i = 0; i < 5000; ++i)
        document += "= Slide " + std::to_string(i) + "\nline a\nline b\n";
    Show show;
    ASSERT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_OK);
    ASSERT_EQ(show.slide_count, 5000u);
    EXPECT_EQ(show.line_count, 10000u);
    EXPECT_EQ(Text(show, show.slides[4999].title), "Slide 4999");
    EXPECT_EQ(show.slides[4999].first_line, 9998u);
    EXPECT_EQ(Text(show, show.lines[9999]), "line b");
    ShowFree(&show);
}

TEST(ShowFormat, NullArguments) {
    Show show;
    EXPECT_EQ(ShowParse(nullptr, 1, &show), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowParse(nullptr, 0, &show), SHOW_ERR_NO_SLIDE);
    EXPECT_EQ(ShowParse("= A", 3, nullptr), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowLoad(nullptr, &show), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowLoad("", &show), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowLoad("x", nullptr), SHOW_ERR_BAD_ARGUMENT);
    ShowFree(nullptr);
    ShowFree(&show);
    ShowFree(&show); // freeing twice is harmless
}

TEST(ShowFormat, EveryCodeHasItsOwnText) {
    const int codes[] = {SHOW_OK,
                         SHOW_ERR_OPEN,
                         SHOW_ERR_READ,
                         SHOW_ERR_NO_MEMORY,
                         SHOW_ERR_BINARY,
                         SHOW_ERR_NO_SLIDE,
                         SHOW_ERR_TEXT_BEFORE_SLIDE,
                         SHOW_ERR_UNKNOWN_DIRECTIVE,
                         SHOW_ERR_MISPLACED_DIRECTIVE,
                         SHOW_ERR_BAD_DURATION,
                         SHOW_ERR_BAD_ARGUMENT,
                         SHOW_ERR_PICTURE_NOT_ENDED,
                         SHOW_ERR_BAD_BASE64,
                         SHOW_ERR_EMPTY_PICTURE,
                         SHOW_ERR_UNKNOWN_PICTURE,
                         SHOW_ERR_SECOND_PICTURE,
                         SHOW_ERR_BITMAP_HEADER,
                         SHOW_ERR_BITMAP_FORMAT,
                         SHOW_ERR_BITMAP_SIZE};
    std::vector<std::string> seen;
    for (int code : codes) {
        std::string text = ShowErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << code << ": " << text;
        seen.push_back(text);
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string(ShowErrorText(-999))), 0);
}

// ---- Pictures -------------------------------------------------------------------
// Every base64 text below was made by Python's base64 module from the bytes beside it.

struct PictureSeen {
    int kind;
    std::string bytes;

    bool operator==(const PictureSeen& other) const { return kind == other.kind && bytes == other.bytes; }
};

std::ostream& operator<<(std::ostream& out, const PictureSeen& picture) {
    return out << "{kind " << picture.kind << ", " << picture.bytes.size() << " bytes}";
}

std::vector<PictureSeen> PicturesOf(const Show& show) {
    std::vector<PictureSeen> pictures;
    for (uint32_t i = 0; i < show.slide_count; ++i)
        pictures.push_back({show.slides[i].picture_kind, Text(show, show.slides[i].picture)});
    return pictures;
}

// "BM" and the bytes 0 to 255, in lines of 76 characters.
const char* const EVERY_BYTE_BASE64 =
    "Qk0AAQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHyAhIiMkJSYnKCkqKywtLi8wMTIzNDU2\n"
    "Nzg5Ojs8PT4/QEFCQ0RFRkdISUpLTE1OT1BRUlNUVVZXWFlaW1xdXl9gYWJjZGVmZ2hpamtsbW5v\n"
    "cHFyc3R1dnd4eXp7fH1+f4CBgoOEhYaHiImKi4yNjo+QkZKTlJWWl5iZmpucnZ6foKGio6Slpqeo\n"
    "qaqrrK2ur7CxsrO0tba3uLm6u7y9vr/AwcLDxMXGx8jJysvMzc7P0NHS09TV1tfY2drb3N3e3+Dh\n"
    "4uPk5ebn6Onq6+zt7u/w8fLz9PX29/j5+vv8/f7/\n";

std::string EveryByte() {
    std::string bytes = "BM";
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

// "Qk1B" is "BMA": a picture of 900,000 bytes in 1,200,000 characters, on lines of 77
// so that groups of four straddle them. The document is over 1 MiB.
const size_t LARGE_PICTURE_GROUPS = 300000;

std::string LargePictureDocument() {
    std::string base64;
    for (size_t i = 0; i < LARGE_PICTURE_GROUPS; ++i)
        base64 += "Qk1B";
    std::string document = "= Large\n@picture\n";
    for (size_t at = 0; at < base64.size(); at += 77)
        document += base64.substr(at, 77) + "\n";
    return document + "@end\n= After\nthe end\n";
}

std::string LargePicture() {
    std::string bytes;
    for (size_t i = 0; i < LARGE_PICTURE_GROUPS; ++i)
        bytes += "BMA";
    return bytes;
}

// A slide as the picture cases expect it.
struct PictureSlide {
    int kind;
    std::string bytes;
    std::string firstLine; // the first line of base64: the bytes start where it started
    std::vector<std::string> lines;
};

struct PictureCase {
    const char* description;
    std::string document;
    std::vector<PictureSlide> slides;
};

const int BMP = SHOW_PICTURE_BMP;
const int PNG = SHOW_PICTURE_PNG;
const int JPEG = SHOW_PICTURE_JPEG;
const int NONE = SHOW_PICTURE_NONE;

const std::vector<PictureCase>& PictureCases() {
    static const std::vector<PictureCase> cases = {
        {"two padding characters", "= A\n@picture\nQk1mbw==\n@end\n", {{BMP, "BMfo", "Qk1mbw==", {}}}},
        {"one padding character", "= A\n@picture\nQk1mb28=\n@end\n", {{BMP, "BMfoo", "Qk1mb28=", {}}}},
        {"no padding", "= A\n@picture\nQk1mb29i\n@end\n", {{BMP, "BMfoob", "Qk1mb29i", {}}}},
        {"a PNG signature and chunk header, text around it",
         "= A\nbefore\n@picture\niVBORw0KGgoAAAANSUhEUg==\n@end\nafter\n",
         {{PNG, Raw("\x89PNG\r\n\x1A\n\0\0\0\rIHDR"), "iVBORw0KGgoAAAANSUhEUg==", {"before", "after"}}}},
        {"a JPEG's first bytes, no newline at the end",
         "= A\n@picture\n/9j/4AAQSkZJRgA=\n@end",
         {{JPEG, Raw("\xFF\xD8\xFF\xE0\0\x10JFIF\0"), "/9j/4AAQSkZJRgA=", {}}}},
        {"the smallest of each kind",
         "= A\n@picture\nQk0=\n@end\n= B\n@picture\niVBORw0KGgo=\n@end\n= C\n@picture\n/9j/\n@end\n",
         {{BMP, "BM", "Qk0=", {}},
          {PNG, "\x89PNG\r\n\x1A\n", "iVBORw0KGgo=", {}},
          {JPEG, "\xFF\xD8\xFF", "/9j/", {}}}},
        {"lines of odd lengths with empty lines between",
         "= A\n@picture\nQ\n\nk1m\n\n\nb29\ni\n@end\n",
         {{BMP, "BMfoob", "Q", {}}}},
        {"padding on a line of its own", "= A\n@picture\nQk1mbw\n==\n@end\n", {{BMP, "BMfo", "Qk1mbw", {}}}},
        {"padding split across lines", "= A\n@picture\nQk1mbw=\n=\n@end\n", {{BMP, "BMfo", "Qk1mbw=", {}}}},
        {"blanks around, CRLF, directive names in any case",
         "= A\r\n  @PICTURE \t\r\n\t Qk1m \r\n  b29i\r\n @End  \r\nx\r\n",
         {{BMP, "BMfoob", "Qk1m", {"x"}}}},
        {"the whole alphabet",
         std::string("= A\n@picture\n") + EVERY_BYTE_BASE64 + "@end\n",
         {{BMP, EveryByte(), "Qk0AAQIDBAUGBwgJ", {}}}},
        {"empty lines in a picture are not text",
         "= A\nx\n@picture\n\nQk0=\n\n@end\ny\n",
         {{BMP, "BM", "Qk0=", {"x", "y"}}}},
        {"empty lines around a picture are, between text lines",
         "= A\nx\n\n@picture\nQk0=\n@end\n\ny\n",
         {{BMP, "BM", "Qk0=", {"x", "", "", "y"}}}},
        {"a picture, then a slide without one",
         "= A\n@picture\nQk0=\n@end\n= B\ntext\n",
         {{BMP, "BM", "Qk0=", {}}, {NONE, "", "", {"text"}}}},
        {"a picture of over 1 MiB",
         LargePictureDocument(),
         {{BMP, LargePicture(), "Qk1BQk1B", {}}, {NONE, "", "", {"the end"}}}},
    };
    return cases;
}

TEST(ShowPicture, DecodedInPlace) {
    for (const PictureCase& c : PictureCases()) {
        SCOPED_TRACE(c.description);
        Show show;
        ASSERT_EQ(ShowParse(c.document.data(), c.document.size(), &show), SHOW_OK);
        ASSERT_EQ(show.slide_count, c.slides.size());
        size_t searchFrom = 0;
        for (uint32_t i = 0; i < show.slide_count; ++i) {
            SCOPED_TRACE(i);
            const ShowSlide& slide = show.slides[i];
            const PictureSlide& expected = c.slides[i];
            EXPECT_EQ(PicturesOf(show)[i], (PictureSeen{expected.kind, expected.bytes}));
            EXPECT_EQ(SlidesOf(show)[i].lines, expected.lines);
            if (expected.kind == NONE) {
                EXPECT_EQ(slide.picture.length, 0u);
                continue;
            }
            size_t place = c.document.find(expected.firstLine, searchFrom);
            ASSERT_NE(place, std::string::npos);
            EXPECT_EQ(slide.picture.offset, place);
            searchFrom = place + expected.firstLine.size();
        }
        ShowFree(&show);
    }
}

// ---- BMP layout -----------------------------------------------------------------

// Written by ImageMagick 6.9: `convert -size 3x2 xc:red bmp3:red.bmp`.
const std::string IM_RED_24 =
    Raw("\x42\x4D\x4E\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00"
        "\x00\x01\x00\x18\x00\x00\x00\x00\x00\x18\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF"
        "\x00\x00\x00");
// `convert -size 2x2 xc:blue xc:yellow +append -type palette bmp3:pal.bmp`: 1 bit, 2 colours.
const std::string IM_PALETTE_1 =
    Raw("\x42\x4D\x46\x00\x00\x00\x00\x00\x00\x00\x3E\x00\x00\x00\x28\x00\x00\x00\x04\x00\x00\x00\x02\x00\x00"
        "\x00\x01\x00\x01\x00\x00\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00"
        "\x02\x00\x00\x00\x00\xFF\xFF\x00\xFF\x00\x00\x00\xC0\x00\x00\x00\xC0\x00\x00\x00");
// `convert -size 2x1 xc:'#00ff0080' -alpha on bmp:alpha.bmp`: a V5 header, 32 bits, masks.
const std::string IM_ALPHA_V5 =
    Raw("\x42\x4D\x92\x00\x00\x00\x00\x00\x00\x00\x8A\x00\x00\x00\x7C\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00"
        "\x00\x01\x00\x20\x00\x03\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00\x00\x00\x00\xFF\x42\x47\x52\x73\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF\x00\x80\x00\xFF"
        "\x00\x80");

std::string Le(uint32_t value, int bytes = 4) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string Patched(std::string file, size_t at, uint32_t value, int bytes = 4) {
    file.replace(at, static_cast<size_t>(bytes), Le(value, bytes));
    return file;
}

// A BMP file made by hand: the file header, a header of headerBytes (fields past the
// first 40 bytes zero), then `between` (masks, colours) and rowBytes of rows, which
// the pixel offset points to.
std::string Bmp(uint32_t headerBytes, int32_t width, int32_t height, uint32_t bits, uint32_t compression,
                uint32_t coloursUsed, const std::string& between, size_t rowBytes) {
    uint32_t pixels = static_cast<uint32_t>(14 + headerBytes + between.size());
    std::string file = "BM" + Le(static_cast<uint32_t>(pixels + rowBytes)) + Le(0) + Le(pixels);
    std::string header = Le(headerBytes) + Le(static_cast<uint32_t>(width)) +
                         Le(static_cast<uint32_t>(height)) + Le(1, 2) + Le(bits, 2) + Le(compression) +
                         Le(static_cast<uint32_t>(rowBytes)) + Le(2835) + Le(2835) + Le(coloursUsed) + Le(0);
    header.resize(headerBytes, '\0');
    return file + header + between + std::string(rowBytes, '\x5A');
}

std::string Colours(size_t count) { return std::string(count * 4, '\x7F'); }

const std::string MASKS_888 = Le(0xFF0000) + Le(0xFF00) + Le(0xFF);

std::string V4Masks565() {
    std::string file = Bmp(108, 3, 1, 16, SHOW_BMP_BITFIELDS, 0, "", 8);
    return Patched(Patched(Patched(file, 54, 0xF800), 58, 0x7E0), 62, 0x1F);
}

struct BitmapCase {
    const char* description;
    std::string file;
    int expected;
    ShowBitmap layout; // all 0 when refused
};

std::string Describe(const ShowBitmap& b) {
    char text[256];
    snprintf(text, sizeof text,
             "%dx%d, %u bits, compression %u, masks %X %X %X, %u colours at %u, %u bytes at %u", b.width,
             b.height, b.bits, b.compression, b.masks[0], b.masks[1], b.masks[2], b.colour_count,
             b.colours_offset, b.pixel_bytes, b.pixels_offset);
    return text;
}

const uint32_t RGB_ = SHOW_BMP_RGB;
const uint32_t FIELDS = SHOW_BMP_BITFIELDS;
const int HEADER = SHOW_ERR_BITMAP_HEADER;
const int FORMAT = SHOW_ERR_BITMAP_FORMAT;
const int SIZE = SHOW_ERR_BITMAP_SIZE;

const std::vector<BitmapCase>& BitmapCases() {
    static const std::vector<BitmapCase> cases = {
        // Files written by another program.
        {"ImageMagick: 24 bits", IM_RED_24, SHOW_OK, {3, 2, 24, RGB_, {0, 0, 0}, 54, 0, 54, 24}},
        {"ImageMagick: 1 bit, 2 colours", IM_PALETTE_1, SHOW_OK, {4, 2, 1, RGB_, {0, 0, 0}, 54, 2, 62, 8}},
        {"ImageMagick: V5, 32 bits, masks",
         IM_ALPHA_V5,
         SHOW_OK,
         {2, 1, 32, FIELDS, {0xFF0000, 0xFF00, 0xFF}, 138, 0, 138, 8}},
        // Made here, one feature at a time.
        {"top down",
         Bmp(40, 3, -2, 24, RGB_, 0, "", 24),
         SHOW_OK,
         {3, -2, 24, RGB_, {0, 0, 0}, 54, 0, 54, 24}},
        {"4 bits, 3 colours",
         Bmp(40, 3, 1, 4, RGB_, 3, Colours(3), 4),
         SHOW_OK,
         {3, 1, 4, RGB_, {0, 0, 0}, 54, 3, 66, 4}},
        {"8 bits, every colour",
         Bmp(40, 2, 2, 8, RGB_, 0, Colours(256), 8),
         SHOW_OK,
         {2, 2, 8, RGB_, {0, 0, 0}, 54, 256, 1078, 8}},
        {"16 bits", Bmp(40, 3, 1, 16, RGB_, 0, "", 8), SHOW_OK, {3, 1, 16, RGB_, {0, 0, 0}, 54, 0, 54, 8}},
        {"32 bits, masks after a 40-byte header",
         Bmp(40, 2, 1, 32, FIELDS, 0, MASKS_888, 8),
         SHOW_OK,
         {2, 1, 32, FIELDS, {0xFF0000, 0xFF00, 0xFF}, 66, 0, 66, 8}},
        {"16 bits, masks in a V4 header",
         V4Masks565(),
         SHOW_OK,
         {3, 1, 16, FIELDS, {0xF800, 0x7E0, 0x1F}, 122, 0, 122, 8}},
        {"24 bits with a suggested palette",
         Bmp(40, 1, 1, 24, RGB_, 2, Colours(2), 4),
         SHOW_OK,
         {1, 1, 24, RGB_, {0, 0, 0}, 54, 0, 62, 4}},
        {"bytes after the rows", IM_RED_24 + "tail", SHOW_OK, {3, 2, 24, RGB_, {0, 0, 0}, 54, 0, 54, 24}},

        {"cut short in the file header", IM_RED_24.substr(0, 13), HEADER, {}},
        {"an OS/2 header of 12 bytes", Patched(IM_RED_24, 14, 12), HEADER, {}},
        {"a header of 64 bytes", Patched(IM_RED_24, 14, 64), HEADER, {}},
        {"cut short in the header", IM_RED_24.substr(0, 53), HEADER, {}},
        {"a V5 header cut short", IM_ALPHA_V5.substr(0, 137), HEADER, {}},
        {"0 planes", Patched(IM_RED_24, 26, 0, 2), HEADER, {}},
        {"masks cut short", Bmp(40, 2, 1, 32, FIELDS, 0, "", 0).substr(0, 65), HEADER, {}},
        {"2 bits", Patched(IM_RED_24, 28, 2, 2), FORMAT, {}},
        {"RLE8", Bmp(40, 2, 2, 8, 1, 0, Colours(256), 8), FORMAT, {}},
        {"masks with 24 bits", Bmp(40, 1, 1, 24, FIELDS, 0, MASKS_888, 4), FORMAT, {}},
        {"an embedded JPEG", Patched(IM_RED_24, 30, 4), FORMAT, {}},
        {"masks with alpha", Patched(IM_ALPHA_V5, 30, 6), FORMAT, {}},
        {"width 0", Patched(IM_RED_24, 18, 0), SIZE, {}},
        {"a negative width", Patched(IM_RED_24, 18, static_cast<uint32_t>(-3)), SIZE, {}},
        {"height 0", Patched(IM_RED_24, 22, 0), SIZE, {}},
        {"the most negative height", Patched(IM_RED_24, 22, 0x80000000u), SIZE, {}},
        {"257 colours of 8 bits", Bmp(40, 2, 2, 8, RGB_, 257, Colours(257), 8), SIZE, {}},
        {"3 colours of 1 bit", Bmp(40, 2, 2, 1, RGB_, 3, Colours(3), 8), SIZE, {}},
        {"the colour table beyond the file", Bmp(40, 2, 2, 8, RGB_, 0, Colours(16), 8), SIZE, {}},
        {"the pixel offset beyond the file", Patched(IM_RED_24, 10, 79), SIZE, {}},
        {"the largest pixel offset", Patched(IM_RED_24, 10, 0xFFFFFFFFu), SIZE, {}},
        {"rows one byte short", IM_RED_24.substr(0, 77), SIZE, {}},
        // A row of 2^32 + 4 bytes: 32-bit arithmetic would take it for 4.
        {"a row beyond 32 bits", Bmp(40, 0x40000001, 1, 32, RGB_, 0, "", 8), SIZE, {}},
        {"the largest dimensions", Bmp(40, 0x7FFFFFFF, 0x7FFFFFFF, 32, RGB_, 0, "", 8), SIZE, {}},
    };
    return cases;
}

TEST(ShowBitmapLayout, WhatGdiIsGiven) {
    for (const BitmapCase& c : BitmapCases()) {
        SCOPED_TRACE(c.description);
        ShowBitmap layout;
        memset(&layout, 0xCC, sizeof layout);
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(c.file.data());
        EXPECT_EQ(ShowReadBitmap(bytes, static_cast<uint32_t>(c.file.size()), &layout), c.expected);
        EXPECT_EQ(Describe(layout), Describe(c.layout));
    }
}

TEST(ShowBitmapLayout, AsAShowHoldsIt) {
    // IM_RED_24 in base64, on lines of 13 characters.
    const std::string document =
        "= Red\n@picture\nQk1OAAAAAAAAA\nDYAAAAoAAAAAw\nAAAAIAAAABABg\nAAAAAABgAAAAA\nAAAAAAAAAAAAA\n"
        "AAAAAAAAAD/AA\nD/AAD/AAAAAAD\n/AAD/AAD/AAAA\n@end\n";
    Show show;
    ASSERT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_OK);
    ASSERT_EQ(show.slide_count, 1u);
    EXPECT_EQ(Text(show, show.slides[0].picture), IM_RED_24);
    ShowBitmap layout;
    const unsigned char* bytes =
        reinterpret_cast<const unsigned char*>(show.text + show.slides[0].picture.offset);
    EXPECT_EQ(ShowReadBitmap(bytes, show.slides[0].picture.length, &layout), SHOW_OK);
    EXPECT_EQ(layout.pixel_bytes, 24u);
    ShowFree(&show);
}

// ---- Files ----------------------------------------------------------------------

// A document of size bytes: a slide and one line of text.
std::string OneLine(size_t size) { return "= A\n" + std::string(size - 4, 'y'); }

struct FileCase {
    const char* description;
    std::string bytes;
    int expected;
    size_t slides;
};

TEST(ShowFile, LoadsWhatParseReads) {
    const FileCase cases[] = {
        {"CRLF document", "@title Demo\r\n= One\r\nfirst\r\n= Two\r\nsecond", SHOW_OK, 2},
        {"empty file", "", SHOW_ERR_NO_SLIDE, 0},
        {"binary file", Raw("\x89PNG\r\n\x1A\n\0\0\0\rIHDR"), SHOW_ERR_BINARY, 0},
        // Around the first read and the buffer's doublings.
        {"one byte short of the first read", OneLine(SHOW_FIRST_READ_BYTES - 1), SHOW_OK, 1},
        {"the first read exactly", OneLine(SHOW_FIRST_READ_BYTES), SHOW_OK, 1},
        {"one byte beyond the first read", OneLine(SHOW_FIRST_READ_BYTES + 1), SHOW_OK, 1},
        {"twice the first read", OneLine(2 * SHOW_FIRST_READ_BYTES), SHOW_OK, 1},
        {"over 1 MiB", OneLine(1024 * 1024 + 1), SHOW_OK, 1},
        {"over 1 MiB of picture", LargePictureDocument(), SHOW_OK, 2},
        {"a NUL after the first read", OneLine(SHOW_FIRST_READ_BYTES + 5) + Raw("\0"), SHOW_ERR_BINARY, 0},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.description);
        ScratchDir scratch;
        std::string path = scratch.file("a show.txt");
        WriteFileBytes(path, Bytes(c.bytes.begin(), c.bytes.end()));
        Show loaded;
        ASSERT_EQ(ShowLoad(path.c_str(), &loaded), c.expected);
        EXPECT_EQ(loaded.slide_count, c.slides);
        if (c.expected == SHOW_OK) {
            Show parsed;
            ASSERT_EQ(ShowParse(c.bytes.data(), c.bytes.size(), &parsed), SHOW_OK);
            EXPECT_EQ(SlidesOf(loaded), SlidesOf(parsed));
            EXPECT_EQ(PicturesOf(loaded), PicturesOf(parsed));
            EXPECT_EQ(Text(loaded, loaded.title), Text(parsed, parsed.title));
            EXPECT_EQ(loaded.size, c.bytes.size());
            ShowFree(&parsed);
        }
        ShowFree(&loaded);
    }
}

TEST(ShowFile, MissingFileOrFolder) {
    ScratchDir scratch;
    Show show;
    EXPECT_EQ(ShowLoad(scratch.file("no such show.txt").c_str(), &show), SHOW_ERR_OPEN);
    EXPECT_EQ(show.text, nullptr);
    EXPECT_EQ(ShowLoad(scratch.file("no folder/show.txt").c_str(), &show), SHOW_ERR_OPEN);
    // A folder cannot be opened on Windows, and cannot be read on Linux.
    int rc = ShowLoad(scratch.path().string().c_str(), &show);
    EXPECT_TRUE(rc == SHOW_ERR_OPEN || rc == SHOW_ERR_READ) << rc;
    EXPECT_EQ(show.text, nullptr);
}

// ---- Command lines --------------------------------------------------------------

struct CommandLineCase {
    const char* description;
    const char* commandLine;
    const char* path; // nullptr: no path there
};

const CommandLineCase COMMAND_LINE_CASES[] = {
    {"launcher: blank and path", " C:\\TEMP\\SHOW.TXT", "C:\\TEMP\\SHOW.TXT"},
    {"launcher: blanks in the path", " C:\\Documents and Settings\\Local Settings\\Temp\\MY SHOW.TXT",
     "C:\\Documents and Settings\\Local Settings\\Temp\\MY SHOW.TXT"},
    {"launcher: quoted path", " \"C:\\a b\\show.txt\"", "C:\\a b\\show.txt"},
    {"launcher: only a blank", " ", nullptr},
    {"by hand: program and path", "Player.exe C:\\x\\show.txt", "C:\\x\\show.txt"},
    {"by hand: quoted program, quoted path", "\"C:\\Program Files\\Player.exe\" \"C:\\my shows\\a.txt\"",
     "C:\\my shows\\a.txt"},
    {"by hand: program, quoted path", "Player.exe \"C:\\my shows\\a.txt\"", "C:\\my shows\\a.txt"},
    {"by hand: unquoted path with blanks", "Player.exe C:\\my shows\\a.txt", "C:\\my shows\\a.txt"},
    {"by hand: blanks around", "Player.exe \t  C:\\x.txt  \t", "C:\\x.txt"},
    {"by hand: tab after the program", "Player.exe\tC:\\x.txt", "C:\\x.txt"},
    {"by hand: path quote not closed", "Player.exe \"C:\\open quote.txt", "C:\\open quote.txt"},
    {"by hand: quoted program, nothing after", "\"C:\\Program Files\\Player.exe\"", nullptr},
    {"by hand: program quote not closed", "\"C:\\Program Files\\Player.exe", nullptr},
    {"by hand: program only", "Player.exe", nullptr},
    {"by hand: empty quotes", "Player.exe \"\"", nullptr},
    {"empty", "", nullptr},
};

TEST(ShowCommandLine, FindsThePath) {
    for (const CommandLineCase& c : COMMAND_LINE_CASES) {
        SCOPED_TRACE(c.description);
        char path[512];
        int rc = ShowPathFromCommandLine(c.commandLine, path, sizeof path);
        if (c.path) {
            EXPECT_EQ(rc, static_cast<int>(strlen(c.path)));
            EXPECT_STREQ(path, c.path);
        } else {
            EXPECT_EQ(rc, SHOW_ERR_BAD_ARGUMENT);
            EXPECT_STREQ(path, "");
        }
    }
}

TEST(ShowCommandLine, PathMustFit) {
    const char* line = " C:\\show.txt"; // the path has 11 bytes
    char path[12];
    EXPECT_EQ(ShowPathFromCommandLine(line, path, sizeof path), 11);
    EXPECT_STREQ(path, "C:\\show.txt");
    EXPECT_EQ(ShowPathFromCommandLine(line, path, 11), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowPathFromCommandLine(line, path, 0), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowPathFromCommandLine(nullptr, path, sizeof path), SHOW_ERR_BAD_ARGUMENT);
    EXPECT_EQ(ShowPathFromCommandLine(line, nullptr, sizeof path), SHOW_ERR_BAD_ARGUMENT);
}

} // namespace
