// Archives that span removable disks: passing over an entry (also across disks),
// asking for and checking the next disk, and collecting a spanned entry's pieces into
// a temporary file that the method dispatch then reads as if the entry had never
// been split. Passing over an entry and the volume check are offered to tools too
// (engine/engine.h).
//
// All volumes are files with the same path on one removable drive. Every volume
// after the first starts with an entry header record whose volume number is one
// higher than the one before; a spanned entry's piece runs to the end of its volume
// file, and its compressed size counts all pieces.
//
// Process-wide state (g_currentVolume), not thread-safe.
#pragma once

#include <cstdint>

#include "engine/engine.h"

enum {
    // Prompts for the next disk before a volume change is given up; the drive is tried
    // after each of the first nine.
    NEXT_VOLUME_PROMPTS = 10,
    // CopyBytes moves a piece in buffers of this size, halved under memory pressure while
    // the size is at least COPY_BYTES_RETRY_MIN, so the smallest tried is 8 KiB.
    COPY_BYTES_BUFFER = 0x20000,
    COPY_BYTES_RETRY_MIN = 0x4000,
};

// Number of the volume open now; compared with a header's volume number by its low
// byte. ExtractSelf sets it to 0 when it begins.
extern int32_t g_currentVolume;

// Closes the current volume, asks for the next disk through EVT_INSERT_VOLUME (at
// most ten prompts) and opens it under the slot number the archive had before,
// positioned behind its first entry header record. 0; -1 when input_slot is not open
// or the drive is not removable; ERR_CANCELLED.
int NextVolume(EntryDescriptor* desc);

// Copies count bytes from slot in to slot out with EVT_COPY_PROGRESS events.
// 0; -1 when fewer were copied; ERR_CANCELLED; ERR_BAD_HANDLE; ERR_NO_MEMORY.
int CopyBytes(int in, int out, uint32_t count);

// The spanned-entry step of ExtractEntry, in two halves around the method dispatch.
struct SpannedEntry {
    int32_t archive_slot; // the archive's slot, kept aside while input_slot reads the temporary file
    char* temp_name;      // the temporary file's path (MemAlloc), null when none
    int32_t active;       // 1 while input_slot is the temporary file
};

// For an entry carrying ENTRY_SPANNED: collects its pieces into a temporary file in
// the output folder and points desc->input_slot at it (span->active then 1).
// Returns 1 when ExtractEntry goes on to the method dispatch (spanned or not);
// otherwise ExtractEntry returns *result at once (the entry was skipped, failed or
// was cancelled, and everything the step made is gone again):
//   0              the temporary file could not be created (EVT_TEMP_FAILED, entry
//                  skipped), or the extraction began on a later disk and the first
//                  disk begins with another entry: the input then stands at the first
//                  disk's start, and the walk goes on from there
//   ERR_NO_MEMORY  no temporary name (entry skipped), or no copy buffer
//   ERR_IO         a piece copy came up short, the temporary file cannot be read
//                  back, the volume change is refused (fixed disk), or a second new
//                  start from the first disk in one walk
//   ERR_CANCELLED  a volume change was given up (NextVolume raised EVT_CANCELLED), or
//                  a piece copy was stopped (status set, archive input closed)
// SkipEntry of an entry just assembled moves nothing: the archive input already
// stands behind its last piece.
int SpannedEntryBegin(EntryDescriptor* desc, SpannedEntry* span, int* result);

// The new start from the first disk that an entry read from a later disk needs (its
// volume number is not the one open). The walk makes it before it asks the overwrite
// query or opens the output, so that no file is touched for an entry that turns out to
// be another. Returns 1 when the first disk begins with this very entry, whose fields
// desc then holds (its name, the output path, kept); otherwise 0 with *result: 0 when
// another entry comes first (the input then stands at the first disk's start, the
// walk goes on from there), ERR_IO or the failure of the volume change.
int SpannedRestartFromFirstDisk(EntryDescriptor* desc, int* result);

// Closes and deletes the temporary file, frees its name and puts the archive's slot
// back into desc->input_slot. Does nothing when span->active is 0. Safe to call twice.
void SpannedEntryEnd(EntryDescriptor* desc, SpannedEntry* span);
