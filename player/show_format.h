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
//   @picture                    within a slide, at most once: a BMP, PNG or JPEG file
//   Qk1GAAAAAAAAADYAAAAoAAAA    as standard base64, on lines of any length, with
//   AgAAAAIAAAABABgAAAAAABAA    '=' padding only at the end of the data
//   ...
//   @end                        ends the picture's data
//
// Lines end in LF, CRLF or CR; a UTF-8 byte-order mark is skipped. Trailing blanks
// are dropped, and so are blank lines at the start and end of a slide. Within a
// picture every line is trimmed and empty ones are ignored.
//
// A document is a text file because the launcher extracts nothing but it and the
// player, so pictures travel inside it. Their base64 is decoded where it stands: four
// characters make three bytes, so the bytes written never overtake the text still to
// be read, and a picture costs no memory beyond the document's own.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Result codes -----------------------------------------------------------
enum {
    SHOW_OK = 0,
    SHOW_ERR_OPEN = -1,                // the file cannot be opened
    SHOW_ERR_READ = -2,                // reading the file failed
    SHOW_ERR_NO_MEMORY = -3,           // an allocation failed; over SHOW_ADDRESSABLE_BYTES
    SHOW_ERR_BINARY = -4,              // a NUL byte: not a text document
    SHOW_ERR_NO_SLIDE = -5,            // no line starts a slide
    SHOW_ERR_TEXT_BEFORE_SLIDE = -6,   // a text line before the first slide
    SHOW_ERR_UNKNOWN_DIRECTIVE = -7,   // '@' followed by a name this format does not know
    SHOW_ERR_MISPLACED_DIRECTIVE = -8, // @title within a slide, @picture before one, a stray @end
    SHOW_ERR_BAD_DURATION = -9,        // not a number of seconds within the limits below
    SHOW_ERR_BAD_ARGUMENT = -10,       // a null argument; no path on a command line
    SHOW_ERR_PICTURE_NOT_ENDED = -11,  // @picture without a line @end after it
    SHOW_ERR_BAD_BASE64 = -12,         // a picture's line holds more than base64
    SHOW_ERR_EMPTY_PICTURE = -13,      // @picture and @end with no bytes between them
    SHOW_ERR_UNKNOWN_PICTURE = -14,    // the bytes start as neither BMP, PNG nor JPEG
    SHOW_ERR_SECOND_PICTURE = -15,     // a slide's second @picture
    // ShowReadBitmap's, once a document has been read:
    SHOW_ERR_BITMAP_HEADER = -16, // a BMP's headers cut short or of a kind GDI is not given
    SHOW_ERR_BITMAP_FORMAT = -17, // a BMP's bits per pixel or compression not supported
    SHOW_ERR_BITMAP_SIZE = -18,   // a BMP's dimensions, colours or rows beyond its data
};

// Offsets and lengths within a document are 32-bit, so a larger one is refused as not
// fitting in memory, which it would not in the 32-bit player anyway.
const uint32_t SHOW_ADDRESSABLE_BYTES = 0xFFFFFFFFu; // 4 GiB - 1
// A file is read in one pass into a buffer that starts this large and doubles as
// needed; most shows without pictures fit the first read.
const uint32_t SHOW_FIRST_READ_BYTES = 64u * 1024u;
const uint32_t SHOW_DEFAULT_DURATION_MS = 5000;
// Short enough for tests to run a show in moments; an hour is a slide left up.
const uint32_t SHOW_MIN_DURATION_MS = 50;
const uint32_t SHOW_MAX_DURATION_MS = 3600u * 1000u;
// Durations are written in seconds with at most this many decimals (milliseconds).
const int SHOW_DURATION_DECIMALS = 3;

// ---- Pictures ---------------------------------------------------------------
// What a picture's first bytes say it is; the player picks its decoder by this.
enum {
    SHOW_PICTURE_NONE = 0,
    SHOW_PICTURE_BMP = 1,
    SHOW_PICTURE_PNG = 2,
    SHOW_PICTURE_JPEG = 3,
};
const unsigned char SHOW_BMP_SIGNATURE[] = {'B', 'M'};
const unsigned char SHOW_PNG_SIGNATURE[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const unsigned char SHOW_JPEG_SIGNATURE[] = {0xFF, 0xD8, 0xFF}; // start of image, then a marker

// The BMP compressions GDI is handed (wingdi.h's BI_RGB and BI_BITFIELDS).
const uint32_t SHOW_BMP_RGB = 0;
const uint32_t SHOW_BMP_BITFIELDS = 3;
// Sizes of the BMP structures read: BITMAPFILEHEADER, then BITMAPINFOHEADER or its
// successors BITMAPV4HEADER and BITMAPV5HEADER, which begin with the same 40 bytes.
const uint32_t SHOW_BMP_FILE_HEADER_BYTES = 14;
const uint32_t SHOW_BMP_INFO_HEADER_BYTES = 40;
const uint32_t SHOW_BMP_V4_HEADER_BYTES = 108;
const uint32_t SHOW_BMP_V5_HEADER_BYTES = 124;
const uint32_t SHOW_BMP_MASKS_BYTES = 12;     // red, green and blue masks, 4 bytes each
const uint32_t SHOW_BMP_COLOUR_BYTES = 4;     // a colour table entry: blue, green, red, 0
const uint32_t SHOW_BMP_MAX_PALETTE_BITS = 8; // above this, pixels hold their colour
const uint32_t SHOW_BMP_MAX_COLOURS = 1u << SHOW_BMP_MAX_PALETTE_BITS; // a palette's largest table

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
    ShowText picture;     // the picture's bytes, decoded where their base64 began
    int picture_kind;     // SHOW_PICTURE_NONE when the slide has no picture
};

struct Show {
    char* text;           // the document as read, NUL-terminated; owned. Pictures'
                          // base64 is overwritten by their bytes.
    uint32_t size;        // bytes in text
    ShowText title;       // @title; length 0 when none was given
    uint32_t duration_ms; // the default of every slide
    ShowSlide* slides;    // owned
    uint32_t slide_count;
    ShowText* lines; // every slide's lines, slide after slide; owned
    uint32_t line_count;
    uint32_t error_line; // 1-based line of the first fault a parse found; 0 when none
};

// Reads the document at path (fopen: a path in the ANSI code page on Windows), of any
// size memory holds up to SHOW_ADDRESSABLE_BYTES. SHOW_OK and a filled show, or a
// negative code; on failure show holds nothing to free, except error_line. ShowFree
// may be called either way.
int ShowLoad(const char* path, Show* show);
// The same from bytes in memory; the bytes are copied.
int ShowParse(const char* bytes, size_t size, Show* show);
void ShowFree(Show* show);

// A BMP file's layout as GDI is to be given it, every part checked to lie within the
// file's size bytes. The player builds a header of its own from these values rather
// than handing GDI the file's, so that GDI reads nothing that was not checked.
struct ShowBitmap {
    int32_t width;           // pixels, above 0
    int32_t height;          // pixels, not 0; negative when rows are stored top down
    uint32_t bits;           // per pixel: 1, 4, 8, 16, 24 or 32
    uint32_t compression;    // SHOW_BMP_RGB, or SHOW_BMP_BITFIELDS for 16 and 32 bits
    uint32_t masks[3];       // red, green, blue; SHOW_BMP_BITFIELDS only
    uint32_t colours_offset; // the colour table, SHOW_BMP_COLOUR_BYTES an entry
    uint32_t colour_count;   // 0 above SHOW_BMP_MAX_PALETTE_BITS
    uint32_t pixels_offset;  // the rows, each padded to 4 bytes
    uint32_t pixel_bytes;    // all rows
};
// SHOW_OK and a filled bitmap, or SHOW_ERR_BITMAP_HEADER, _FORMAT or _SIZE.
int ShowReadBitmap(const unsigned char* bytes, uint32_t size, ShowBitmap* bitmap);

// A sentence for a result code, for people.
const char* ShowErrorText(int code);

// The show's path on the player's command line. The launcher gives an empty program
// name: a blank, then the path unquoted, blanks and all. Started by hand, the line
// begins with the program's name, quoted or not, and the path may be quoted.
// Copies the path to path (size bytes, NUL included) and returns its length, or
// SHOW_ERR_BAD_ARGUMENT when no path is there or it does not fit.
int ShowPathFromCommandLine(const char* commandLine, char* path, size_t size);
