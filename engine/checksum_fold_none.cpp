// ChecksumFold for processors without a carry-less multiplication: never used.
#include "engine/checksum_fold.h"

int ChecksumFoldAvailable() { return 0; }

void ChecksumFold(uint32_t, const uint8_t*, uint32_t, uint8_t residue[CHECKSUM_FOLD_BLOCK]) {
    for (int i = 0; i < CHECKSUM_FOLD_BLOCK; i++)
        residue[i] = 0;
}
