// Archives that span removable disks: passing over an entry (also across disks),
// asking for and checking the next disk, and collecting a spanned entry's pieces into
// a temporary file that the method dispatch then reads as if the entry had never
// been split.
//
// All volumes are files with the same path on one removable drive. Every volume
// after the first starts with an entry header record whose volume number is one
// higher than the one before; a spanned entry's piece runs to the end of its volume
// file, and its compressed size counts all pieces.
//
// Process-wide state (g_currentVolume), not thread-safe.
#pragma once

#include <cstdint>

#include "engine/descriptor.h"

// Number of the volume open now; compared with a header's volume number by its low
// byte. ExtractSelf sets it to 0 when it begins.
extern int32_t g_currentVolume;

// Moves desc->input_slot past the current entry to the next entry header record,
// changing disks when the entry goes on there. 0 when the input stands on the next
// record, non-zero otherwise.
int SkipEntry(EntryDescriptor* desc);

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
// was cancelled, and everything the step made is gone again).
int SpannedEntryBegin(EntryDescriptor* desc, SpannedEntry* span, int* result);

// Closes and deletes the temporary file, frees its name and puts the archive's slot
// back into desc->input_slot. Does nothing when span->active is 0. Safe to call twice.
void SpannedEntryEnd(EntryDescriptor* desc, SpannedEntry* span);

// Puts g_currentVolume back to 0 (tests).
void SpannedResetState();
