// Process-wide volume state of the spanned-archive files. Not thread-safe.
#include "engine/spanned_state.h"

#include "engine/archive.h"
#include "engine/spanned.h"

int32_t g_currentVolume = 0;
int32_t g_spannedRestartMade = 0;
int32_t g_spannedTempInput = -1;
int32_t g_spannedBehindSlot = -1;
int32_t g_spannedBehindPosition = -1;

void SpannedResetState() {
    g_currentVolume = 0;
    g_spannedRestartMade = 0;
    g_spannedTempInput = -1;
    g_spannedBehindSlot = -1;
    g_spannedBehindPosition = -1;
}

int32_t CurrentVolume() { return g_currentVolume; }

int EntryOnItsVolume(const EntryDescriptor* desc, int32_t headerOffset) {
    if ((desc->flags & ENTRY_SPANNED) || headerOffset == 0) return 1;
    return desc->volume_info[0] == static_cast<uint8_t>(g_currentVolume) ? 1 : 0;
}
