// Turning an archive into files: how the entry points of engine/engine.h do it.
//
// ExtractSelf finds the archive carried by a program's own file, announces its total
// size and hands it to ExtractArchive, which walks the entries, composes each output
// path under the destination, asks the optional overwrite query, creates folders,
// opens the output file and calls ExtractEntry; ExtractEntry checks the free space,
// dispatches on the storage method and reports through the event handler.
// VerifyEntry takes ExtractEntry's steps for a tool's own walk and writes nothing.
//
// Process-wide state (OutputSlot, the overwrite query, the archive slot), not
// thread-safe: one extraction at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine.h"

extern int32_t OutputSlot; // slot CopyStored writes to; set by ExtractEntry; starts at -1

enum {
    // Stored data is copied in buffers of this size, halved under memory pressure while
    // the size is at least twice EXTRACT_COPY_MIN: 0x20000, 0x10000, 0x8000, 0x4000, 0x2000.
    EXTRACT_COPY_BUFFER = 0x20000,
    EXTRACT_COPY_MIN = 0x2000,
    // A Stored copy raises EVT_PROGRESS after every this many buffers (1 MiB at full size).
    EXTRACT_PROGRESS_BUFFERS = 8,
};

// Extracts the entry whose header was just read from input_slot into output_slot
// (desc->name holds the output path). 0 when written or skipped (method, flag);
// ERR_BAD_HANDLE; ERR_DISK_FULL; ERR_NO_MEMORY; ERR_CANCELLED; ERR_IO for a copy or
// write that came up short; ERR_BAD_DATA for a damaged Crushed stream, a Stored
// entry whose two sizes differ, or an entry whose written bytes do not give the
// checksum its header carries (checksum_state is then CHECKSUM_MISMATCH, and the
// entry gets EVT_ENTRY_FAILED, never EVT_ENTRY_DONE); the results of the spanned step. Whatever happened,
// except a failed volume change, input_slot then stands behind the entry's data.
int ExtractEntry(EntryDescriptor* desc);

// The copy loop of a Stored entry, from InputSlot to OutputSlot. 0, ERR_NO_MEMORY (after
// EVT_NO_MEMORY), ERR_CANCELLED, ERR_IO when the input ends early or a write is short.
int CopyStored(EntryDescriptor* desc);
int FileReadable(const char* path); // 1 when the file can be opened for reading
int IsDirectory(const char* path);  // 1 for a folder or a bare drive such as "C:"

// 1 when no folder of the output path beyond its first prefix bytes (the destination
// and its separator) is a link leading out of destination ("" is the current folder):
// a link whose target lies inside it is followed like a folder; one that leads
// elsewhere, or nowhere, would make the file land outside. 0 otherwise.
int OutputFoldersInside(const char* path, size_t prefix, const char* destination);

// Puts the extraction state back to its start values (tests).
void ExtractResetState();
