// The demo player's show documents: what a document holds once read, every way one
// can be wrong, reading from files, and finding the path on a command line.
#include "player/show_format.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(ShowFormat, SizeLimit) {
    // Exactly the limit: one slide with one long line.
    std::string document = "= A\n";
    document += std::string(SHOW_MAX_BYTES - document.size(), 'x');
    Show show;
    ASSERT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_OK);
    EXPECT_EQ(show.size, SHOW_MAX_BYTES);
    ASSERT_EQ(show.slide_count, 1u);
    EXPECT_EQ(show.lines[0].length, SHOW_MAX_BYTES - 4);
    ShowFree(&show);

    document += "x";
    EXPECT_EQ(ShowParse(document.data(), document.size(), &show), SHOW_ERR_TOO_LARGE);
    EXPECT_EQ(show.text, nullptr);
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
                         SHOW_ERR_TOO_LARGE,
                         SHOW_ERR_NO_MEMORY,
                         SHOW_ERR_BINARY,
                         SHOW_ERR_NO_SLIDE,
                         SHOW_ERR_TEXT_BEFORE_SLIDE,
                         SHOW_ERR_UNKNOWN_DIRECTIVE,
                         SHOW_ERR_MISPLACED_DIRECTIVE,
                         SHOW_ERR_BAD_DURATION,
                         SHOW_ERR_BAD_ARGUMENT};
    std::vector<std::string> seen;
    for (int code : codes) {
        std::string text = ShowErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << code << ": " << text;
        seen.push_back(text);
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string(ShowErrorText(-999))), 0);
}

// ---- Files ----------------------------------------------------------------------

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
        {"largest file", "= A\n" + std::string(SHOW_MAX_BYTES - 4, 'y'), SHOW_OK, 1},
        {"one byte too large", "= A\n" + std::string(SHOW_MAX_BYTES - 3, 'y'), SHOW_ERR_TOO_LARGE, 0},
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
