// State shared by the extraction's own files (extract_*.cpp); not part of the
// engine's interface. Process-wide, not thread-safe: one extraction at a time.
#pragma once

#include <cstdint>

#include "engine/events.h"

extern OverwriteQuery g_overwriteQuery; // asked before an existing file is replaced; null: replace
extern int32_t g_archiveSlot;           // slot of the archive ExtractArchive has open, else -1
extern int g_walkResult;                // how the last walk ended (ExtractWalkResult)
// Set when ExtractEntry has already told the handler why the entry was not written
// (EVT_DISK_FULL, EVT_NO_MEMORY), so the walk raises no EVT_ENTRY_FAILED for it.
extern int g_entryReported;
// Running CRC-32 of the bytes of the current entry written so far, kept only while
// the entry's header carries a checksum.
extern uint32_t g_entryChecksum;
