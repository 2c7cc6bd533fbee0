// The tests' own player: stands in for the real player program that the launcher
// extracts and starts. It reports what it was given, so a test can judge the
// launcher's start of it from the outside:
//
//   command_line=<the command line exactly as the program got it>
//   cwd=<its current folder>
//   show=<the show's path: everything after the one leading blank>
//   show_size=<bytes>            and  show_fnv=<FNV-1a 32 of the bytes, 8 lowercase hex>
//   or show_error=<reason>       when the show cannot be read
//   player=<its own module path>
//   holds_probe=<yes when it holds an open handle to the file inherited.probe in its
//               working folder, handed down by whoever started it; no; absent>
//
// The report goes to the file named by VARDOK_TEST_PLAYER_REPORT (a relative name
// lies in the working folder the player was started in). It is written under a
// temporary name and renamed, so a test that polls for it never reads half of it.
// When VARDOK_TEST_PLAYER_WAIT_FILE is set, the player then waits until that file
// exists (60 s at most) before it ends, so a test can see the launcher blocked in
// its wait.
//
// Under Wine a name starting with '/' in either variable is taken as a Linux path
// (drive Z: is the host's root), so test scripts can pass their own paths.
//
// Exit codes: 0 the show was read (and the wait, if asked for, ended with the file
// there); 1 the show could not be read; 2 no report file named, or it cannot be
// written; 3 the wait file did not appear in time.
//
// Windows: the launcher gives the player an application name and a command line of a
// blank and the show's path, unquoted. The runtime's argv splitting mangles such a
// line, so it is read whole with GetCommandLineA. The POSIX stand-in of the platform
// layer starts a program with argv = {application, command line}: argv[1] is it.
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

enum {
    EXIT_SHOW_READ = 0,
    EXIT_SHOW_UNREADABLE = 1,
    EXIT_NO_REPORT = 2,
    EXIT_WAIT_TIMED_OUT = 3,
};

const uint32_t FNV_OFFSET_BASIS = 2166136261u;
const uint32_t FNV_PRIME = 16777619u;
const int WAIT_LIMIT_MS = 60 * 1000;
const int WAIT_POLL_MS = 50;

std::string CommandLine(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const char* line = GetCommandLineA();
    return line ? line : "";
#else
    return argc > 1 ? argv[1] : "";
#endif
}

std::string CurrentFolder() {
    char buffer[4096];
#ifdef _WIN32
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return "";
    return buffer;
#else
    return getcwd(buffer, sizeof buffer) ? buffer : "";
#endif
}

// The priority class the player was started in (Windows), as the launcher's
// creation flags made it.
std::string PriorityClass() {
#ifdef _WIN32
    return std::to_string(GetPriorityClass(GetCurrentProcess()));
#else
    return "none";
#endif
}

// Whether a handle (a descriptor) inherited from the starting process names the probe
// file: the launcher lets none of its own be inherited.
const char PROBE_NAME[] = "inherited.probe";

std::string HoldsProbe() {
#ifdef _WIN32
    HANDLE probe = CreateFileA(PROBE_NAME, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return "absent";
    BY_HANDLE_FILE_INFORMATION wanted;
    const BOOL known = GetFileInformationByHandle(probe, &wanted);
    bool held = false;
    // Handle values are multiples of 4; a handed-down one keeps its parent's value.
    for (uintptr_t value = 4; known && !held && value < 0x10000; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        BY_HANDLE_FILE_INFORMATION info;
        if (handle == probe || GetFileType(handle) != FILE_TYPE_DISK ||
            !GetFileInformationByHandle(handle, &info))
            continue;
        held = info.dwVolumeSerialNumber == wanted.dwVolumeSerialNumber &&
               info.nFileIndexHigh == wanted.nFileIndexHigh && info.nFileIndexLow == wanted.nFileIndexLow;
    }
    CloseHandle(probe);
    return held ? "yes" : "no";
#else
    struct stat wanted;
    if (stat(PROBE_NAME, &wanted) != 0) return "absent";
    bool held = false;
    DIR* fds = opendir("/proc/self/fd");
    if (fds == nullptr) return "absent";
    while (const dirent* entry = readdir(fds)) {
        struct stat info;
        if (entry->d_name[0] != '.' && fstat(atoi(entry->d_name), &info) == 0 &&
            info.st_dev == wanted.st_dev && info.st_ino == wanted.st_ino)
            held = true;
    }
    closedir(fds);
    return held ? "yes" : "no";
#endif
}

std::string ModulePath() {
    char buffer[4096];
    uint32_t length = PlatModuleFileName(nullptr, buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return "";
    return buffer;
}

// A path from the environment, as this program can open it.
std::string PathFromEnvironment(const char* name) {
    const char* value = getenv(name);
    if (!value || !*value) return "";
    std::string path = value;
#ifdef _WIN32
    if (path[0] == '/') path = "Z:" + path;
#endif
    return path;
}

void SleepMs(int ms) {
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    usleep(static_cast<useconds_t>(ms) * 1000);
#endif
}

// Reads the whole show through the platform layer, which also resolves the POSIX
// stand-in's drive letters and '\' separators. Returns "" or the reason it failed.
std::string HashShow(const std::string& path, uint64_t* size, uint32_t* hash) {
    *size = 0;
    *hash = FNV_OFFSET_BASIS;
    if (path.empty()) return "no path";
    PlatStream* stream = PlatOpen(path.c_str(), "rb");
    if (!stream) return "cannot open";
    unsigned char buffer[65536];
    for (;;) {
        size_t got = PlatRead(stream, buffer, sizeof buffer);
        for (size_t i = 0; i < got; ++i) {
            *hash ^= buffer[i];
            *hash *= FNV_PRIME;
        }
        *size += got;
        if (got < sizeof buffer) break;
    }
    PlatClose(stream);
    return "";
}

int WriteReport(const std::string& reportPath, const std::string& text) {
    std::string temporary = reportPath + ".part";
    PlatStream* stream = PlatOpen(temporary.c_str(), "wb");
    if (!stream) return 0;
    size_t written = PlatWrite(stream, text.data(), text.size());
    int closed = PlatClose(stream);
    if (written != text.size() || closed != 0) return 0;
    return PlatRename(temporary.c_str(), reportPath.c_str()) == 0;
}

int WaitForFile(const std::string& path) {
    for (int waited = 0; waited < WAIT_LIMIT_MS; waited += WAIT_POLL_MS) {
        if (PlatAccess(path.c_str(), 0) == 0) return 1;
        SleepMs(WAIT_POLL_MS);
    }
    return PlatAccess(path.c_str(), 0) == 0;
}

} // namespace

int main(int argc, char** argv) {
    // How long this program itself takes to report, so that a benchmark can tell the
    // launcher's share of the time from a show's start to the report.
    const auto started = std::chrono::steady_clock::now();
    std::string reportPath = PathFromEnvironment("VARDOK_TEST_PLAYER_REPORT");
    if (reportPath.empty()) return EXIT_NO_REPORT;

    std::string commandLine = CommandLine(argc, argv);
    std::string report = "command_line=" + commandLine + "\n";
    report += "cwd=" + CurrentFolder() + "\n";

    std::string show;
    std::string failure;
    if (commandLine.empty() || commandLine[0] != ' ') {
        failure = "the command line does not start with a blank";
    } else {
        show = commandLine.substr(1);
    }
    report += "show=" + show + "\n";

    uint64_t size = 0;
    uint32_t hash = 0;
    if (failure.empty()) failure = HashShow(show, &size, &hash);
    if (failure.empty()) {
        char line[64];
        snprintf(line, sizeof line, "show_size=%llu\nshow_fnv=%08x\n", static_cast<unsigned long long>(size),
                 static_cast<unsigned>(hash));
        report += line;
    } else {
        report += "show_error=" + failure + "\n";
    }
    report += "player=" + ModulePath() + "\n";
    report += "holds_probe=" + HoldsProbe() + "\n";
    report += "priority=" + PriorityClass() + "\n";
    const auto worked = std::chrono::steady_clock::now() - started;
    report +=
        "work_us=" + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(worked).count()) +
        "\n";

    if (!WriteReport(reportPath, report)) return EXIT_NO_REPORT;

    std::string waitPath = PathFromEnvironment("VARDOK_TEST_PLAYER_WAIT_FILE");
    if (!waitPath.empty() && !WaitForFile(waitPath)) return EXIT_WAIT_TIMED_OUT;
    return failure.empty() ? EXIT_SHOW_READ : EXIT_SHOW_UNREADABLE;
}
