// Our small class-based windowing layer: the least the launcher needs of one.
//
// An application object with an initialisation hook and a command table, modeless
// dialogs made from a template in the program's resources with data exchange that
// binds a control to a member, a progress-bar wrapper, message boxes with texts from
// the string table, the application's wait cursor, a string class, and the exceptions
// these throw.
//
// Two implementations, each one whole file, as in platform/:
//   framework_win32.cpp    the Win32 API underneath (windows, dialogs, message boxes);
//   framework_standin.cpp  creates no window: it reads the same templates and strings
//                          from the compiled resource image linked into the program
//                          (g_resourceImage), keeps a model of each window and records
//                          what a window would show (see framework/standin.h); on a
//                          terminal it draws the bar on standard error, and a message
//                          box becomes a line there.
// framework_common.cpp holds what both share (strings, exceptions, command routing,
// the application's run). The program's entry point is a file of its own
// (entry_win32.cpp: WinMain; entry_standin.cpp: main), added to the program itself.
//
// Nothing thrown crosses a Win32 callback: the dialog procedure catches and drops it.
// One user-interface thread; nothing here is thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

// A window: a HWND on Windows, a stand-in window record otherwise.
typedef void* FwWindow;

// The platform's numbers the framework's callers use.
enum : unsigned {
    FW_ID_HELP = 57670, // the standard Help command (0xE146)
    FW_IDOK = 1,
    FW_MB_OK = 0,
    FW_MB_ICONHAND = 0x10, // the stop icon
    FW_PBM_SETRANGE = 0x401,
    FW_PBM_SETPOS = 0x402,
    FW_PBM_GETRANGE = 0x407, // first parameter non-zero: the lower bound, else the upper
    FW_PBM_GETPOS = 0x408,
};

// ---- Exceptions --------------------------------------------------------------------

// Thrown by value, caught by reference.
class CException {
public:
    virtual ~CException();
    // Copies the description, cut to size; false (and an empty text) when there is none.
    virtual bool GetErrorMessage(char* text, unsigned size) const;
};

class CMemoryException : public CException {
public:
    bool GetErrorMessage(char* text, unsigned size) const override;
};

class CInvalidArgException : public CException {
public:
    bool GetErrorMessage(char* text, unsigned size) const override;
};

// ---- Strings -----------------------------------------------------------------------

// A heap string of bytes in the ANSI code page. Allocation failures throw
// CMemoryException, a negative length CInvalidArgException; the string keeps its old
// value when either is thrown.
class CString {
public:
    constexpr CString() : m_data(nullptr), m_length(0) {} // no dynamic initialisation
    CString(const char* text);
    CString(const CString& other);
    ~CString();
    CString& operator=(const char* text); // null empties the string
    CString& operator=(const CString& other);
    CString& operator+=(const char* text);

    int GetLength() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }
    void Empty();
    operator const char*() const { return m_data != nullptr ? m_data : ""; }

    // A writable buffer of at least minLength characters plus a terminator, holding
    // the string; ReleaseBuffer takes the length back from the terminator.
    char* GetBuffer(int minLength);
    void ReleaseBuffer();

private:
    void Assign(const char* first, size_t firstLength, const char* second, size_t secondLength);

    char* m_data;
    int m_length;
};

// ---- Command targets and windows -------------------------------------------------

class CObject {
public:
    virtual ~CObject();
};

class CCmdTarget;
typedef void (CCmdTarget::*FwCommandHandler)();

struct FwCommandEntry {
    unsigned id;
    FwCommandHandler handler;
};

// A class's command table and how to reach its base's, walked from the most derived.
// Built from constants only, so that every map is ready before any code runs.
struct FwMessageMap {
    const FwMessageMap* (*getBase)();
    const FwCommandEntry* entries;
    size_t count;
};

class CCmdTarget : public CObject {
public:
    // The command table; the base class has an empty one, which is also the base of
    // the tables of the framework's classes that have none of their own.
    virtual const FwMessageMap* GetMessageMap() const;
    static const FwMessageMap* GetThisMessageMap();
    // Runs the handler of a command from this object's tables; false when none has it.
    bool OnCmdMsg(unsigned id);
    // The application's wait cursor, counted: on at the first begin, off at the last end.
    void BeginWaitCursor();
    void EndWaitCursor();
};

class CWnd : public CCmdTarget {
public:
    CWnd();
    ~CWnd() override; // destroys the window if it still exists
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    FwWindow GetSafeHwnd() const { return m_hWnd; }
    bool DestroyWindow();
    intptr_t SendMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    FwWindow GetDlgItem(int id) const;
    void Attach(FwWindow window) { m_hWnd = window; }
    FwWindow Detach();

    FwWindow m_hWnd;
};

// Data exchange between a dialog's controls and its members.
struct CDataExchange {
    CWnd* m_pDlgWnd;
    bool m_bSaveAndValidate; // false: from members to controls
};
// Binds control id of the dialog to the wrapper, once.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(unsigned templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Modeless creation from the template in the program's resources: registers the
    // common-control classes, creates the window (shown at once when the template is
    // visible), runs OnInitDialog. False when no window came.
    bool Create(unsigned templateId, CWnd* parent = nullptr);
    // Ends the dialog with a result: a modeless one is hidden, its window remains.
    void EndDialog(int result);
    // Runs the data exchange in one direction.
    bool UpdateData(bool saveAndValidate = true);

    // Called while the window is being created: data exchange from members to
    // controls, then centring when the template asks for no position of its own.
    virtual bool OnInitDialog();

protected:
    virtual void DoDataExchange(CDataExchange* dx);

    unsigned m_templateId;
    CWnd* m_pParentWnd;
};

class CProgressCtrl : public CWnd {
public:
    ~CProgressCtrl() override; // destroys the bar's window
    void SetRange(short lower, short upper);
    int SetPos(int position); // the previous position
    int GetPos() const;
    void GetRange(int& lower, int& upper) const;
};

// ---- The application -------------------------------------------------------------

class CWinThread : public CCmdTarget {
public:
    // Called once after start-up; false ends the program without a message loop.
    virtual bool InitInstance();
    // The message loop; returns the exit code.
    virtual int Run();
    virtual int ExitInstance();
};

class CWinApp : public CWinThread {
public:
    // appName null: the title is the program file's name without its extension.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    void OnHelp(); // the framework's Help handler: there is no help, so nothing happens
    // +1 turns the wait cursor on (counted), -1 off; an end without a begin throws
    // CInvalidArgException.
    void DoWaitCursor(int change);
    int WaitCursorDepth() const { return m_nWaitCursorCount; }

    const char* m_pszAppName; // the title, set before InitInstance

private:
    friend int FwRunApplication();
    int m_nWaitCursorCount;
    char m_title[261];
};

CWinApp* AfxGetApp();
// Starts the application: sets its title, calls InitInstance and then either ends
// (ExitInstance) or runs the message loop. The entry files call it.
int FwRunApplication();
// The title of an application built without a name (the caption of its message
// boxes): its program file's name without folder and extension, the path read in the
// ANSI code page (a double-byte character's second byte may be a '\').
void FwTitleFromPath(const char* path, char* title, unsigned size);

// Shows the string with id promptId from the string table in a message box with the
// application's title as caption; type holds the FW_MB_ flags. The button chosen.
int AfxMessageBox(unsigned promptId, unsigned type = FW_MB_OK, unsigned helpContext = ~0u);
// The same for a text of the caller's.
int AfxMessageBox(const char* text, unsigned type = FW_MB_OK, unsigned helpContext = ~0u);
// Copies string id of the string table; its length, 0 when there is none.
int FwLoadString(unsigned id, char* buffer, int size);

// ---- Test aids -----------------------------------------------------------------------

// Calls watch for every message the window receives from now on, before it handles
// it (Win32: the window is subclassed). False when it cannot watch that window.
typedef void (*FwMessageWatch)(unsigned message, uintptr_t wParam, intptr_t lParam, void* context);
bool FwWatchMessages(FwWindow window, FwMessageWatch watch, void* context);
// Makes string allocations fail from the count-th one on (0: the next one), -1 never.
void FwFailAllocationsFrom(int count);
