// Operating-system services of the whole system, and nothing else.
//
// Two implementations, each one whole file: platform_win32.cpp calls the real
// Windows API and C runtime; platform_posix.cpp stands in for Windows on Linux so
// that the engine behaves there as it does on Windows:
//   - both '\' and '/' separate folders;
//   - "X:" at the start of a path names a drive letter; every letter maps to a
//     folder (C: is "/" unless mapped otherwise), and a path without a letter lies
//     on the current drive, C;
//   - a letter can be mapped to a folder and marked removable or not ready;
//   - an existing file or folder is found whatever the letter case of the path;
//   - free bytes are those of the filesystem the path really lies on;
//   - the ANSI code page is 1252 unless switched to 932, 936, 949 or 950;
//   - the temporary folder is $TMPDIR, else /tmp/, with a trailing separator;
//   - a file without the owner-write bit (0x80) is read-only, as on Windows, even
//     for root: it cannot be opened for writing, deleted, replaced or re-timed.
// For tools and scripts the stand-in also reads, once at first use:
//   VARDOK_DRIVES="D=/mnt/x:removable;E=/srv/y"  maps letters to folders (fixed
//       unless ":removable" follows the folder; "C=" remaps C);
//   VARDOK_CODEPAGE=932                           switches the ANSI code page.
//
// Paths are NUL-terminated byte strings in the ANSI code page. No other folder
// includes <windows.h> or tests _WIN32.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Byte streams (the C runtime's buffered streams) ------------------------

struct PlatStream;

// fopen: mode is one of the runtime's strings ("rb", "wb", "r+b", "w+b", "ab", "a+b").
PlatStream* PlatOpen(const char* path, const char* mode);
int PlatClose(PlatStream* stream);                                      // fclose
size_t PlatRead(PlatStream* stream, void* buffer, size_t count);        // fread, size 1
size_t PlatWrite(PlatStream* stream, const void* buffer, size_t count); // fwrite, size 1
int PlatGetByte(PlatStream* stream);                                    // fgetc: 0..255 or -1
int32_t PlatTell(PlatStream* stream);                                   // ftell, -1 on failure
int PlatSeek(PlatStream* stream, int32_t offset, int origin);           // fseek: 0 or -1
int PlatFlush(PlatStream* stream);                                      // fflush: 0 or -1

// ---- Paths -------------------------------------------------------------------

int PlatAccess(const char* path, int mode);       // _access: 0 when allowed, -1 otherwise
int PlatUnlink(const char* path);                 // _unlink: 0 or -1
int PlatRename(const char* from, const char* to); // replaces an existing target; 0 or -1
int PlatMkdir(const char* path);                  // _mkdir: 0 or -1
int PlatRmdir(const char* path);                  // _rmdir: 0 or -1

// The stat fields the engine reads. mode uses the stat layout: 0x4000 folder,
// 0x8000 regular file, low nine bits rwx for owner, group, others.
enum { PLAT_MODE_FOLDER = 0x4000, PLAT_MODE_FILE = 0x8000, PLAT_MODE_OWNER_EXECUTE = 0100 };
struct PlatStatInfo {
    uint32_t mode; // neither kind bit: a pipe, a device or another special file
    uint64_t size;
    int64_t mtime; // seconds since 1970-01-01 UTC
};
int PlatStat(const char* path, PlatStatInfo* info); // 0 or -1
// 1 when both paths name one existing file, however each is spelt (letter case, "."
// components, a link): the same device and file number on the stand-in, the same
// volume serial number and file index on Windows. 0 otherwise, also when either path
// names nothing.
int PlatSameFile(const char* first, const char* second);
// 1 when path itself, not what it leads to, is a symbolic link (on Windows any
// reparse point: a symbolic link or a junction); 0 otherwise, also when it names nothing.
int PlatIsLink(const char* path);
// 1 when path is a link whose links, followed, go round in a circle (it names
// nothing then, yet not for want of a target); 0 otherwise.
int PlatLinkLoops(const char* path);
// Removes the link at path, never what it leads to. 0; -1 when path is no link or the
// link cannot be removed.
int PlatRemoveLink(const char* path);
// The full path of an existing file or folder with every link on the way followed,
// spelt so that the other calls here take it ("X:\..." on the stand-in, the system's
// own full path on Windows). Two paths that lead to one place give the same text.
// Returns the length, 0 when path names nothing or out is too small.
uint32_t PlatResolvePath(const char* path, char* out, uint32_t size);
// The permission bits the process keeps out of the files it creates (the umask, 0 to
// 0777); 0 on Windows, which has none.
int PlatCreationMask();
int PlatChmod(const char* path, int mode); // _chmod: 0 or -1
// _utime, for a folder too: both times in seconds since 1970-01-01 UTC. 0 or -1.
int PlatUtime(const char* path, int64_t accessTime, int64_t modifyTime);
// Seconds east of UTC of the local time zone at the moment utcTime (summer time
// included); 0 when the zone cannot be told.
int32_t PlatLocalOffset(int64_t utcTime);
// Puts standard output into binary mode (Windows turns "\n" into "\r\n" otherwise).
void PlatStdoutBinary();

// Lists the names in a folder (without "." and ".."), calling visit for each until
// it returns non-zero. 0 when the folder was read, -1 when it cannot be opened.
int PlatListFolder(const char* folder, int (*visit)(const char* name, void* context), void* context);

// ---- Drives ------------------------------------------------------------------

// The values GetDriveTypeA returns.
enum {
    PLAT_DRIVE_UNKNOWN = 0,
    PLAT_DRIVE_NO_ROOT = 1,
    PLAT_DRIVE_REMOVABLE = 2,
    PLAT_DRIVE_FIXED = 3,
};

int PlatCurrentDrive();              // _getdrive: 1 = A, 3 = C; 0 when none
int PlatDriveType(const char* root); // GetDriveTypeA on "X:\"
int PlatSetErrorMode(int mode);      // SetErrorMode; returns the previous mode
enum { PLAT_SEM_FAILCRITICALERRORS = 1 };
int PlatDiskAnswers(const char* root); // GetDiskFreeSpaceA succeeds: 1, else 0
// GetDiskFreeSpaceExA: the free bytes available to the caller. 1 on success, 0 on failure.
int PlatDiskFreeBytes(const char* root, uint64_t* freeBytes);

// ---- ANSI code page ------------------------------------------------------------

int PlatIsLeadByte(unsigned char byte); // IsDBCSLeadByte
// CharPrevA: the start of the character before current; start when current is start.
char* PlatCharPrev(const char* start, const char* current);
// wsprintfA with one unsigned argument, e.g. "%05u.$$$". Returns the length written.
int PlatFormatUnsigned(char* buffer, const char* format, uint32_t value);

// ---- Process, module, temporary folder ----------------------------------------

// GetModuleFileNameA: module 0 is the running program. Returns the length, 0 on failure.
uint32_t PlatModuleFileName(void* module, char* buffer, uint32_t size);
// GetTempPathA: the folder with a trailing separator. Returns the length, the size
// needed when size is too small, 0 on failure. A folder whose name the ANSI code page
// cannot spell is given by its short name where that can be spelt, else not at all.
uint32_t PlatTempFolder(char* buffer, uint32_t size);
int PlatDeleteFile(const char* path); // DeleteFileA: 1 on success, 0 on failure
// Limits where the process loads DLLs from to the system folder (SetDefaultDllDirectories
// where the system has it, and SetDllDirectoryA("")), so that a DLL lying beside the
// program, in a downloads folder say, is never loaded. 1 when the default directories
// were set, 0 on systems without them; the stand-in loads nothing and answers 1.
int PlatRestrictDllSearch();

struct PlatProcess {
    intptr_t handle;
    uint32_t id;
};
// CreateProcessA(application, commandLine, no inheritance, NORMAL_PRIORITY_CLASS, ...,
// workingFolder). 1 when a process was started, with its handle; 0 on failure, for an
// empty application name (the system is not asked), and for a start that gives no
// process to wait for.
int PlatStartProcess(const char* application, const char* commandLine, const char* workingFolder,
                     PlatProcess* process);
// Waits without time-out, returns the exit code (or -1), and closes the handles.
int PlatWaitProcess(PlatProcess* process);

// ---- Console (for the command-line tools) ----------------------------------------

// The three standard streams, by the runtime's descriptor numbers.
enum {
    PLAT_STDIN = 0,
    PLAT_STDOUT = 1,
    PLAT_STDERR = 2,
};
// _isatty: 1 when the standard stream is a terminal (a console), 0 when it is
// redirected to a file or a pipe, or for any other number.
int PlatIsTerminal(int stream);
// Columns of the terminal (console window) the standard stream writes to; 0 when
// it is not a terminal or the width is unknown.
int PlatTerminalColumns(int stream);
// From the first call on, an interrupt (Ctrl+C, Ctrl+Break; on the stand-in also
// SIGTERM and SIGHUP) no longer ends the program at once: it is noted, a read from
// the terminal that it breaks returns, and PlatInterrupted() answers 1 from then on,
// so the program can remove what it has half written and stop.
void PlatCatchInterrupt();
int PlatInterrupted();

// ---- Stand-in controls ----------------------------------------------------------
// For tests and tools. On Windows only what the real system can do succeeds; the
// rest returns 0, so a test that needs it can skip.

// Maps drive letter index (0 = A) to a host folder with the given PLAT_DRIVE_ type;
// a null folder removes the mapping. 1 when done.
int PlatMapDrive(int index, const char* folder, int type);
// Marks a mapped drive as holding no disk (GetDiskFreeSpaceA fails, opens fail). 1 when done.
int PlatSetDriveReady(int index, int ready);
// Switches the ANSI code page (1252, 932, 936, 949, 950). 1 when the code page is now
// in force; on Windows only when it already was.
int PlatSetCodePage(unsigned codePage);
unsigned PlatCodePage(); // GetACP
// Makes PlatModuleFileName report this path for every module, as if the running
// program's file were there (tests of a self-extracting file built on the fly); null
// removes the override. 1 when done, 0 for a path of PLAT_MODULE_OVERRIDE_MAX bytes
// or more. Works on both implementations.
enum { PLAT_MODULE_OVERRIDE_MAX = 1024 };
int PlatSetModuleFileNameOverride(const char* path);
// Names on the host. Windows converts every path of its ANSI calls between the ANSI
// code page and the names on its disks; on Linux the names on disk and on the command
// line are UTF-8. With the conversion switched on, the stand-in does what Windows
// does: each component of a path is converted from the ANSI code page to UTF-8 before
// it reaches the host, and PlatListFolder reports names in the ANSI code page, a
// character the code page cannot hold becoming '?'. Off at program start, so that the
// engine's tests see the bytes they wrote. 1 when the conversion is now as asked; on
// Windows it is always on.
int PlatSetNameConversion(int convert);
// A name as the host spells it (a command-line argument) in the ANSI code page: the
// length written to out (size bytes, the NUL included), or -1 when the code page
// cannot hold one of its characters or out is too small. Windows hands arguments over
// in the ANSI code page already and copies them.
int PlatNameFromHost(const char* host, char* out, uint32_t size);
// A name in the ANSI code page as the host's terminal shows it; a byte the code page
// does not define becomes '?'. The length written, or -1 when out is too small.
int PlatNameToHost(const char* name, char* out, uint32_t size);
// The folder separator people on this system write: '\' on Windows, '/' on Linux.
char PlatPathSeparator();
// Puts the controls back as they were at program start: drive map, ready flags and
// code page as the environment above sets them, no name conversion, no module file
// name override. Tests call it before each case. On Windows only the override is undone.
void PlatResetControls();
