// The test player, started as the launcher starts the real player: through the
// platform layer, with its full path as application name, a blank and the show's
// unquoted path as command line, and a working folder. Under Wine this is the real
// CreateProcessA. Runs with VARDOK_TEST_PLAYER_REPORT=report.txt and
// VARDOK_TEST_PLAYER_WAIT_FILE=go, both relative, so they lie in the working folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "support/scratch.h"

namespace {

const char* const REPORT_NAME = "report.txt";
const char* const WAIT_NAME = "go";
const std::chrono::seconds REPORT_LIMIT(60);

std::string ProgramFolder() {
    char buffer[4096];
    uint32_t length = PlatModuleFileName(nullptr, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return "";
    return std::filesystem::path(buffer).parent_path().string();
}

// The test player lies beside this program: test_player.exe or test_player.
std::string TestPlayerPath() {
    std::filesystem::path folder = ProgramFolder();
    for (const char* name : {"test_player.exe", "test_player"}) {
        if (std::filesystem::is_regular_file(folder / name)) return (folder / name).string();
    }
    return "";
}

std::map<std::string, std::string> ReadReport(const std::string& path) {
    std::map<std::string, std::string> fields;
    Bytes bytes = ReadFileBytes(path);
    std::string text(bytes.begin(), bytes.end());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t equals = line.find('=');
        if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return fields;
}

struct PlayerRun {
    bool reported;
    int exitCode;
    std::map<std::string, std::string> report;
};

// Starts the player, waits for its report, then lets it end by creating the wait file.
PlayerRun RunPlayer(const std::string& commandLine, const std::string& folder) {
    PlayerRun run = {false, -1, {}};
    std::string player = TestPlayerPath();
    if (player.empty()) return run;
    PlatProcess process = {0, 0};
    if (PlatStartProcess(player.c_str(), commandLine.c_str(), folder.c_str(), &process) != 1) return run;
    std::filesystem::path report = std::filesystem::path(folder) / REPORT_NAME;
    auto deadline = std::chrono::steady_clock::now() + REPORT_LIMIT;
    while (!std::filesystem::exists(report) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.reported = std::filesystem::exists(report);
    WriteFileBytes((std::filesystem::path(folder) / WAIT_NAME).string(), Bytes());
    run.exitCode = PlatWaitProcess(&process);
    if (run.reported) run.report = ReadReport(report.string());
    return run;
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Published FNV-1a 32 values, so the player's hash is checked against outside numbers.
struct ShowCase {
    const char* description;
    const char* contents;
    const char* size;
    const char* fnv;
};

const ShowCase SHOW_CASES[] = {
    {"empty show", "", "0", "811c9dc5"},
    {"one byte", "a", "1", "e40c292c"},
    {"a word", "foobar", "6", "bf9cf968"},
};

TEST(TestPlayer, ReportsTheShowNamedAfterTheBlank) {
    ASSERT_FALSE(TestPlayerPath().empty()) << "no test player beside " << ProgramFolder();
    for (const ShowCase& c : SHOW_CASES) {
        SCOPED_TRACE(c.description);
        ScratchDir scratch;
        std::filesystem::path folder = scratch.path() / "temp with blanks";
        std::filesystem::create_directory(folder);
        std::string show = (folder / "My Show.pps").string();
        WriteFileBytes(show, Bytes(c.contents, c.contents + strlen(c.contents)));

        PlayerRun run = RunPlayer(" " + show, folder.string());
        ASSERT_TRUE(run.reported);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.report["command_line"], " " + show);
        EXPECT_EQ(run.report["show"], show);
        EXPECT_EQ(run.report["show_size"], c.size);
        EXPECT_EQ(run.report["show_fnv"], c.fnv);
        EXPECT_EQ(run.report.count("show_error"), 0u);
        EXPECT_TRUE(SamePath(run.report["cwd"], folder.string())) << run.report["cwd"];
        EXPECT_TRUE(SamePath(run.report["player"], TestPlayerPath())) << run.report["player"];
    }
}

struct FailureCase {
    const char* description;
    const char* commandLine; // "%s" stands for the working folder
};

const FailureCase FAILURE_CASES[] = {
    {"missing show", " %s/NO SUCH SHOW.PPS"},
    {"no leading blank", "%s/SHOW.PPS"},
    {"a blank and no path", " "},
};

TEST(TestPlayer, ReportsAShowItCannotRead) {
    for (const FailureCase& c : FAILURE_CASES) {
        SCOPED_TRACE(c.description);
        ScratchDir scratch;
        std::string folder = scratch.path().string();
        WriteFileBytes(scratch.file("SHOW.PPS"), Bytes(3, 'x'));
        char commandLine[4096];
        snprintf(commandLine, sizeof commandLine, c.commandLine, folder.c_str());

        PlayerRun run = RunPlayer(commandLine, folder);
        ASSERT_TRUE(run.reported);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.report["command_line"], commandLine);
        EXPECT_FALSE(run.report["show_error"].empty());
        EXPECT_EQ(run.report.count("show_size"), 0u);
        EXPECT_EQ(run.report.count("show_fnv"), 0u);
    }
}

// The player is started without the handles of the program that starts it: a file
// the starter holds open is not handed down.
TEST(TestPlayer, InheritsNoHandle) {
    ScratchDir scratch;
    const std::string probe = scratch.file("inherited.probe");
    WriteFileBytes(probe, Bytes(4, 'p'));
    PlatStream* held = PlatOpen(probe.c_str(), "rb");
    ASSERT_NE(held, nullptr);
    const std::string show = scratch.file("show.pps");
    WriteFileBytes(show, Bytes(1, 's'));
    PlayerRun run = RunPlayer(" " + show, scratch.path().string());
    PlatClose(held);
    ASSERT_TRUE(run.reported);
    EXPECT_EQ(run.report["holds_probe"], "no");
}

} // namespace
