// A Win32 program of the tests' own: shows the launcher's progress window through our
// framework, sets the bar as the launch does and then to 50, and reports what the
// system says of the window on standard output. It then waits, with no message loop,
// for a line on standard input, so that a script can look at the window (find it,
// measure it, take a screenshot) before it ends.
#include <windows.h>

#include <cstdio>

#include "launcher/progress_dlg.h"

namespace {

class ProbeApp : public CWinApp {
public:
    bool InitInstance() override {
        CProgressDlg dialog;
        dialog.Create(CProgressDlg::IDD);
        dialog.m_progress.SetRange(0, 100);
        dialog.m_progress.SetPos(0);
        dialog.m_progress.SetPos(50);
        HWND window = static_cast<HWND>(dialog.GetSafeHwnd());
        HWND bar = static_cast<HWND>(dialog.m_progress.GetSafeHwnd());
        if (window == nullptr || bar == nullptr) {
            std::printf("no window\n");
            return false;
        }
        RECT outer;
        RECT client;
        RECT barRect;
        RECT work;
        RECT templateSize = {0, 0, 186, 28};
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        GetWindowRect(bar, &barRect);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        MapDialogRect(window, &templateSize);
        char caption[64];
        GetWindowTextA(window, caption, sizeof caption);
        std::printf("caption %s\n", caption);
        std::printf("window %ld %ld %ld %ld\n", outer.left, outer.top, outer.right - outer.left,
                    outer.bottom - outer.top);
        std::printf("client %ld %ld\n", client.right, client.bottom);
        std::printf("template %ld %ld\n", templateSize.right, templateSize.bottom);
        std::printf("bar %ld %ld %ld %ld\n", barRect.left, barRect.top, barRect.right - barRect.left,
                    barRect.bottom - barRect.top);
        std::printf("work %ld %ld %ld %ld\n", work.left, work.top, work.right, work.bottom);
        std::printf("style %08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
        std::printf("position %d\n", dialog.m_progress.GetPos());
        std::printf("ready\n");
        std::fflush(stdout);
        char line[16];
        std::fgets(line, sizeof line, stdin);
        return false;
    }
};

ProbeApp g_probe;

} // namespace
