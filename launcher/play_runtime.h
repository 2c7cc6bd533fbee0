// One launch: extract the carried show and player into the temporary folder under the
// progress window, run the player on the show, wait for it, delete both files.
//
// The launcher's state lives at file scope (one launch per process), shared between
// the sequence and its event handler; not thread-safe, like the engine.
#pragma once

#include <cstdint>

#include "engine/engine.h"
#include "framework/framework.h"
#include "launcher/launch_folder.h"
#include "launcher/progress_dlg.h"
#include "platform/platform.h"

enum {
    LAUNCH_PATH_BUFFER = 260, // characters of the temporary folder's buffer
    LAUNCH_COMMAND_MIN = 260, // the player's command line buffer holds at least this
    LAUNCH_RANGE_UPPER = 100, // the bar runs from 0 to this
    LAUNCH_DIALOG_RESULT = 1, // the progress window ends with this result
};

class CPlayRuntime {
public:
    CPlayRuntime();          // creates and shows the progress window
    virtual ~CPlayRuntime(); // removes what the launch wrote, destroys the window
    // 1 when the extraction succeeded (the player's start was then attempted and the
    // wait is over), 0 otherwise.
    int Run();

    CProgressCtrl* m_pProgress; // the bar inside m_dlg, for the event handler
    CProgressDlg m_dlg;
    CLaunchFolder m_folder; // the launch's own, inside the temporary folder
};

// The launcher's event handler; 0 for every event.
int OnExtractEvent(EntryDescriptor* desc, int32_t event, int32_t argument);

extern CPlayRuntime* g_pRuntime;
extern int32_t g_nEntry;        // ordinal of the next entry to complete, from 1
extern CString g_strFirstFile;  // full path of the first file written: the show
extern CString g_strSecondFile; // full path of the second: the player
extern uint32_t g_nTotal;       // size of all entries together; 1 when announced as 0
extern uint32_t g_nCurrent;     // bytes of the current entry written so far
extern uint32_t g_nDone;        // bytes of the first two entries once completed

// What pathKind tells of a path.
enum {
    LAUNCH_PATH_FILE = 0, // a file, or nothing
    LAUNCH_PATH_FOLDER = 1,
    LAUNCH_PATH_LINK = 2, // a link (on Windows any reparse point), never followed
};

// What a launch asks of the engine and the system. Plain function pointers, so that
// tests can stand in for the temporary folder (which cannot be made to fail on a real
// system), the extraction and the player, see the start-up's DLL restriction, and
// follow what is removed.
struct LaunchServices {
    int (*restrictDllSearch)();
    uint32_t (*tempFolder)(char* buffer, uint32_t size);
    int16_t (*extractSelf)(void* module, const char* destination, EventHandler handler, OverwriteQuery query);
    int (*startProcess)(const char* application, const char* commandLine, const char* workingFolder,
                        PlatProcess* process);
    int (*waitProcess)(PlatProcess* process);
    int (*makeFolder)(const char* path); // 0 when made; -1 when it exists or cannot be made
    int (*listFolder)(const char* folder, int (*visit)(const char* name, void* context), void* context);
    int (*pathKind)(const char* path);     // LAUNCH_PATH_
    int (*removeFile)(const char* path);   // a file, read-only too, or a link
    int (*removeFolder)(const char* path); // an empty folder
};
extern LaunchServices g_launchServices;
// The real services: the platform's and the engine's.
extern const LaunchServices LAUNCH_SERVICES_SYSTEM;
