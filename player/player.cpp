// The demo slide player: shows a show document (show_format.h) slide by slide in a
// window covering the screen, each slide for its duration, and ends after the last.
// Keys: Right, Space, Page Down or a click go on; Left and Page Up go back; Escape
// ends the show. A document that cannot be shown gets a message box and exit code 1.
//
// Started by the launcher, the command line is a blank and the show's path, unquoted;
// started by hand it is the program's name and a path, perhaps quoted. Either way the
// path is taken from GetCommandLineA: the runtime's argv would split it at blanks.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "player/show_format.h"

namespace {

const wchar_t* const WINDOW_CLASS = L"SlidePlayerWindow";
const char* const MESSAGE_CAPTION = "Player";
const UINT_PTR SLIDE_TIMER = 1;
// Room for any path the command line can hold (32767 characters).
const size_t PATH_BYTES = 32768;
// wsprintfA writes at most 1024 bytes; the path shown is cut to 400 ("%.400s").
const int MESSAGE_BYTES = 1024;

// A deep blue gradient with white titles and an amber accent.
const COLORREF BACKGROUND_TOP = RGB(0x22, 0x34, 0x52);
const COLORREF BACKGROUND_BOTTOM = RGB(0x0D, 0x15, 0x24);
const COLORREF TITLE_COLOUR = RGB(0xFF, 0xFF, 0xFF);
const COLORREF TEXT_COLOUR = RGB(0xDA, 0xE3, 0xEE);
const COLORREF ACCENT_COLOUR = RGB(0xF2, 0xA6, 0x3B);
const COLORREF FOOTER_COLOUR = RGB(0x86, 0x98, 0xB0);
const COLORREF TRACK_COLOUR = RGB(0x2C, 0x3E, 0x5C);
const int GRADIENT_BANDS = 96;
const wchar_t BULLET = 0x2022;

// Sizes as fractions of the window, so a slide looks the same on any screen.
const int MARGIN_DIVISOR = 12;     // side margins: width / 12
const int TOP_DIVISOR = 9;         // first line: height / 9
const int TITLE_DIVISOR = 11;      // title font: height / 11
const int TEXT_DIVISOR = 22;       // text font: height / 22
const int FOOTER_DIVISOR = 42;     // footer font: height / 42
const int FOOTER_ZONE_DIVISOR = 8; // text stops height / 8 above the bottom
const int PROGRESS_DIVISOR = 160;  // progress strip: height / 160, at least 3 pixels

const char* const FONT_FACES[] = {"Segoe UI", "Tahoma", "Arial"};

// The one show of this process, used from its one thread.
struct Player {
    Show show;
    uint32_t current;
    HWND window;
    int width;
    int height;
    HFONT titleFont;
    HFONT textFont;
    HFONT footerFont;
    wchar_t* wide; // conversion buffer for the text being drawn
    uint32_t wideCapacity;
};
Player g_player;
char g_path[PATH_BYTES];

// The first face of FONT_FACES that the system has, else its own choice.
HFONT MakeFont(int height, int weight) {
    HDC screen = GetDC(nullptr);
    HFONT chosen = nullptr;
    for (const char* face : FONT_FACES) {
        HFONT font =
            CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH | FF_SWISS, face);
        if (!font) continue;
        char got[LF_FACESIZE] = "";
        HGDIOBJ old = SelectObject(screen, font);
        GetTextFaceA(screen, sizeof got, got);
        SelectObject(screen, old);
        if (lstrcmpiA(got, face) == 0) {
            chosen = font;
            break;
        }
        DeleteObject(font);
    }
    ReleaseDC(nullptr, screen);
    if (!chosen) {
        chosen = CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH | FF_SWISS, nullptr);
    }
    return chosen;
}

void FreeFonts() {
    HFONT* fonts[] = {&g_player.titleFont, &g_player.textFont, &g_player.footerFont};
    for (HFONT* font : fonts) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
    }
}

void MakeFonts() {
    FreeFonts();
    int h = g_player.height;
    g_player.titleFont = MakeFont(h / TITLE_DIVISOR, FW_BOLD);
    g_player.textFont = MakeFont(h / TEXT_DIVISOR, FW_NORMAL);
    g_player.footerFont = MakeFont(h / FOOTER_DIVISOR, FW_NORMAL);
}

// Text of the document as UTF-16: UTF-8 when it is valid UTF-8, else the ANSI code
// page. Returns the count of characters in g_player.wide, 0 when there is nothing.
int Widen(const char* text, uint32_t length) {
    if (length == 0) return 0;
    if (length + 1 > g_player.wideCapacity) {
        void* grown = realloc(g_player.wide, (static_cast<size_t>(length) + 1) * sizeof(wchar_t));
        if (!grown) return 0;
        g_player.wide = static_cast<wchar_t*>(grown);
        g_player.wideCapacity = length + 1;
    }
    int n = static_cast<int>(length);
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, n, g_player.wide, n);
    if (count == 0) count = MultiByteToWideChar(CP_ACP, 0, text, n, g_player.wide, n);
    g_player.wide[count] = 0;
    return count;
}

int WidenPiece(ShowText piece) { return Widen(g_player.show.text + piece.offset, piece.length); }

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT area = {left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

int Mix(int from, int to, int step, int steps) { return from + (to - from) * step / steps; }

void PaintBackground(HDC dc, int w, int h) {
    for (int band = 0; band < GRADIENT_BANDS; ++band) {
        COLORREF colour =
            RGB(Mix(GetRValue(BACKGROUND_TOP), GetRValue(BACKGROUND_BOTTOM), band, GRADIENT_BANDS),
                Mix(GetGValue(BACKGROUND_TOP), GetGValue(BACKGROUND_BOTTOM), band, GRADIENT_BANDS),
                Mix(GetBValue(BACKGROUND_TOP), GetBValue(BACKGROUND_BOTTOM), band, GRADIENT_BANDS));
        Fill(dc, 0, h * band / GRADIENT_BANDS, w, h * (band + 1) / GRADIENT_BANDS, colour);
    }
}

// Draws wrapped text from the top of area; returns the height it took.
int DrawWrapped(HDC dc, const wchar_t* text, int count, RECT area, UINT alignment) {
    UINT flags = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | alignment;
    RECT measured = area;
    DrawTextW(dc, text, count, &measured, flags | DT_CALCRECT);
    DrawTextW(dc, text, count, &area, flags);
    return measured.bottom - measured.top;
}

int IsBulleted(const char* text, uint32_t length) {
    return length >= 2 && (text[0] == '-' || text[0] == '*') && text[1] == ' ';
}

void PaintSlide(HDC dc, int w, int h) {
    const Show& show = g_player.show;
    const ShowSlide& slide = show.slides[g_player.current];
    int margin = w / MARGIN_DIVISOR;
    int right = w - margin;
    int textBottom = h - h / FOOTER_ZONE_DIVISOR;
    int y = h / TOP_DIVISOR;
    SetBkMode(dc, TRANSPARENT);

    int count = WidenPiece(slide.title);
    if (count > 0) {
        SelectObject(dc, g_player.titleFont);
        SetTextColor(dc, TITLE_COLOUR);
        RECT area = {margin, y, right, textBottom};
        y += DrawWrapped(dc, g_player.wide, count, area, DT_LEFT);
        y += h / 50;
        int bar = h / 120 > 4 ? h / 120 : 4;
        Fill(dc, margin, y, margin + w / 8, y + bar, ACCENT_COLOUR);
        y += bar + h / 20;
    }

    SelectObject(dc, g_player.textFont);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    int lineHeight = metrics.tmHeight;
    for (uint32_t i = 0; i < slide.line_count && y < textBottom; ++i) {
        ShowText line = show.lines[slide.first_line + i];
        if (line.length == 0) {
            y += lineHeight / 2;
            continue;
        }
        int left = margin;
        if (IsBulleted(show.text + line.offset, line.length)) {
            SetTextColor(dc, ACCENT_COLOUR);
            RECT mark = {left, y, left + lineHeight, textBottom};
            DrawTextW(dc, &BULLET, 1, &mark, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
            left += lineHeight;
            line.offset += 2;
            line.length -= 2;
        }
        SetTextColor(dc, TEXT_COLOUR);
        RECT area = {left, y, right, textBottom};
        y += DrawWrapped(dc, g_player.wide, WidenPiece(line), area, DT_LEFT) + lineHeight / 4;
    }

    // Footer: the show's title on the left, the slide's number on the right, and a
    // strip along the bottom edge that fills as the show goes on.
    SelectObject(dc, g_player.footerFont);
    SetTextColor(dc, FOOTER_COLOUR);
    int strip = h / PROGRESS_DIVISOR > 3 ? h / PROGRESS_DIVISOR : 3;
    RECT footer = {margin, h - h / 12, right, h - strip};
    count = WidenPiece(show.title);
    if (count > 0) DrawTextW(dc, g_player.wide, count, &footer, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
    wchar_t number[32];
    int length = wsprintfW(number, L"%u / %u", g_player.current + 1, show.slide_count);
    DrawTextW(dc, number, length, &footer, DT_RIGHT | DT_NOPREFIX | DT_SINGLELINE);
    Fill(dc, 0, h - strip, w, h, TRACK_COLOUR);
    Fill(dc, 0, h - strip,
         static_cast<int>(static_cast<int64_t>(w) * (g_player.current + 1) / show.slide_count), h,
         ACCENT_COLOUR);
}

// Painted off screen and copied in one piece, so a slide change does not flicker.
void Paint(HDC target) {
    if (!g_player.titleFont) MakeFonts();
    int w = g_player.width;
    int h = g_player.height;
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, w, h);
    if (!dc || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        dc = target;
    }
    HGDIOBJ oldBitmap = dc != target ? SelectObject(dc, bitmap) : nullptr;
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    PaintBackground(dc, w, h);
    PaintSlide(dc, w, h);
    SelectObject(dc, oldFont);
    if (dc != target) {
        BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
}

void ShowCurrentSlide() {
    SetTimer(g_player.window, SLIDE_TIMER, g_player.show.slides[g_player.current].duration_ms, nullptr);
    InvalidateRect(g_player.window, nullptr, FALSE);
}

// Going on from the last slide ends the show, as its time running out does.
void Next() {
    if (g_player.current + 1 >= g_player.show.slide_count) {
        DestroyWindow(g_player.window);
        return;
    }
    g_player.current++;
    ShowCurrentSlide();
}

void Previous() {
    if (g_player.current > 0) g_player.current--;
    ShowCurrentSlide();
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            Paint(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1; // the whole window is painted in WM_PAINT
        case WM_SIZE:
            g_player.width = LOWORD(lParam);
            g_player.height = HIWORD(lParam);
            MakeFonts();
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_TIMER:
            if (wParam == SLIDE_TIMER) Next();
            return 0;
        case WM_KEYDOWN:
            switch (wParam) {
                case VK_RIGHT:
                case VK_SPACE:
                case VK_NEXT:
                    Next();
                    return 0;
                case VK_LEFT:
                case VK_PRIOR:
                    Previous();
                    return 0;
                case VK_ESCAPE:
                    DestroyWindow(window);
                    return 0;
            }
            break;
        case WM_LBUTTONUP:
            Next();
            return 0;
        case WM_DESTROY:
            KillTimer(window, SLIDE_TIMER);
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The window's title, which the taskbar shows: the show's title, else the document's
// file name.
void WindowTitle(wchar_t* title, int size) {
    int count = WidenPiece(g_player.show.title);
    if (count == 0) {
        const char* name = g_path;
        for (const char* at = g_path; *at; at = CharNextA(at)) {
            if (*at == '\\' || *at == '/' || *at == ':') name = at + 1;
        }
        count = MultiByteToWideChar(CP_ACP, 0, name, -1, title, size);
        if (count == 0) title[0] = 0;
        return;
    }
    lstrcpynW(title, g_player.wide, size);
}

int Complain(int rc) {
    char text[MESSAGE_BYTES];
    if (rc == SHOW_ERR_BAD_ARGUMENT) {
        wsprintfA(text, "No show was named.\n\nStart the player with the path of a show document.");
    } else if (g_player.show.error_line > 0) {
        wsprintfA(text, "The show cannot be shown:\n%.400s\n\nLine %u: %s", g_path, g_player.show.error_line,
                  ShowErrorText(rc));
    } else {
        wsprintfA(text, "The show cannot be shown:\n%.400s\n\n%s", g_path, ShowErrorText(rc));
    }
    MessageBoxA(nullptr, text, MESSAGE_CAPTION, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return 1;
}

int Play(HINSTANCE instance) {
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassW(&windowClass)) return 1;

    wchar_t title[256];
    WindowTitle(title, 256);
    g_player.width = GetSystemMetrics(SM_CXSCREEN);
    g_player.height = GetSystemMetrics(SM_CYSCREEN);
    g_player.window = CreateWindowExW(WS_EX_APPWINDOW, WINDOW_CLASS, title, WS_POPUP, 0, 0, g_player.width,
                                      g_player.height, nullptr, nullptr, instance, nullptr);
    if (!g_player.window) return 1;
    ShowWindow(g_player.window, SW_SHOW);
    UpdateWindow(g_player.window);
    SetForegroundWindow(g_player.window);
    SetFocus(g_player.window);
    ShowCurrentSlide();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int rc = ShowPathFromCommandLine(GetCommandLineA(), g_path, sizeof g_path);
    if (rc >= 0) rc = ShowLoad(g_path, &g_player.show);
    if (rc < 0) return Complain(rc);
    int exitCode = Play(instance);
    FreeFonts();
    free(g_player.wide);
    ShowFree(&g_player.show);
    return exitCode;
}
