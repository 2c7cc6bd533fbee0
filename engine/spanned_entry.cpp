// The spanned-entry step of ExtractEntry: the pieces of an entry that goes on over
// several disks are collected into a temporary file in the output folder, and the
// method dispatch then reads the entry from that file as if it had never been split.
#include <cstring>

#include "engine/engine.h"
#include "engine/events.h"
#include "engine/search.h"
#include "engine/spanned.h"
#include "engine/spanned_state.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"

// The temporary file is read back and written in one open.
enum { TEMP_CREATE_FLAGS = FILE_READ | FILE_WRITE | FILE_CREATE }; // 11

static void CopyBounded(char* to, const char* from, size_t size) {
    size_t length = 0;
    while (length + 1 < size && from[length] != '\0')
        length++;
    std::memcpy(to, from, length);
    to[length] = '\0';
}

// Bytes from the input's position to the end of its volume file; 0 when they cannot
// be measured.
static uint32_t BytesLeftOnVolume(int slot) {
    const int32_t here = FileTell(slot);
    if (here < 0) return 0;
    const int32_t end = FileSeek(slot, 0, FILE_SEEK_END);
    if (FileSeek(slot, here, FILE_SEEK_START) != here || end < here) return 0;
    return static_cast<uint32_t>(end - here);
}

// desc takes the fields of the entry header in read; it keeps its slots, its status,
// its extra_data and its name, which is the output path the walk opened.
static void TakeEntryFields(EntryDescriptor* desc, const EntryDescriptor* read) {
    EntryDescriptor kept = *desc;
    *desc = *read;
    desc->input_slot = kept.input_slot;
    desc->output_slot = kept.output_slot;
    desc->extra_data = kept.extra_data;
    desc->status = kept.status;
    desc->name_length = kept.name_length;
    std::memcpy(desc->name, kept.name, sizeof desc->name);
}

// The extraction began on a later disk, so the entry's earlier pieces lie on the disks
// before: ask for the first disk. Returns 1 when the first disk begins with this very
// entry, whose fields desc then holds (under the output path already open); otherwise
// 0 with *result for ExtractEntry. When another entry comes first, the input is put at
// the first disk's start and the entry counts as skipped, so that the walk extracts the
// first disk from its first record with every check it makes of a name; writing that
// record's data into the file opened for this entry would give it the wrong content.
int SpannedRestartFromFirstDisk(EntryDescriptor* desc, int* result) {
    // A second new start can only come from a set whose volume numbers disagree, and
    // would go round for as long as disks are given.
    if (g_spannedRestartMade) {
        *result = ERR_IO;
        return 0;
    }
    g_spannedRestartMade = 1;

    // Is the entry in hand this volume's first record? Its stored name is known then.
    const int slot = desc->input_slot;
    const int32_t here = FileTell(slot);
    EntryDescriptor current;
    std::memset(&current, 0, sizeof current);
    current.input_slot = slot;
    int known = 0;
    if (here >= 0 && FileSeek(slot, 0, FILE_SEEK_START) == 0) {
        int32_t found = FindEntrySignature(nullptr, slot);
        if (found < 0) found = 0;
        known = FileSeek(slot, found, FILE_SEEK_START) == found && ReadEntryHeader(&current) == 0 &&
                FileTell(slot) == here;
    }

    g_currentVolume = -1; // NextVolume then asks for disk 1 and accepts volume number 0
    const int changed = NextVolume(desc);
    if (changed != 0) {
        *result = changed;
        return 0;
    }
    EntryDescriptor first;
    std::memset(&first, 0, sizeof first);
    first.input_slot = desc->input_slot;
    if (FileSeek(desc->input_slot, 0, FILE_SEEK_START) != 0 || ReadEntryHeader(&first) != 0) {
        *result = ERR_IO;
        return 0;
    }
    if (known && std::strcmp(current.name, first.name) == 0) {
        TakeEntryFields(desc, &first);
        return 1;
    }
    FileSeek(desc->input_slot, 0, FILE_SEEK_START);
    *result = 0;
    return 0;
}

// A free name with the prefix "CX" in the folder of the entry's output path, or null.
static char* MakeTempName(const EntryDescriptor* desc) {
    char* folder = static_cast<char*>(MemAlloc(TEMP_NAME_SIZE));
    if (folder == nullptr) return nullptr;
    CopyBounded(folder, desc->name, TEMP_NAME_SIZE);
    PathCutToFolder(folder);
    char prefix[sizeof TEMP_DEFAULT_PREFIX];
    std::memcpy(prefix, TEMP_DEFAULT_PREFIX, sizeof prefix);
    char* name = TempFileName(folder, prefix);
    MemFree(folder);
    return name;
}

// The handler may change the name at EVT_TEMP_NAME. name is a TEMP_NAME_SIZE buffer.
static void OfferTempName(char* name) {
    EntryDescriptor* scratch = static_cast<EntryDescriptor*>(MemAlloc(sizeof(EntryDescriptor)));
    if (scratch == nullptr) return; // without memory the event is left out
    // Zeroed, so that the handler sees nothing but the name.
    std::memset(scratch, 0, sizeof *scratch);
    scratch->input_slot = -1;
    scratch->output_slot = -1;
    CopyBounded(scratch->name, name, sizeof scratch->name);
    scratch->name_length = static_cast<int32_t>(std::strlen(scratch->name));
    RaiseEvent(scratch, EVT_TEMP_NAME, 0);
    scratch->name[PATH_MAX_LENGTH] = '\0'; // whatever was written, the name ends inside the field
    CopyBounded(name, scratch->name, TEMP_NAME_SIZE);
    MemFree(scratch);
}

static void DiscardTemp(char* name) {
    FileDelete(name);
    MemFree(name);
}

// Copies the entry's pieces, volume after volume, to tempSlot. Returns 0, or the
// result of a NextVolume that failed (it has raised its own events); *copyResult is
// the last CopyBytes result. Any copy result but 0 ends the copying: after a short
// copy the positions have moved, and a copy without a buffer or slot would fail again.
static int CopyPieces(EntryDescriptor* desc, int tempSlot, int* copyResult) {
    uint32_t remaining = desc->compressed_size; // over all pieces
    uint32_t available = BytesLeftOnVolume(desc->input_slot);
    *copyResult = 0;
    while (remaining != 0) {
        const uint32_t count = available < remaining ? available : remaining;
        *copyResult = CopyBytes(desc->input_slot, tempSlot, count);
        if (*copyResult != 0) return 0;
        remaining -= count;
        if (remaining == 0) break;
        const int changed = NextVolume(desc);
        if (changed != 0) return changed;
        available = BytesLeftOnVolume(desc->input_slot); // behind the continuation header
    }
    return 0;
}

int SpannedEntryBegin(EntryDescriptor* desc, SpannedEntry* span, int* result) {
    int ignored = 0;
    if (result == nullptr) result = &ignored;
    *result = 0;
    if (span != nullptr) {
        span->archive_slot = desc != nullptr ? desc->input_slot : -1;
        span->temp_name = nullptr;
        span->active = 0;
    }
    if (desc == nullptr || span == nullptr) {
        *result = ERR_BAD_ARGUMENT;
        return 0;
    }
    g_spannedBehindSlot = -1;
    if ((desc->flags & ENTRY_SPANNED) == 0) return 1;

    if (desc->volume_info[0] != static_cast<uint8_t>(g_currentVolume)) {
        if (!SpannedRestartFromFirstDisk(desc, result)) return 0;
        span->archive_slot = desc->input_slot;
        if ((desc->flags & ENTRY_SPANNED) == 0) return 1;
    }

    char* temp = MakeTempName(desc);
    if (temp == nullptr) {
        SkipEntry(desc);
        *result = ERR_NO_MEMORY;
        return 0;
    }
    OfferTempName(temp);
    const int tempSlot = FileOpen(temp, TEMP_CREATE_FLAGS);
    if (tempSlot < 0) {
        // The open creates the file before it looks for a slot or memory.
        if (tempSlot == ERR_NO_SLOT || tempSlot == ERR_NO_MEMORY) FileDelete(temp);
        MemFree(temp);
        RaiseEvent(desc, EVT_TEMP_FAILED, 0);
        SkipEntry(desc);
        return 0;
    }

    int copyResult = 0;
    const int changed = CopyPieces(desc, tempSlot, &copyResult);
    FileClose(tempSlot);
    if (changed != 0) {
        DiscardTemp(temp);
        *result = changed;
        return 0;
    }
    if (copyResult == ERR_CANCELLED) {
        FileClose(desc->input_slot);
        DiscardTemp(temp);
        desc->status = STATUS_CANCEL;
        RaiseEvent(desc, EVT_CANCELLED, 0);
        *result = ERR_CANCELLED;
        return 0;
    }
    if (copyResult != 0) {
        DiscardTemp(temp);
        *result = copyResult == ERR_BAD_HANDLE ? ERR_IO : copyResult;
        return 0;
    }

    const int32_t behind = FileTell(desc->input_slot);
    const int readSlot = FileOpen(temp, FILE_READ);
    if (readSlot < 0) {
        DiscardTemp(temp);
        *result = ERR_IO;
        return 0;
    }
    span->archive_slot = desc->input_slot;
    span->temp_name = temp;
    span->active = 1;
    desc->input_slot = readSlot;
    g_spannedTempInput = readSlot;
    g_spannedBehindSlot = span->archive_slot;
    g_spannedBehindPosition = behind;
    return 1;
}

void SpannedEntryEnd(EntryDescriptor* desc, SpannedEntry* span) {
    if (desc == nullptr || span == nullptr || span->active == 0) return;
    FileClose(g_spannedTempInput >= 0 ? g_spannedTempInput : desc->input_slot);
    DiscardTemp(span->temp_name);
    span->temp_name = nullptr;
    desc->input_slot = span->archive_slot;
    span->active = 0;
    g_spannedTempInput = -1;
}
