// The Linux stand-in for the Windows services of platform.h.
//
// Drive letters: every path-taking call first turns the Windows-style path into a
// host path. "X:" selects drive X (either case), '\' and '/' both separate folders,
// and a path that starts with a separator lies on the current drive, C. A letter
// maps to a host folder; by default only C: is mapped, to "/", as a fixed drive.
// "C:NAME" (a letter followed by a relative name) is taken relative to the drive's
// root: the stand-in keeps no current folder per drive. A path without a letter or
// leading separator stays relative to the process's working folder.
//
// Letter case: the engine upper-cases names, so each component of a host path is
// looked up exactly first and, when absent, matched without regard to ASCII case
// (double-byte characters compared as they are). A component that matches nothing
// keeps its spelling, so a new file is created as named.
//
// Read-only files: Windows refuses to open for writing, delete, replace or re-time a
// file whose owner-write bit is clear, whoever asks; the stand-in refuses too, so
// that tests run by root see what a Windows user sees.
//
// Environment, read once at first use (and again by PlatResetControls):
//   VARDOK_DRIVES="D=/mnt/x:removable;E=/srv/y"  maps letters (type fixed unless
//       ":removable" follows the folder); "C=" may remap C.
//   VARDOK_CODEPAGE=932                           selects the ANSI code page.
//
// Host names: with PlatSetNameConversion on, each path component is converted from
// the ANSI code page to UTF-8 (by the C library's iconv) on its way to the host, and
// listed names come back converted; a name that does not convert is not found.
//
// Processes: the child runs the application with argv = {application, command
// line}: the whole command line arrives as its one argument, unsplit, which is what
// a Windows program reading GetCommandLineA sees.
//
// Process-wide state (drive table, code page) lives in this file and is not
// thread-safe, like the engine that uses it.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace {

// ---- Process-wide state (not thread-safe) --------------------------------------

const int DRIVE_COUNT = 26; // A: to Z:
const int DRIVE_C = 2;
// Host paths: a mapped folder plus a Windows path of at most 260 bytes fits easily.
const size_t HOST_PATH_MAX = PATH_MAX;
const unsigned CODE_PAGE_DEFAULT = 1252;

struct DriveMapping {
    int mapped;
    int type;  // PLAT_DRIVE_FIXED or PLAT_DRIVE_REMOVABLE
    int ready; // 0: no disk in the drive
    char folder[HOST_PATH_MAX];
};

DriveMapping g_drives[DRIVE_COUNT];
unsigned g_codePage = CODE_PAGE_DEFAULT;
int g_errorMode = 0;
int g_initialised = 0;
int g_convertNames = 0; // PlatSetNameConversion

void MapDriveRaw(int index, const char* folder, size_t length, int type) {
    DriveMapping& drive = g_drives[index];
    if (length >= sizeof drive.folder) return;
    memcpy(drive.folder, folder, length);
    drive.folder[length] = '\0';
    drive.mapped = 1;
    drive.type = type;
    drive.ready = 1;
}

int IsKnownCodePage(unsigned codePage) {
    return codePage == 1252 || codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// "D=/mnt/x:removable;E=/srv/y": malformed items are skipped.
void ReadDriveEnvironment() {
    const char* text = getenv("VARDOK_DRIVES");
    if (!text) return;
    while (*text) {
        const char* end = strchr(text, ';');
        size_t length = end ? static_cast<size_t>(end - text) : strlen(text);
        char letter = text[0];
        if (length >= 3 && text[1] == '=') {
            int index = (letter | 0x20) - 'a';
            const char* folder = text + 2;
            size_t folderLength = length - 2;
            int type = PLAT_DRIVE_FIXED;
            const char suffix[] = ":removable";
            const size_t suffixLength = sizeof suffix - 1;
            if (folderLength > suffixLength &&
                memcmp(folder + folderLength - suffixLength, suffix, suffixLength) == 0) {
                folderLength -= suffixLength;
                type = PLAT_DRIVE_REMOVABLE;
            }
            if (index >= 0 && index < DRIVE_COUNT && folderLength > 0)
                MapDriveRaw(index, folder, folderLength, type);
        }
        text += length;
        if (*text == ';') ++text;
    }
}

void ResetState() {
    memset(g_drives, 0, sizeof g_drives);
    MapDriveRaw(DRIVE_C, "/", 1, PLAT_DRIVE_FIXED);
    g_codePage = CODE_PAGE_DEFAULT;
    g_errorMode = 0;
    g_convertNames = 0;
    ReadDriveEnvironment();
    const char* codePage = getenv("VARDOK_CODEPAGE");
    if (codePage) {
        unsigned long value = strtoul(codePage, nullptr, 10);
        if (IsKnownCodePage(static_cast<unsigned>(value))) g_codePage = static_cast<unsigned>(value);
    }
    g_initialised = 1;
}

void EnsureInitialised() {
    if (!g_initialised) ResetState();
}

// ---- Code page -------------------------------------------------------------------

int IsLeadByteIn(unsigned codePage, unsigned char byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return 0;
    }
}

int IsLead(unsigned char byte) {
    EnsureInitialised();
    return IsLeadByteIn(g_codePage, byte);
}

// Converts text from one character set to another (iconv's names: "UTF-8", "CP932").
// With replace, an input character that does not convert becomes '?' and the
// conversion goes on; otherwise it fails. The length written to out (NUL included in size), or
// -1.
int ConvertText(const char* to, const char* from, const char* text, char* out, size_t size, int replace) {
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return -1;
    char* in = const_cast<char*>(text);
    size_t inLeft = strlen(text);
    char* next = out;
    size_t outLeft = size > 0 ? size - 1 : 0;
    int result = 0;
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG || !replace || outLeft == 0) {
            result = -1;
            break;
        }
        *next++ = '?';
        outLeft--;
        // One '?' for a whole character, as Windows gives.
        const int fromUtf8 = strcmp(from, "UTF-8") == 0;
        do {
            in++;
            inLeft--;
        } while (fromUtf8 && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    iconv_close(converter);
    if (result < 0 || size == 0) return -1;
    *next = '\0';
    return static_cast<int>(next - out);
}

// iconv's name of the ANSI code page in force.
void CodePageName(char* out, size_t size) {
    EnsureInitialised();
    snprintf(out, size, "CP%u", g_codePage);
}

// ---- Path translation -------------------------------------------------------------

int IsSeparator(char c) { return c == '\\' || c == '/'; }

// 2 for a double-byte character (whose trail byte may equal '\\'), else 1. A lead
// byte before the NUL stands alone.
size_t CharLength(const char* p) {
    return (IsLead(static_cast<unsigned char>(p[0])) && p[1] != '\0') ? 2 : 1;
}

int DriveIndexOfLetter(char c) {
    int lower = c | 0x20;
    return (lower >= 'a' && lower <= 'z') ? lower - 'a' : -1;
}

// Case-insensitive for ASCII letters; a double-byte character must match exactly,
// since its trail byte may look like a letter. Converted names are UTF-8, whose
// multi-byte characters hold no ASCII bytes.
int NamesMatch(const char* a, const char* b) {
    while (*a && *b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (!g_convertNames && IsLead(ca) && a[1] != '\0') {
            if (ca != cb || a[1] != b[1]) return 0;
            a += 2;
            b += 2;
            continue;
        }
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca | 0x20);
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb | 0x20);
        if (ca != cb) return 0;
        ++a;
        ++b;
    }
    return *a == *b;
}

// Appends text to out (length *used of size); 0 when it does not fit.
int Append(char* out, size_t size, size_t* used, const char* text, size_t length) {
    if (*used + length >= size) return 0;
    memcpy(out + *used, text, length);
    *used += length;
    out[*used] = '\0';
    return 1;
}

// Looks name up in folder (host path, "" for the working folder): the exact name if
// present, else the smallest case-insensitive match, else name itself. Writes the
// chosen spelling to found. Returns 1 when the entry exists.
int ResolveComponent(const char* folderPath, const char* candidatePath, const char* name, char* found,
                     size_t foundSize) {
    struct stat st;
    snprintf(found, foundSize, "%s", name);
    if (lstat(candidatePath, &st) == 0) return 1;
    DIR* dir = opendir(folderPath[0] ? folderPath : ".");
    if (!dir) return 0;
    int matched = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (!NamesMatch(entry->d_name, name)) continue;
        if (strlen(entry->d_name) >= foundSize) continue;
        if (!matched || strcmp(entry->d_name, found) < 0) snprintf(found, foundSize, "%s", entry->d_name);
        matched = 1;
    }
    closedir(dir);
    return matched;
}

// The host folder of drive index, or null (errno set) when the letter is unmapped or
// its drive holds no disk.
const char* DriveFolder(int drive) {
    const DriveMapping& mapping = g_drives[drive];
    if (!mapping.mapped || !mapping.ready) {
        errno = ENOENT;
        return nullptr;
    }
    return mapping.folder;
}

// Appends one component to a host path, with a '/' between.
int AppendComponent(char* out, size_t size, size_t* used, const char* name, size_t length) {
    if (*used > 0 && out[*used - 1] != '/' && !Append(out, size, used, "/", 1)) return 0;
    return Append(out, size, used, name, length);
}

// Turns a Windows-style path into a host path (see the top of this file). With resolve,
// components missing as spelled are looked up regardless of case. Returns 0 with
// errno set when the drive is unmapped or holds no disk, or the result is too long.
int Translate(const char* path, int resolve, char* out, size_t size) {
    size_t used = 0;
    out[0] = '\0';
    const char* rest = path;
    int drive = -1;
    if (DriveIndexOfLetter(path[0]) >= 0 && path[1] == ':') {
        drive = DriveIndexOfLetter(path[0]);
        rest = path + 2;
    } else if (IsSeparator(path[0])) {
        drive = DRIVE_C;
    }
    if (drive >= 0) {
        const char* folder = DriveFolder(drive);
        if (!folder) return 0;
        if (!Append(out, size, &used, folder, strlen(folder))) {
            errno = ENAMETOOLONG;
            return 0;
        }
    } else if (path[0] == '\0') {
        errno = ENOENT; // the runtime opens nothing by an empty name
        return 0;
    }

    // Once a component is missing, the ones after it cannot exist either and are
    // taken as spelled.
    int searching = resolve;
    char name[NAME_MAX + 1];
    char found[NAME_MAX + 1];
    char candidate[HOST_PATH_MAX];
    int endsInSeparator = 0;
    while (*rest) {
        while (IsSeparator(*rest)) {
            ++rest;
            endsInSeparator = 1;
        }
        size_t length = 0;
        while (rest[length] && !IsSeparator(rest[length]))
            length += CharLength(rest + length);
        if (length == 0) break;
        endsInSeparator = 0;
        if (length >= sizeof name) {
            errno = ENAMETOOLONG;
            return 0;
        }
        memcpy(name, rest, length);
        name[length] = '\0';
        rest += length;
        if (g_convertNames) {
            char codePage[16];
            char converted[NAME_MAX + 1];
            CodePageName(codePage, sizeof codePage);
            const int convertedLength = ConvertText("UTF-8", codePage, name, converted, sizeof converted, 0);
            if (convertedLength < 0) {
                errno = ENOENT;
                return 0;
            }
            memcpy(name, converted, static_cast<size_t>(convertedLength) + 1);
            length = static_cast<size_t>(convertedLength);
        }

        const char* chosen = name;
        if (searching && strcmp(name, ".") != 0 && strcmp(name, "..") != 0) {
            size_t candidateUsed = used;
            memcpy(candidate, out, used + 1);
            if (!AppendComponent(candidate, sizeof candidate, &candidateUsed, name, length)) {
                errno = ENAMETOOLONG;
                return 0;
            }
            searching = ResolveComponent(out, candidate, name, found, sizeof found);
            chosen = found;
        }
        if (!AppendComponent(out, size, &used, chosen, strlen(chosen))) {
            errno = ENAMETOOLONG;
            return 0;
        }
    }
    // A trailing separator still asks for a folder ("FILE\" names no file).
    if (endsInSeparator && used > 0 && out[used - 1] != '/' && !Append(out, size, &used, "/", 1)) {
        errno = ENAMETOOLONG;
        return 0;
    }
    return 1;
}

int ToHostPath(const char* path, char* out, size_t size) {
    EnsureInitialised();
    if (!path || !out || size == 0) {
        errno = EINVAL;
        return 0;
    }
    // Most paths exist as spelled, or differ only in the last component: try the
    // plain translation before any folder is scanned.
    if (!Translate(path, 0, out, size)) return 0;
    struct stat st;
    if (lstat(out, &st) == 0) return 1;
    return Translate(path, 1, out, size);
}

struct HostPath {
    char text[HOST_PATH_MAX];
    int ok;
    explicit HostPath(const char* path) { ok = ToHostPath(path, text, sizeof text); }
};

int IsFolder(const char* hostPath) {
    struct stat st;
    return stat(hostPath, &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows refuses to delete or replace a read-only file.
int IsReadOnlyFile(const char* hostPath) {
    struct stat st;
    return lstat(hostPath, &st) == 0 && !S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

FILE* AsFile(PlatStream* stream) { return reinterpret_cast<FILE*>(stream); }

// The drive a root such as "D:\" names; -1 when it names none.
int DriveOfRoot(const char* root) {
    EnsureInitialised();
    if (!root) return DRIVE_C;
    if (DriveIndexOfLetter(root[0]) >= 0 && root[1] == ':') return DriveIndexOfLetter(root[0]);
    if (IsSeparator(root[0]) || root[0] == '\0') return DRIVE_C;
    return -1;
}

} // namespace

// ---- Byte streams ----------------------------------------------------------------

PlatStream* PlatOpen(const char* path, const char* mode) {
    HostPath host(path);
    if (!host.ok || !mode) return nullptr;
    int writes = strchr(mode, 'w') || strchr(mode, 'a') || strchr(mode, '+');
    if (writes && IsReadOnlyFile(host.text)) {
        errno = EACCES;
        return nullptr;
    }
    FILE* file = fopen(host.text, mode);
    if (!file) return nullptr;
    // The Windows runtime does not open folders as streams.
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
        fclose(file);
        errno = EACCES;
        return nullptr;
    }
    return reinterpret_cast<PlatStream*>(file);
}

int PlatClose(PlatStream* stream) { return stream ? fclose(AsFile(stream)) : -1; }

size_t PlatRead(PlatStream* stream, void* buffer, size_t count) {
    return stream ? fread(buffer, 1, count, AsFile(stream)) : 0;
}

size_t PlatWrite(PlatStream* stream, const void* buffer, size_t count) {
    return stream ? fwrite(buffer, 1, count, AsFile(stream)) : 0;
}

int PlatGetByte(PlatStream* stream) {
    if (!stream) return -1;
    // The engine is single-threaded and fetches compressed data a byte at a time:
    // the stream lock of fgetc would cost a fifth of the decoding time.
    int c = getc_unlocked(AsFile(stream));
    return c == EOF ? -1 : c;
}

int32_t PlatTell(PlatStream* stream) {
    if (!stream) return -1;
    long position = ftell(AsFile(stream));
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<int32_t>(position);
}

int PlatSeek(PlatStream* stream, int32_t offset, int origin) {
    if (!stream) return -1;
    int whence;
    switch (origin) {
        case 0:
            whence = SEEK_SET;
            break;
        case 1:
            whence = SEEK_CUR;
            break;
        case 2:
            whence = SEEK_END;
            break;
        default:
            return -1;
    }
    return fseek(AsFile(stream), offset, whence) == 0 ? 0 : -1;
}

int PlatFlush(PlatStream* stream) { return stream && fflush(AsFile(stream)) == 0 ? 0 : -1; }

// ---- Paths -------------------------------------------------------------------------

int PlatAccess(const char* path, int mode) {
    HostPath host(path);
    if (!host.ok) return -1;
    // _access knows existence (0), write (2) and read (4).
    if ((mode & W_OK) && IsReadOnlyFile(host.text)) return -1;
    return access(host.text, mode & (R_OK | W_OK)) == 0 ? 0 : -1;
}

int PlatUnlink(const char* path) {
    HostPath host(path);
    if (!host.ok || IsReadOnlyFile(host.text)) return -1;
    return unlink(host.text) == 0 ? 0 : -1;
}

int PlatRename(const char* from, const char* to) {
    HostPath hostFrom(from);
    HostPath hostTo(to);
    if (!hostFrom.ok || !hostTo.ok || IsReadOnlyFile(hostTo.text)) return -1;
    // Replacing a folder, or a file by a folder, is not a rename on Windows.
    if (IsFolder(hostTo.text)) return -1;
    return rename(hostFrom.text, hostTo.text) == 0 ? 0 : -1;
}

int PlatMkdir(const char* path) {
    HostPath host(path);
    if (!host.ok) return -1;
    return mkdir(host.text, 0777) == 0 ? 0 : -1;
}

int PlatRmdir(const char* path) {
    HostPath host(path);
    if (!host.ok) return -1;
    return rmdir(host.text) == 0 ? 0 : -1;
}

int PlatStat(const char* path, PlatStatInfo* info) {
    HostPath host(path);
    struct stat st;
    if (!host.ok || !info || stat(host.text, &st) != 0) return -1;
    uint32_t kind = S_ISDIR(st.st_mode)   ? uint32_t{PLAT_MODE_FOLDER}
                    : S_ISREG(st.st_mode) ? uint32_t{PLAT_MODE_FILE}
                                          : 0u;
    info->mode = kind | (static_cast<uint32_t>(st.st_mode) & 0777u);
    info->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    info->mtime = static_cast<int64_t>(st.st_mtime);
    return 0;
}

int PlatSameFile(const char* first, const char* second) {
    HostPath hostFirst(first);
    HostPath hostSecond(second);
    struct stat a;
    struct stat b;
    if (!hostFirst.ok || !hostSecond.ok || stat(hostFirst.text, &a) != 0 || stat(hostSecond.text, &b) != 0)
        return 0;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? 1 : 0;
}

int PlatIsLink(const char* path) {
    HostPath host(path);
    struct stat st;
    return host.ok && lstat(host.text, &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
}

int PlatLinkLoops(const char* path) {
    HostPath host(path);
    struct stat st;
    return host.ok && stat(host.text, &st) != 0 && errno == ELOOP ? 1 : 0;
}

int PlatRemoveLink(const char* path) {
    HostPath host(path);
    struct stat st;
    if (!host.ok || lstat(host.text, &st) != 0 || !S_ISLNK(st.st_mode)) return -1;
    return unlink(host.text) == 0 ? 0 : -1;
}

// The host folder of a mapped, ready drive with its links followed; 0 when it has none.
static int DriveRealFolder(int drive, char* out) {
    const DriveMapping& mapping = g_drives[drive];
    return mapping.mapped && mapping.ready && realpath(mapping.folder, out) != nullptr;
}

// Format notes: the host's resolved path is given back on the drive whose folder holds
// it most closely, so that "/tmp/x" is "C:\tmp\x" while C: maps to "/", and a file
// under a folder mapped as D: is "D:\...".
uint32_t PlatResolvePath(const char* path, char* out, uint32_t size) {
    HostPath host(path);
    char real[HOST_PATH_MAX];
    if (!host.ok || !out || size == 0 || realpath(host.text, real) == nullptr) return 0;
    int best = -1;
    size_t bestLength = 0;
    char folder[HOST_PATH_MAX];
    for (int drive = 0; drive < DRIVE_COUNT; drive++) {
        if (!DriveRealFolder(drive, folder)) continue;
        size_t length = strlen(folder);
        if (length > 1 && folder[length - 1] == '/') length--;
        const int holds =
            length == 1 ? real[0] == '/'
                        : strncmp(real, folder, length) == 0 && (real[length] == '\0' || real[length] == '/');
        if (holds && (best < 0 || length > bestLength)) {
            best = drive;
            bestLength = length;
        }
    }
    if (best < 0) return 0;
    const char* rest = real + (bestLength == 1 ? 1 : bestLength);
    while (*rest == '/')
        rest++;
    const size_t needed = 3 + strlen(rest);
    if (needed + 1 > size) return 0;
    out[0] = static_cast<char>('A' + best);
    out[1] = ':';
    out[2] = '\\';
    for (size_t i = 0; rest[i] != '\0'; i++)
        out[3 + i] = rest[i] == '/' ? '\\' : rest[i];
    out[needed] = '\0';
    return static_cast<uint32_t>(needed);
}

int PlatCreationMask() {
    // Reading the mask means setting it; it is put back at once.
    const mode_t mask = umask(022);
    umask(mask);
    return static_cast<int>(mask & 0777);
}

int PlatChmod(const char* path, int mode) {
    HostPath host(path);
    if (!host.ok) return -1;
    return chmod(host.text, static_cast<mode_t>(mode) & 0777) == 0 ? 0 : -1;
}

int PlatUtime(const char* path, int64_t accessTime, int64_t modifyTime) {
    HostPath host(path);
    // The Windows runtime sets times through a handle opened for writing.
    if (!host.ok || IsReadOnlyFile(host.text)) return -1;
    struct timeval times[2];
    times[0].tv_sec = static_cast<time_t>(accessTime);
    times[0].tv_usec = 0;
    times[1].tv_sec = static_cast<time_t>(modifyTime);
    times[1].tv_usec = 0;
    return utimes(host.text, times) == 0 ? 0 : -1;
}

void PlatStdoutBinary() {}

int32_t PlatLocalOffset(int64_t utcTime) {
    const time_t moment = static_cast<time_t>(utcTime);
    struct tm local;
    if (localtime_r(&moment, &local) == nullptr) return 0;
    return static_cast<int32_t>(local.tm_gmtoff);
}

int PlatListFolder(const char* folder, int (*visit)(const char* name, void* context), void* context) {
    HostPath host(folder);
    if (!host.ok || !visit) return -1;
    DIR* dir = opendir(host.text);
    if (!dir) return -1;
    char codePage[16];
    CodePageName(codePage, sizeof codePage);
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        const char* name = entry->d_name;
        char converted[NAME_MAX + 1];
        if (g_convertNames) {
            // Windows lists a character its ANSI code page lacks as '?'.
            if (ConvertText(codePage, "UTF-8", name, converted, sizeof converted, 1) < 0) continue;
            name = converted;
        }
        if (visit(name, context)) break;
    }
    closedir(dir);
    return 0;
}

// ---- Drives ------------------------------------------------------------------------

int PlatCurrentDrive() {
    EnsureInitialised();
    return DRIVE_C + 1;
}

int PlatDriveType(const char* root) {
    int drive = DriveOfRoot(root);
    if (drive < 0 || !g_drives[drive].mapped) return PLAT_DRIVE_NO_ROOT;
    return g_drives[drive].type;
}

int PlatSetErrorMode(int mode) {
    EnsureInitialised();
    int previous = g_errorMode;
    g_errorMode = mode;
    return previous;
}

// The filesystem a drive root (or any path on a drive) lies on; 0 when the drive is
// unmapped, holds no disk, or the folder is gone.
static int QueryFilesystem(const char* root, struct statvfs* vfs) {
    HostPath host(root ? root : "\\");
    return host.ok && statvfs(host.text, vfs) == 0;
}

int PlatDiskAnswers(const char* root) {
    struct statvfs vfs;
    return QueryFilesystem(root, &vfs) ? 1 : 0;
}

int PlatDiskFreeBytes(const char* root, uint64_t* freeBytes) {
    struct statvfs vfs;
    if (!freeBytes || !QueryFilesystem(root, &vfs)) return 0;
    *freeBytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return 1;
}

// ---- ANSI code page --------------------------------------------------------------

int PlatIsLeadByte(unsigned char byte) { return IsLead(byte); }

char* PlatCharPrev(const char* start, const char* current) {
    if (!start || !current || current <= start) return const_cast<char*>(start);
    const char* p = start;
    const char* previous = start;
    while (p < current && *p) {
        previous = p;
        p += CharLength(p);
    }
    return const_cast<char*>(previous);
}

int PlatFormatUnsigned(char* buffer, const char* format, uint32_t value) {
    if (!buffer || !format) return 0;
    // wsprintfA writes at most 1024 bytes.
    const size_t WSPRINTF_MAX = 1024;
    int length = snprintf(buffer, WSPRINTF_MAX, format, static_cast<unsigned>(value));
    if (length < 0) return 0;
    return length < static_cast<int>(WSPRINTF_MAX) ? length : static_cast<int>(WSPRINTF_MAX) - 1;
}

// ---- Process, module, temporary folder -------------------------------------------

// The module file name override of PlatSetModuleFileNameOverride (tests); process-wide,
// not thread-safe.
static struct {
    int set;
    char path[PLAT_MODULE_OVERRIDE_MAX];
} g_moduleOverride;

// Copies the override as GetModuleFileNameA copies a name: cut short to the buffer,
// still terminated, with the buffer's size returned.
static uint32_t CopyModuleOverride(char* buffer, uint32_t size) {
    size_t length = strlen(g_moduleOverride.path);
    if (length >= size) {
        memcpy(buffer, g_moduleOverride.path, size - 1);
        buffer[size - 1] = '\0';
        return size;
    }
    memcpy(buffer, g_moduleOverride.path, length + 1);
    return static_cast<uint32_t>(length);
}

uint32_t PlatModuleFileName(void* module, char* buffer, uint32_t size) {
    (void)module;
    if (!buffer || size == 0) return 0;
    if (g_moduleOverride.set) return CopyModuleOverride(buffer, size);
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    if (length <= 0) return 0;
    if (static_cast<uint32_t>(length) >= size) {
        // Cut short like GetModuleFileNameA: still terminated, full size returned.
        buffer[size - 1] = '\0';
        return size;
    }
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

uint32_t PlatTempFolder(char* buffer, uint32_t size) {
    const char* folder = getenv("TMPDIR");
    if (!folder || !*folder) folder = "/tmp/";
    size_t length = strlen(folder);
    int needSeparator = !IsSeparator(folder[length - 1]);
    size_t total = length + (needSeparator ? 1 : 0);
    // Like GetTempPathA: too small a buffer gets the size needed, with the NUL.
    if (!buffer || total + 1 > size) return static_cast<uint32_t>(total + 1);
    memcpy(buffer, folder, length);
    if (needSeparator) buffer[length] = '/';
    buffer[total] = '\0';
    return static_cast<uint32_t>(total);
}

int PlatDeleteFile(const char* path) {
    HostPath host(path);
    if (!host.ok || IsReadOnlyFile(host.text) || IsFolder(host.text)) return 0;
    return unlink(host.text) == 0 ? 1 : 0;
}

int PlatRestrictDllSearch() { return 1; }

int PlatStartProcess(const char* application, const char* commandLine, const char* workingFolder,
                     PlatProcess* process) {
    if (!application || !*application || !process) return 0;
    HostPath app(application);
    if (!app.ok) return 0;
    char folder[HOST_PATH_MAX];
    folder[0] = '\0';
    if (workingFolder && *workingFolder && !ToHostPath(workingFolder, folder, sizeof folder)) return 0;
    if (access(app.text, X_OK) != 0) return 0;
    if (folder[0] && !IsFolder(folder)) return 0;

    // The child reports an exec failure through a close-on-exec pipe, so that a
    // program that cannot start is a failed start, as CreateProcessA reports it.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return 0;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return 0;
    }
    if (pid == 0) {
        close(pipeEnds[0]);
        // As CreateProcessA without handle inheritance: the child gets none of the files
        // this process holds open, only the standard ones (and the pipe, closed on exec).
        if (pipeEnds[1] > STDERR_FILENO + 1)
            close_range(STDERR_FILENO + 1, static_cast<unsigned>(pipeEnds[1]) - 1, 0);
        close_range(static_cast<unsigned>(pipeEnds[1]) + 1, ~0u, 0);
        if (folder[0] == '\0' || chdir(folder) == 0) {
            char* argv[3] = {app.text, const_cast<char*>(commandLine ? commandLine : ""), nullptr};
            execv(app.text, argv);
        }
        int error = errno;
        ssize_t written = write(pipeEnds[1], &error, sizeof error);
        (void)written;
        _exit(127);
    }
    close(pipeEnds[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(pipeEnds[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(pipeEnds[0]);
    if (got > 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return 0;
    }
    process->handle = static_cast<intptr_t>(pid);
    process->id = static_cast<uint32_t>(pid);
    return 1;
}

int PlatWaitProcess(PlatProcess* process) {
    if (!process || process->handle <= 0) return -1;
    pid_t pid = static_cast<pid_t>(process->handle);
    int status = 0;
    pid_t done;
    do {
        done = waitpid(pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    process->handle = 0;
    process->id = 0;
    if (done != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

// ---- Console ---------------------------------------------------------------------

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

} // namespace

int PlatIsTerminal(int stream) {
    if (stream != PLAT_STDIN && stream != PLAT_STDOUT && stream != PLAT_STDERR) return 0;
    return isatty(stream) ? 1 : 0;
}

int PlatTerminalColumns(int stream) {
    if (stream == PLAT_STDIN || !PlatIsTerminal(stream)) return 0;
    struct winsize size;
    if (ioctl(stream, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

void PlatCatchInterrupt() {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read from the terminal that the interrupt breaks returns, as
    // the Windows console's does.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

int PlatInterrupted() { return g_interrupted ? 1 : 0; }

// ---- Stand-in controls -----------------------------------------------------------

int PlatMapDrive(int index, const char* folder, int type) {
    EnsureInitialised();
    if (index < 0 || index >= DRIVE_COUNT) return 0;
    if (!folder) {
        memset(&g_drives[index], 0, sizeof g_drives[index]);
        return 1;
    }
    if (type != PLAT_DRIVE_FIXED && type != PLAT_DRIVE_REMOVABLE) return 0;
    size_t length = strlen(folder);
    if (length == 0 || length >= sizeof g_drives[index].folder) return 0;
    MapDriveRaw(index, folder, length, type);
    return 1;
}

int PlatSetDriveReady(int index, int ready) {
    EnsureInitialised();
    if (index < 0 || index >= DRIVE_COUNT || !g_drives[index].mapped) return 0;
    g_drives[index].ready = ready ? 1 : 0;
    return 1;
}

int PlatSetCodePage(unsigned codePage) {
    EnsureInitialised();
    if (!IsKnownCodePage(codePage)) return 0;
    g_codePage = codePage;
    return 1;
}

unsigned PlatCodePage() {
    EnsureInitialised();
    return g_codePage;
}

int PlatSetNameConversion(int convert) {
    EnsureInitialised();
    g_convertNames = convert ? 1 : 0;
    return 1;
}

int PlatNameFromHost(const char* host, char* out, uint32_t size) {
    if (!host || !out) return -1;
    char codePage[16];
    CodePageName(codePage, sizeof codePage);
    return ConvertText(codePage, "UTF-8", host, out, size, 0);
}

int PlatNameToHost(const char* name, char* out, uint32_t size) {
    if (!name || !out) return -1;
    char codePage[16];
    CodePageName(codePage, sizeof codePage);
    return ConvertText("UTF-8", codePage, name, out, size, 1);
}

char PlatPathSeparator() { return '/'; }

int PlatSetModuleFileNameOverride(const char* path) {
    if (!path) {
        g_moduleOverride.set = 0;
        return 1;
    }
    size_t length = strlen(path);
    if (length >= sizeof g_moduleOverride.path) return 0;
    memcpy(g_moduleOverride.path, path, length + 1);
    g_moduleOverride.set = 1;
    return 1;
}

void PlatResetControls() {
    ResetState();
    g_moduleOverride.set = 0;
}
