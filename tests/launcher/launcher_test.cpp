// The launch sequence over the stand-in framework, with the temporary folder, its
// files, the extraction and the player stood in for: what the user would see and what
// the launcher asks of the system, merged into one log in the order it happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "engine/extract.h"
#include "framework/standin.h"
#include "launcher/play_runtime.h"
#include "launcher/resource.h"
#include "tests/support/scratch.h"

namespace {

const char TEMP[] = "C:\\Users\\A User\\Temp\\";
// The launch's own folder: the first name tried, where nothing stands.
const char FOLDER[] = "C:\\Users\\A User\\Temp\\VRD00000\\";
const char SHOW[] = "C:\\Users\\A User\\Temp\\VRD00000\\SHOW.PPS";
const char PLAYER[] = "C:\\Users\\A User\\Temp\\VRD00000\\PLAYER.EXE";
const char THIRD[] = "C:\\Users\\A User\\Temp\\VRD00000\\NOTES.TXT";
const char DISK_FULL_TEXT[] = "There is not enough room on the drive to run the Tarnby.";
const std::string NO_SHOW_BOX = "box [Show] 16: This file is damaged or holds no Tarnby to run.";
const std::string NO_PLAYER_BOX = "box [Show] 16: The Tarnby's player could not be started.";
const std::string NO_FOLDER_BOX = "box [Show] 16: The temporary folder cannot be used to run the Tarnby.";

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
    // The disk: every path that stands, true for a folder. An entry's file stands from
    // its first event that names it, as the engine creates it before writing.
    std::map<std::string, bool> disk;
    std::function<void()> playing; // runs while the launcher waits for the player
    uint32_t tempBuffer = 0;       // the size of the buffer the folder was asked into
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
    g_fake->tempBuffer = size;
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
        if (ev.name != nullptr) {
            std::snprintf(desc.name, sizeof desc.name, "%s", ev.name);
            g_fake->disk[ev.name] = false;
        }
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
    if (g_fake->playing) g_fake->playing();
    return 0;
}

// The folder a path stands in, with its separator; empty for a root.
std::string Parent(const std::string& path) {
    const size_t cut = path.find_last_of('\\', path.size() - 2);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

int FakeMakeFolder(const char* path) {
    Call(std::string("make folder ") + path);
    if (g_fake->disk.count(path) || g_fake->disk.count(std::string(path) + "\\")) return -1;
    g_fake->disk[std::string(path) + "\\"] = true;
    return 0;
}

int FakeList(const char* folder, int (*visit)(const char* name, void* context), void* context) {
    std::string wanted = folder;
    if (wanted.back() != '\\') wanted += '\\';
    if (!g_fake->disk.count(wanted)) return -1;
    for (const auto& [path, isFolder] : g_fake->disk) {
        if (path != wanted && Parent(path) == wanted) {
            std::string name = path.substr(wanted.size());
            if (isFolder) name.pop_back();
            if (visit(name.c_str(), context)) break;
        }
    }
    return 0;
}

int FakeKind(const char* path) {
    return g_fake->disk.count(std::string(path) + "\\") ? LAUNCH_PATH_FOLDER : LAUNCH_PATH_FILE;
}

int FakeRemoveFile(const char* path) {
    Call(std::string("delete ") + path);
    return g_fake->disk.erase(path) ? 1 : 0;
}

int FakeRemoveFolder(const char* path) {
    const std::string folder = std::string(path) + "\\";
    for (const auto& entry : g_fake->disk) {
        if (entry.first != folder && entry.first.rfind(folder, 0) == 0) {
            Call(std::string("folder stays ") + path);
            return -1;
        }
    }
    Call(std::string("remove folder ") + path);
    return g_fake->disk.erase(folder) ? 0 : -1;
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
        g_launchServices = {FakeRestrict,   FakeTemp, FakeExtract, FakeStart,      FakeWait,
                            FakeMakeFolder, FakeList, FakeKind,    FakeRemoveFile, FakeRemoveFolder};
        m_fake.disk[TEMP] = true;
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
const std::string MADE = std::string("make folder ") + TEMP + "VRD00000";
const std::string REMOVED = std::string("remove folder ") + TEMP + "VRD00000";

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
                            {MADE, "wait cursor on", std::string("extract to ") + FOLDER, Pos(33), Pos(100),
                             "wait cursor off", "window ended 1",
                             std::string("start [") + PLAYER + "] [ " + SHOW + "] in [" + FOLDER + "]",
                             "wait", std::string("delete ") + PLAYER, std::string("delete ") + SHOW, REMOVED},
                            CLOSED}));
    EXPECT_EQ(g_pRuntime, nullptr);
}

// Only the first two completed entries are recorded and counted; a third only moves
// the ordinal and is never started, but it is removed with the rest.
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
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("delete ") + THIRD), 1);
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
    const std::string extract = std::string("extract to ") + FOLDER;
    const FailureCase cases[] = {
        {"no temporary folder", 0, {}, 0, 1, 0, {"window ended 1", NO_FOLDER_BOX}},
        {"a temporary folder too long for the buffer", 261, {}, 0, 1, 0, {"window ended 1", NO_FOLDER_BOX}},
        {"extraction failed after the first file",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}},
         -1,
         1,
         0,
         {MADE, "wait cursor on", extract, "wait cursor off", "window ended 1", NO_SHOW_BOX,
          std::string("delete ") + SHOW, REMOVED}},
        {"one entry: no player to start",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}},
         0,
         1,
         0,
         {MADE, "wait cursor on", extract, "wait cursor off", "window ended 1", NO_SHOW_BOX,
          std::string("delete ") + SHOW, REMOVED}},
        {"a player that does not start is not waited for",
         -1,
         {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}},
         0,
         0,
         1,
         {MADE, "wait cursor on", extract, "wait cursor off", "window ended 1",
          std::string("start [") + PLAYER + "] [ " + SHOW + "] in [" + FOLDER + "]", NO_PLAYER_BOX,
          std::string("delete ") + PLAYER, std::string("delete ") + SHOW, REMOVED}},
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

// The temporary folder is asked into a buffer of 260 characters; the launch's folder
// must then leave room for an 8.3 name in a path of 260.
TEST_F(LaunchTest, LongTemporaryFolders) {
    for (const size_t length : {238u, 239u, 259u, 260u}) {
        SCOPED_TRACE(length);
        FwStandInClearEvents();
        m_fake.calls.clear();
        m_fake.temp = "C:\\" + std::string(length - 4, 'T') + "\\";
        m_fake.disk[m_fake.temp] = true;
        m_fake.events = {};
        EXPECT_EQ(Launch(), 0);
        EXPECT_EQ(m_fake.tempBuffer, 260u);
        const std::vector<std::string> log = Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "make folder " + m_fake.temp + "VRD00000"),
                  length == 238);
        // An archive that holds nothing is said to be so; a folder too long, that.
        EXPECT_EQ(std::count(log.begin(), log.end(), length == 238 ? NO_SHOW_BOX : NO_FOLDER_BOX), 1);
    }
}

// The one message of the launcher's own: string 102 under the program's title, with
// the stop icon; the entry is then cancelled, and no player can start.
TEST_F(LaunchTest, DiskFullShowsTheMessageAndCancels) {
    // The engine leaves the empty file of the entry that did not fit.
    m_fake.events = {
        {EVT_ARCHIVE_TOTAL, 100, nullptr}, {EVT_ENTRY_DONE, 0, SHOW}, {EVT_DISK_FULL, 2, PLAYER}};
    EXPECT_EQ(Launch(), 0);
    EXPECT_EQ(m_fake.statusAfter, (std::vector<int>{0, 0, STATUS_CANCEL}));
    const std::vector<std::string> log = Log();
    // Its message alone: no second one says that no player started.
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("box", 0) == 0; }),
        1);
    EXPECT_NE(std::find(log.begin(), log.end(), std::string("box [Show] 16: ") + DISK_FULL_TEXT), log.end());
    EXPECT_TRUE(g_strSecondFile.IsEmpty());
    EXPECT_EQ(m_fake.disk, (std::map<std::string, bool>{{TEMP, true}})) << "left behind";
}

struct UnwrittenCase {
    const char* what;
    std::vector<Ev> events;
    bool started;
    std::string box = NO_SHOW_BOX; // when none starts
};

// A path as long as the engine's longest, which it may have cut from a longer one.
const std::string LONGEST = std::string(FOLDER) + std::string(EXTRACT_PATH_MAX - std::strlen(FOLDER), 'P');

// The archive's first entry is the show and its second the player: when either is
// not written whole, no player starts; what any entry left is removed all the same.
TEST_F(LaunchTest, EntryNotWrittenWholeStartsNoPlayer) {
    const UnwrittenCase cases[] = {
        {"the show failed",
         {{EVT_ENTRY_FAILED, ERR_BAD_DATA, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}, {EVT_ENTRY_DONE, 0, THIRD}},
         false},
        {"the player failed", {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_FAILED, ERR_IO, PLAYER}}, false},
        {"the player's name was refused", {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_UNSAFE_NAME, 0, nullptr}}, false},
        {"a third entry failed",
         {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, PLAYER}, {EVT_ENTRY_FAILED, ERR_IO, THIRD}},
         true},
        {"the player's path may have been cut",
         {{EVT_ENTRY_DONE, 0, SHOW}, {EVT_ENTRY_DONE, 0, LONGEST.c_str()}},
         false,
         NO_FOLDER_BOX},
    };
    for (const UnwrittenCase& c : cases) {
        SCOPED_TRACE(c.what);
        FwStandInClearEvents();
        m_fake.calls.clear();
        m_fake.events = c.events;
        EXPECT_EQ(Launch(), c.started ? 1 : 0);
        const std::vector<std::string> log = Log();
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& l) { return l.rfind("start", 0) == 0; }),
                  c.started ? 1 : 0);
        EXPECT_EQ(std::count(log.begin(), log.end(), c.box), c.started ? 0 : 1);
        EXPECT_EQ(m_fake.disk, (std::map<std::string, bool>{{TEMP, true}})) << "left behind";
    }
}

// Each launch makes a folder that did not exist: what stands under another launch's
// name is left alone, and what the player adds to its folder stays, with the folder.
TEST_F(LaunchTest, EachLaunchInAFolderOfItsOwn) {
    const std::string other = std::string(TEMP) + "VRD00000\\";
    m_fake.disk[other] = true;
    m_fake.disk[other + "SHOW.PPS"] = false;
    const std::string mine = std::string(TEMP) + "VRD00001\\";
    m_fake.events = {{EVT_ENTRY_DONE, 0, "C:\\Users\\A User\\Temp\\VRD00001\\SHOW.PPS"},
                     {EVT_ENTRY_DONE, 0, "C:\\Users\\A User\\Temp\\VRD00001\\PLAYER.EXE"}};
    m_fake.playing = [&] { m_fake.disk[mine + "SAVED.TXT"] = false; };
    EXPECT_EQ(Launch(), 1);
    const std::vector<std::string> log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "extract to " + mine), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "folder stays " + mine.substr(0, mine.size() - 1)),
              log.end());
    EXPECT_EQ(m_fake.disk, (std::map<std::string, bool>{{TEMP, true},
                                                        {other, true},
                                                        {other + "SHOW.PPS", false},
                                                        {mine, true},
                                                        {mine + "SAVED.TXT", false}}));
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
                            {MADE, "wait cursor on", std::string("extract to ") + FOLDER, "wait cursor off",
                             std::string("delete ") + SHOW, REMOVED},
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

// The launch's folder on a real disk: what it holds when stock is taken goes (nested
// folders and read-only files too); what came later stays, with the folder.
TEST(LaunchFolderTest, RemovesWhatItTookStockOf) {
    g_launchServices = LAUNCH_SERVICES_SYSTEM;
    for (const bool playerSaves : {false, true}) {
        SCOPED_TRACE(playerSaves ? "the player saved a file" : "nothing added");
        ScratchDir temp;
        const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
        const std::string parent = temp.path().string() + separator;
        CLaunchFolder folder;
        ASSERT_TRUE(folder.Create(parent.c_str()));
        CLaunchFolder second;
        ASSERT_TRUE(second.Create(parent.c_str()));
        EXPECT_STRNE(folder.Path(), second.Path());
        const std::filesystem::path made = folder.Path();
        std::filesystem::create_directories(made / "SUB" / "DEEP");
        WriteFileBytes((made / "SHOW.PPS").string(), Bytes(10, 's'));
        WriteFileBytes((made / "SUB" / "DEEP" / "NOTES.TXT").string(), Bytes(3, 'n'));
        const std::string readOnly = (made / "PLAYER.EXE").string();
        WriteFileBytes(readOnly, Bytes(5, 'p'));
        std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
        ASSERT_TRUE(folder.TakeStock());
        if (playerSaves) WriteFileBytes((made / "SAVED.TXT").string(), Bytes(1, 'x'));
        folder.Remove();
        ASSERT_TRUE(second.TakeStock());
        second.Remove();
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp.path()))
            left.push_back(std::filesystem::relative(entry.path(), temp.path()).generic_string());
        std::sort(left.begin(), left.end());
        const std::string name = made.parent_path().filename().string();
        const std::vector<std::string> expected =
            playerSaves ? std::vector<std::string>{name, name + "/SAVED.TXT"} : std::vector<std::string>();
        EXPECT_EQ(left, expected);
    }
}

} // namespace
