// Output paths: creating their folders, the two path tests, and the check that keeps
// a stored name inside the destination.
#include <cstring>

#include "engine/extract.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

static int IsSeparator(char c) { return c == '\\' || c == '/'; }

// Bytes of the character at p: 2 for a lead byte with a trail byte behind it (the
// trail byte may equal '\\' or ':' and is never taken for one), else 1.
static size_t CharBytes(const char* p) {
    return (PlatIsLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
}

int FileReadable(const char* path) {
    if (path == nullptr) return 0;
    const int slot = FileOpen(path, FILE_READ);
    if (slot < 0) return 0;
    FileClose(slot);
    return 1;
}

int IsDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return 0;
    const int letter = CharUpperAZ(static_cast<unsigned char>(path[0]));
    if (letter >= 'A' && letter <= 'Z' && path[1] == ':' && path[2] == '\0') return 1;
    PlatStatInfo info;
    if (PlatStat(path, &info) != 0) return 0;
    return (info.mode & PLAT_MODE_FOLDER) ? 1 : 0;
}

int CreateDirectories(const char* path) {
    if (path == nullptr) return ERR_BAD_ARGUMENT;
    const size_t length = std::strlen(path);
    if (length > PATH_MAX_LENGTH) return ERR_BAD_ARGUMENT;

    char folder[PATH_MAX_LENGTH + 1];
    std::memcpy(folder, path, length + 1);
    PathCutToFolder(folder);
    if (IsDirectory(folder)) return 0;

    // Every folder from the left is created in turn; those that exist (and a drive
    // part such as "C:") simply fail. '/' counts as well as '\\': the system takes
    // both, and a destination may be written either way.
    char walk[PATH_MAX_LENGTH + 1];
    std::memcpy(walk, path, length + 1);
    for (size_t i = 0; walk[i] != '\0'; i += CharBytes(walk + i)) {
        if (i == 0 || !IsSeparator(walk[i])) continue;
        const char separator = walk[i];
        walk[i] = '\0';
        PlatMkdir(walk);
        walk[i] = separator;
    }
    return 0;
}

// ---- Links on the way ------------------------------------------------------------

enum { RESOLVED_PATH_SIZE = 1024 }; // a resolved path may be longer than the engine's own

// 1 when resolved names folder itself or something below it.
static int ResolvedInside(const char* resolved, const char* folder) {
    const size_t length = std::strlen(folder);
    if (std::strncmp(resolved, folder, length) != 0) return 0;
    // "C:\" holds everything on C:, "C:\OUT" holds "C:\OUT\X" and not "C:\OUTER".
    return resolved[length] == '\0' || IsSeparator(resolved[length]) ||
           (length > 0 && IsSeparator(folder[length - 1]));
}

int OutputFoldersInside(const char* path, size_t prefix, const char* destination) {
    if (path == nullptr) return 0;
    const size_t length = std::strlen(path);
    if (length > PATH_MAX_LENGTH || prefix > length) return 0;
    char walk[PATH_MAX_LENGTH + 1];
    std::memcpy(walk, path, length + 1);
    char* folder = nullptr; // the destination resolved, once a link needs it
    int inside = 1;
    for (size_t i = prefix; walk[i] != '\0' && inside; i += CharBytes(walk + i)) {
        if (!IsSeparator(walk[i])) continue;
        const char separator = walk[i];
        walk[i] = '\0';
        if (PlatIsLink(walk)) {
            char target[RESOLVED_PATH_SIZE];
            if (folder == nullptr) {
                folder = static_cast<char*>(MemAlloc(RESOLVED_PATH_SIZE));
                if (folder == nullptr ||
                    PlatResolvePath(destination == nullptr || destination[0] == '\0' ? "." : destination,
                                    folder, RESOLVED_PATH_SIZE) == 0) {
                    inside = 0;
                }
            }
            if (inside &&
                (PlatResolvePath(walk, target, sizeof target) == 0 || !ResolvedInside(target, folder)))
                inside = 0;
        }
        walk[i] = separator;
    }
    MemFree(folder);
    return inside;
}

// ---- Stored-name safety ------------------------------------------------------------

// No double-byte code page of the system (932, 936, 949, 950) has a trail byte below
// 0x40, so ':' and '/' never belong to a double-byte character, while '\\' may.
enum { LOWEST_TRAIL_BYTE = 0x40 };

// CharBytes for judging names: a lead byte in front of a byte that can be no trail
// byte stands alone, so that what follows it is judged as the system will see it.
static size_t NameCharBytes(const char* p) {
    return (PlatIsLeadByte(static_cast<unsigned char>(p[0])) &&
            static_cast<unsigned char>(p[1]) >= LOWEST_TRAIL_BYTE)
               ? 2
               : 1;
}

// Names the system opens as a device in every folder, whatever extension follows.
static const char* const DEVICE_NAMES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
// Numbered devices: these prefixes followed by one digit. Besides 0 to 9 the system
// takes the superscript digits of code page 1252 (0xB9, 0xB2, 0xB3) as well.
static const char* const NUMBERED_DEVICES[] = {"COM", "LPT"};
enum { NUMBERED_PREFIX_LENGTH = 3 };

static int SameLetters(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; i++) {
        if (CharUpperAZ(static_cast<unsigned char>(a[i])) != CharUpperAZ(static_cast<unsigned char>(b[i])))
            return 0;
    }
    return 1;
}

static int IsDeviceDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

// The part before the first '.', without trailing blanks, names a device: "con",
// "NUL.TXT", "COM1 .LOG" all open the device.
static int IsDeviceName(const char* component, size_t length) {
    size_t base = 0;
    while (base < length && component[base] != '.')
        base += NameCharBytes(component + base);
    if (base > length) base = length;
    while (base > 0 && component[base - 1] == ' ')
        base--;
    for (const char* device : DEVICE_NAMES) {
        if (base == std::strlen(device) && SameLetters(component, device, base)) return 1;
    }
    for (const char* prefix : NUMBERED_DEVICES) {
        if (base == NUMBERED_PREFIX_LENGTH + 1 && SameLetters(component, prefix, NUMBERED_PREFIX_LENGTH) &&
            IsDeviceDigit(static_cast<unsigned char>(component[NUMBERED_PREFIX_LENGTH])))
            return 1;
    }
    return 0;
}

// An empty component, one of dots and blanks only (the system reads "..." and ". ."
// as a step up or drops them), or a device.
static int ComponentSafe(const char* component, size_t length) {
    if (length == 0) return 0;
    size_t i = 0;
    while (i < length && (component[i] == '.' || component[i] == ' '))
        i++;
    if (i == length) return 0;
    return !IsDeviceName(component, length);
}

int StoredNameSafe(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    // A leading separator names the root of a drive, or (two of them) another machine.
    if (IsSeparator(name[0])) return 0;
    const char* component = name;
    for (const char* p = name;; p += NameCharBytes(p)) {
        // A drive prefix ("C:x"), and on Windows a data stream of a file ("F:stream").
        if (*p == ':') return 0;
        if (*p == '\0' || IsSeparator(*p)) {
            if (!ComponentSafe(component, static_cast<size_t>(p - component))) return 0;
            if (*p == '\0') return 1;
            component = p + 1;
        }
    }
}
