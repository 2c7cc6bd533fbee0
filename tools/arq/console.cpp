// Messages, questions and the progress bar on the terminal.
#include "tools/arq/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "tools/arq/text.h"

namespace {

// Process-wide, not thread-safe.
int g_quiet = 0;
int g_verbose = 0;

struct ProgressState {
    int active;     // ProgressBegin found a terminal
    int shown;      // the bar is on the screen now
    uint64_t total; // 0: unknown
    int lastPermille;
    uint64_t lastMebibytes;
    std::string lastName;
};
ProgressState g_progress = {0, 0, 0, -1, 0, std::string()};

// A bar needs this many columns for its frame and figures to be worth drawing.
const int PROGRESS_MIN_COLUMNS = 40;
// Width assumed when the terminal does not say.
const int TERMINAL_DEFAULT_COLUMNS = 80;
// Cells of the bar itself.
const int PROGRESS_BAR_CELLS = 20;

std::string Format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < sizeof small) return std::string(small, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

int TerminalColumns() {
    int columns = PlatTerminalColumns(PLAT_STDERR);
    return columns > 0 ? columns : TERMINAL_DEFAULT_COLUMNS;
}

} // namespace

void ConsoleSetQuiet(int quiet) { g_quiet = quiet; }
void ConsoleSetVerbose(int verbose) { g_verbose = verbose; }
int ConsoleQuiet() { return g_quiet; }
int ConsoleVerbose() { return g_verbose; }

// Puts one line on a stream, clearing the progress bar first so the two never mix.
static void EmitLine(FILE* stream, const char* prefix, const char* format, va_list args) {
    ProgressClear();
    const std::string text = Format(format, args);
    std::fprintf(stream, "%s%s\n", prefix, text.c_str());
    std::fflush(stream);
}

void Complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    EmitLine(stderr, "arq: ", format, args);
    va_end(args);
}

void Say(const char* format, ...) {
    // A summary is for a person watching; piped into another program, arq is silent.
    if (!g_verbose && (g_quiet || !PlatIsTerminal(PLAT_STDOUT))) return;
    va_list args;
    va_start(args, format);
    EmitLine(stdout, "", format, args);
    va_end(args);
}

void Tell(const char* format, ...) {
    if (!g_verbose) return;
    va_list args;
    va_start(args, format);
    EmitLine(stdout, "", format, args);
    va_end(args);
}

std::string Printable(const char* name) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        out += (*p < 0x20 || *p == 0x7F) ? '?' : static_cast<char>(*p);
    }
    // A byte of the code page takes at most 4 bytes in the terminal's encoding.
    std::string shown(out.size() * 4 + 1, '\0');
    const int length = PlatNameToHost(out.c_str(), &shown[0], static_cast<uint32_t>(shown.size()));
    if (length < 0) return out;
    shown.resize(static_cast<size_t>(length));
    return shown;
}

int ConsoleInteractive() { return PlatIsTerminal(PLAT_STDIN); }

int AskLine(const char* prompt, std::string* answer) {
    ProgressClear();
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    answer->clear();
    if (PlatInterrupted()) return 0;
    char line[256];
    if (std::fgets(line, sizeof line, stdin) == nullptr || PlatInterrupted()) {
        // Ends the prompt's line, so the next message does not run on behind it.
        std::fputc('\n', stderr);
        return 0;
    }
    size_t length = std::strlen(line);
    // The rest of an overlong line is not the answer to the next question.
    if (length > 0 && line[length - 1] != '\n') {
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        }
    }
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = '\0';
    answer->assign(line, length);
    return 1;
}

// ---- Progress bar --------------------------------------------------------------

std::string HumanSize(uint64_t bytes) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB"};
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    // Tenths of the unit, rounded down so that a bar never shows more than is done.
    uint64_t tenths = bytes * 10 / 1024;
    int unit = 0;
    while (tenths >= 10240 && unit < 2) {
        tenths /= 1024;
        unit++;
    }
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[unit];
}

void ProgressBegin(uint64_t total) {
    g_progress.active = !g_quiet && PlatIsTerminal(PLAT_STDERR);
    g_progress.shown = 0;
    g_progress.total = total;
    g_progress.lastPermille = -1;
    g_progress.lastMebibytes = ~static_cast<uint64_t>(0);
    g_progress.lastName.clear();
}

namespace {

void ProgressDraw(uint64_t done, const char* name, bool fromArchive) {
    if (!g_progress.active) return;
    const int columns = TerminalColumns();
    if (columns < PROGRESS_MIN_COLUMNS) return;
    int permille = -1;
    if (g_progress.total > 0) {
        uint64_t capped = done < g_progress.total ? done : g_progress.total;
        permille = static_cast<int>(capped * 1000 / g_progress.total);
    }
    const uint64_t mebibytes = done >> 20;
    const char* shownName = name ? name : "";
    if (g_progress.shown && permille == g_progress.lastPermille && mebibytes == g_progress.lastMebibytes &&
        g_progress.lastName == shownName) {
        return;
    }
    g_progress.lastPermille = permille;
    g_progress.lastMebibytes = mebibytes;
    g_progress.lastName = shownName;

    std::string line;
    if (permille >= 0) {
        const int filled = permille * PROGRESS_BAR_CELLS / 1000;
        line += '[';
        line.append(static_cast<size_t>(filled), '#');
        line.append(static_cast<size_t>(PROGRESS_BAR_CELLS - filled), '.');
        line += "] ";
        char percent[16];
        std::snprintf(percent, sizeof percent, "%3d%%", permille / 10);
        line += percent;
        line += "  ";
    }
    line += HumanSize(done);
    line += "  ";
    line += fromArchive ? ShownName(shownName) : ShownHostName(shownName);
    // One column is left free: a line that fills the last column makes some terminals
    // wrap, and the next carriage return would then stay on the wrong line.
    const size_t room = static_cast<size_t>(columns - 1);
    if (line.size() > room) {
        line.resize(room);
        // Not half a character: a UTF-8 sequence (or a double-byte character) that the
        // cut went through goes whole.
        while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80)
            line.pop_back();
        if (!line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0) line.pop_back();
    }
    line.append(room - line.size(), ' ');
    std::fputc('\r', stderr);
    std::fputs(line.c_str(), stderr);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    g_progress.shown = 1;
}

} // namespace

void ProgressShow(uint64_t done, const char* name) { ProgressDraw(done, name, true); }

void ProgressShowHost(uint64_t done, const char* name) { ProgressDraw(done, name, false); }

void ProgressClear() {
    if (!g_progress.shown) return;
    const size_t room = static_cast<size_t>(TerminalColumns() - 1);
    std::fputc('\r', stderr);
    std::fputs(std::string(room, ' ').c_str(), stderr);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    g_progress.shown = 0;
    g_progress.lastPermille = -1;
}

void ProgressEnd() {
    ProgressClear();
    g_progress.active = 0;
}
