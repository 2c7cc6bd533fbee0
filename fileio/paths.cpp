// Path helpers and unique temporary names.
//
// Every walk over a path steps by characters, not bytes: a lead byte and its trail
// byte are passed over together, so a trail byte of 0x5C is never a separator and a
// trail byte in 'a'..'z' is never folded. A lead byte directly before the NUL is a
// character of its own (a cut-short name), and the walk ends there.
#include "fileio/paths.h"

#include <cstring>

#include "fileio/memory.h"
#include "fileio/slots.h"
#include "platform/platform.h"

// Process-wide, not thread-safe: one extraction at a time.
int16_t g_upperCaseNames = 1;
uint32_t g_tempCounter = 0;

void PathResetState() {
    g_upperCaseNames = 1;
    g_tempCounter = 0;
}

static bool IsLead(char byte) { return PlatIsLeadByte(static_cast<unsigned char>(byte)) != 0; }

// Bytes in the character that starts at p: 2 for a complete double-byte character.
static size_t CharLength(const char* p) { return (IsLead(p[0]) && p[1] != '\0') ? 2 : 1; }

int CharUpperAZ(int c) {
    // No locale: only ASCII letters change, and bytes of 128 and above arrive
    // sign-extended as negative codes, which pass unchanged.
    if (c >= 'a' && c <= 'z') return c - ('a' - 'A');
    return c;
}

char* PathUpperCase(char* path) {
    if (path == nullptr) return nullptr;
    for (char* p = path; *p != '\0'; p += CharLength(p)) {
        if (IsLead(*p)) continue;
        *p = static_cast<char>(CharUpperAZ(*p));
    }
    return path;
}

char* PathLastChar(char* path) {
    if (path == nullptr || *path == '\0') return nullptr;
    char* last = path;
    for (char* p = path; *p != '\0'; p += CharLength(p))
        last = p;
    return last;
}

char* PathNormalise(char* path) {
    if (path == nullptr) return nullptr;
    for (char* p = path; *p != '\0'; p += CharLength(p)) {
        if (IsLead(*p)) continue;
        if (*p == '/') *p = '\\';
        if (g_upperCaseNames != 0) *p = static_cast<char>(CharUpperAZ(*p));
    }
    return path;
}

char* PathTrimBlanks(char* path) {
    if (path == nullptr) return nullptr;
    // Only blanks: a tab or line end at the end of a stored name is kept.
    size_t length = std::strlen(path);
    while (length > 0 && path[length - 1] == ' ')
        path[--length] = '\0';
    return path;
}

char* PathFileName(char* path) {
    if (path == nullptr) return nullptr;
    if (g_upperCaseNames != 0) PathUpperCase(path);
    char* p = PathLastChar(path);
    if (p == nullptr) return path;
    for (;;) {
        if (*p == ':' || *p == '\\') return p + 1;
        if (p == path) return path;
        char* previous = PlatCharPrev(path, p);
        if (previous >= p) return path; // never loop on a step that does not go back
        p = previous;
    }
}

char* PathCutToFolder(char* path) {
    if (path == nullptr) return nullptr;
    *PathFileName(path) = '\0';
    if (g_upperCaseNames != 0) PathUpperCase(path);
    return path;
}

int PathHasExtension(const char* path) {
    if (path == nullptr) return 0;
    const char* dot = nullptr;
    for (const char* p = path; *p != '\0'; p += CharLength(p)) {
        if (*p == '.') dot = p;
    }
    if (dot == nullptr || dot == path) return 0;
    // "DIR\.X" and "A..B" have no extension; what follows the dot is not examined.
    const char* before = PlatCharPrev(path, dot);
    if (*before == '.' || *before == '\\') return 0;
    return 1;
}

// ---- Temporary names -------------------------------------------------------------

// Cuts prefix to at most TEMP_PREFIX_MAX bytes, never through a double-byte
// character, and returns its length.
static size_t CutPrefix(char* prefix) {
    size_t kept = 0;
    while (prefix[kept] != '\0') {
        const size_t next = kept + CharLength(prefix + kept);
        if (next > TEMP_PREFIX_MAX) break;
        kept = next;
    }
    prefix[kept] = '\0';
    return kept;
}

// Whether the last character of a non-empty folder is the separator; a trail byte
// of 0x5C at the end belongs to a double-byte character and is not one.
static bool EndsWithSeparator(const char* folder, size_t length) {
    const char* last = PlatCharPrev(folder, folder + length);
    return last + 1 == folder + length && *last == '\\';
}

// Whether a name is free: the probe by opening it is what the engine always did, but
// an open can fail for a file that exists (no free slot, no read permission), and
// such a name must not be handed out, since its user creates it with truncation.
static bool NameIsFree(const char* name) {
    const int slot = FileOpen(name, FILE_READ);
    if (slot >= 0) {
        FileClose(slot);
        return false;
    }
    return FileExists(name) == 0;
}

char* TempFileName(const char* folder, char* prefix) {
    if (folder == nullptr || prefix == nullptr) return nullptr;

    const size_t folderLength = std::strlen(folder);
    const bool addSeparator = folderLength > 0 && !EndsWithSeparator(folder, folderLength);
    const char* usedPrefix = prefix;
    size_t prefixLength = 0;
    if (prefix[0] == '\0') {
        usedPrefix = TEMP_DEFAULT_PREFIX;
        prefixLength = sizeof TEMP_DEFAULT_PREFIX - 1;
    } else {
        prefixLength = CutPrefix(prefix);
    }
    const size_t numberAt = folderLength + (addSeparator ? 1 : 0) + prefixLength;
    // A folder too long for the buffer is refused rather than written past its end.
    if (numberAt + TEMP_NUMBER_LENGTH + 1 > TEMP_NAME_SIZE) return nullptr;

    char* name = static_cast<char*>(MemAlloc(TEMP_NAME_SIZE));
    if (name == nullptr) return nullptr;
    std::memcpy(name, folder, folderLength);
    if (addSeparator) name[folderLength] = '\\';
    std::memcpy(name + numberAt - prefixLength, usedPrefix, prefixLength);
    name[numberAt] = '\0';

    char* number = static_cast<char*>(MemAlloc(TEMP_NUMBER_BUFFER_SIZE));
    if (number == nullptr) {
        MemFree(name);
        return nullptr;
    }

    bool found = false;
    // The counter stops at the limit, so every later call gives up at once and the
    // counter never wraps round to numbers already handed out.
    while (!found && g_tempCounter < TEMP_COUNTER_LIMIT) {
        g_tempCounter++;
        if (g_tempCounter >= TEMP_COUNTER_LIMIT) break;
        const int length = PlatFormatUnsigned(number, TEMP_NUMBER_FORMAT, g_tempCounter);
        if (length != TEMP_NUMBER_LENGTH) break; // below the limit it is always five digits
        std::memcpy(name + numberAt, number, TEMP_NUMBER_LENGTH + 1);
        found = NameIsFree(name);
    }

    MemFree(number);
    if (!found) {
        MemFree(name);
        return nullptr;
    }
    return name;
}
