// Path and drive utilities.
//
// Paths are NUL-terminated byte strings in the ANSI code page, edited in place and
// scanned with double-byte awareness: the trail byte of a double-byte character is
// never taken for a separator or folded to upper case. Process-wide state
// (g_upperCaseNames, g_tempCounter), not thread-safe.
#pragma once

#include <cstdint>

enum { PATH_MAX_LENGTH = 260 }; // bytes in the engine's path buffers, without the NUL

enum { DRIVE_LETTER_COUNT = 26 }; // A: to Z:; higher drive indexes name no drive

// Temporary names: folder, separator, prefix, five digits, ".$$$".
enum {
    TEMP_NAME_SIZE = PATH_MAX_LENGTH + 1, // TempFileName's result buffer, with the NUL
    TEMP_PREFIX_MAX = 3,                  // prefix bytes kept: with five digits, at most eight characters
    TEMP_NUMBER_LENGTH = 5 + 4,           // five digits (65534 fits) and ".$$$"
    TEMP_NUMBER_BUFFER_SIZE = 256,        // scratch for the formatted number
    TEMP_COUNTER_LIMIT = 0xFFFF,          // reaching it ends the numbering: 1..65534 are tried once each
};
inline constexpr char TEMP_DEFAULT_PREFIX[] = "CX";      // used for an empty prefix
inline constexpr char TEMP_NUMBER_FORMAT[] = "%05u.$$$"; // number part and extension

extern int16_t g_upperCaseNames; // 1 at start: the helpers fold 'a'..'z'
extern uint32_t g_tempCounter;   // last number used by TempFileName; never reset by the engine

int CharUpperAZ(int c);
char* PathUpperCase(char* path);
char* PathLastChar(char* path);
char* PathNormalise(char* path);
char* PathTrimBlanks(char* path);
char* PathFileName(char* path);
char* PathCutToFolder(char* path);
int PathHasExtension(const char* path);

int DriveFromPath(const char* path);
int DriveIsRemovable(int index);
int DriveIsReady(int index);
uint64_t DriveFreeBytes(int index);
// The free bytes available to the caller on the filesystem that holds the folder of
// path, which may be another than the drive root's (a folder mounted from elsewhere).
// The drive's answer (DriveFreeBytes) when that folder does not answer; 0 when neither does.
uint64_t PathFreeBytes(const char* path);

int FileExists(const char* path);
int FileDelete(const char* path);
// A name in folder that no file has yet, or null. Cuts prefix to TEMP_PREFIX_MAX bytes in
// place. The caller frees the name with MemFree.
char* TempFileName(const char* folder, char* prefix);

// Puts the switch and the counter back to their start values (for tests).
void PathResetState();
