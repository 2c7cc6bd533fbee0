// The stand-in framework: no window is created, but each dialog is made from the same
// template the Windows program uses (read from the linked resource image), its
// controls are modelled (a progress bar keeps its range and position as the real one
// does: a position is held within the range), and everything a user would see is
// recorded (see standin.h). On a terminal the bar is drawn on standard error; a
// message box becomes a line there and is answered OK at once.
//
// Process-wide state, not thread-safe, like the framework's single UI thread.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "framework/framework_impl.h"
#include "framework/standin.h"
#include "platform/platform.h"

namespace {

// ---- Resource image ----------------------------------------------------------------
//
// A .res file is a run of entries, each DWORD-aligned:
//   DataSize (4) | HeaderSize (4) | TYPE | NAME | DataVersion (4) | MemoryFlags (2)
//   | LanguageId (2) | Version (4) | Characteristics (4) | data (DataSize)
// where TYPE and NAME are either FFFF + a 16-bit ordinal or a UTF-16 string, and the
// header is padded to a DWORD before DataVersion.

const unsigned RT_DIALOG_TYPE = 5;
const unsigned RT_STRING_TYPE = 6;
const unsigned STRINGS_PER_BLOCK = 16;
const uint32_t DS_SETFONT_STYLE = 0x40;
const char PROGRESS_CLASS[] = "msctls_progress32";

unsigned Word(const unsigned char* p) { return p[0] | static_cast<unsigned>(p[1]) << 8; }
uint32_t Dword(const unsigned char* p) { return Word(p) | static_cast<uint32_t>(Word(p + 2)) << 16; }

// Reads an ordinal-or-string field at p (within end); *ordinal is the ordinal or -1.
// The position behind it, or null when it runs past end.
const unsigned char* SkipNameField(const unsigned char* p, const unsigned char* end, long* ordinal) {
    if (end - p < 2) return nullptr;
    if (Word(p) == 0xFFFF) {
        if (end - p < 4) return nullptr;
        *ordinal = static_cast<long>(Word(p + 2));
        return p + 4;
    }
    *ordinal = -1;
    while (end - p >= 2) {
        const unsigned c = Word(p);
        p += 2;
        if (c == 0) return p;
    }
    return nullptr;
}

const unsigned char* AlignDword(const unsigned char* base, const unsigned char* p) {
    return base + ((p - base + 3) & ~static_cast<ptrdiff_t>(3));
}

// The data of resource (type, id), or null.
const unsigned char* FindResource(unsigned type, unsigned id, uint32_t* size) {
    const unsigned char* base = g_resourceImage;
    const unsigned char* end = base + g_resourceImageSize;
    const unsigned char* p = base;
    while (end - p >= 8) {
        const uint32_t dataSize = Dword(p);
        const uint32_t headerSize = Dword(p + 4);
        if (headerSize < 8 || headerSize > static_cast<uint32_t>(end - p) ||
            dataSize > static_cast<uint32_t>(end - p) - headerSize)
            return nullptr;
        long entryType = -1;
        long entryName = -1;
        const unsigned char* field = SkipNameField(p + 8, p + headerSize, &entryType);
        if (field != nullptr) field = SkipNameField(field, p + headerSize, &entryName);
        if (field != nullptr && entryType == static_cast<long>(type) && entryName == static_cast<long>(id)) {
            *size = dataSize;
            return p + headerSize;
        }
        p = AlignDword(base, p + headerSize + dataSize);
    }
    return nullptr;
}

// Copies a UTF-16 text of count units as bytes: ASCII and Latin-1 as they are, others
// as '?'. The position behind the units.
void CopyWide(const unsigned char* p, size_t count, char* out, size_t size) {
    size_t n = 0;
    for (size_t i = 0; i < count && n + 1 < size; ++i) {
        const unsigned c = Word(p + 2 * i);
        out[n++] = c < 0x100 ? static_cast<char>(c) : '?';
    }
    if (size > 0) out[n] = '\0';
}

// An ordinal-or-string field read as SkipNameField does, a string copied to out.
const unsigned char* ReadNameField(const unsigned char* p, const unsigned char* end, long* ordinal, char* out,
                                   size_t size) {
    const unsigned char* behind = SkipNameField(p, end, ordinal);
    if (size > 0) out[0] = '\0';
    if (behind != nullptr && *ordinal < 0) CopyWide(p, static_cast<size_t>(behind - p) / 2 - 1, out, size);
    return behind;
}

// A NUL-terminated UTF-16 string at p: copied; the position behind it, or null.
const unsigned char* ReadWideString(const unsigned char* p, const unsigned char* end, char* out,
                                    size_t size) {
    size_t count = 0;
    while (end - p >= static_cast<ptrdiff_t>(2 * count + 2) && Word(p + 2 * count) != 0)
        ++count;
    if (end - p < static_cast<ptrdiff_t>(2 * count + 2)) return nullptr;
    CopyWide(p, count, out, size);
    return p + 2 * count + 2;
}

// ---- Windows -----------------------------------------------------------------------

struct StandInWindow {
    int id; // control id; 0 for a dialog
    bool isBar;
    bool visible;
    uint32_t style;
    int x, y, width, height;
    char caption[128];
    int lower, upper, position; // a progress bar's state, as the real control keeps it
    FwMessageWatch watch;
    void* watchContext;
    StandInWindow* parent;
    std::vector<StandInWindow*> children;
};

// A deque: a launch records a bar message per progress event, tens of thousands of
// them, and growing must neither copy them all nor move the one just handed out.
std::deque<FwEvent> g_events;
// Windows that exist: a handle to a destroyed one reaches nothing, as on Windows.
std::vector<StandInWindow*> g_live;

bool IsLive(FwWindow handle) {
    for (StandInWindow* window : g_live) {
        if (window == handle) return true;
    }
    return false;
}

void Forget(StandInWindow* window) {
    for (size_t i = 0; i < g_live.size(); ++i) {
        if (g_live[i] == window) g_live.erase(g_live.begin() + static_cast<ptrdiff_t>(i));
    }
    delete window;
}
bool g_barDrawn = false;

FwEvent& Record(int kind) {
    g_events.emplace_back();
    FwEvent& event = g_events.back();
    event.kind = kind;
    return event;
}

StandInWindow* NewWindow(int id) {
    StandInWindow* window = new StandInWindow();
    window->id = id;
    window->upper = 100; // the real bar's range before anyone sets one
    g_live.push_back(window);
    return window;
}

// Window classes are matched without regard to case, as the system matches them.
bool SameLetters(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// A dialog template: DIALOG layout (an extended one is not read).
//   style (4) | exstyle (4) | items (2) | x y cx cy (2 each) | menu | class | caption
//   | [point size (2) | face] then, DWORD-aligned, each item:
//   style (4) | exstyle (4) | x y cx cy (2 each) | id (2) | class | text | extra (2 + n)
StandInWindow* BuildDialog(const unsigned char* data, uint32_t size) {
    const unsigned char* end = data + size;
    if (size < 18 || (Word(data) == 1 && Word(data + 2) == 0xFFFF)) return nullptr;
    StandInWindow* dialog = NewWindow(0);
    dialog->style = Dword(data);
    const unsigned items = Word(data + 8);
    dialog->x = static_cast<short>(Word(data + 10));
    dialog->y = static_cast<short>(Word(data + 12));
    dialog->width = static_cast<short>(Word(data + 14));
    dialog->height = static_cast<short>(Word(data + 16));
    dialog->visible = (dialog->style & 0x10000000u) != 0; // WS_VISIBLE
    long ordinal = 0;
    const unsigned char* p = SkipNameField(data + 18, end, &ordinal); // menu
    if (p != nullptr) p = SkipNameField(p, end, &ordinal);            // class
    if (p != nullptr) p = ReadWideString(p, end, dialog->caption, sizeof dialog->caption);
    if (p != nullptr && (dialog->style & DS_SETFONT_STYLE) != 0) {
        char face[64];
        p = end - p >= 2 ? ReadWideString(p + 2, end, face, sizeof face) : nullptr;
    }
    for (unsigned i = 0; p != nullptr && i < items; ++i) {
        p = AlignDword(data, p);
        if (end - p < 18) break;
        StandInWindow* control = NewWindow(static_cast<int>(Word(p + 16)));
        control->style = Dword(p);
        control->x = static_cast<short>(Word(p + 8));
        control->y = static_cast<short>(Word(p + 10));
        control->width = static_cast<short>(Word(p + 12));
        control->height = static_cast<short>(Word(p + 14));
        char className[64] = "";
        p = ReadNameField(p + 18, end, &ordinal, className, sizeof className);
        control->isBar = ordinal < 0 && SameLetters(className, PROGRESS_CLASS);
        if (p != nullptr) p = ReadNameField(p, end, &ordinal, control->caption, sizeof control->caption);
        if (p != nullptr && end - p >= 2) p += 2 + Word(p);
        control->parent = dialog;
        dialog->children.push_back(control);
    }
    return dialog;
}

void DrawBar(const StandInWindow* bar) {
    if (!PlatIsTerminal(PLAT_STDERR)) return;
    const int span = bar->upper - bar->lower;
    const int percent = span > 0 ? (bar->position - bar->lower) * 100 / span : 0;
    const int width = 40;
    char cells[width + 1];
    for (int i = 0; i < width; ++i)
        cells[i] = i < percent * width / 100 ? '#' : '.';
    cells[width] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", cells, percent);
    std::fflush(stderr);
    g_barDrawn = true;
}

void EndBarLine() {
    if (!g_barDrawn) return;
    std::fputc('\n', stderr);
    g_barDrawn = false;
}

int Clamp(int value, int lower, int upper) { return value < lower ? lower : (value > upper ? upper : value); }

// The messages a stand-in window answers: those of the progress bar.
intptr_t Answer(StandInWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (!window->isBar) return 0;
    switch (message) {
        case FW_PBM_SETRANGE: {
            const intptr_t previous =
                static_cast<intptr_t>((window->lower & 0xFFFF) | (window->upper & 0xFFFF) << 16);
            window->lower = static_cast<int>(lParam & 0xFFFF);
            window->upper = static_cast<int>((lParam >> 16) & 0xFFFF);
            window->position = Clamp(window->position, window->lower, window->upper);
            return previous;
        }
        case FW_PBM_SETPOS: {
            const int previous = window->position;
            window->position = Clamp(static_cast<int>(wParam), window->lower, window->upper);
            if (window->position != previous) DrawBar(window);
            return previous;
        }
        case FW_PBM_GETPOS:
            return window->position;
        case FW_PBM_GETRANGE:
            return wParam != 0 ? window->lower : window->upper;
        default:
            return 0;
    }
}

} // namespace

unsigned FwModuleFileName(char* buffer, unsigned size) { return PlatModuleFileName(nullptr, buffer, size); }

void FwShowWaitCursor(bool on) { Record(FW_EVENT_WAIT_CURSOR).value = on ? 1 : 0; }

int FwMessageLoop() { return 0; }

FwWindow FwCreateDialog(CDialog* dialog, unsigned templateId, FwWindow) {
    uint32_t size = 0;
    const unsigned char* data = FindResource(RT_DIALOG_TYPE, templateId, &size);
    StandInWindow* window = data != nullptr ? BuildDialog(data, size) : nullptr;
    if (window == nullptr) return nullptr;
    FwEvent& event = Record(FW_EVENT_DIALOG_CREATED);
    event.caption = window->caption;
    event.value = static_cast<int>(templateId);
    event.style = window->style;
    event.x = window->x;
    event.y = window->y;
    event.width = window->width;
    event.height = window->height;
    dialog->m_hWnd = window;
    dialog->OnInitDialog();
    return window;
}

void FwCentreDialog(FwWindow, unsigned, FwWindow) {}

void FwEndDialog(FwWindow window, int result) {
    if (!IsLive(window)) return;
    static_cast<StandInWindow*>(window)->visible = false;
    Record(FW_EVENT_DIALOG_ENDED).value = result;
    EndBarLine();
}

bool FwDestroyWindow(FwWindow handle) {
    if (!IsLive(handle)) return false;
    StandInWindow* window = static_cast<StandInWindow*>(handle);
    for (StandInWindow* child : window->children)
        Forget(child);
    if (window->parent != nullptr) {
        std::vector<StandInWindow*>& siblings = window->parent->children;
        for (size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i] == window) siblings.erase(siblings.begin() + static_cast<ptrdiff_t>(i));
        }
    }
    Record(FW_EVENT_WINDOW_DESTROYED).controlId = window->id;
    Forget(window);
    EndBarLine();
    return true;
}

intptr_t FwSendMessage(FwWindow handle, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (!IsLive(handle)) return 0;
    StandInWindow* window = static_cast<StandInWindow*>(handle);
    FwEvent& event = Record(FW_EVENT_MESSAGE);
    event.controlId = window->id;
    event.message = message;
    event.wParam = wParam;
    event.lParam = lParam;
    if (window->watch != nullptr) window->watch(message, wParam, lParam, window->watchContext);
    return Answer(window, message, wParam, lParam);
}

FwWindow FwGetDlgItem(FwWindow dialog, int id) {
    if (!IsLive(dialog)) return nullptr;
    for (StandInWindow* child : static_cast<StandInWindow*>(dialog)->children) {
        if (child->id == id) return child;
    }
    return nullptr;
}

int FwShowMessageBox(const char* text, const char* caption, unsigned type) {
    EndBarLine();
    FwEvent& event = Record(FW_EVENT_MESSAGE_BOX);
    event.text = text != nullptr ? text : "";
    event.caption = caption != nullptr ? caption : "";
    event.value = static_cast<int>(type);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return FW_IDOK;
}

int FwLoadString(unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    uint32_t blockSize = 0;
    const unsigned char* block = FindResource(RT_STRING_TYPE, id / STRINGS_PER_BLOCK + 1, &blockSize);
    if (block == nullptr) return 0;
    // Sixteen counted UTF-16 strings; ours is number id % 16.
    const unsigned char* p = block;
    const unsigned char* end = block + blockSize;
    for (unsigned i = 0; i < STRINGS_PER_BLOCK && end - p >= 2; ++i) {
        const unsigned count = Word(p);
        if (static_cast<size_t>(end - p - 2) < 2u * count) return 0;
        if (i == id % STRINGS_PER_BLOCK) {
            CopyWide(p + 2, count, buffer, static_cast<size_t>(size));
            return static_cast<int>(std::strlen(buffer));
        }
        p += 2 + 2 * count;
    }
    return 0;
}

bool FwWatchMessages(FwWindow handle, FwMessageWatch watch, void* context) {
    if (!IsLive(handle) || watch == nullptr) return false;
    StandInWindow* window = static_cast<StandInWindow*>(handle);
    window->watch = watch;
    window->watchContext = context;
    return true;
}

size_t FwStandInEventCount() { return g_events.size(); }

const FwEvent& FwStandInEvent(size_t index) { return g_events.at(index); }

void FwStandInClearEvents() { g_events.clear(); }
