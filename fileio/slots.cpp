// The engine's table of numbered file slots.
//
// FileOpen opens the stream before it looks for a free slot, so an open that finds
// the table full has already created or truncated its file; every way out after the
// open closes the stream again. The positioning calls report refusal as -1 and the
// transfer calls as 0, never with a result code, because their callers count bytes.
#include "fileio/slots.h"

#include <cstring>

#include "fileio/memory.h"
#include "fileio/paths.h"
#include "platform/platform.h"

// Process-wide, not thread-safe: one extraction at a time. All zero at start, which
// is SLOT_FREE with neither stream nor path.
static FileSlot g_slots[FILE_SLOT_COUNT];

static bool SlotInRange(int slot) { return slot >= 0 && slot < FILE_SLOT_COUNT; }

// The record of an open slot, or null for a number out of range or a slot not open.
static FileSlot* OpenSlot(int slot) {
    if (!SlotInRange(slot) || g_slots[slot].state != SLOT_OPEN) return nullptr;
    return &g_slots[slot];
}

const char* FileOpenMode(int flags) {
    const bool read = (flags & FILE_READ) != 0;
    if (flags & FILE_CREATE) return read ? "w+b" : "wb";
    if (flags & FILE_APPEND) return read ? "a+b" : "ab";
    // A plain write truncates; only read together with write updates in place.
    if (flags & FILE_WRITE) return read ? "r+b" : "wb";
    if (read) return "rb";
    return nullptr;
}

int FileOpen(const char* path, int flags) {
    if (path == nullptr) return ERR_BAD_ARGUMENT;
    const char* mode = FileOpenMode(flags);
    if (mode == nullptr) return ERR_BAD_ARGUMENT;

    PlatStream* stream = PlatOpen(path, mode);
    if (stream == nullptr) return ERR_IO;

    int slot = 0;
    while (slot < FILE_SLOT_COUNT && g_slots[slot].state != SLOT_FREE)
        slot++;
    if (slot == FILE_SLOT_COUNT) {
        PlatClose(stream);
        return ERR_NO_SLOT;
    }

    const size_t length = std::strlen(path);
    char* copy = static_cast<char*>(MemAlloc(length + 1));
    if (copy == nullptr) {
        PlatClose(stream);
        return ERR_NO_MEMORY;
    }
    std::memcpy(copy, path, length + 1);
    // The kept name is always folded, whatever the name-case switch says, so that a
    // volume change reopens the same name however the caller spelled it.
    PathUpperCase(copy);

    g_slots[slot].stream = stream;
    g_slots[slot].path = copy;
    g_slots[slot].state = SLOT_OPEN;
    return slot;
}

int FileClose(int slot) {
    FileSlot* record = OpenSlot(slot);
    if (record == nullptr) return ERR_BAD_HANDLE;
    MemFree(record->path);
    PlatClose(record->stream); // nothing useful can be done about a failed close
    record->stream = nullptr;
    record->path = nullptr;
    record->state = SLOT_FREE;
    return 0;
}

int32_t FileRead(int slot, void* buffer, int32_t count) {
    FileSlot* record = OpenSlot(slot);
    // A negative count would become a huge unsigned size: refuse it like 0.
    if (record == nullptr || buffer == nullptr || count <= 0) return 0;
    return static_cast<int32_t>(PlatRead(record->stream, buffer, static_cast<size_t>(count)));
}

int32_t FileWrite(int slot, const void* buffer, int32_t count) {
    FileSlot* record = OpenSlot(slot);
    if (record == nullptr || buffer == nullptr || count <= 0) return 0;
    return static_cast<int32_t>(PlatWrite(record->stream, buffer, static_cast<size_t>(count)));
}

int FileGetByte(int slot) {
    // The byte readers call this only on open slots; anything else has no stream.
    FileSlot* record = OpenSlot(slot);
    if (record == nullptr) return -1;
    return PlatGetByte(record->stream);
}

int32_t FileTell(int slot) {
    FileSlot* record = OpenSlot(slot);
    if (record == nullptr) return -1;
    return PlatTell(record->stream);
}

int32_t FileSeek(int slot, int32_t offset, int origin) {
    FileSlot* record = OpenSlot(slot);
    if (record == nullptr) return -1;
    if (origin != FILE_SEEK_START && origin != FILE_SEEK_CURRENT && origin != FILE_SEEK_END) return -1;
    if (PlatSeek(record->stream, offset, origin) != 0) return -1;
    return FileTell(slot);
}

int FileSwapSlots(int* a, int* b) {
    if (a == nullptr || b == nullptr) return ERR_BAD_ARGUMENT;
    if (*a == *b) return -1;
    if (!SlotInRange(*a) || !SlotInRange(*b)) return ERR_BAD_HANDLE;

    const FileSlot kept = g_slots[*a];
    g_slots[*a] = g_slots[*b];
    g_slots[*b] = kept;

    const int number = *a;
    *a = *b;
    *b = number;
    return 0;
}

int FileReserveSlot(int slot) {
    if (!SlotInRange(slot) || g_slots[slot].state != SLOT_FREE) return ERR_BAD_HANDLE;
    g_slots[slot].state = SLOT_RESERVED;
    return 0;
}

int FileReleaseSlot(int slot) {
    if (!SlotInRange(slot) || g_slots[slot].state != SLOT_RESERVED) return ERR_BAD_HANDLE;
    g_slots[slot].state = SLOT_FREE;
    return 0;
}

FileSlot* FileGetSlot(int slot) {
    if (!SlotInRange(slot) || g_slots[slot].state == SLOT_FREE) return nullptr;
    return &g_slots[slot];
}

void FileResetSlots() {
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
        if (g_slots[slot].state == SLOT_OPEN) FileClose(slot);
        g_slots[slot].stream = nullptr;
        g_slots[slot].path = nullptr;
        g_slots[slot].state = SLOT_FREE;
    }
}
