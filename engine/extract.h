// Turning an archive into files: the engine's entry points.
//
// ExtractSelf finds the archive carried by a program's own file, announces its total
// size and hands it to ExtractArchive, which walks the entries, composes each output
// path under the destination, asks the optional overwrite query, creates folders,
// opens the output file and calls ExtractEntry; ExtractEntry checks the free space,
// dispatches on the storage method and reports through the event handler.
//
// Process-wide state (OutputSlot, the overwrite query, the archive slot), not
// thread-safe: one extraction at a time.
#pragma once

#include <cstdint>

#include "engine/descriptor.h"
#include "engine/events.h"

extern int32_t OutputSlot; // slot CopyStored writes to; set by ExtractEntry; starts at -1

// module: the running program's module handle (null: the running program itself).
// destination: overrides the folder stored in the archive header record, or null.
// 0 once the archive was found and walked; -1 when the program's file cannot be
// named or opened or holds no archive header record; ERR_NOT_FOUND or ERR_BAD_ARCHIVE
// from OpenArchiveCheck.
int16_t ExtractSelf(void* module, const char* destination, EventHandler handler, OverwriteQuery query);

// Extracts every entry of the archive at path into destination (may be empty: names
// stay relative to the current folder). -1 when the archive cannot be opened, else 0.
int ExtractArchive(const char* path, const char* destination);

// The overwrite query ExtractArchive asks before an existing file is replaced (null:
// always replace). ExtractSelf sets it from its argument.
void SetOverwriteQuery(OverwriteQuery query);

// How the last walk of ExtractArchive ended: ERR_END_OF_ARCHIVE when it reached the
// end-of-archive record, otherwise the result that stopped it (a damaged or cut-short
// archive, a cancel). Tools report an archive as damaged from it.
int ExtractWalkResult();

int ExtractEntry(EntryDescriptor* desc);
int CopyStored(EntryDescriptor* desc);
int CreateDirectories(const char* path);
int FileReadable(const char* path);
int IsDirectory(const char* path);

// Puts the extraction state back to its start values (tests).
void ExtractResetState();
