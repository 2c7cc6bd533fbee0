// A Win32 program of the tests' own: waits for a window with the given title and
// copies what the screen shows of it into a 24-bit BMP file, again and again while the
// window lives, keeping the last copy made while it was still shown. The launcher's
// progress window lives only while a show is extracted, a fraction of a second: a
// screenshot tool polling the display from outside misses it, while this program asks
// the window system directly, in the same session as the launcher.
//
//   window_catch TITLE OUTPUT.bmp SECONDS
//
// Prints "watching" once it looks, so that a script can then start the program whose
// window it waits for, and "caught X Y WIDTH HEIGHT" (the window's place on the
// screen) when it has written the file. Exit code 0 when a copy was written, 1 when no
// such window was shown within SECONDS, 2 for a bad command line or a file not written.
// A window still shown after SECONDS is taken as it stands then.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Between copies: often enough for a window that lives a tenth of a second, seldom
// enough to leave the machine to the program being watched.
const DWORD COPY_INTERVAL_MS = 5;
const WORD BMP_BITS = 24;
const DWORD BMP_HEADERS = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);

struct Copy {
    RECT place;
    std::vector<BYTE> pixels; // bottom-up rows of BGR, each padded to 4 bytes
};

LONG RowBytes(LONG width) { return (width * 3 + 3) & ~3; }

BITMAPINFOHEADER InfoHeader(LONG width, LONG height) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as a BMP file holds it
    info.biPlanes = 1;
    info.biBitCount = BMP_BITS;
    info.biCompression = BI_RGB;
    return info;
}

// What the screen shows where the window stands; false when nothing could be copied.
bool CopyFromScreen(HWND window, Copy* copy) {
    RECT place;
    if (!GetWindowRect(window, &place)) return false;
    const LONG width = place.right - place.left;
    const LONG height = place.bottom - place.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool copied =
        BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY | CAPTUREBLT) != 0;
    SelectObject(memory, old);
    if (copied) {
        BITMAPINFOHEADER info = InfoHeader(width, height);
        copy->pixels.resize(static_cast<size_t>(RowBytes(width)) * static_cast<size_t>(height));
        copied = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), copy->pixels.data(),
                           reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == height;
        copy->place = place;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied;
}

bool WriteBmp(const char* path, const Copy& copy) {
    const LONG width = copy.place.right - copy.place.left;
    const LONG height = copy.place.bottom - copy.place.top;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = BMP_HEADERS;
    file.bfSize = BMP_HEADERS + static_cast<DWORD>(copy.pixels.size());
    const BITMAPINFOHEADER info = InfoHeader(width, height);
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(copy.pixels.data(), copy.pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_catch TITLE OUTPUT.bmp SECONDS\n");
        return 2;
    }
    const char* title = argv[1];
    const DWORD limit = static_cast<DWORD>(std::atoi(argv[3])) * 1000;
    std::printf("watching\n");
    std::fflush(stdout);

    const DWORD start = GetTickCount();
    Copy kept;
    bool caught = false;
    for (;;) {
        HWND window = FindWindowA(nullptr, title);
        if (window != nullptr && IsWindowVisible(window)) {
            Copy copy;
            // A copy counts only when the window was still shown once it was made.
            if (CopyFromScreen(window, &copy) && IsWindow(window) && IsWindowVisible(window)) {
                kept = copy;
                caught = true;
            }
        } else if (caught) {
            break;
        }
        // A window that stays is taken as it stands at the limit.
        if (GetTickCount() - start > limit) break;
        Sleep(COPY_INTERVAL_MS);
    }
    if (!caught) {
        std::printf("no window titled \"%s\" was shown\n", title);
        return 1;
    }
    if (!WriteBmp(argv[2], kept)) {
        std::printf("%s: cannot be written\n", argv[2]);
        return 2;
    }
    std::printf("caught %ld %ld %ld %ld\n", kept.place.left, kept.place.top,
                kept.place.right - kept.place.left, kept.place.bottom - kept.place.top);
    return 0;
}
