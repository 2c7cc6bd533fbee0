// Forward search for a record signature in a file held by a slot.
#pragma once

#include <cstdint>

#include "engine/archive.h"

enum {
    // The file is scanned in chunks of this size (or the bytes left, when fewer).
    SEARCH_CHUNK_SIZE = 0x30000,
    // Under memory pressure the chunk is halved and tried again while it is at least
    // this size, so from a full chunk the sizes tried are 0x30000, 0x18000, 0xC000,
    // 0x6000 and 0x3000.
    SEARCH_CHUNK_RETRY_MIN = 0x4000,
    // Longest pattern accepted; its fallback table lives on the stack. The engine's
    // own patterns are the 4-byte signatures.
    SEARCH_PATTERN_MAX = 64,
};

// Searches from the slot's current position for the first occurrence of the pattern.
// Returns the offset of its first byte; -1 minus the pattern length when there is
// none (-5 for a signature), also when the search gave up after `limit` bytes
// (0 = no limit; the chunk in which the count passes the limit is still scanned);
// ERR_NO_MEMORY without a buffer; ERR_CANCELLED when a handler set STATUS_CANCEL
// during EVT_SEARCH_PROGRESS, raised after every chunk read (the last, empty read
// included). ERR_BAD_ARGUMENT for a pattern of 0 or more than SEARCH_PATTERN_MAX
// bytes, ERR_BAD_HANDLE for a slot that is not open, ERR_IO when the file's size
// cannot be taken. The slot's position is the same afterwards.
int32_t FindSignature(int slot, const uint8_t* pattern, int32_t length, int32_t limit);

// Search for the first entry header record (67 57 04 01), or for the archive header
// record (67 57 04 02), within SIGNATURE_SEARCH_LIMIT bytes. With a name, that file is
// opened, searched from its first byte and closed, and slot is ignored; with a null
// name the open slot is searched from its position. FindEntrySignature returns the
// offset of the signature, FindArchiveHeader the offset of the byte behind it.
// ERR_BAD_ARGUMENT for an empty name or, without a name, a slot outside the table;
// ERR_NOT_FOUND when the named file cannot be opened; else as FindSignature.
int32_t FindEntrySignature(const char* name, int slot);
int32_t FindArchiveHeader(const char* name, int slot);
