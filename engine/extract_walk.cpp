// The walk through an archive: one entry after another, each joined to the
// destination, asked about, given its folders and output file, extracted, and then
// given its permission and time.
#include <cstring>

#include "engine/engine.h"
#include "engine/extract.h"
#include "engine/extract_state.h"
#include "engine/search.h"
#include "engine/signed_bytes.h"
#include "engine/spanned.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

// What ComposeOutputPath made of an entry.
enum {
    PATH_COMPOSED = 1,
    PATH_UNSAFE = 0,
};

// Format notes: the output path is the destination, a backslash unless the
// destination is empty or already ends in ':' or '\\', and the stored name; a path
// longer than EXTRACT_PATH_MAX is cut there, even inside the stored name. The name
// is judged twice: whole, and as far as the cut leaves it, since a cut can turn a
// safe name into a device ("CONFIG.SYS" into "CON") or leave nothing of it (the path
// would then name the destination or a sibling of it).
//
// On success desc->name holds the output path and *prefix the bytes of it before the
// stored name. PATH_UNSAFE leaves the stored name there for the event; ERR_NO_MEMORY
// when the joining buffer cannot be had.
static int ComposeOutputPath(EntryDescriptor* desc, const char* destination, size_t destinationLength,
                             size_t* prefixLength) {
    const size_t nameLength = std::strlen(desc->name);
    char* joined = static_cast<char*>(MemAlloc(destinationLength + nameLength + 3));
    if (joined == nullptr) return ERR_NO_MEMORY;

    std::memcpy(joined, destination, destinationLength + 1);
    size_t used = destinationLength;
    if (used > 0) {
        const char* last = PathLastChar(joined);
        if (*last != ':' && *last != '\\' && *last != '/') joined[used++] = '\\';
    }
    const size_t prefix = used;
    *prefixLength = prefix;
    std::memcpy(joined + used, desc->name, nameLength + 1);
    used += nameLength;

    int result = StoredNameSafe(desc->name) ? PATH_COMPOSED : PATH_UNSAFE;
    const size_t kept = used > EXTRACT_PATH_MAX ? static_cast<size_t>(EXTRACT_PATH_MAX) : used;
    if (result == PATH_COMPOSED && kept < used) {
        joined[kept] = '\0';
        if (kept <= prefix || !StoredNameSafe(joined + prefix)) result = PATH_UNSAFE;
    }
    if (result == PATH_COMPOSED) {
        std::memcpy(desc->name, joined, kept);
        desc->name[kept] = '\0';
        desc->name_length = static_cast<int32_t>(kept);
    }
    MemFree(joined);
    return result;
}

static EntryFilter g_entryFilter = nullptr;

void SetEntryFilter(EntryFilter filter) { g_entryFilter = filter; }

// 1 when the output path names the file the archive is read from. The path of the
// input's slot is asked, not the one the walk opened: it is the volume in the drive.
static int OutputIsArchive(const EntryDescriptor* desc) {
    const FileSlot* record = FileGetSlot(desc->input_slot);
    if (record == nullptr || record->path == nullptr) return 0;
    return PlatSameFile(desc->name, record->path);
}

// One entry, from its header (just read) to its closed output file.
static void ExtractOneEntry(EntryDescriptor* desc, const char* destination, size_t destinationLength) {
    desc->output_slot = -1;
    if (g_entryFilter != nullptr && g_entryFilter(desc) == 0) {
        SkipEntry(desc);
        return;
    }
    size_t prefix = 0;
    const int composed = ComposeOutputPath(desc, destination, destinationLength, &prefix);
    if (composed == ERR_NO_MEMORY) {
        RaiseEvent(desc, EVT_ENTRY_FAILED, ERR_NO_MEMORY);
        SkipEntry(desc);
        return;
    }
    // Nothing is created for a refused entry, not even its folders. A folder on the
    // way that is a link leading elsewhere would carry the file out of the destination
    // as surely as a "..".
    if (composed == PATH_UNSAFE || !OutputFoldersInside(desc->name, prefix, destination)) {
        RaiseEvent(desc, EVT_UNSAFE_NAME, 0);
        SkipEntry(desc);
        return;
    }
    // Opening the archive itself for writing would empty it under the reader.
    if (OutputIsArchive(desc)) {
        RaiseEvent(desc, EVT_OUTPUT_IS_ARCHIVE, 0);
        SkipEntry(desc);
        return;
    }

    // An entry read from a later disk is looked for on the first one before anything
    // is asked or opened: it may turn out to be another entry, or none.
    if ((desc->flags & ENTRY_SPANNED) && desc->volume_info[0] != static_cast<uint8_t>(g_currentVolume)) {
        int restart = 0;
        if (!SpannedRestartFromFirstDisk(desc, &restart)) {
            if (restart < 0 && restart != ERR_CANCELLED) RaiseEvent(desc, EVT_ENTRY_FAILED, restart);
            return;
        }
    }

    // The answer holds for this entry only. A file that exists but cannot be read (or
    // a link standing there) is asked about too: the open below would replace it.
    if (g_overwriteQuery != nullptr &&
        (FileReadable(desc->name) || FileExists(desc->name) || PlatIsLink(desc->name)) &&
        g_overwriteQuery(desc, 0, 0) == 0) {
        SkipEntry(desc);
        return;
    }

    CreateDirectories(desc->name);
    // A link standing where the file goes is replaced by the file, never written
    // through: its target may lie anywhere.
    if (PlatIsLink(desc->name)) PlatRemoveLink(desc->name);
    const int output = FileOpen(desc->name, FILE_WRITE | FILE_CREATE);
    if (output < 0) {
        RaiseEvent(desc, EVT_ENTRY_FAILED, output == ERR_NO_MEMORY ? ERR_NO_MEMORY : ERR_IO);
        SkipEntry(desc);
        return;
    }
    desc->output_slot = output;

    const int result = ExtractEntry(desc);
    // The file stays whatever happened to the entry, closed, with the entry's
    // permission and time. Where the mode leaves the file read-only, the time cannot
    // be set and the file keeps the time it was written at.
    FileClose(output);
    // The stored mode is narrowed by the process's mask, as files it creates are.
    PlatChmod(desc->name, desc->mode & ~PlatCreationMask());
    const int32_t mtime = static_cast<int32_t>(desc->mtime);
    PlatUtime(desc->name, mtime, mtime);

    if (result < 0 && result != ERR_CANCELLED && !g_entryReported) RaiseEvent(desc, EVT_ENTRY_FAILED, result);
}

int ExtractArchive(const char* path, const char* destination) {
    return ExtractArchiveFrom(path, destination, -1);
}

int ExtractArchiveFrom(const char* path, const char* destination, int32_t start) {
    if (destination == nullptr) destination = "";
    const size_t destinationLength = std::strlen(destination);
    if (destinationLength > ARCHIVE_DEST_MAX) {
        g_walkResult = ERR_BAD_ARGUMENT;
        return ERR_BAD_ARGUMENT;
    }

    // Every walk starts on the first volume's terms (a set begun at a later disk is
    // taken from its first one).
    SpannedResetState();
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    const int slot = FileOpen(path, FILE_READ);
    if (slot < 0) {
        g_walkResult = ERR_IO;
        return ERR_IO;
    }
    g_archiveSlot = slot;
    desc.input_slot = slot;
    // A program's archive is taken only from its signed bytes, as the launcher takes it.
    const int32_t signedEnd = ProgramSignedEnd(slot);

    // A plain archive starts at 0, where the search finds it at once; when nothing is
    // found the reader stays at 0 and reports what stands there.
    int walk = 0;
    if (start < 0) start = FindEntrySignature(nullptr, slot);
    if (start == ERR_CANCELLED) walk = ERR_CANCELLED;
    if (start >= 0) FileSeek(slot, start, FILE_SEEK_START);

    while (walk == 0) {
        // A cancel ends the walk before the next entry's file is created or emptied.
        if (desc.status == STATUS_CANCEL) {
            walk = ERR_CANCELLED;
            break;
        }
        const int32_t headerOffset = FileTell(desc.input_slot);
        const int rc = ReadEntryHeader(&desc);
        if (rc < 0) {
            walk = rc;
            break;
        }
        if (!EntryOnItsVolume(&desc, headerOffset)) {
            walk = ERR_BAD_HEADER;
            break;
        }
        // An entry reaching past the signed bytes is not the signer's: the walk ends.
        if (g_currentVolume == 0 && !WithinSignedBytes(signedEnd, FileTell(slot), desc.compressed_size)) {
            walk = ERR_BAD_ARCHIVE;
            break;
        }
        ExtractOneEntry(&desc, destination, destinationLength);
    }

    FileClose(g_archiveSlot);
    g_archiveSlot = -1;
    g_walkResult = walk;
    return 0;
}
