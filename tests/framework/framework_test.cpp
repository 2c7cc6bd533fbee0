// The framework, run on both implementations: natively over the stand-in, and in the
// Windows build over Win32 with real windows (ctest gives the Wine tests a display).
// The same table of bar operations must reach the bar as the same messages, and leave
// it in the same state, whichever implementation drives it.
#include "framework/framework.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "launcher/resource.h"
#include "platform/platform.h"

namespace {

CWinApp g_testApp("framework_tests");

class BarDialog : public CDialog {
public:
    BarDialog() : CDialog(IDD_PROGRESS) {}
    CProgressCtrl m_bar;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_PROGRESS, m_bar); }
};

struct Received {
    unsigned message;
    uint32_t wParam;
    uint32_t lParam;
    bool operator==(const Received& o) const {
        return message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

void Watch(unsigned message, uintptr_t wParam, intptr_t lParam, void* context) {
    // Only the bar's own messages: a real bar also paints itself.
    if (message != FW_PBM_SETRANGE && message != FW_PBM_SETPOS) return;
    static_cast<std::vector<Received>*>(context)->push_back(
        {message, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)});
}

struct BarStep {
    const char* what;
    bool range; // SetRange(a, b), else SetPos(a)
    int a, b;
    Received sent;    // what the bar's window receives
    int position;     // where the bar then stands
    int lower, upper; // its range then
};

const BarStep BAR_STEPS[] = {
    {"range 0..100", true, 0, 100, {FW_PBM_SETRANGE, 0, 0x00640000}, 0, 0, 100},
    {"position 0", false, 0, 0, {FW_PBM_SETPOS, 0, 0}, 0, 0, 100},
    {"position 50", false, 50, 0, {FW_PBM_SETPOS, 50, 0}, 50, 0, 100},
    {"past the end: sent as it is, held at the end", false, 150, 0, {FW_PBM_SETPOS, 150, 0}, 100, 0, 100},
    {"the same again", false, 150, 0, {FW_PBM_SETPOS, 150, 0}, 100, 0, 100},
    {"below the start", false, -5, 0, {FW_PBM_SETPOS, 0xFFFFFFFBu, 0}, 0, 0, 100},
    {"a narrower range moves the position into it",
     true,
     10,
     20,
     {FW_PBM_SETRANGE, 0, 0x0014000A},
     10,
     10,
     20},
    {"position 15", false, 15, 0, {FW_PBM_SETPOS, 15, 0}, 15, 10, 20},
};

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { FwFailAllocationsFrom(-1); }
    void TearDown() override { FwFailAllocationsFrom(-1); }
};

TEST_F(FrameworkTest, BarMessagesAndState) {
    BarDialog dialog;
    if (!dialog.Create(IDD_PROGRESS)) GTEST_SKIP() << "no window can be made here (no display)";
    ASSERT_NE(dialog.m_bar.GetSafeHwnd(), nullptr) << "control 1003 was not bound at initialisation";
    std::vector<Received> received;
    ASSERT_TRUE(FwWatchMessages(dialog.m_bar.GetSafeHwnd(), Watch, &received));
    for (const BarStep& step : BAR_STEPS) {
        SCOPED_TRACE(step.what);
        received.clear();
        if (step.range) {
            dialog.m_bar.SetRange(static_cast<short>(step.a), static_cast<short>(step.b));
        } else {
            dialog.m_bar.SetPos(step.a);
        }
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0], step.sent);
        EXPECT_EQ(dialog.m_bar.GetPos(), step.position);
        int lower = -1;
        int upper = -1;
        dialog.m_bar.GetRange(lower, upper);
        EXPECT_EQ(lower, step.lower);
        EXPECT_EQ(upper, step.upper);
    }
    // Ending hides the window; it still exists until it is destroyed.
    dialog.EndDialog(1);
    EXPECT_NE(dialog.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(dialog.DestroyWindow());
}

TEST_F(FrameworkTest, StringTable) {
    char text[200];
    EXPECT_EQ(FwLoadString(IDS_DISK_FULL, text, sizeof text), 56);
    EXPECT_STREQ(text, "There is not enough room on the drive to run the Tarnby.");
    EXPECT_EQ(FwLoadString(IDS_NO_FOLDER + 1, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
}

TEST_F(FrameworkTest, StringsKeepTheirValueWhenAnOperationThrows) {
    CString s("C:\\TEMP\\SHOW.PPS");
    FwFailAllocationsFrom(0);
    EXPECT_THROW(s = "other", CMemoryException);
    EXPECT_THROW(s += "more", CMemoryException);
    FwFailAllocationsFrom(-1);
    EXPECT_STREQ(s, "C:\\TEMP\\SHOW.PPS");
    EXPECT_THROW(s.GetBuffer(-1), CInvalidArgException);
    char* buffer = s.GetBuffer(260);
    std::strcpy(buffer + 3, "X");
    s.ReleaseBuffer();
    EXPECT_STREQ(s, "C:\\X");
    EXPECT_EQ(s.GetLength(), 4);
}

TEST_F(FrameworkTest, ExceptionDescriptions) {
    char text[64];
    EXPECT_TRUE(CMemoryException().GetErrorMessage(text, sizeof text));
    EXPECT_STREQ(text, "Out of memory.");
    EXPECT_TRUE(CInvalidArgException().GetErrorMessage(text, 8));
    EXPECT_STREQ(text, "Invalid");
    EXPECT_FALSE(CException().GetErrorMessage(text, sizeof text));
    EXPECT_STREQ(text, "");
}

struct TitleCase {
    const char* what;
    unsigned codePage;
    const char* path;
    const char* title;
};

// The caption of a program's message boxes is its file's name without its extension.
TEST_F(FrameworkTest, TitleFromTheProgramsName) {
    const TitleCase cases[] = {
        {"folder and extension go", 1252, "C:\\Shows\\Tarnby.exe", "Tarnby"},
        {"only the last extension", 1252, "C:\\Shows\\Tarnby.show.exe", "Tarnby.show"},
        {"a dot in a folder's name", 1252, "C:\\Show.d\\Tarnby", "Tarnby"},
        {"a name that starts with a dot", 1252, "C:\\Shows\\.exe", ".exe"},
        // "\x83\x5C" is a katakana whose second byte is '\\'.
        {"a double-byte name", 932, "C:\\Shows\\\x83\x5C\x83\x74\x83\x67.exe", "\x83\x5C\x83\x74\x83\x67"},
    };
    const unsigned original = PlatCodePage();
    for (const TitleCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (!PlatSetCodePage(c.codePage)) continue; // Windows keeps the code page it runs in
        char title[261];
        FwTitleFromPath(c.path, title, sizeof title);
        EXPECT_STREQ(title, c.title);
    }
    PlatSetCodePage(original);
    // As the program itself is named.
    char path[261];
    ASSERT_GT(PlatModuleFileName(nullptr, path, sizeof path), 0u);
    char title[261];
    FwTitleFromPath(path, title, sizeof title);
    EXPECT_STREQ(title, "framework_tests");
}

TEST_F(FrameworkTest, WaitCursorIsCounted) {
    g_testApp.BeginWaitCursor();
    g_testApp.BeginWaitCursor();
    g_testApp.EndWaitCursor();
    EXPECT_EQ(g_testApp.WaitCursorDepth(), 1);
    g_testApp.EndWaitCursor();
    EXPECT_EQ(g_testApp.WaitCursorDepth(), 0);
    EXPECT_THROW(g_testApp.EndWaitCursor(), CInvalidArgException);
    EXPECT_EQ(g_testApp.WaitCursorDepth(), 0);
}

} // namespace
