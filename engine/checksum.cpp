// CRC-32 eight bytes at a time.
#include "engine/checksum.h"

#include "engine/checksum_fold.h"

// g_checksumTable[0] is the classic byte-at-a-time table; table k advances a byte
// through k more zero bytes, so that eight bytes are folded in with one look-up each.
static uint32_t g_checksumTable[CHECKSUM_SLICE_BYTES][CHECKSUM_TABLE_SIZE];
static int g_checksumTableBuilt = 0;
static int g_checksumFold = 0; // the processor folds 16-byte blocks (engine/checksum_fold.h)

static void BuildChecksumTables() {
    for (uint32_t value = 0; value < CHECKSUM_TABLE_SIZE; value++) {
        uint32_t crc = value;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? (crc >> 1) ^ CHECKSUM_POLYNOMIAL : crc >> 1;
        g_checksumTable[0][value] = crc;
    }
    for (uint32_t value = 0; value < CHECKSUM_TABLE_SIZE; value++) {
        uint32_t crc = g_checksumTable[0][value];
        for (int slice = 1; slice < CHECKSUM_SLICE_BYTES; slice++) {
            crc = (crc >> 8) ^ g_checksumTable[0][crc & 0xFF];
            g_checksumTable[slice][value] = crc;
        }
    }
    g_checksumFold = ChecksumFoldAvailable();
    g_checksumTableBuilt = 1;
}

static inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The register (not inverted) after count more bytes, eight at a time.
static uint32_t Slices(uint32_t crc, const uint8_t* bytes, uint32_t count) {
    const uint32_t(*table)[CHECKSUM_TABLE_SIZE] = g_checksumTable;
    while (count >= CHECKSUM_SLICE_BYTES) {
        const uint32_t low = crc ^ Load32(bytes);
        const uint32_t high = Load32(bytes + 4);
        crc = table[7][low & 0xFF] ^ table[6][(low >> 8) & 0xFF] ^ table[5][(low >> 16) & 0xFF] ^
              table[4][low >> 24] ^ table[3][high & 0xFF] ^ table[2][(high >> 8) & 0xFF] ^
              table[1][(high >> 16) & 0xFF] ^ table[0][high >> 24];
        bytes += CHECKSUM_SLICE_BYTES;
        count -= CHECKSUM_SLICE_BYTES;
    }
    while (count-- > 0)
        crc = (crc >> 8) ^ table[0][(crc ^ *bytes++) & 0xFF];
    return crc;
}

uint32_t ChecksumUpdate(uint32_t checksum, const uint8_t* bytes, uint32_t count) {
    if (!g_checksumTableBuilt) BuildChecksumTables();
    uint32_t crc = ~checksum;
    if (g_checksumFold && count >= CHECKSUM_FOLD_MIN) {
        const uint32_t whole = count - count % CHECKSUM_FOLD_BLOCK;
        uint8_t residue[CHECKSUM_FOLD_BLOCK];
        ChecksumFold(crc, bytes, whole, residue);
        crc = Slices(0, residue, CHECKSUM_FOLD_BLOCK);
        bytes += whole;
        count -= whole;
    }
    return ~Slices(crc, bytes, count);
}

// For tests: the same value without the folding, eight bytes at a time throughout.
uint32_t ChecksumUpdateBySlices(uint32_t checksum, const uint8_t* bytes, uint32_t count) {
    if (!g_checksumTableBuilt) BuildChecksumTables();
    return ~Slices(~checksum, bytes, count);
}
