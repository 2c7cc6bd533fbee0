// Prefix code lengths for the encoder: optimal codes limited to a maximum length,
// and the canonical code values the decoder's table builder assigns to them.
#pragma once

#include <cstdint>

enum {
    ENC_MAX_SYMBOLS = 512, // the largest alphabet, the main code's 510, rounded up
};

// Sets lengths[0..symbolCount-1] to the code lengths, at most maxLength (1..16), that
// minimise the sum of freq * length; unused symbols (frequency 0) get 0. Returns the
// number of symbols used. With fewer than two used every length is 0: such a code
// is sent in its single-value form. symbolCount is at most ENC_MAX_SYMBOLS.
int EncBuildLengths(const uint32_t* freq, int symbolCount, int maxLength, uint8_t* lengths);

// Canonical codes, right-aligned: by increasing length, within a length by symbol.
void EncCanonicalCodes(const uint8_t* lengths, int symbolCount, uint16_t* codes);
