// The engine's table of 20 numbered file slots.
//
// Every file the engine touches is opened here and held only by its slot number.
// Each open slot keeps the (upper-cased) path it was opened under, so that a volume
// change can reopen the same name from another disk. Process-wide state, not
// thread-safe: one extraction at a time.
#pragma once

#include <cstdint>

#include "fileio/codes.h"

struct PlatStream;

enum { FILE_SLOT_COUNT = 20 };

// Open flags.
enum {
    FILE_READ = 1,
    FILE_WRITE = 2,
    FILE_APPEND = 4,
    FILE_CREATE = 8,
};

// Origins of FileSeek, the runtime's SEEK_SET, SEEK_CUR and SEEK_END.
enum {
    FILE_SEEK_START = 0,
    FILE_SEEK_CURRENT = 1,
    FILE_SEEK_END = 2,
};

// Slot states.
enum {
    SLOT_FREE = 0,
    SLOT_OPEN = 1,
    SLOT_RESERVED = 2,
};

struct FileSlot {
    PlatStream* stream; // null unless open
    char* path;         // heap copy of the opened path, upper-cased; null unless open
    int32_t state;      // SLOT_FREE, SLOT_OPEN or SLOT_RESERVED
};

// The runtime's mode string ("rb", "w+b", ...) for a flag set, or null when the flags
// name no mode.
const char* FileOpenMode(int flags);

// Slot 0..19, or ERR_BAD_ARGUMENT, ERR_IO, ERR_NO_SLOT, ERR_NO_MEMORY. The file is opened
// before a slot is looked for: a refused creating open has still created its file.
int FileOpen(const char* path, int flags);
int FileClose(int slot);                                        // 0 or ERR_BAD_HANDLE
int32_t FileRead(int slot, void* buffer, int32_t count);        // bytes read; 0 when refused
int32_t FileWrite(int slot, const void* buffer, int32_t count); // bytes written; 0 when refused
int FileGetByte(int slot);                                      // 0..255, or -1
int32_t FileTell(int slot);                                     // position, or -1
int32_t FileSeek(int slot, int32_t offset, int origin);         // new position, or -1
// 0; -1 when both hold the same number; ERR_BAD_HANDLE; ERR_BAD_ARGUMENT for a null pointer.
int FileSwapSlots(int* a, int* b);
int FileReserveSlot(int slot);   // 0 or ERR_BAD_HANDLE
int FileReleaseSlot(int slot);   // 0 or ERR_BAD_HANDLE
FileSlot* FileGetSlot(int slot); // the record of a slot that is not free, or null

// Closes every open slot and frees every reserved one. Tests call it so that each
// starts with an empty table.
void FileResetSlots();
