// The record signatures, assembled at run time (see archive.h for why).
#include "engine/archive.h"

// Each signature is kept with every bit inverted and turned back through a volatile
// read: the compiler may not assume what a volatile object holds, so it can neither
// fold the true bytes into a constant nor emit them as data or an immediate operand.
// A plain const array would be folded, even when it is written inverted.
static const volatile uint8_t kEntryInverted[SIGNATURE_SIZE] = {0x98, 0xA8, 0xFB, 0xFE};
static const volatile uint8_t kArchiveInverted[SIGNATURE_SIZE] = {0x98, 0xA8, 0xFB, 0xFD};

struct Signature {
    uint8_t bytes[SIGNATURE_SIZE];
};

static Signature Assemble(const volatile uint8_t* inverted) {
    Signature signature;
    for (int i = 0; i < SIGNATURE_SIZE; i++)
        signature.bytes[i] = static_cast<uint8_t>(~inverted[i]);
    return signature;
}

// Function-local statics: assembled on first use, once, even when threads race to it.
const uint8_t* EntrySignature() {
    static const Signature entry = Assemble(kEntryInverted);
    return entry.bytes;
}

const uint8_t* ArchiveSignature() {
    static const Signature archive = Assemble(kArchiveInverted);
    return archive.bytes;
}
