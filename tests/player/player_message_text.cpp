// A helper of player_window_test.py, run under Wine beside the player: waits for a
// message box with the given caption, writes the box's text to a file and closes the
// box with OK. The script cannot read a window's text from the X side.
//
//   player_message_text CAPTION OUTPUT-FILE SECONDS
//
// Exit code 0 when the text was written and the box closed, 2 when no such box showed
// its text within SECONDS, 1 for a bad command line or a file that cannot be written.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const DIALOG_CLASS = "#32770";
const int MESSAGE_TEXT_ID = 0xFFFF; // the static control that holds a message box's text
const DWORD POLL_MS = 50;
const int TEXT_BYTES = 4096;

// The box is found as soon as it exists; its text is set before it is shown.
HWND ShownBox(const char* caption) {
    HWND box = FindWindowA(DIALOG_CLASS, caption);
    return box && IsWindowVisible(box) ? box : nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: player_message_text CAPTION OUTPUT-FILE SECONDS\n");
        return 1;
    }
    const DWORD limitMs = static_cast<DWORD>(strtoul(argv[3], nullptr, 10)) * 1000;
    const DWORD start = GetTickCount();
    char text[TEXT_BYTES] = "";
    HWND box = nullptr;
    for (;;) {
        box = ShownBox(argv[1]);
        if (box && GetDlgItemTextA(box, MESSAGE_TEXT_ID, text, sizeof text) > 0) break;
        if (GetTickCount() - start > limitMs) return 2;
        Sleep(POLL_MS);
    }
    FILE* out = fopen(argv[2], "wb");
    if (!out) return 1;
    int failed = fputs(text, out) < 0;
    failed |= fclose(out) != 0;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return failed ? 1 : 0;
}
