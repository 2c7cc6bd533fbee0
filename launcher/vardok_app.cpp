#include "launcher/vardok_app.h"

#include "launcher/play_runtime.h"

CVardokApp::CVardokApp() : CWinApp(nullptr) {}

namespace {
const FwCommandEntry COMMANDS[] = {
    {FW_ID_HELP, static_cast<FwCommandHandler>(&CWinApp::OnHelp)},
};
const FwMessageMap MESSAGE_MAP = {CWinApp::GetThisMessageMap, COMMANDS, sizeof COMMANDS / sizeof COMMANDS[0]};
} // namespace

const FwMessageMap* CVardokApp::GetMessageMap() const { return &MESSAGE_MAP; }

bool CVardokApp::InitInstance() {
    // Before anything can load a DLL: a show is often started from a downloads folder
    // that may hold anything.
    g_launchServices.restrictDllSearch();
    try {
        CPlayRuntime runtime;
        runtime.Run();
    } catch (const CException&) {
        // Leaving the block destroyed the runtime: its files are deleted, its window
        // gone. Nothing is shown; the program ends as after any launch.
    }
    return false;
}

CVardokApp theApp;
