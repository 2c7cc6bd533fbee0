// The framework over the Win32 API.
//
// Dialogs are made with CreateDialogIndirectParamA from the template in the program's
// resources; the dialog procedure binds the CDialog at WM_INITDIALOG (its lParam) and
// calls the virtual initialisation, and drops whatever it throws, since an exception
// must not unwind through the system's code.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include "framework/framework_impl.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    if (dialog == nullptr) return TRUE;
    dialog->m_hWnd = window;
    try {
        return dialog->OnInitDialog() ? TRUE : FALSE;
    } catch (...) {
        return TRUE;
    }
}

const BYTE* LoadTemplate(unsigned templateId) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    return loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
}

// The position a template asks for: DIALOG templates keep it at offset 10, extended
// ones (version 1, signature 0xFFFF first) at 18.
bool TemplatePosition(unsigned templateId, short* x, short* y) {
    const BYTE* data = LoadTemplate(templateId);
    if (data == nullptr) return false;
    const WORD* words = reinterpret_cast<const WORD*>(data);
    const size_t offset = (words[0] == 1 && words[1] == 0xFFFF) ? 18 : 10;
    *x = *reinterpret_cast<const short*>(data + offset);
    *y = *reinterpret_cast<const short*>(data + offset + 2);
    return true;
}

// Windows whose messages a test watches: the procedure each had before.
struct Watched {
    HWND window;
    WNDPROC previous;
    FwMessageWatch watch;
    void* context;
};
const int WATCHED_MAX = 8;
Watched g_watched[WATCHED_MAX];

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    for (Watched& w : g_watched) {
        if (w.window != window) continue;
        w.watch(message, wParam, lParam, w.context);
        WNDPROC previous = w.previous;
        if (message == WM_NCDESTROY) w.window = nullptr;
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

unsigned FwModuleFileName(char* buffer, unsigned size) { return GetModuleFileNameA(nullptr, buffer, size); }

void FwShowWaitCursor(bool on) { SetCursor(LoadCursorA(nullptr, on ? IDC_WAIT : IDC_ARROW)); }

int FwMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

FwWindow FwCreateDialog(CDialog* dialog, unsigned templateId, FwWindow parent) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const BYTE* data = LoadTemplate(templateId);
    if (data == nullptr) return nullptr;
    HWND window =
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(data),
                                   static_cast<HWND>(parent), DialogProc, reinterpret_cast<LPARAM>(dialog));
    dialog->m_hWnd = window;
    // Paint it now: the program that shows it may run no message loop while it works,
    // and the window should not stand there unpainted until then.
    if (window != nullptr && IsWindowVisible(window)) UpdateWindow(window);
    return window;
}

void FwCentreDialog(FwWindow window, unsigned templateId, FwWindow parent) {
    short x = 0;
    short y = 0;
    if (window == nullptr || parent != nullptr || !TemplatePosition(templateId, &x, &y) || x != 0 || y != 0)
        return;
    RECT work;
    RECT own;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) ||
        !GetWindowRect(static_cast<HWND>(window), &own))
        return;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    SetWindowPos(static_cast<HWND>(window), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FwEndDialog(FwWindow window, int result) { EndDialog(static_cast<HWND>(window), result); }

bool FwDestroyWindow(FwWindow window) {
    return IsWindow(static_cast<HWND>(window)) && DestroyWindow(static_cast<HWND>(window));
}

intptr_t FwSendMessage(FwWindow window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

FwWindow FwGetDlgItem(FwWindow dialog, int id) { return GetDlgItem(static_cast<HWND>(dialog), id); }

int FwShowMessageBox(const char* text, const char* caption, unsigned type) {
    return MessageBoxA(nullptr, text, caption, type);
}

int FwLoadString(unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    return LoadStringA(GetModuleHandleA(nullptr), id, buffer, size);
}

bool FwWatchMessages(FwWindow window, FwMessageWatch watch, void* context) {
    HWND handle = static_cast<HWND>(window);
    if (!IsWindow(handle) || watch == nullptr) return false;
    for (Watched& w : g_watched) {
        if (w.window != nullptr) continue;
        w.window = handle;
        w.watch = watch;
        w.context = context;
        w.previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchProc)));
        return true;
    }
    return false;
}
