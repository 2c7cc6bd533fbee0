// Reading a show document. The parser walks the text once, line by line, and keeps
// every title and text line as a piece of the one buffer, so nothing is copied; a
// picture's base64 is decoded into the same buffer, over its own text.
#include "player/show_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t FIRST_CAPACITY = 16;

int IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lowered(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Grows a malloc'd array so that it holds at least `needed` items. Counts stay within
// 32 bits and byte sizes within size_t: a document has fewer lines than bytes, but one
// of gigabytes could otherwise wrap either.
int Reserve(void** items, uint32_t* capacity, uint32_t needed, size_t itemSize) {
    if (needed <= *capacity) return SHOW_OK;
    uint64_t grown = *capacity ? static_cast<uint64_t>(*capacity) * 2 : FIRST_CAPACITY;
    if (grown < needed) grown = needed;
    if (grown > UINT32_MAX) grown = UINT32_MAX;
    uint64_t bytes = grown * itemSize;
    if (static_cast<uint64_t>(static_cast<size_t>(bytes)) != bytes) return SHOW_ERR_NO_MEMORY;
    void* moved = realloc(*items, static_cast<size_t>(bytes));
    if (!moved) return SHOW_ERR_NO_MEMORY;
    *items = moved;
    *capacity = static_cast<uint32_t>(grown);
    return SHOW_OK;
}

ShowText Piece(uint32_t from, uint32_t to) {
    ShowText piece = {from, to - from};
    return piece;
}

// Seconds with up to SHOW_DURATION_DECIMALS decimals and an optional 's', in
// milliseconds; -1 when the text is anything else or outside the limits.
int64_t ParseDuration(const char* text, uint32_t length) {
    uint32_t at = 0;
    int64_t ms = 0;
    int digits = 0;
    while (at < length && text[at] >= '0' && text[at] <= '9') {
        ms = ms * 10 + (text[at] - '0');
        if (ms > SHOW_MAX_DURATION_MS) return -1; // also keeps the sum from overflowing
        ++digits;
        ++at;
    }
    ms *= 1000;
    if (at < length && text[at] == '.') {
        ++at;
        int64_t scale = 100;
        int decimals = 0;
        while (at < length && text[at] >= '0' && text[at] <= '9') {
            if (++decimals > SHOW_DURATION_DECIMALS) return -1;
            ms += (text[at] - '0') * scale;
            scale /= 10;
            ++digits;
            ++at;
        }
    }
    if (at < length && (text[at] == 's' || text[at] == 'S')) ++at;
    if (digits == 0 || at != length) return -1;
    if (ms < SHOW_MIN_DURATION_MS || ms > SHOW_MAX_DURATION_MS) return -1;
    return ms;
}

int NameIs(const char* text, uint32_t length, const char* name) {
    if (strlen(name) != length) return 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (Lowered(text[i]) != name[i]) return 0;
    }
    return 1;
}

// A picture between @picture and @end, decoded as its lines are read.
struct Picture {
    int open;         // after @picture, until @end
    uint32_t line;    // the @picture line: faults of the picture as a whole name it
    uint32_t chars;   // base64 characters read, padding included
    uint32_t start;   // the first base64 character's offset: where the bytes go
    uint32_t length;  // bytes written
    uint32_t bits;    // decoded bits not yet written, in the low bitCount bits
    int bitCount;     // below 8 between characters
    uint32_t padding; // '=' read; only '=' may follow one
};

// Where a parse stands: the slide being filled and the arrays' capacities.
struct Parse {
    Show* show;
    uint32_t slideCapacity;
    uint32_t lineCapacity;
    uint32_t ownDuration;   // the current slide's @duration, 0 while it has none
    uint32_t pendingBlanks; // blank lines after the slide's last text line
    uint32_t lineNumber;    // 1-based, of the line being read
    uint32_t faultLine;     // when not 0, the line a fault is reported at instead
    Picture picture;
};

int FaultAt(Parse* p, uint32_t line, int rc) {
    p->faultLine = line;
    return rc;
}

int AddLine(Parse* p, ShowText line) {
    Show* show = p->show;
    int rc = Reserve(reinterpret_cast<void**>(&show->lines), &p->lineCapacity, show->line_count + 1,
                     sizeof(ShowText));
    if (rc < 0) return rc;
    show->lines[show->line_count++] = line;
    show->slides[show->slide_count - 1].line_count++;
    return SHOW_OK;
}

// Blank lines count only between text lines of a slide.
int AddTextLine(Parse* p, ShowText line) {
    ShowSlide* slide = &p->show->slides[p->show->slide_count - 1];
    if (slide->line_count > 0) {
        for (; p->pendingBlanks > 0; --p->pendingBlanks) {
            int rc = AddLine(p, Piece(line.offset, line.offset));
            if (rc < 0) return rc;
        }
    }
    p->pendingBlanks = 0;
    return AddLine(p, line);
}

void EndSlide(Parse* p) {
    Show* show = p->show;
    if (show->slide_count > 0) show->slides[show->slide_count - 1].duration_ms = p->ownDuration;
    p->ownDuration = 0;
    p->pendingBlanks = 0;
}

int BeginSlide(Parse* p, ShowText title) {
    Show* show = p->show;
    EndSlide(p);
    int rc = Reserve(reinterpret_cast<void**>(&show->slides), &p->slideCapacity, show->slide_count + 1,
                     sizeof(ShowSlide));
    if (rc < 0) return rc;
    ShowSlide* slide = &show->slides[show->slide_count++];
    slide->title = title;
    slide->first_line = show->line_count;
    slide->line_count = 0;
    slide->duration_ms = 0;
    slide->picture = Piece(0, 0);
    slide->picture_kind = SHOW_PICTURE_NONE;
    return SHOW_OK;
}

// Format notes: base64 (RFC 4648, the standard alphabet A-Z a-z 0-9 + /). Each
// character carries 6 bits, the first the highest, and 4 characters make 3 bytes:
//
//     characters   aaaaaa bbbbbb cccccc dddddd
//     bytes        aaaaaabb bbbbcccc ccdddddd
//
// A last group "xx==" holds one byte, "xxx=" two; nothing follows the padding. Lines
// may break anywhere, even inside a group or its padding, so the state carries from
// line to line. Bytes are written from the first character's place on: at most 3 for
// every 4 characters read, so always behind the character being read.
const uint32_t BASE64_GROUP_CHARS = 4;
const int BASE64_CHAR_BITS = 6;
const int BYTE_BITS = 8;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int Base64Char(Picture* picture, char* text, char c) {
    uint32_t place = picture->chars++ % BASE64_GROUP_CHARS;
    if (c == '=') {
        // Padding stands for the third or fourth character of the last group only.
        if (place < 2) return SHOW_ERR_BAD_BASE64;
        picture->padding++;
        return SHOW_OK;
    }
    int value = Base64Value(c);
    if (value < 0 || picture->padding > 0) return SHOW_ERR_BAD_BASE64;
    picture->bits = (picture->bits << BASE64_CHAR_BITS) | static_cast<uint32_t>(value);
    picture->bitCount += BASE64_CHAR_BITS;
    if (picture->bitCount >= BYTE_BITS) {
        picture->bitCount -= BYTE_BITS;
        text[picture->start + picture->length++] = static_cast<char>(picture->bits >> picture->bitCount);
        picture->bits &= (1u << picture->bitCount) - 1;
    }
    return SHOW_OK;
}

int StartsWith(const char* bytes, uint32_t length, const unsigned char* signature, uint32_t size) {
    return length >= size && memcmp(bytes, signature, size) == 0;
}

int PictureKind(const char* bytes, uint32_t length) {
    if (StartsWith(bytes, length, SHOW_BMP_SIGNATURE, sizeof SHOW_BMP_SIGNATURE)) return SHOW_PICTURE_BMP;
    if (StartsWith(bytes, length, SHOW_PNG_SIGNATURE, sizeof SHOW_PNG_SIGNATURE)) return SHOW_PICTURE_PNG;
    if (StartsWith(bytes, length, SHOW_JPEG_SIGNATURE, sizeof SHOW_JPEG_SIGNATURE)) return SHOW_PICTURE_JPEG;
    return SHOW_PICTURE_NONE;
}

void BeginPicture(Parse* p) {
    memset(&p->picture, 0, sizeof p->picture);
    p->picture.open = 1;
    p->picture.line = p->lineNumber;
}

// Faults found here concern the picture as a whole: they name its @picture line.
int EndPicture(Parse* p) {
    Picture* picture = &p->picture;
    picture->open = 0;
    if (picture->chars % BASE64_GROUP_CHARS != 0) return FaultAt(p, picture->line, SHOW_ERR_BAD_BASE64);
    if (picture->length == 0) return FaultAt(p, picture->line, SHOW_ERR_EMPTY_PICTURE);
    Show* show = p->show;
    int kind = PictureKind(show->text + picture->start, picture->length);
    if (kind == SHOW_PICTURE_NONE) return FaultAt(p, picture->line, SHOW_ERR_UNKNOWN_PICTURE);
    ShowSlide* slide = &show->slides[show->slide_count - 1];
    slide->picture = Piece(picture->start, picture->start + picture->length);
    slide->picture_kind = kind;
    return SHOW_OK;
}

// A line between @picture and @end, trimmed: the end, or more of the data.
int PictureLine(Parse* p, uint32_t from, uint32_t to) {
    if (from == to) return SHOW_OK;
    char* text = p->show->text;
    if (text[from] == '@' && NameIs(text + from + 1, to - from - 1, "end")) return EndPicture(p);
    Picture* picture = &p->picture;
    if (picture->chars == 0) picture->start = from;
    for (uint32_t at = from; at < to; ++at) {
        int rc = Base64Char(picture, text, text[at]);
        if (rc < 0) return rc;
    }
    return SHOW_OK;
}

// "@name value": from is just past the '@', to the end of the trimmed line.
int Directive(Parse* p, uint32_t from, uint32_t to) {
    Show* show = p->show;
    const char* text = show->text;
    uint32_t nameEnd = from;
    while (nameEnd < to && !IsBlank(text[nameEnd]))
        ++nameEnd;
    uint32_t value = nameEnd;
    while (value < to && IsBlank(text[value]))
        ++value;
    int inSlide = show->slide_count > 0;

    if (NameIs(text + from, nameEnd - from, "title")) {
        if (inSlide) return SHOW_ERR_MISPLACED_DIRECTIVE;
        show->title = Piece(value, to);
        return SHOW_OK;
    }
    if (NameIs(text + from, nameEnd - from, "duration")) {
        int64_t ms = ParseDuration(text + value, to - value);
        if (ms < 0) return SHOW_ERR_BAD_DURATION;
        if (inSlide) {
            p->ownDuration = static_cast<uint32_t>(ms);
        } else {
            show->duration_ms = static_cast<uint32_t>(ms);
        }
        return SHOW_OK;
    }
    if (NameIs(text + from, nameEnd - from, "picture")) {
        if (!inSlide) return SHOW_ERR_MISPLACED_DIRECTIVE;
        if (value != to) return SHOW_ERR_UNKNOWN_DIRECTIVE; // the data starts on the next line
        if (show->slides[show->slide_count - 1].picture_kind != SHOW_PICTURE_NONE) {
            return SHOW_ERR_SECOND_PICTURE;
        }
        BeginPicture(p);
        return SHOW_OK;
    }
    if (NameIs(text + from, nameEnd - from, "end")) return SHOW_ERR_MISPLACED_DIRECTIVE;
    return SHOW_ERR_UNKNOWN_DIRECTIVE;
}

// The line [from, to), already stripped of its end and of blanks on both sides.
int Line(Parse* p, uint32_t from, uint32_t to) {
    if (p->picture.open) return PictureLine(p, from, to);
    Show* show = p->show;
    if (from == to) {
        if (show->slide_count > 0) p->pendingBlanks++;
        return SHOW_OK;
    }
    char kind = show->text[from];
    if (kind == '#') return SHOW_OK;
    if (kind == '=') {
        uint32_t title = from + 1;
        while (title < to && IsBlank(show->text[title]))
            ++title;
        return BeginSlide(p, Piece(title, to));
    }
    if (kind == '@') return Directive(p, from + 1, to);
    if (show->slide_count == 0) return SHOW_ERR_TEXT_BEFORE_SLIDE;
    if (kind == '\\') ++from;
    return AddTextLine(p, Piece(from, to));
}

uint32_t LineOfOffset(const char* text, uint32_t offset) {
    uint32_t line = 1;
    for (uint32_t i = 0; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) ++line;
    }
    return line;
}

int ParseLines(Parse* p) {
    Show* show = p->show;
    const char* text = show->text;
    uint32_t size = show->size;

    const void* nul = memchr(text, '\0', size);
    if (nul) {
        show->error_line = LineOfOffset(text, static_cast<uint32_t>(static_cast<const char*>(nul) - text));
        return SHOW_ERR_BINARY;
    }

    uint32_t at = 0;
    if (size >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) at = 3;
    while (at < size) {
        uint32_t start = at;
        while (at < size && text[at] != '\n' && text[at] != '\r')
            ++at;
        uint32_t end = at;
        if (at < size) at += (text[at] == '\r' && at + 1 < size && text[at + 1] == '\n') ? 2 : 1;
        ++p->lineNumber;

        while (start < end && IsBlank(text[start]))
            ++start;
        while (end > start && IsBlank(text[end - 1]))
            --end;
        int rc = Line(p, start, end);
        if (rc < 0) {
            show->error_line = p->faultLine ? p->faultLine : p->lineNumber;
            return rc;
        }
    }
    if (p->picture.open) {
        show->error_line = p->picture.line;
        return SHOW_ERR_PICTURE_NOT_ENDED;
    }
    EndSlide(p);
    if (show->slide_count == 0) return SHOW_ERR_NO_SLIDE;
    for (uint32_t i = 0; i < show->slide_count; ++i) {
        if (show->slides[i].duration_ms == 0) show->slides[i].duration_ms = show->duration_ms;
    }
    return SHOW_OK;
}

// Takes ownership of text (size bytes and a NUL after them) whatever the outcome.
int ParseOwned(char* text, uint32_t size, Show* show) {
    memset(show, 0, sizeof *show);
    show->text = text;
    show->size = size;
    show->duration_ms = SHOW_DEFAULT_DURATION_MS;
    Parse p;
    memset(&p, 0, sizeof p);
    p.show = show;
    int rc = ParseLines(&p);
    if (rc < 0) {
        uint32_t line = show->error_line;
        ShowFree(show);
        show->error_line = line;
    }
    return rc;
}

// Doubling keeps what a realloc may copy to about the document's size in all.
int GrowReadBuffer(char** buffer, uint64_t* capacity) {
    // One byte more than a document may hold tells one that is larger.
    const uint64_t ceiling = static_cast<uint64_t>(SHOW_ADDRESSABLE_BYTES) + 1;
    uint64_t grown = *capacity ? *capacity * 2 : SHOW_FIRST_READ_BYTES;
    if (grown > ceiling) grown = ceiling;
    if (static_cast<uint64_t>(static_cast<size_t>(grown)) != grown) grown = static_cast<size_t>(-1);
    if (grown <= *capacity) return SHOW_ERR_NO_MEMORY;
    void* moved = realloc(*buffer, static_cast<size_t>(grown));
    if (!moved) return SHOW_ERR_NO_MEMORY;
    *buffer = static_cast<char*>(moved);
    *capacity = grown;
    return SHOW_OK;
}

// The whole file in one pass, without asking its size first: what is read is the
// document, even when the file changes meanwhile. Gives text (size bytes and a NUL)
// to the caller, or a negative code and nothing to free.
int ReadWhole(FILE* file, char** text, uint32_t* size) {
    char* buffer = nullptr;
    uint64_t capacity = 0;
    uint64_t got = 0;
    int rc = SHOW_OK;
    for (;;) {
        if (got == capacity) {
            rc = GrowReadBuffer(&buffer, &capacity);
            if (rc < 0) break;
        }
        size_t part = fread(buffer + got, 1, static_cast<size_t>(capacity - got), file);
        if (part == 0) break;
        got += part;
    }
    if (rc == SHOW_OK && ferror(file)) rc = SHOW_ERR_READ;
    if (rc < 0) {
        free(buffer);
        return rc;
    }
    // The read ended short of the capacity, so the NUL fits. Give back what the
    // document did not need; keeping the larger block is harmless.
    char* fitted = static_cast<char*>(realloc(buffer, static_cast<size_t>(got) + 1));
    if (fitted) buffer = fitted;
    buffer[got] = '\0';
    *text = buffer;
    *size = static_cast<uint32_t>(got);
    return SHOW_OK;
}

// Format notes: a BMP file as GDI takes it, little-endian throughout.
//
//   offset  size
//   0       2     "BM"                                     BITMAPFILEHEADER
//   2       4     file size: not trusted, writers disagree on it
//   10      4     pixel offset: where the rows start
//   14      4     header size: 40, 108 (V4) or 124 (V5)    BITMAPINFOHEADER and its
//   18      4     width                                    successors, alike for
//   22      4     height; negative: rows stored top down   their first 40 bytes
//   26      2     planes: 1
//   28      2     bits per pixel: 1, 4, 8, 24; 16 or 32
//   30      4     compression: BI_RGB, or BI_BITFIELDS for 16 and 32 bits
//   46      4     colours used: 0 means 2^bits (8 bits and fewer)
//   54      12    BI_BITFIELDS: red, green, blue masks, after a 40-byte header and
//                 inside the later ones
//   then          the colour table, 4 bytes an entry
//   pixel offset  the rows, bottom up unless the height is negative; each row is
//                 width * bits rounded up to a multiple of 32 bits
//
// Only what the player gives GDI is read, and every part of it is checked against the
// file's length with 64-bit sums, so no size in a file can make GDI read beyond it.
// Compressed rows (RLE, embedded JPEG or PNG) are refused: their length is known only
// by decoding them.
const uint32_t BMP_PIXEL_OFFSET_AT = 10;
const uint32_t BMP_INFO_AT = SHOW_BMP_FILE_HEADER_BYTES;
const uint32_t BMP_WIDTH_AT = BMP_INFO_AT + 4;
const uint32_t BMP_HEIGHT_AT = BMP_INFO_AT + 8;
const uint32_t BMP_PLANES_AT = BMP_INFO_AT + 12;
const uint32_t BMP_BITS_AT = BMP_INFO_AT + 14;
const uint32_t BMP_COMPRESSION_AT = BMP_INFO_AT + 16;
const uint32_t BMP_COLOURS_USED_AT = BMP_INFO_AT + 32;
const uint32_t BMP_MASKS_AT = BMP_INFO_AT + SHOW_BMP_INFO_HEADER_BYTES;
const uint32_t BMP_ROW_ALIGN_BITS = 32;
const int32_t SMALLEST_INT32 = -2147483647 - 1;

uint32_t Le16(const unsigned char* at) { return at[0] | static_cast<uint32_t>(at[1]) << 8; }

uint32_t Le32(const unsigned char* at) { return Le16(at) | Le16(at + 2) << 16; }

// The fixed fields; tableStart gets where the colour table would start.
int ReadBitmapHeader(const unsigned char* bytes, uint32_t size, ShowBitmap* bitmap, uint32_t* tableStart) {
    if (size < BMP_INFO_AT + 4) return SHOW_ERR_BITMAP_HEADER;
    uint32_t headerBytes = Le32(bytes + BMP_INFO_AT);
    if (headerBytes != SHOW_BMP_INFO_HEADER_BYTES && headerBytes != SHOW_BMP_V4_HEADER_BYTES &&
        headerBytes != SHOW_BMP_V5_HEADER_BYTES) {
        return SHOW_ERR_BITMAP_HEADER;
    }
    if (size - BMP_INFO_AT < headerBytes) return SHOW_ERR_BITMAP_HEADER;
    if (Le16(bytes + BMP_PLANES_AT) != 1) return SHOW_ERR_BITMAP_HEADER;
    bitmap->width = static_cast<int32_t>(Le32(bytes + BMP_WIDTH_AT));
    bitmap->height = static_cast<int32_t>(Le32(bytes + BMP_HEIGHT_AT));
    bitmap->bits = Le16(bytes + BMP_BITS_AT);
    bitmap->compression = Le32(bytes + BMP_COMPRESSION_AT);
    bitmap->colour_count = Le32(bytes + BMP_COLOURS_USED_AT);
    bitmap->pixels_offset = Le32(bytes + BMP_PIXEL_OFFSET_AT);
    *tableStart = BMP_INFO_AT + headerBytes;
    if (bitmap->compression == SHOW_BMP_BITFIELDS && headerBytes == SHOW_BMP_INFO_HEADER_BYTES) {
        *tableStart += SHOW_BMP_MASKS_BYTES;
        if (size < *tableStart) return SHOW_ERR_BITMAP_HEADER;
    }
    return SHOW_OK;
}

int CheckBitmapFormat(const ShowBitmap* bitmap) {
    switch (bitmap->bits) {
        case 1:
        case 4:
        case 8:
        case 24:
            return bitmap->compression == SHOW_BMP_RGB ? SHOW_OK : SHOW_ERR_BITMAP_FORMAT;
        case 16:
        case 32:
            return bitmap->compression == SHOW_BMP_RGB || bitmap->compression == SHOW_BMP_BITFIELDS
                       ? SHOW_OK
                       : SHOW_ERR_BITMAP_FORMAT;
        default:
            return SHOW_ERR_BITMAP_FORMAT;
    }
}

// The colour table and the rows, both within the file.
int LocateBitmapParts(uint32_t size, uint32_t tableStart, ShowBitmap* bitmap) {
    if (bitmap->width <= 0 || bitmap->height == 0 || bitmap->height == SMALLEST_INT32) {
        return SHOW_ERR_BITMAP_SIZE;
    }
    if (bitmap->bits <= SHOW_BMP_MAX_PALETTE_BITS) {
        uint32_t most = 1u << bitmap->bits;
        if (bitmap->colour_count == 0) bitmap->colour_count = most;
        if (bitmap->colour_count > most) return SHOW_ERR_BITMAP_SIZE;
    } else {
        bitmap->colour_count = 0; // a table beside direct colours only suggests a palette
    }
    uint64_t tableEnd = tableStart + static_cast<uint64_t>(bitmap->colour_count) * SHOW_BMP_COLOUR_BYTES;
    if (tableEnd > size) return SHOW_ERR_BITMAP_SIZE;
    bitmap->colours_offset = tableStart;

    if (bitmap->pixels_offset > size) return SHOW_ERR_BITMAP_SIZE;
    uint64_t room = size - bitmap->pixels_offset;
    uint64_t rowBits = static_cast<uint64_t>(bitmap->width) * bitmap->bits;
    uint64_t rowBytes =
        (rowBits + BMP_ROW_ALIGN_BITS - 1) / BMP_ROW_ALIGN_BITS * (BMP_ROW_ALIGN_BITS / BYTE_BITS);
    uint64_t rows = bitmap->height < 0 ? -static_cast<int64_t>(bitmap->height) : bitmap->height;
    if (rows > room / rowBytes) return SHOW_ERR_BITMAP_SIZE; // rowBytes is 4 at least
    bitmap->pixel_bytes = static_cast<uint32_t>(rows * rowBytes);
    return SHOW_OK;
}

} // namespace

int ShowParse(const char* bytes, size_t size, Show* show) {
    if (!show) return SHOW_ERR_BAD_ARGUMENT;
    memset(show, 0, sizeof *show);
    if (!bytes && size > 0) return SHOW_ERR_BAD_ARGUMENT;
    // Beyond 32-bit offsets, or so large that the NUL after it cannot be counted.
    if (static_cast<uint64_t>(size) > SHOW_ADDRESSABLE_BYTES || size + 1 == 0) return SHOW_ERR_NO_MEMORY;
    char* text = static_cast<char*>(malloc(size + 1));
    if (!text) return SHOW_ERR_NO_MEMORY;
    if (size > 0) memcpy(text, bytes, size);
    text[size] = '\0';
    return ParseOwned(text, static_cast<uint32_t>(size), show);
}

int ShowLoad(const char* path, Show* show) {
    if (!show) return SHOW_ERR_BAD_ARGUMENT;
    memset(show, 0, sizeof *show);
    if (!path || !*path) return SHOW_ERR_BAD_ARGUMENT;
    FILE* file = fopen(path, "rb");
    if (!file) return SHOW_ERR_OPEN;
    char* text = nullptr;
    uint32_t size = 0;
    int rc = ReadWhole(file, &text, &size);
    fclose(file);
    if (rc < 0) return rc;
    return ParseOwned(text, size, show);
}

void ShowFree(Show* show) {
    if (!show) return;
    free(show->text);
    free(show->slides);
    free(show->lines);
    memset(show, 0, sizeof *show);
}

int ShowReadBitmap(const unsigned char* bytes, uint32_t size, ShowBitmap* bitmap) {
    if (!bitmap) return SHOW_ERR_BAD_ARGUMENT;
    memset(bitmap, 0, sizeof *bitmap);
    if (!bytes && size > 0) return SHOW_ERR_BAD_ARGUMENT;
    uint32_t tableStart = 0;
    int rc = ReadBitmapHeader(bytes, size, bitmap, &tableStart);
    if (rc == SHOW_OK) rc = CheckBitmapFormat(bitmap);
    if (rc == SHOW_OK) rc = LocateBitmapParts(size, tableStart, bitmap);
    if (rc == SHOW_OK && bitmap->compression == SHOW_BMP_BITFIELDS) {
        for (uint32_t i = 0; i < 3; ++i)
            bitmap->masks[i] = Le32(bytes + BMP_MASKS_AT + 4 * i);
    }
    if (rc < 0) memset(bitmap, 0, sizeof *bitmap);
    return rc;
}

const char* ShowErrorText(int code) {
    switch (code) {
        case SHOW_OK:
            return "The show was read.";
        case SHOW_ERR_OPEN:
            return "The file cannot be opened.";
        case SHOW_ERR_READ:
            return "The file cannot be read.";
        case SHOW_ERR_NO_MEMORY:
            return "There is not enough memory.";
        case SHOW_ERR_BINARY:
            return "The file is not a text document.";
        case SHOW_ERR_NO_SLIDE:
            return "The show has no slide (a slide begins with a line \"= Title\").";
        case SHOW_ERR_TEXT_BEFORE_SLIDE:
            return "Text comes before the first slide (a slide begins with a line \"= Title\").";
        case SHOW_ERR_UNKNOWN_DIRECTIVE:
            return "Unknown directive: the known ones are @title, @duration, and @picture and @end "
                   "alone on their lines.";
        case SHOW_ERR_MISPLACED_DIRECTIVE:
            return "@title belongs before the first slide, @picture within a slide, @end after a "
                   "picture's data.";
        case SHOW_ERR_BAD_DURATION:
            return "A duration is a number of seconds from 0.05 to 3600.";
        case SHOW_ERR_BAD_ARGUMENT:
            return "No show was named.";
        case SHOW_ERR_PICTURE_NOT_ENDED:
            return "A picture's data has no line @end after it.";
        case SHOW_ERR_BAD_BASE64:
            return "A picture's data is not base64 (A-Z, a-z, 0-9, + and /, with = only at its end).";
        case SHOW_ERR_EMPTY_PICTURE:
            return "A picture holds no data.";
        case SHOW_ERR_UNKNOWN_PICTURE:
            return "A picture is neither a BMP, a PNG nor a JPEG file.";
        case SHOW_ERR_SECOND_PICTURE:
            return "A slide holds one picture at most.";
        case SHOW_ERR_BITMAP_HEADER:
            return "The BMP file's headers are cut short or of a kind not supported.";
        case SHOW_ERR_BITMAP_FORMAT:
            return "The BMP file's pixels are compressed or of a depth not supported.";
        case SHOW_ERR_BITMAP_SIZE:
            return "The BMP file's sizes do not fit its data.";
        default:
            return "The show cannot be read.";
    }
}

int ShowPathFromCommandLine(const char* commandLine, char* path, size_t size) {
    if (!commandLine || !path || size == 0) return SHOW_ERR_BAD_ARGUMENT;
    path[0] = '\0';
    const char* at = commandLine;
    // The program's name, unless the line starts with the launcher's blank.
    if (*at == '"') {
        const char* closing = strchr(at + 1, '"');
        at = closing ? closing + 1 : at + strlen(at);
    } else {
        while (*at && !IsBlank(*at))
            ++at;
    }
    while (IsBlank(*at))
        ++at;
    const char* end = at + strlen(at);
    while (end > at && IsBlank(end[-1]))
        --end;
    if (end - at >= 2 && *at == '"' && end[-1] == '"') {
        ++at;
        --end;
    } else if (end > at && *at == '"') {
        ++at; // unterminated quote: the rest is the path
    }
    size_t length = static_cast<size_t>(end - at);
    if (length == 0 || length + 1 > size) return SHOW_ERR_BAD_ARGUMENT;
    memcpy(path, at, length);
    path[length] = '\0';
    return static_cast<int>(length);
}
