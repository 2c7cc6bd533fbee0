// Path and drive utilities.
//
// Paths are NUL-terminated byte strings in the ANSI code page, edited in place and
// scanned with double-byte awareness: the trail byte of a double-byte character is
// never taken for a separator or folded to upper case. Process-wide state
// (g_upperCaseNames, g_tempCounter), not thread-safe.
#pragma once

#include <cstdint>

enum { PATH_MAX_LENGTH = 260 };  // bytes in the engine's path buffers, without the NUL

extern int16_t g_upperCaseNames;   // 1 at start: the helpers fold 'a'..'z'
extern uint32_t g_tempCounter;     // last number used by TempFileName; never reset by the engine

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

int FileExists(const char* path);
int FileDelete(const char* path);
char* TempFileName(const char* folder, char* prefix);  // caller frees with free()

// Puts the switch and the counter back to their start values (for tests).
void PathResetState();
