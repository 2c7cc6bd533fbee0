// The part of the framework both implementations share: exceptions, strings, command
// routing, the application's start and its wait cursor, and the thin wrappers that only
// send messages.
#include <cstdlib>
#include <cstring>

#include "framework/framework_impl.h"
#include "platform/platform.h"

namespace {

CWinApp* g_pApp = nullptr;
int g_allocationsLeft = -1; // FwFailAllocationsFrom: -1 never fails

void CopyText(char* text, unsigned size, const char* source) {
    if (text == nullptr || size == 0) return;
    size_t length = std::strlen(source);
    if (length >= size) length = size - 1;
    std::memcpy(text, source, length);
    text[length] = '\0';
}

char* AllocateText(size_t length) {
    if (g_allocationsLeft == 0) throw CMemoryException();
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (text == nullptr) throw CMemoryException();
    return text;
}

} // namespace

// ---- Exceptions --------------------------------------------------------------------

CException::~CException() = default;

bool CException::GetErrorMessage(char* text, unsigned size) const {
    CopyText(text, size, "");
    return false;
}

bool CMemoryException::GetErrorMessage(char* text, unsigned size) const {
    CopyText(text, size, "Out of memory.");
    return true;
}

bool CInvalidArgException::GetErrorMessage(char* text, unsigned size) const {
    CopyText(text, size, "Invalid argument.");
    return true;
}

// ---- Strings -----------------------------------------------------------------------

CString::CString(const char* text) : CString() { *this = text; }

CString::CString(const CString& other) : CString() { *this = other; }

CString::~CString() { std::free(m_data); }

void CString::Assign(const char* first, size_t firstLength, const char* second, size_t secondLength) {
    const size_t length = firstLength + secondLength;
    if (length > INT32_MAX - 1) throw CInvalidArgException();
    // The new text is complete before the old one goes, so a throw changes nothing and
    // a part may come from the string itself.
    char* text = AllocateText(length);
    std::memcpy(text, first, firstLength);
    std::memcpy(text + firstLength, second, secondLength);
    text[length] = '\0';
    std::free(m_data);
    m_data = text;
    m_length = static_cast<int>(length);
}

CString& CString::operator=(const char* text) {
    if (text == nullptr) {
        Empty();
        return *this;
    }
    Assign(text, std::strlen(text), "", 0);
    return *this;
}

CString& CString::operator=(const CString& other) {
    if (this != &other) *this = static_cast<const char*>(other);
    return *this;
}

CString& CString::operator+=(const char* text) {
    if (text != nullptr) Assign(*this, static_cast<size_t>(m_length), text, std::strlen(text));
    return *this;
}

void CString::Empty() {
    std::free(m_data);
    m_data = nullptr;
    m_length = 0;
}

char* CString::GetBuffer(int minLength) {
    if (minLength < 0) throw CInvalidArgException();
    const size_t length = static_cast<size_t>(minLength) > static_cast<size_t>(m_length)
                              ? static_cast<size_t>(minLength)
                              : static_cast<size_t>(m_length);
    char* text = AllocateText(length);
    std::memcpy(text, *this, static_cast<size_t>(m_length) + 1);
    std::free(m_data);
    m_data = text;
    return m_data;
}

void CString::ReleaseBuffer() {
    if (m_data != nullptr) m_length = static_cast<int>(std::strlen(m_data));
}

void FwFailAllocationsFrom(int count) { g_allocationsLeft = count; }

// ---- Command targets -----------------------------------------------------------------

CObject::~CObject() = default;

namespace {
const FwMessageMap EMPTY_MESSAGE_MAP = {nullptr, nullptr, 0};
}

const FwMessageMap* CCmdTarget::GetThisMessageMap() { return &EMPTY_MESSAGE_MAP; }

const FwMessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::OnCmdMsg(unsigned id) {
    for (const FwMessageMap* map = GetMessageMap(); map != nullptr;
         map = map->getBase != nullptr ? map->getBase() : nullptr) {
        for (size_t i = 0; i < map->count; ++i) {
            if (map->entries[i].id == id) {
                (this->*(map->entries[i].handler))();
                return true;
            }
        }
    }
    return false;
}

void CCmdTarget::BeginWaitCursor() {
    if (g_pApp != nullptr) g_pApp->DoWaitCursor(1);
}

void CCmdTarget::EndWaitCursor() {
    if (g_pApp != nullptr) g_pApp->DoWaitCursor(-1);
}

// ---- Windows -------------------------------------------------------------------------

CWnd::CWnd() : m_hWnd(nullptr) {}

CWnd::~CWnd() { DestroyWindow(); }

bool CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return false;
    const bool destroyed = FwDestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return destroyed;
}

intptr_t CWnd::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    return FwSendMessage(m_hWnd, message, wParam, lParam);
}

FwWindow CWnd::GetDlgItem(int id) const { return m_hWnd != nullptr ? FwGetDlgItem(m_hWnd, id) : nullptr; }

FwWindow CWnd::Detach() {
    FwWindow window = m_hWnd;
    m_hWnd = nullptr;
    return window;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr || dx->m_pDlgWnd == nullptr) return;
    control.Attach(dx->m_pDlgWnd->GetDlgItem(id));
}

CDialog::CDialog(unsigned templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() { DestroyWindow(); }

bool CDialog::Create(unsigned templateId, CWnd* parent) {
    m_templateId = templateId;
    m_pParentWnd = parent;
    FwCreateDialog(this, templateId, parent != nullptr ? parent->m_hWnd : nullptr);
    return m_hWnd != nullptr;
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    FwCentreDialog(m_hWnd, m_templateId, m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr);
    return true;
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx = {this, saveAndValidate};
    DoDataExchange(&dx);
    return true;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::EndDialog(int result) {
    if (m_hWnd != nullptr) FwEndDialog(m_hWnd, result);
}

CProgressCtrl::~CProgressCtrl() { DestroyWindow(); }

void CProgressCtrl::SetRange(short lower, short upper) {
    // Lower bound in the low word, upper in the high word of the second parameter.
    const uint32_t range = static_cast<uint16_t>(lower) | static_cast<uint32_t>(static_cast<uint16_t>(upper))
                                                              << 16;
    SendMessage(FW_PBM_SETRANGE, 0, static_cast<intptr_t>(range));
}

int CProgressCtrl::SetPos(int position) {
    return static_cast<int>(SendMessage(FW_PBM_SETPOS, static_cast<uintptr_t>(position), 0));
}

int CProgressCtrl::GetPos() const { return static_cast<int>(SendMessage(FW_PBM_GETPOS)); }

void CProgressCtrl::GetRange(int& lower, int& upper) const {
    lower = static_cast<int>(SendMessage(FW_PBM_GETRANGE, 1));
    upper = static_cast<int>(SendMessage(FW_PBM_GETRANGE, 0));
}

// ---- The application -------------------------------------------------------------------

bool CWinThread::InitInstance() { return false; }

int CWinThread::Run() { return FwMessageLoop(); }

int CWinThread::ExitInstance() { return 0; }

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName), m_nWaitCursorCount(0), m_title{} {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

void CWinApp::OnHelp() {}

void CWinApp::DoWaitCursor(int change) {
    if (change < 0 && m_nWaitCursorCount == 0) throw CInvalidArgException();
    const int before = m_nWaitCursorCount;
    m_nWaitCursorCount += change < 0 ? -1 : (change > 0 ? 1 : 0);
    if (before == 0 && m_nWaitCursorCount > 0) FwShowWaitCursor(true);
    if (before > 0 && m_nWaitCursorCount == 0) FwShowWaitCursor(false);
}

CWinApp* AfxGetApp() { return g_pApp; }

void FwTitleFromPath(const char* path, char* title, unsigned size) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') {
            name = p + 1;
        } else if (PlatIsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
            ++p;
        }
    }
    CopyText(title, size, name);
    // No code page's second bytes include '.'.
    char* dot = std::strrchr(title, '.');
    if (dot != nullptr && dot != title) *dot = '\0';
}

static void TitleFromModule(char* title, unsigned size) {
    char path[261];
    title[0] = '\0';
    const unsigned length = FwModuleFileName(path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    FwTitleFromPath(path, title, size);
}

int FwRunApplication() {
    CWinApp* app = g_pApp;
    if (app == nullptr) return 0;
    if (app->m_pszAppName == nullptr) {
        TitleFromModule(app->m_title, sizeof app->m_title);
        app->m_pszAppName = app->m_title;
    }
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

int AfxMessageBox(const char* text, unsigned type, unsigned) {
    const char* caption = (g_pApp != nullptr && g_pApp->m_pszAppName != nullptr) ? g_pApp->m_pszAppName : "";
    return FwShowMessageBox(text, caption, type);
}

int AfxMessageBox(unsigned promptId, unsigned type, unsigned helpContext) {
    char text[1024];
    FwLoadString(promptId, text, sizeof text);
    return AfxMessageBox(text, type, helpContext);
}
