// The demo player's show document: reading it, and finding its path on the player's
// command line. No windowing here, so that the parser is tested natively as well.
//
// Format notes (player/README.md has the full description):
//
//   # a comment                 the first non-blank character decides a line's kind
//   @title Quarterly review     before the first slide: the show's title
//   @duration 4                 before the first slide: every slide's default, seconds
//   = Welcome                   a slide begins; the rest of the line is its title
//   The first line of text      any other line is text of the current slide
//   - a bulleted line
//   @duration 2.5               within a slide: that slide's own duration
//   \# text starting with #     a leading backslash makes the rest plain text
//
// Lines end in LF, CRLF or CR; a UTF-8 byte-order mark is skipped. Trailing blanks
// are dropped, and so are blank lines at the start and end of a slide.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Result codes -----------------------------------------------------------
enum {
    SHOW_OK = 0,
    SHOW_ERR_OPEN = -1,                // the file cannot be opened
    SHOW_ERR_READ = -2,                // reading the file failed
    SHOW_ERR_TOO_LARGE = -3,           // more than SHOW_MAX_BYTES
    SHOW_ERR_NO_MEMORY = -4,           // an allocation failed
    SHOW_ERR_BINARY = -5,              // a NUL byte: not a text document
    SHOW_ERR_NO_SLIDE = -6,            // no line starts a slide
    SHOW_ERR_TEXT_BEFORE_SLIDE = -7,   // a text line before the first slide
    SHOW_ERR_UNKNOWN_DIRECTIVE = -8,   // '@' followed by a name this format does not know
    SHOW_ERR_MISPLACED_DIRECTIVE = -9, // @title within a slide
    SHOW_ERR_BAD_DURATION = -10,       // not a number of seconds within the limits below
    SHOW_ERR_BAD_ARGUMENT = -11,       // a null argument; no path on a command line
};

// A whole show is held in memory, so its size is bounded: 1 MiB is far beyond any
// slide show written by hand.
const uint32_t SHOW_MAX_BYTES = 1024u * 1024u;
const uint32_t SHOW_DEFAULT_DURATION_MS = 5000;
// Short enough for tests to run a show in moments; an hour is a slide left up.
const uint32_t SHOW_MIN_DURATION_MS = 50;
const uint32_t SHOW_MAX_DURATION_MS = 3600u * 1000u;
// Durations are written in seconds with at most this many decimals (milliseconds).
const int SHOW_DURATION_DECIMALS = 3;

// A piece of the document's text: text + offset, length bytes, not NUL-terminated.
struct ShowText {
    uint32_t offset;
    uint32_t length;
};

struct ShowSlide {
    ShowText title;       // length 0 when the slide has none
    uint32_t first_line;  // index into Show.lines
    uint32_t line_count;  // blank lines within the slide count, as empty lines
    uint32_t duration_ms; // the slide's own, else the show's default
};

struct Show {
    char* text;           // the document as read, NUL-terminated; owned
    uint32_t size;        // bytes in text
    ShowText title;       // @title; length 0 when none was given
    uint32_t duration_ms; // the default of every slide
    ShowSlide* slides;    // owned
    uint32_t slide_count;
    ShowText* lines; // every slide's lines, slide after slide; owned
    uint32_t line_count;
    uint32_t error_line; // 1-based line of the first fault a parse found; 0 when none
};

// Reads the document at path (fopen: a path in the ANSI code page on Windows).
// SHOW_OK and a filled show, or a negative code; on failure show holds nothing to
// free, except error_line. ShowFree may be called either way.
int ShowLoad(const char* path, Show* show);
// The same from bytes in memory; the bytes are copied.
int ShowParse(const char* bytes, size_t size, Show* show);
void ShowFree(Show* show);

// A sentence for a result code, for people.
const char* ShowErrorText(int code);

// The show's path on the player's command line. The launcher gives an empty program
// name: a blank, then the path unquoted, blanks and all. Started by hand, the line
// begins with the program's name, quoted or not, and the path may be quoted.
// Copies the path to path (size bytes, NUL included) and returns its length, or
// SHOW_ERR_BAD_ARGUMENT when no path is there or it does not fit.
int ShowPathFromCommandLine(const char* commandLine, char* path, size_t size);
