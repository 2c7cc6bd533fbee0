// The extraction's process-wide state, not thread-safe: one extraction at a time.
#include "engine/extract_state.h"

#include "engine/checksum.h"
#include "engine/extract.h"

int32_t OutputSlot = -1;
OverwriteQuery g_overwriteQuery = nullptr;
int32_t g_archiveSlot = -1;
int g_walkResult = 0;
int g_entryReported = 0;
uint32_t g_entryChecksum = CHECKSUM_EMPTY;

void SetOverwriteQuery(OverwriteQuery query) { g_overwriteQuery = query; }

int ExtractWalkResult() { return g_walkResult; }

void ExtractResetState() {
    OutputSlot = -1;
    g_overwriteQuery = nullptr;
    g_archiveSlot = -1;
    g_walkResult = 0;
    g_entryReported = 0;
    g_entryChecksum = CHECKSUM_EMPTY;
}
