// The record signatures, assembled at run time (see archive.h for why).
#include "engine/archive.h"

// Each signature is kept with every bit inverted and turned back through a volatile
// read: the compiler may not assume what a volatile object holds, so it can neither
// fold the true bytes into a constant nor emit them as data or an immediate operand.
// A plain const array would be folded, even when it is written inverted.
static const volatile uint8_t kEntryInverted[SIGNATURE_SIZE] = {0x98, 0xA8, 0xFB, 0xFE};
static const volatile uint8_t kArchiveInverted[SIGNATURE_SIZE] = {0x98, 0xA8, 0xFB, 0xFD};

// Assembled anew on every call into storage of the file's own: always the same bytes,
// so a second caller can only write what is there already, and no lazily initialised
// static (with its guard) is needed in the launcher's small image.
static uint8_t g_entry[SIGNATURE_SIZE];
static uint8_t g_archive[SIGNATURE_SIZE];

static const uint8_t* Assemble(const volatile uint8_t* inverted, uint8_t* bytes) {
    for (int i = 0; i < SIGNATURE_SIZE; i++)
        bytes[i] = static_cast<uint8_t>(~inverted[i]);
    return bytes;
}

const uint8_t* EntrySignature() { return Assemble(kEntryInverted, g_entry); }

const uint8_t* ArchiveSignature() { return Assemble(kArchiveInverted, g_archive); }
