// Reading a show document. The parser walks the text once, line by line, and keeps
// every title and text line as a piece of the one buffer, so nothing is copied.
#include "player/show_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const uint32_t FIRST_CAPACITY = 16;

int IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lowered(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Grows a malloc'd array so that it holds at least `needed` items.
int Reserve(void** items, uint32_t* capacity, uint32_t needed, size_t itemSize) {
    if (needed <= *capacity) return SHOW_OK;
    uint32_t grown = *capacity ? *capacity * 2 : FIRST_CAPACITY;
    if (grown < needed) grown = needed;
    void* moved = realloc(*items, static_cast<size_t>(grown) * itemSize);
    if (!moved) return SHOW_ERR_NO_MEMORY;
    *items = moved;
    *capacity = grown;
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

// Where a parse stands: the slide being filled and the arrays' capacities.
struct Parse {
    Show* show;
    uint32_t slideCapacity;
    uint32_t lineCapacity;
    uint32_t ownDuration;   // the current slide's @duration, 0 while it has none
    uint32_t pendingBlanks; // blank lines after the slide's last text line
};

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
    return SHOW_ERR_UNKNOWN_DIRECTIVE;
}

// The line [from, to), already stripped of its end and of blanks on both sides.
int Line(Parse* p, uint32_t from, uint32_t to) {
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
    uint32_t lineNumber = 0;
    while (at < size) {
        uint32_t start = at;
        while (at < size && text[at] != '\n' && text[at] != '\r')
            ++at;
        uint32_t end = at;
        if (at < size) at += (text[at] == '\r' && at + 1 < size && text[at + 1] == '\n') ? 2 : 1;
        ++lineNumber;

        while (start < end && IsBlank(text[start]))
            ++start;
        while (end > start && IsBlank(text[end - 1]))
            --end;
        int rc = Line(p, start, end);
        if (rc < 0) {
            show->error_line = lineNumber;
            return rc;
        }
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

} // namespace

int ShowParse(const char* bytes, size_t size, Show* show) {
    if (!show) return SHOW_ERR_BAD_ARGUMENT;
    memset(show, 0, sizeof *show);
    if (!bytes && size > 0) return SHOW_ERR_BAD_ARGUMENT;
    if (size > SHOW_MAX_BYTES) return SHOW_ERR_TOO_LARGE;
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
    // One byte more than allowed tells a document that is too large.
    char* text = static_cast<char*>(malloc(SHOW_MAX_BYTES + 2));
    if (!text) {
        fclose(file);
        return SHOW_ERR_NO_MEMORY;
    }
    size_t got = 0;
    while (got < SHOW_MAX_BYTES + 1) {
        size_t part = fread(text + got, 1, SHOW_MAX_BYTES + 1 - got, file);
        if (part == 0) break;
        got += part;
    }
    int failed = ferror(file);
    fclose(file);
    int rc = SHOW_OK;
    if (failed) {
        rc = SHOW_ERR_READ;
    } else if (got > SHOW_MAX_BYTES) {
        rc = SHOW_ERR_TOO_LARGE;
    }
    if (rc < 0) {
        free(text);
        return rc;
    }
    text[got] = '\0';
    // Give back what the document did not need; keeping the large block is harmless.
    char* fitted = static_cast<char*>(realloc(text, got + 1));
    if (fitted) text = fitted;
    return ParseOwned(text, static_cast<uint32_t>(got), show);
}

void ShowFree(Show* show) {
    if (!show) return;
    free(show->text);
    free(show->slides);
    free(show->lines);
    memset(show, 0, sizeof *show);
}

const char* ShowErrorText(int code) {
    switch (code) {
        case SHOW_OK:
            return "The show was read.";
        case SHOW_ERR_OPEN:
            return "The file cannot be opened.";
        case SHOW_ERR_READ:
            return "The file cannot be read.";
        case SHOW_ERR_TOO_LARGE:
            return "The file is too large for a show (at most 1 MiB).";
        case SHOW_ERR_NO_MEMORY:
            return "There is not enough memory.";
        case SHOW_ERR_BINARY:
            return "The file is not a text document.";
        case SHOW_ERR_NO_SLIDE:
            return "The show has no slide (a slide begins with a line \"= Title\").";
        case SHOW_ERR_TEXT_BEFORE_SLIDE:
            return "Text comes before the first slide (a slide begins with a line \"= Title\").";
        case SHOW_ERR_UNKNOWN_DIRECTIVE:
            return "Unknown directive: only @title and @duration are known.";
        case SHOW_ERR_MISPLACED_DIRECTIVE:
            return "@title belongs before the first slide.";
        case SHOW_ERR_BAD_DURATION:
            return "A duration is a number of seconds from 0.05 to 3600.";
        case SHOW_ERR_BAD_ARGUMENT:
            return "No show was named.";
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
