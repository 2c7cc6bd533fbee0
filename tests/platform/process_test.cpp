// Processes, the program's own file name and the temporary folder.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform_fixture.h"

namespace {

class PlatformProcess : public PlatformTest {};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string Lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string FileText(const std::string& path) {
    Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

const char* const COMMAND_INTERPRETER = "C:\\windows\\system32\\cmd.exe";
const char* const SHELL = "/bin/sh";

// Under Wine "/bin/sh" is reachable too (drive Z: is the host's root), but only a
// Windows program can start from there: look for the command interpreter first.
bool HasCommandInterpreter() { return PlatAccess(COMMAND_INTERPRETER, 0) == 0; }
bool HasShell() { return PlatAccess(SHELL, 0) == 0; }

// A child that writes its working folder to cwd.txt and its argument to arg.txt
// there, and ends with exit code 3: a script where /bin/sh exists, else cmd.exe.
TEST_F(PlatformProcess, StartsInTheWorkingFolderAndReturnsTheExitCode) {
    ScratchDir scratch;
    std::string folder = scratch.path().string();
    std::string application;
    std::string commandLine;
    const std::string show = " /tmp/a show with blanks.pps";
    bool script = false;
    if (HasCommandInterpreter()) {
        application = COMMAND_INTERPRETER;
        commandLine = "cmd.exe /c cd > cwd.txt & exit 3";
    } else if (HasShell()) {
        script = true;
        application = scratch.file("player.sh");
        WriteText(application, "#!/bin/sh\npwd > cwd.txt\nprintf '%s' \"$1\" > arg.txt\nexit 3\n");
        std::filesystem::permissions(application, std::filesystem::perms::owner_all);
        commandLine = show;
    } else {
        GTEST_SKIP() << "neither a shell nor a command interpreter";
    }

    PlatProcess process = {0, 0};
    ASSERT_EQ(PlatStartProcess(application.c_str(), commandLine.c_str(), folder.c_str(), &process), 1);
    EXPECT_NE(process.id, 0u);
    EXPECT_EQ(PlatWaitProcess(&process), 3);

    std::string cwd = Trimmed(FileText(scratch.file("cwd.txt")));
    ASSERT_FALSE(cwd.empty());
    EXPECT_TRUE(std::filesystem::equivalent(cwd, folder)) << cwd << " vs " << folder;
    // The command line arrives whole, blanks and all, as the one argument.
    if (script) {
        EXPECT_EQ(FileText(scratch.file("arg.txt")), show);
    }
}

TEST_F(PlatformProcess, WaitReturnsZeroForASuccessfulChild) {
    std::string application;
    std::string commandLine;
    if (HasCommandInterpreter()) {
        application = COMMAND_INTERPRETER;
        commandLine = "cmd.exe /c exit 0";
    } else if (HasShell()) {
        application = "/bin/true";
        commandLine = "";
    } else {
        GTEST_SKIP() << "neither a shell nor a command interpreter";
    }
    PlatProcess process = {0, 0};
    ASSERT_EQ(PlatStartProcess(application.c_str(), commandLine.c_str(), nullptr, &process), 1);
    EXPECT_EQ(PlatWaitProcess(&process), 0);
}

TEST_F(PlatformProcess, MissingProgramOrFolderIsAFailedStart) {
    ScratchDir scratch;
    std::string folder = scratch.path().string();
    PlatProcess process = {0, 0};
    EXPECT_EQ(PlatStartProcess(scratch.file("no-player.exe").c_str(), " x", folder.c_str(), &process), 0);
    EXPECT_EQ(PlatStartProcess("", " x", folder.c_str(), &process), 0);
    const char* existing = HasCommandInterpreter() ? COMMAND_INTERPRETER : SHELL;
    EXPECT_EQ(PlatStartProcess(existing, " x", scratch.file("no-folder").c_str(), &process), 0);
    EXPECT_EQ(PlatWaitProcess(&process), -1);
}

TEST_F(PlatformProcess, ModuleFileNameIsThisProgram) {
    char buffer[1024];
    uint32_t length = PlatModuleFileName(nullptr, buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(length, strlen(buffer));
    EXPECT_NE(Lowered(buffer).find("platform_tests"), std::string::npos) << buffer;
    EXPECT_EQ(PlatAccess(buffer, 4), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(buffer));
}

bool EndsInSeparator(const char* text) {
    size_t length = strlen(text);
    return length > 0 && (text[length - 1] == '\\' || text[length - 1] == '/');
}

TEST_F(PlatformProcess, TempFolderEndsInASeparatorAndExists) {
    char buffer[1024];
    uint32_t length = PlatTempFolder(buffer, sizeof buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof buffer);
    EXPECT_EQ(length, strlen(buffer));
    EXPECT_TRUE(EndsInSeparator(buffer)) << buffer;
    PlatStatInfo info;
    ASSERT_EQ(PlatStat(buffer, &info), 0) << buffer;
    EXPECT_EQ(info.mode & 0xF000u, 0x4000u);

    // Too small a buffer: the size needed, NUL included.
    char tiny[2];
    EXPECT_EQ(PlatTempFolder(tiny, sizeof tiny), length + 1);
}

// Runs with TMPDIR and VARDOK_EXPECT_TEMP set (a second run of this program).
TEST_F(PlatformProcess, TempFolderFollowsTmpdir) {
    const char* expected = getenv("VARDOK_EXPECT_TEMP");
    if (!expected) GTEST_SKIP() << "VARDOK_EXPECT_TEMP is not set";
    char buffer[1024];
    ASSERT_GT(PlatTempFolder(buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, expected);
}

} // namespace
