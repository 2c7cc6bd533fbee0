#include "launcher/play_runtime.h"

#include <cstring>

#include "engine/engine.h"
#include "launcher/resource.h"

CPlayRuntime* g_pRuntime = nullptr;
int32_t g_nEntry = 0;
CString g_strFirstFile;
CString g_strSecondFile;
uint32_t g_nTotal = 0;
uint32_t g_nCurrent = 0;
uint32_t g_nDone = 0;

namespace {

int PathKind(const char* path) {
    if (PlatIsLink(path)) return LAUNCH_PATH_LINK;
    PlatStatInfo info;
    if (PlatStat(path, &info) == 0 && (info.mode & PLAT_MODE_FOLDER) != 0) return LAUNCH_PATH_FOLDER;
    return LAUNCH_PATH_FILE;
}

// The engine gives files the mode their entries carry, read-only too.
const int WRITABLE_MODE = 0600; // _S_IREAD | _S_IWRITE on Windows

int RemoveFile(const char* path) {
    if (PlatIsLink(path)) return PlatRemoveLink(path) == 0;
    PlatChmod(path, WRITABLE_MODE);
    return PlatDeleteFile(path);
}

} // namespace

const LaunchServices LAUNCH_SERVICES_SYSTEM = {
    PlatRestrictDllSearch, PlatTempFolder, ExtractSelf, PlatStartProcess, PlatWaitProcess, PlatMkdir,
    PlatListFolder,        PathKind,       RemoveFile,  PlatRmdir};
LaunchServices g_launchServices = LAUNCH_SERVICES_SYSTEM;

namespace {

// Set when the handler could not do its part (a framework exception, such as a
// completed file's path that could not be recorded): the extraction was cancelled
// then, and counts as failed.
bool g_bHandlerFailed = false;
// Set when the drive was too small: its message has then said why no player starts.
bool g_bDiskFull = false;
// Set when the show's or the player's path reached the engine's longest: the engine
// cuts a longer one there, and a cut name would name another file.
bool g_bPathCut = false;
// Set when an entry ended unwritten before two were complete: the show or the player
// is then not whole (the archive's first two entries are they), and none is started.
bool g_bEntryFailed = false;

// The events that end an entry without writing it.
bool EntryNotWritten(int32_t event) {
    return event == EVT_ENTRY_FAILED || event == EVT_DISK_FULL || event == EVT_NO_MEMORY ||
           event == EVT_UNKNOWN_METHOD || event == EVT_NO_EXTRACT || event == EVT_UNSAFE_NAME ||
           event == EVT_OUTPUT_IS_ARCHIVE || event == EVT_TEMP_FAILED;
}

// ---- The guarded end of the wait cursor -----------------------------------------------

const char DESTRUCTOR_EXCEPTION[] = "Exception thrown in destructor";

void Append(char* text, size_t size, const char* part) {
    const size_t used = std::strlen(text);
    size_t length = std::strlen(part);
    if (used + length >= size) length = size - used - 1;
    std::memcpy(text + used, part, length);
    text[used + length] = '\0';
}

void AppendNumber(char* text, size_t size, int value) {
    char digits[12];
    char* p = digits + sizeof digits;
    *--p = '\0';
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    Append(text, size, p);
}

const char* BaseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return name;
}

// Turns the application's wait cursor off; a framework exception raised by that is
// reported as "%s (%s:%d)\n%s" (or "%s (%s:%d)" without a description) and dropped.
void EndWaitCursorGuarded(const char* file, int line) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return;
    try {
        app->EndWaitCursor();
    } catch (const CException& exception) {
        char description[256];
        char text[512] = "";
        Append(text, sizeof text, DESTRUCTOR_EXCEPTION);
        Append(text, sizeof text, " (");
        Append(text, sizeof text, BaseName(file));
        Append(text, sizeof text, ":");
        AppendNumber(text, sizeof text, line);
        Append(text, sizeof text, ")");
        if (exception.GetErrorMessage(description, sizeof description)) {
            Append(text, sizeof text, "\n");
            Append(text, sizeof text, description);
        }
        AfxMessageBox(text);
    }
}

// The bar position for a progress event: the completed entries plus this one's bytes,
// as a share of the total, in the arithmetic the bar has always been driven with
// (unsigned 32-bit sum, double division, truncated, low 32 bits).
int Percentage(int32_t argument) {
    const uint32_t sum = g_nDone + static_cast<uint32_t>(argument);
    const double share = static_cast<double>(sum) / static_cast<double>(g_nTotal) * 100.0;
    return static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(share)));
}

void RecordCompleted(EntryDescriptor* desc) {
    if (g_nEntry == 1 || g_nEntry == 2) {
        if (std::strlen(desc->name) >= EXTRACT_PATH_MAX) g_bPathCut = true;
        CString& file = g_nEntry == 1 ? g_strFirstFile : g_strSecondFile;
        file = desc->name;
        g_nDone += g_nCurrent;
    }
    ++g_nEntry;
}

void HandleEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (EntryNotWritten(event) && g_nEntry <= 2) g_bEntryFailed = true;
    if (event == EVT_DISK_FULL) {
        g_bDiskFull = true;
        AfxMessageBox(IDS_DISK_FULL, FW_MB_ICONHAND | FW_MB_OK, 0);
        if (desc != nullptr) desc->status = STATUS_CANCEL;
    } else if (event == EVT_PROGRESS) {
        g_nCurrent = static_cast<uint32_t>(argument);
        if (g_pRuntime != nullptr && g_pRuntime->m_pProgress != nullptr)
            g_pRuntime->m_pProgress->SetPos(Percentage(argument));
    } else if (event == EVT_ENTRY_DONE) {
        if (desc != nullptr) RecordCompleted(desc);
    } else if (event == EVT_ARCHIVE_TOTAL) {
        g_nDone = 0;
        g_nCurrent = 0;
        g_nTotal = argument != 0 ? static_cast<uint32_t>(argument) : 1;
    }
}

} // namespace

int OnExtractEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    // The engine is plain code that cleans up by result codes: nothing may unwind
    // through it (the launcher's program builds it without unwind tables). Whatever
    // is thrown here cancels the extraction instead, and the launch fails.
    try {
        HandleEvent(desc, event, argument);
    } catch (...) {
        g_bHandlerFailed = true;
        if (desc != nullptr) desc->status = STATUS_CANCEL;
    }
    return 0;
}

CPlayRuntime::CPlayRuntime() : m_pProgress(nullptr), m_dlg(nullptr) {
    g_pRuntime = this;
    g_strFirstFile.Empty();
    g_strSecondFile.Empty();
    g_nEntry = 1;
    g_bHandlerFailed = false;
    g_bEntryFailed = false;
    g_bDiskFull = false;
    g_bPathCut = false;
    m_dlg.Create(CProgressDlg::IDD, nullptr);
    m_dlg.m_progress.SetRange(0, LAUNCH_RANGE_UPPER);
    m_dlg.m_progress.SetPos(0);
    m_pProgress = &m_dlg.m_progress;
}

CPlayRuntime::~CPlayRuntime() {
    // Also when Run was left by an exception: what stands in the folder is the launch's.
    if (!m_folder.Listed()) m_folder.TakeStock();
    m_folder.Remove();
    if (g_pRuntime == this) g_pRuntime = nullptr;
    // m_dlg, a member, is destroyed next and takes the window with it.
}

int CPlayRuntime::Run() {
    char folder[LAUNCH_PATH_BUFFER];
    bool extracted = false;
    unsigned failure = IDS_NO_FOLDER; // what is said when no player can start
    // A folder too long for the buffer comes back as the size it needs, not as a
    // path: the launch stops then as when there is no folder.
    const uint32_t length = g_launchServices.tempFolder(folder, sizeof folder);
    if (length != 0 && length < sizeof folder && m_folder.Create(folder)) {
        CWinApp* app = AfxGetApp();
        if (app != nullptr) app->BeginWaitCursor();
        int16_t result = 0;
        try {
            result = g_launchServices.extractSelf(nullptr, m_folder.Path(), OnExtractEvent, nullptr);
        } catch (...) {
            EndWaitCursorGuarded(__FILE__, __LINE__);
            throw;
        }
        EndWaitCursorGuarded(__FILE__, __LINE__);
        extracted =
            result == 0 && !g_bHandlerFailed && !g_bEntryFailed && !g_bPathCut && !g_strSecondFile.IsEmpty();
        failure = g_bPathCut ? IDS_NO_FOLDER : IDS_NO_SHOW;
        // Before the player starts: whatever it adds to the folder later is its own.
        m_folder.TakeStock();
    }
    m_dlg.EndDialog(LAUNCH_DIALOG_RESULT);
    if (!extracted) {
        // A drive too small has been named already, and that is all that is said.
        if (!g_bDiskFull) AfxMessageBox(failure, FW_MB_ICONHAND | FW_MB_OK, 0);
        return 0;
    }

    // Everything after the one blank is the show's path, blanks and all, unquoted:
    // the player has always been started so.
    CString commandLine(" ");
    commandLine += g_strFirstFile;
    char* line = commandLine.GetBuffer(LAUNCH_COMMAND_MIN);
    PlatProcess process = {0, 0};
    if (g_launchServices.startProcess(g_strSecondFile, line, m_folder.Path(), &process)) {
        g_launchServices.waitProcess(&process);
    } else {
        AfxMessageBox(IDS_NO_PLAYER, FW_MB_ICONHAND | FW_MB_OK, 0);
    }
    commandLine.ReleaseBuffer();
    return 1;
}
