// The launch sequence over the stand-in framework, with the temporary folder, the
// extraction and the player stood in for: what the user would see and what the
// launcher asks of the system, merged into one log in the order it happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "framework/standin.h"
#include "launcher/play_runtime.h"
#include "launcher/resource.h"

namespace {

const char TEMP[] = "C:\\Users\\A User\\Temp\\";
const char SHOW[] = "C:\\Users\\A User\\Temp\\SHOW.PPS";
const char PLAYER[] = "C:\\Users\\A User\\Temp\\PLAYER.EXE";
const char THIRD[] = "C:\\Users\\A User\\Temp\\NOTES.TXT";
const char DISK_FULL_TEXT[] = "There is not enough room on the drive to run the Tarnby.";

// One scripted event of the stood-in extraction; name only for EVT_ENTRY_DONE.
struct Ev {
    int32_t code;
    int32_t argument;
    const char* name;
};

struct Fake {
    std::string temp = TEMP;
    int64_t tempResult = -1; // -1: the folder's length
    std::vector<Ev> events;
    int16_t result = 0;
    std::function<void()> during; // runs inside the extraction, after the events
    int started = 1;
    std::vector<std::pair<size_t, std::string>> calls; // stand-in event count at the call
    std::vector<int> statusAfter;                      // the descriptor's status after each event
};
Fake* g_fake = nullptr;

void Call(const std::string& what) { g_fake->calls.emplace_back(FwStandInEventCount(), what); }

int FakeRestrict() {
    Call("restrict DLL search");
    return 1;
}

// As GetTempPathA: the length without the NUL when the folder fits, else the size it needs.
uint32_t FakeTemp(char* buffer, uint32_t size) {
    Call("temp folder");
    if (g_fake->tempResult >= 0) return static_cast<uint32_t>(g_fake->tempResult);
    const uint32_t length = static_cast<uint32_t>(g_fake->temp.size());
    if (length + 1 > size) return length + 1;
    std::memcpy(buffer, g_fake->temp.c_str(), length + 1);
    return length;
}

int16_t FakeExtract(void* module, const char* destination, EventHandler handler, OverwriteQuery query) {
    Call(std::string("extract to ") + destination +
         (module == nullptr && query == nullptr ? "" : " (arguments?)"));
    EntryDescriptor desc;
    for (const Ev& ev : g_fake->events) {
        std::memset(&desc, 0, sizeof desc);
        if (ev.name != nullptr) std::snprintf(desc.name, sizeof desc.name, "%s", ev.name);
        handler(ev.code == EVT_ARCHIVE_TOTAL ? nullptr : &desc, ev.code, ev.argument);
        g_fake->statusAfter.push_back(desc.status);
    }
    if (g_fake->during) g_fake->during();
    return g_fake->result;
}

int FakeStart(const char* application, const char* commandLine, const char* folder, PlatProcess* process) {
    Call(std::string("start [") + application + "] [" + commandLine + "] in [" + folder + "]");
    // As the system: no program, no process.
    if (*application == '\0' || !g_fake->started) return 0;
    process->handle = 1;
    return 1;
}

int FakeWait(PlatProcess* process) {
    Call(process->handle == 1 ? "wait" : "wait without process");
    return 0;
}

int FakeDelete(const char* path) {
    Call(std::string("delete ") + path);
    return 1;
}

// A stand-in event as a log line.
std::string Describe(const FwEvent& e) {
    switch (e.kind) {
        case FW_EVENT_DIALOG_CREATED:
            return "window " + std::to_string(e.value) + " \"" + e.caption + "\" " + std::to_string(e.width) +
                   "x" + std::to_string(e.height);
        case FW_EVENT_MESSAGE:
            return "message " + std::to_string(e.message) + " to " + std::to_string(e.controlId) + ": " +
                   std::to_string(static_cast<uint32_t>(e.wParam)) + ", " +
                   std::to_string(static_cast<uint32_t>(e.lParam));
        case FW_EVENT_DIALOG_ENDED:
            return "window ended " + std::to_string(e.value);
        case FW_EVENT_WINDOW_DESTROYED:
            return "destroyed " + std::to_string(e.controlId);
        case FW_EVENT_MESSAGE_BOX:
            return std::string("box [") + e.caption + "] " + std::to_string(e.value) + ": " + e.text;
        case FW_EVENT_WAIT_CURSOR:
            return e.value != 0 ? "wait cursor on" : "wait cursor off";
    }
    return "?";
}

const std::string RANGE = "message 1025 to 1003: 0, 6553600"; // 0 .. 100
std::string Pos(uint32_t position) { return "message 1026 to 1003: " + std::to_string(position) + ", 0"; }

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_fake = &m_fake;
        g_launchServices = {FakeRestrict, FakeTemp, FakeExtract, FakeStart, FakeWait, FakeDelete};
        AfxGetApp()->m_pszAppName = "Show";
        FwFailAllocationsFrom(-1);
        FwStandInClearEvents();
    }
    void TearDown() override {
        g_launchServices = LAUNCH_SERVICES_SYSTEM;
        FwFailAllocationsFrom(-1);
        g_fake = nullptr;
    }

    int Launch() {
        CPlayRuntime runtime;
        return runtime.Run();
    }

    // Everything in the order it happened.
    std::vector<std::string> Log() const {
        std::vector<std::string> log;
        size_t call = 0;
        for (size_t i = 0; i <= FwStandInEventCount(); ++i) {
            for (; call < m_fake.calls.size() && m_fake.calls[call].first == i; ++call)
                log.push_back(m_fake.calls[call].second);
            if (i < FwStandInEventCount()) log.push_back(Describe(FwStandInEvent(i)));
        }
        return log;
    }
    // The positions sent to the bar after the first.
    std::vector<uint32_t> Positions() const {
        std::vector<uint32_t> positions;
        for (size_t i = 0; i < FwStandInEventCount(); ++i) {
            const FwEvent& e = FwStandInEvent(i);
            if (e.kind == FW_EVENT_MESSAGE && e.message == FW_PBM_SETPOS)
                positions.push_back(static_cast<uint32_t>(e.wParam));
        }
        if (!positions.empty()) positions.erase(positions.begin());
        return positions;
    }

    Fake m_fake;
};

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<std::string> OPENED = {"window 131 \"Preparing Tarnby\" 186x28", RANGE, Pos(0),
                                         "temp folder"};
const std::vector<std::string> CLOSED = {"destroyed 1003", "destroyed 0"};
const std::vector<std::string> STARTED = {"restrict DLL search"};

// Started as the program starts: the DLL search is restricted before anything else.
TEST_F(LaunchTest, WholeSequenceInOrder) {
    m_fake.events = {{EVT_ARCHIVE_TOTAL, 300, nullptr},
                     {EVT_PROGRESS, 100, nullptr},
                     {EVT_ENTRY_DONE, 0, SHOW},
                     {EVT_PROGRESS, 200, nullptr},
                     {EVT_ENTRY_DONE, 0, PLAYER}};
    EXPECT_FALSE(AfxGetApp()->InitInstance());
    EXPECT_EQ(Log(), Lines({STARTED,
                            OPENED,
                            {"wait cursor on", std::string("extract to ") + TEMP, Pos(33), Pos(100),
                             "wait cursor off", "window ended 1",
                             std::string("start [") + PLAYER + "] [ " + SHOW + "] in [" + TEMP + "]", "wait",
                             std::string("delete ") + SHOW, std::string("delete ") + PLAYER},
                            CLOSED}));
    EXPECT_EQ(g_pRuntime, nullptr);
}

// Only the first two completed entries are recorded and counted; a third only moves
// the ordinal, is never started and never deleted.
TEST_F(LaunchTest, ThirdEntryOnlyAdvancesTheOrdinal) {
    m_fake.events = {{EVT_ARCHIVE_TOTAL, 1000, nullptr}, {EVT_PROGRESS, 100, nullptr},
                     {EVT_ENTRY_DONE, 0, SHOW},          {EVT_PROGRESS, 200, nullptr},
                     {EVT_ENTRY_DONE, 0, PLAYER},        {EVT_PROGRESS, 400, nullptr},
                     {EVT_ENTRY_DONE, 0, THIRD},         {EVT_PROGRESS, 50, nullptr}};
    EXPECT_EQ(Launch(), 1);
    EXPECT_EQ(g_nEntry, 4);
    EXPECT_EQ(g_nDone, 300u);
    EXPECT_STREQ(g_strFirstFile, SHOW);
    EXPECT_STREQ(g_strSecondFile, PLAYER);
    // The third entry's bytes are never added: its progress counts from 300.
    EXPECT_EQ(Positions(), (std::vector<uint32_t>{10, 30, 70, 35}));
    const std::vector<std::string> log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("delete ") + THIRD), 0);
}

struct PercentCase {
    const char* what;
    std::vector<Ev> events;
    std::vector<uint32_t> positions;
};

TEST_F(LaunchTest, PercentageArithmetic) {
    const PercentCase cases[] = {
        {"a total of 0 counts as 1",
         {{EVT_ARCHIVE_TOTAL, 0, nullptr}, {EVT_PROGRESS, 0, nullptr}, {EVT_PROGRESS, 3, nullptr}},
         {0, 300}},
        {"positions over 100 are sent as computed",
         {{EVT_ARCHIVE_TOTAL, 10, nullptr}, {EVT_PROGRESS, 15, nullptr}},
         {150}},
        {"truncated toward zero",
         {{EVT_ARCHIVE_TOTAL, 3, nullptr}, {EVT_PROGRESS, 1, nullptr}, {EVT_PROGRESS, 2, nullptr}},
         {33, 66}},
        // Divided first, then multiplied: 4294967280 / 100 * 100 falls just short.
        {"the sum wraps at 2^32",
         {{EVT_ARCHIVE_TOTAL, 100, nullptr},
          {EVT_PROGRESS, -16, nullptr},
          {EVT_ENTRY_DONE, 0, SHOW},
          {EVT_PROGRESS, 32, nullptr}},
         {4294967279u, 16}},
        {"sizes of 2 GiB and more are unsigned",
         {{EVT_ARCHIVE_TOTAL, static_cast<int32_t>(0xC0000000u), nullptr},
          {EVT_PROGRESS, static_cast<int32_t>(0x60000000u), nullptr}},
         {50}},
        {"the low 32 bits of a huge quotient",
         {{EVT_ARCHIVE_TOTAL, 3, nullptr}, {EVT_PROGRESS, 0x7FFFFFFF, nullptr}},
         {static_cast<uint32_t>(71582788233ull & 0xFFFFFFFFu)}},
        {"every progress event is sent, changed or not",
         {{EVT_ARCHIVE_TOTAL, 200, nullptr}, {EVT_PROGRESS, 1, nullptr}, {EVT_PROGRESS, 1, nullptr}},
         {0, 0}},
        {"a new total starts the count afresh",
         {{EVT_ARCHIVE_TOTAL, 100, nullptr},
          {EVT_PROGRESS, 40, nullptr},
          {EVT_ENTRY_DONE, 0, SHOW},
          {EVT_ARCHIVE_TOTAL, 100, nullptr},
          {EVT_PROGRESS, 10, nullptr}},
         {40, 10}},
    };
    for (const PercentCase& c : cases) {
        SCOPED_TRACE(c.what);
        FwStandInClearEvents();
        m_fake.events = c.events;
        Launch();
        EXPECT_EQ(Positions(), c.positions);
    }
}

// The stand-in bar holds positions within its range, as the real one does.
TEST_F(LaunchTest, BarKeepsItsRange) {
    m_fake.events = {{EVT_ARCHIVE_TOTAL, 10, nullptr}, {EVT_PROGRESS, 15, nullptr}};
    m_fake.during = [] { EXPECT_EQ(g_pRuntime->m_pProgress->GetPos(), 100); };
    Launch();
}

struct FailureCase {
    const char* what;
    int64_t tempResult;
    std::vector<Ev> events;
    int16_t result;
    int started;
    int run;
    std::vector<std::string> middle; // between the opening and the destruction of the window
};

TEST_F(LaunchTest, WaysALaunchEnds) {
    const std::string extract = std::string("extract to ") + TEMP;
    const FailureCase cases[] = {
        {"no temporary folder", 0, {}, 0, 1, 0, {"window ended 1"}},
        {"a temporary folder too long for the buffer", 261, {}, 0, 1, 0, {"window ended 1"}},
        {"extraction failed after the first file",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}},
         -1,
         1,
         0,
         {"wait cursor on", extract, "wait cursor off", "window ended 1", std::string("delete ") + SHOW}},
        {"one entry: no player, nothing to wait for",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}},
         0,
         1,
         1,
         {"wait cursor on", extract, "wait cursor off", "window ended 1",
          std::string("start [] [ ") + SHOW + "] in [" + TEMP + "]", std::string("delete ") + SHOW}},
        {"a player that does not start is not waited for",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}},
         0,
         0,
         1,
         {"wait cursor on", extract, "wait cursor off", "window ended 1",
          std::string("start [") + PLAYER + "] [ " + SHOW + "] in [" + TEMP + "]",
          std::string("delete ") + SHOW, std::string("delete ") + PLAYER}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        FwStandInClearEvents();
        m_fake.calls.clear();
        m_fake.tempResult = c.tempResult;
        m_fake.events = c.events;
        m_fake.result = c.result;
        m_fake.started = c.started;
        EXPECT_EQ(Launch(), c.run);
        EXPECT_EQ(Log(), Lines({OPENED, c.middle, CLOSED}));
    }
}

// The temporary folder's buffer holds 260 characters: the longest folder the system
// hands out whole (259 and the NUL) is used as it is, a longer one not at all.
TEST_F(LaunchTest, LongestTemporaryFolder) {
    for (const size_t length : {259u, 260u}) {
        SCOPED_TRACE(length);
        FwStandInClearEvents();
        m_fake.calls.clear();
        m_fake.temp = "C:\\" + std::string(length - 4, 'T') + "\\";
        m_fake.events = {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}};
        EXPECT_EQ(Launch(), length == 259 ? 1 : 0);
        const std::vector<std::string> log = Log();
        const bool extracted = std::find(log.begin(), log.end(), "extract to " + m_fake.temp) != log.end();
        EXPECT_EQ(extracted, length == 259);
    }
}

// The one message of the launcher's own: string 102 under the program's title, with
// the stop icon; the entry is then cancelled, and no player can start.
TEST_F(LaunchTest, DiskFullShowsTheMessageAndCancels) {
    m_fake.events = {
        {EVT_ARCHIVE_TOTAL, 100, nullptr}, {EVT_ENTRY_DONE, 0, SHOW}, {EVT_DISK_FULL, 2, nullptr}};
    EXPECT_EQ(Launch(), 1);
    EXPECT_EQ(m_fake.statusAfter, (std::vector<int>{0, 0, STATUS_CANCEL}));
    const std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), std::string("box [Show] 16: ") + DISK_FULL_TEXT), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), std::string("delete ") + SHOW), log.end());
    EXPECT_TRUE(g_strSecondFile.IsEmpty());
}

// An exception out of the extraction still ends the wait cursor, and the runtime is
// destroyed on the way out: the completed file is deleted, the window destroyed, and
// the application ends as after any launch.
TEST_F(LaunchTest, ExceptionLeavingTheExtraction) {
    m_fake.events = {{EVT_ENTRY_DONE, 0, SHOW}};
    m_fake.during = [] { throw CMemoryException(); };
    EXPECT_FALSE(AfxGetApp()->InitInstance());
    EXPECT_EQ(Log(), Lines({STARTED,
                            OPENED,
                            {"wait cursor on", std::string("extract to ") + TEMP, "wait cursor off",
                             std::string("delete ") + SHOW},
                            CLOSED}));
    EXPECT_EQ(AfxGetApp()->WaitCursorDepth(), 0);
}

// A framework exception while the wait cursor goes off is shown and dropped; the
// launch goes on.
TEST_F(LaunchTest, GuardedEndOfTheWaitCursor) {
    m_fake.events = {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}};
    m_fake.during = [] { AfxGetApp()->EndWaitCursor(); }; // the cursor is off too early
    EXPECT_EQ(Launch(), 1);
    const std::vector<std::string> log = Log();
    const auto box =
        std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("box", 0) == 0; });
    ASSERT_NE(box, log.end());
    EXPECT_TRUE(std::regex_match(*box, std::regex("box \\[Show\\] 0: Exception thrown in destructor "
                                                  "\\(play_runtime\\.cpp:[0-9]+\\)\nInvalid argument\\.")))
        << *box;
    EXPECT_NE(std::find(log.begin(), log.end(), "wait"), log.end());
}

// A completed file whose path cannot be recorded cancels the extraction (nothing may
// unwind through the engine) and fails the launch: no player is started.
TEST_F(LaunchTest, PathThatCannotBeRecorded) {
    m_fake.events = {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}};
    m_fake.during = [] {};
    FwFailAllocationsFrom(1); // the show's path is recorded, the player's is not
    EXPECT_EQ(Launch(), 0);
    FwFailAllocationsFrom(-1);
    EXPECT_EQ(m_fake.statusAfter, (std::vector<int>{0, STATUS_CANCEL}));
    const std::vector<std::string> log = Log();
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("start", 0) == 0; }),
        0);
    EXPECT_NE(std::find(log.begin(), log.end(), std::string("delete ") + SHOW), log.end());
}

TEST_F(LaunchTest, HelpIsTheApplicationsOnlyCommand) {
    EXPECT_TRUE(AfxGetApp()->OnCmdMsg(FW_ID_HELP));
    EXPECT_FALSE(AfxGetApp()->OnCmdMsg(FW_ID_HELP + 1));
}

} // namespace
