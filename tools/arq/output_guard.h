// Keeping arq extract from leaving anything that looks complete and is not.
//
// The engine creates or empties an entry's file before it writes it, and leaves the
// file whatever became of the entry. arq therefore
//   - moves a file that is to be replaced aside first (beside it, under a free name),
//     so that it can be put back when the new one is not written whole;
//   - notes, from the engine's events, every file it made and whether the entry was
//     written whole (EVT_ENTRY_DONE);
//   - after the walk, when every file is closed, removes what a failed, skipped or
//     cancelled entry left, puts back the file it was to replace, and drops the files
//     moved aside for entries that were written whole.
//
// Process-wide state (the files of the one extraction), not thread-safe.
#pragma once

#include <cstdint>

#include "engine/engine.h"

// Forgets the files of an earlier extraction.
void GuardReset();

// The overwrite query has chosen to replace the file at path: moves it aside. A link
// standing there is moved, never what it leads to. A folder, or a read-only file, is
// left where it is (the engine cannot open it and reports the entry as failed). 1
// when the engine may write at path; 0 when the file must be kept because it cannot
// be moved aside (after a message).
int GuardPrepareReplace(const char* path);

// Every event of the extraction. Only those about an entry whose output file is open
// (desc->output_slot set) are noted: nothing was made for the others.
void GuardNoteEvent(const EntryDescriptor* desc, int32_t event);

// After the walk: the clean-up above, with one message for every file removed.
// Returns how many entries' files were removed.
int GuardSettle();
