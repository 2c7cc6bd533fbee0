// Drive queries and file existence.
//
// A drive is asked about through its root, "A:\" with the letter 'A' + index. A
// negative index (no drive known) asks about "A:\", as the engine always has. An
// index past Z: names no drive, and the queries answer as for a drive that does not
// exist without asking the system, so the letter can never wrap round to a real one.
#include <cstring>

#include "fileio/paths.h"
#include "platform/platform.h"

enum { DRIVE_ROOT_SIZE = 4 }; // "A:\" and the NUL

// Fills root and returns false when the index lies past the last letter.
static bool DriveRoot(int index, char root[DRIVE_ROOT_SIZE]) {
    std::memcpy(root, "A:\\", DRIVE_ROOT_SIZE);
    if (index >= DRIVE_LETTER_COUNT) return false;
    if (index >= 0) root[0] = static_cast<char>('A' + index);
    return true;
}

int DriveFromPath(const char* path) {
    if (path != nullptr && path[0] != '\0' && path[1] == ':') return CharUpperAZ(path[0]) - 'A';
    // The runtime counts drives from 1 for A, and 0 means no drive letter.
    return PlatCurrentDrive() - 1;
}

int DriveIsRemovable(int index) {
    char root[DRIVE_ROOT_SIZE];
    if (!DriveRoot(index, root)) return 0;
    return PlatDriveType(root) == PLAT_DRIVE_REMOVABLE ? 1 : 0;
}

int DriveIsReady(int index) {
    char root[DRIVE_ROOT_SIZE];
    if (!DriveRoot(index, root)) return 0;
    // An empty drive must fail the query, not raise the system's box asking for a disk.
    const int previous = PlatSetErrorMode(PLAT_SEM_FAILCRITICALERRORS);
    const int answered = PlatDiskAnswers(root);
    PlatSetErrorMode(previous);
    return answered ? 1 : 0;
}

uint64_t DriveFreeBytes(int index) {
    char root[DRIVE_ROOT_SIZE];
    if (!DriveRoot(index, root)) return 0;
    uint64_t freeBytes = 0;
    // An unanswered drive counts as full: the free-space check then refuses to write.
    if (!PlatDiskFreeBytes(root, &freeBytes)) return 0;
    return freeBytes;
}

uint64_t PathFreeBytes(const char* path) {
    const int drive = DriveFromPath(path);
    if (path == nullptr) return DriveFreeBytes(drive);
    const size_t length = std::strlen(path);
    if (length > PATH_MAX_LENGTH) return DriveFreeBytes(drive);
    // The folder keeps its last separator ("C:\", "\"), so that a path at a root
    // asks about the root itself. Both separators count, double-byte aware.
    char folder[PATH_MAX_LENGTH + 1];
    std::memcpy(folder, path, length + 1);
    size_t cut = 0;
    for (size_t i = 0; folder[i] != '\0';) {
        if (folder[i] == '\\' || folder[i] == '/' || folder[i] == ':') cut = i + 1;
        i += (PlatIsLeadByte(static_cast<unsigned char>(folder[i])) && folder[i + 1] != '\0') ? 2 : 1;
    }
    folder[cut] = '\0';
    uint64_t freeBytes = 0;
    if (cut > 0 && PlatDiskFreeBytes(folder, &freeBytes)) return freeBytes;
    return DriveFreeBytes(drive);
}

int FileExists(const char* path) {
    if (path == nullptr) return 0;
    return PlatAccess(path, 0) == 0 ? 1 : 0;
}

int FileDelete(const char* path) {
    if (path == nullptr) return -1;
    return PlatUnlink(path);
}
