// State shared by the spanned-archive files (spanned_*.cpp), besides g_currentVolume.
// Process-wide, not thread-safe; SpannedResetState puts it back to its start values.
#pragma once

#include <cstdint>

// 1 once the walk has started again from the first disk; a walk does that at most once.
extern int32_t g_spannedRestartMade;

// The temporary file's slot while the method dispatch reads an assembled entry from
// it, else -1.
extern int32_t g_spannedTempInput;

// Where the archive input stood when the last assembly ended: behind the entry's last
// piece, on the next record. Slot -1 when there is no such mark; a volume change or
// the next assembly clears it.
extern int32_t g_spannedBehindSlot;
extern int32_t g_spannedBehindPosition;
