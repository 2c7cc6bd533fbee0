// The demo slide player: shows a show document (show_format.h) slide by slide in a
// window covering the screen, each slide for its duration, and ends after the last.
// Keys: Right, Space, Page Down or a click go on; Left and Page Up go back; Escape
// ends the show. A document that cannot be shown gets a message box and exit code 1.
//
// Pictures are decoded by what Windows provides: BMP by GDI, from a header built here
// out of the checked layout (ShowReadBitmap), PNG and JPEG by the Windows Imaging
// Component. Every picture is decoded once, before the first slide, into a 32-bit DIB
// section: a picture that cannot be shown stops the show before it starts, and no
// slide change waits for a decoder.
//
// Started by the launcher, the command line is a blank and the show's path, unquoted;
// started by hand it is the program's name and a path, perhaps quoted. Either way the
// path is taken from GetCommandLineA: the runtime's argv would split it at blanks.
#include <windows.h>
// After windows.h, which these build on.
#include <objbase.h>
#include <wincodec.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "player/show_format.h"

namespace {

const wchar_t* const WINDOW_CLASS = L"SlidePlayerWindow";
const char* const MESSAGE_CAPTION = "Player";
const UINT_PTR SLIDE_TIMER = 1;
// Room for any path the command line can hold (32767 characters).
const size_t PATH_BYTES = 32768;
// wsprintfA writes at most 1024 bytes; the path shown is cut to 400 ("%.400s").
const int MESSAGE_BYTES = 1024;
// Why a picture cannot be shown: one sentence, with an error number at most.
const int REASON_BYTES = 256;

// A deep blue gradient with white titles and an amber accent.
const COLORREF BACKGROUND_TOP = RGB(0x22, 0x34, 0x52);
const COLORREF BACKGROUND_BOTTOM = RGB(0x0D, 0x15, 0x24);
const COLORREF TITLE_COLOUR = RGB(0xFF, 0xFF, 0xFF);
const COLORREF TEXT_COLOUR = RGB(0xDA, 0xE3, 0xEE);
const COLORREF ACCENT_COLOUR = RGB(0xF2, 0xA6, 0x3B);
const COLORREF FOOTER_COLOUR = RGB(0x86, 0x98, 0xB0);
const COLORREF TRACK_COLOUR = RGB(0x2C, 0x3E, 0x5C);
const int GRADIENT_BANDS = 96;
// No screen shows a line of text longer than this whole; what is drawn of a longer one
// is cut here, which also keeps every count passed to the system well inside an int.
const uint32_t MAX_DRAWN_BYTES = 64u * 1024u;
const wchar_t BULLET = 0x2022;

// Sizes as fractions of the window, so a slide looks the same on any screen.
const int MARGIN_DIVISOR = 12;     // side margins: width / 12
const int TOP_DIVISOR = 9;         // first line: height / 9
const int TITLE_DIVISOR = 11;      // title font: height / 11
const int TEXT_DIVISOR = 22;       // text font: height / 22
const int FOOTER_DIVISOR = 42;     // footer font: height / 42
const int FOOTER_ZONE_DIVISOR = 8; // text stops height / 8 above the bottom
const int PROGRESS_DIVISOR = 160;  // progress strip: height / 160, at least 3 pixels
// A slide with text and a picture: the text keeps this share of the width between the
// margins, and the picture takes the rest after a gap of width / 40.
const int TEXT_SHARE_PERCENT = 55;
const int PICTURE_GAP_DIVISOR = 40;

// Pictures become 32-bit pixels (blue, green, red, alpha). Beyond 64 million pixels
// (256 MiB) a picture, drawn no larger than the screen, would only cost memory; the
// limit also keeps every byte count of its rows far inside 32 bits.
const int PIXEL_BYTES = 4;
const uint32_t MAX_PICTURE_PIXELS = 8192u * 8192u;
// Transparent parts of a picture show the middle of the background's gradient.
const COLORREF PICTURE_BACKDROP = RGB(0x17, 0x24, 0x3B);

const char* const FONT_FACES[] = {"Segoe UI", "Tahoma", "Arial"};

// A slide's picture, decoded: 32 bits a pixel, top down.
struct Picture {
    HBITMAP bitmap; // null when the slide has none
    int width;
    int height;
};

// The one show of this process, used from its one thread.
struct Player {
    Show show;
    Picture* pictures; // one a slide
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

// The first bytes of a piece too long to draw, cut before a UTF-8 continuation byte so
// that a character is not split.
uint32_t DrawnLength(const char* text, uint32_t length) {
    if (length <= MAX_DRAWN_BYTES) return length;
    uint32_t cut = MAX_DRAWN_BYTES;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

// Text of the document as UTF-16: UTF-8 when it is valid UTF-8, else the ANSI code
// page. Returns the count of characters in g_player.wide, 0 when there is nothing.
int Widen(const char* text, uint32_t length) {
    length = DrawnLength(text, length);
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

// The title and its accent bar, from the top; returns where what follows starts.
int PaintTitle(HDC dc, const ShowSlide& slide, int w, int h) {
    int margin = w / MARGIN_DIVISOR;
    int y = h / TOP_DIVISOR;
    int count = WidenPiece(slide.title);
    if (count == 0) return y;
    SelectObject(dc, g_player.titleFont);
    SetTextColor(dc, TITLE_COLOUR);
    RECT area = {margin, y, w - margin, h - h / FOOTER_ZONE_DIVISOR};
    y += DrawWrapped(dc, g_player.wide, count, area, DT_LEFT);
    y += h / 50;
    int bar = h / 120 > 4 ? h / 120 : 4;
    Fill(dc, margin, y, margin + w / 8, y + bar, ACCENT_COLOUR);
    return y + bar + h / 20;
}

// The slide's text lines from the top of area; what does not fit is left out.
void PaintLines(HDC dc, const ShowSlide& slide, RECT area) {
    const Show& show = g_player.show;
    SelectObject(dc, g_player.textFont);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    int lineHeight = metrics.tmHeight;
    int y = area.top;
    for (uint32_t i = 0; i < slide.line_count && y < area.bottom; ++i) {
        ShowText line = show.lines[slide.first_line + i];
        if (line.length == 0) {
            y += lineHeight / 2;
            continue;
        }
        int left = area.left;
        if (IsBulleted(show.text + line.offset, line.length)) {
            SetTextColor(dc, ACCENT_COLOUR);
            RECT mark = {left, y, left + lineHeight, area.bottom};
            DrawTextW(dc, &BULLET, 1, &mark, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
            left += lineHeight;
            line.offset += 2;
            line.length -= 2;
        }
        SetTextColor(dc, TEXT_COLOUR);
        RECT rest = {left, y, area.right, area.bottom};
        y += DrawWrapped(dc, g_player.wide, WidenPiece(line), rest, DT_LEFT) + lineHeight / 4;
    }
}

// The largest rectangle of the picture's proportions within area, centred in it:
// pictures are scaled up as well as down.
RECT Fitted(const Picture& picture, RECT area) {
    int64_t areaWidth = area.right - area.left;
    int64_t areaHeight = area.bottom - area.top;
    int64_t width = areaWidth;
    int64_t height = areaWidth * picture.height / picture.width;
    if (height > areaHeight) {
        height = areaHeight;
        width = areaHeight * picture.width / picture.height;
    }
    RECT fitted;
    fitted.left = area.left + static_cast<LONG>((areaWidth - width) / 2);
    fitted.top = area.top + static_cast<LONG>((areaHeight - height) / 2);
    fitted.right = fitted.left + static_cast<LONG>(width);
    fitted.bottom = fitted.top + static_cast<LONG>(height);
    return fitted;
}

void PaintPicture(HDC dc, const Picture& picture, RECT area) {
    if (area.right <= area.left || area.bottom <= area.top) return;
    RECT to = Fitted(picture, area);
    if (to.right <= to.left || to.bottom <= to.top) return;
    HDC source = CreateCompatibleDC(dc);
    if (!source) return;
    HGDIOBJ old = SelectObject(source, picture.bitmap);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr); // HALFTONE needs the origin set after the mode
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, picture.width,
               picture.height, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

// The show's title on the left, the slide's number on the right, and a strip along the
// bottom edge that fills as the show goes on.
void PaintFooter(HDC dc, int w, int h) {
    const Show& show = g_player.show;
    int margin = w / MARGIN_DIVISOR;
    SelectObject(dc, g_player.footerFont);
    SetTextColor(dc, FOOTER_COLOUR);
    int strip = h / PROGRESS_DIVISOR > 3 ? h / PROGRESS_DIVISOR : 3;
    RECT footer = {margin, h - h / 12, w - margin, h - strip};
    int count = WidenPiece(show.title);
    if (count > 0) DrawTextW(dc, g_player.wide, count, &footer, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
    wchar_t number[32];
    int length = wsprintfW(number, L"%u / %u", g_player.current + 1, show.slide_count);
    DrawTextW(dc, number, length, &footer, DT_RIGHT | DT_NOPREFIX | DT_SINGLELINE);
    Fill(dc, 0, h - strip, w, h, TRACK_COLOUR);
    Fill(dc, 0, h - strip,
         static_cast<int>(static_cast<int64_t>(w) * (g_player.current + 1) / show.slide_count), h,
         ACCENT_COLOUR);
}

// Under the title: the text lines, or the picture alone, or the text on the left and
// the picture beside it.
void PaintSlide(HDC dc, int w, int h) {
    const ShowSlide& slide = g_player.show.slides[g_player.current];
    const Picture& picture = g_player.pictures[g_player.current];
    int margin = w / MARGIN_DIVISOR;
    SetBkMode(dc, TRANSPARENT);
    RECT body = {margin, PaintTitle(dc, slide, w, h), w - margin, h - h / FOOTER_ZONE_DIVISOR};
    if (!picture.bitmap) {
        PaintLines(dc, slide, body);
    } else if (slide.line_count == 0) {
        PaintPicture(dc, picture, body);
    } else {
        RECT text = body;
        text.right = body.left + (body.right - body.left) * TEXT_SHARE_PERCENT / 100;
        RECT beside = body;
        beside.left = text.right + w / PICTURE_GAP_DIVISOR;
        PaintLines(dc, slide, text);
        PaintPicture(dc, picture, beside);
    }
    PaintFooter(dc, w, h);
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

// ---- Decoding pictures ------------------------------------------------------------

// Writes why a picture cannot be shown; returns 0, for the caller to pass on.
int Explain(char* reason, const char* sentence) {
    lstrcpynA(reason, sentence, REASON_BYTES);
    return 0;
}

// A sentence without its full stop, and the system's error number.
int ExplainResult(char* reason, const char* sentence, HRESULT result) {
    wsprintfA(reason, "%s (error 0x%08lX).", sentence, static_cast<unsigned long>(result));
    return 0;
}

int FitsPixels(uint32_t width, uint32_t height) {
    return width > 0 && height > 0 && width <= MAX_PICTURE_PIXELS / height;
}

int TooLarge(char* reason) {
    wsprintfA(reason, "It holds more than %u pixels.", MAX_PICTURE_PIXELS);
    return 0;
}

HBITMAP NewPixels(int width, int height, void** bits) {
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = PIXEL_BYTES * 8;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// show_format.h states the BMP format in GDI's own numbers and sizes.
static_assert(SHOW_BMP_RGB == BI_RGB && SHOW_BMP_BITFIELDS == BI_BITFIELDS,
              "compressions as GDI numbers them");
static_assert(sizeof(RGBQUAD) == SHOW_BMP_COLOUR_BYTES, "a colour table entry");
static_assert(sizeof(BITMAPINFOHEADER) == SHOW_BMP_INFO_HEADER_BYTES, "the header GDI is given");

// The header GDI is given for a BMP: built from the checked layout, so that GDI reads
// only what ShowReadBitmap found within the file.
struct BitmapHeader {
    BITMAPINFOHEADER header;
    RGBQUAD colours[SHOW_BMP_MAX_COLOURS]; // the colour table, or the three masks
};

void BuildBitmapHeader(const unsigned char* bytes, const ShowBitmap& layout, BitmapHeader* info) {
    ZeroMemory(info, sizeof *info);
    info->header.biSize = sizeof info->header;
    info->header.biWidth = layout.width;
    info->header.biHeight = layout.height;
    info->header.biPlanes = 1;
    info->header.biBitCount = static_cast<WORD>(layout.bits);
    info->header.biCompression = layout.compression;
    info->header.biClrUsed = layout.colour_count;
    if (layout.compression == SHOW_BMP_BITFIELDS) {
        memcpy(info->colours, layout.masks, sizeof layout.masks);
    } else {
        memcpy(info->colours, bytes + layout.colours_offset, layout.colour_count * SHOW_BMP_COLOUR_BYTES);
    }
}

int DecodeBitmap(const unsigned char* bytes, uint32_t size, Picture* picture, char* reason) {
    ShowBitmap layout;
    int rc = ShowReadBitmap(bytes, size, &layout);
    if (rc < 0) return Explain(reason, ShowErrorText(rc));
    int height = layout.height < 0 ? -layout.height : layout.height;
    if (!FitsPixels(layout.width, height)) return TooLarge(reason);
    BitmapHeader info;
    BuildBitmapHeader(bytes, layout, &info);
    void* bits = nullptr;
    HBITMAP bitmap = NewPixels(layout.width, height, &bits);
    if (!bitmap) return Explain(reason, ShowErrorText(SHOW_ERR_NO_MEMORY));
    HDC screen = GetDC(nullptr);
    int rows = SetDIBits(screen, bitmap, 0, height, bytes + layout.pixels_offset,
                         reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows == 0) {
        DeleteObject(bitmap);
        return Explain(reason, "GDI cannot convert its pixels.");
    }
    picture->bitmap = bitmap;
    picture->width = layout.width;
    picture->height = height;
    return 1;
}

// Premultiplied pixels laid over the backdrop: colour + backdrop * (255 - alpha) / 255.
void Flatten(uint32_t* pixels, size_t count) {
    const uint32_t backdrop[3] = {GetBValue(PICTURE_BACKDROP), GetGValue(PICTURE_BACKDROP),
                                  GetRValue(PICTURE_BACKDROP)};
    for (size_t i = 0; i < count; ++i) {
        uint32_t pixel = pixels[i];
        uint32_t clear = 255 - (pixel >> 24);
        if (clear == 0) continue;
        uint32_t flat = 0xFF000000u;
        for (int channel = 0; channel < 3; ++channel) {
            uint32_t value = ((pixel >> (8 * channel)) & 0xFF) + backdrop[channel] * clear / 255;
            flat |= (value > 255 ? 255 : value) << (8 * channel);
        }
        pixels[i] = flat;
    }
}

int CopyConverted(IWICBitmapSource* source, Picture* picture, char* reason) {
    UINT width = 0;
    UINT height = 0;
    HRESULT result = source->GetSize(&width, &height);
    if (FAILED(result)) return ExplainResult(reason, "Windows cannot read its size", result);
    if (!FitsPixels(width, height)) return TooLarge(reason);
    void* bits = nullptr;
    HBITMAP bitmap = NewPixels(static_cast<int>(width), static_cast<int>(height), &bits);
    if (!bitmap) return Explain(reason, ShowErrorText(SHOW_ERR_NO_MEMORY));
    UINT stride = width * PIXEL_BYTES;
    result = source->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits));
    if (FAILED(result)) {
        DeleteObject(bitmap);
        return ExplainResult(reason, "Windows cannot decode it", result);
    }
    Flatten(static_cast<uint32_t*>(bits), static_cast<size_t>(width) * height);
    picture->bitmap = bitmap;
    picture->width = static_cast<int>(width);
    picture->height = static_cast<int>(height);
    return 1;
}

// PNG and JPEG: the first frame, converted to premultiplied 32-bit BGRA.
int DecodeWithImaging(IWICImagingFactory* factory, const unsigned char* bytes, uint32_t size,
                      Picture* picture, char* reason) {
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    HRESULT result = factory->CreateStream(&stream);
    if (SUCCEEDED(result)) result = stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size);
    if (SUCCEEDED(result)) {
        result = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
    }
    if (SUCCEEDED(result)) result = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(result)) result = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(result)) {
        result = converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                       0.0, WICBitmapPaletteTypeCustom);
    }
    int done = SUCCEEDED(result) ? CopyConverted(converter, picture, reason)
                                 : ExplainResult(reason, "Windows cannot decode it", result);
    IUnknown* used[] = {converter, frame, decoder, stream};
    for (IUnknown* object : used) {
        if (object) object->Release();
    }
    return done;
}

// The Windows Imaging Component, started at the first PNG or JPEG and ended once all
// pictures are decoded: the pictures are GDI objects and need it no longer.
struct Imaging {
    HRESULT started; // of CoInitializeEx; S_FALSE too must be paired with CoUninitialize
    HRESULT created; // of the factory
    IWICImagingFactory* factory;
};

IWICImagingFactory* ImagingFactory(Imaging* imaging) {
    if (imaging->factory || FAILED(imaging->created)) return imaging->factory;
    imaging->started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    imaging->created = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWICImagingFactory, reinterpret_cast<void**>(&imaging->factory));
    if (FAILED(imaging->created)) imaging->factory = nullptr;
    return imaging->factory;
}

void EndImaging(Imaging* imaging) {
    if (imaging->factory) imaging->factory->Release();
    if (SUCCEEDED(imaging->started)) CoUninitialize();
}

int DecodePicture(Imaging* imaging, const ShowSlide& slide, Picture* picture, char* reason) {
    const unsigned char* bytes =
        reinterpret_cast<const unsigned char*>(g_player.show.text + slide.picture.offset);
    if (slide.picture_kind == SHOW_PICTURE_BMP) {
        return DecodeBitmap(bytes, slide.picture.length, picture, reason);
    }
    IWICImagingFactory* factory = ImagingFactory(imaging);
    if (!factory) {
        return ExplainResult(reason, "This system has no decoder for PNG and JPEG pictures",
                             imaging->created);
    }
    return DecodeWithImaging(factory, bytes, slide.picture.length, picture, reason);
}

// Every slide's picture; on failure, the slide at fault and why.
int DecodePictures(uint32_t* failedSlide, char* reason) {
    Imaging imaging = {E_FAIL, S_OK, nullptr};
    int done = 1;
    for (uint32_t i = 0; i < g_player.show.slide_count && done; ++i) {
        const ShowSlide& slide = g_player.show.slides[i];
        if (slide.picture_kind == SHOW_PICTURE_NONE) continue;
        done = DecodePicture(&imaging, slide, &g_player.pictures[i], reason);
        if (!done) *failedSlide = i;
    }
    EndImaging(&imaging);
    return done;
}

void FreePictures() {
    if (!g_player.pictures) return;
    for (uint32_t i = 0; i < g_player.show.slide_count; ++i) {
        if (g_player.pictures[i].bitmap) DeleteObject(g_player.pictures[i].bitmap);
    }
    free(g_player.pictures);
    g_player.pictures = nullptr;
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

int ComplainAboutPicture(uint32_t slide, const char* reason) {
    char text[MESSAGE_BYTES];
    wsprintfA(text, "The show cannot be shown:\n%.400s\n\nSlide %u: the picture cannot be shown.\n%s", g_path,
              slide + 1, reason);
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
    g_player.pictures = static_cast<Picture*>(calloc(g_player.show.slide_count, sizeof(Picture)));
    if (!g_player.pictures) return Complain(SHOW_ERR_NO_MEMORY);
    uint32_t failedSlide = 0;
    char reason[REASON_BYTES];
    int exitCode =
        DecodePictures(&failedSlide, reason) ? Play(instance) : ComplainAboutPicture(failedSlide, reason);
    FreePictures();
    FreeFonts();
    free(g_player.wide);
    ShowFree(&g_player.show);
    return exitCode;
}
