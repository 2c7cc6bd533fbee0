// Hand-made Crushed streams for the decoder's tests: a bit writer, canonical codes,
// the pieces of a block header, and the expected output of a list of literals and
// matches. Independent of our encoder on purpose.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch.h"

// Bits most significant first, bytes in order: the order in which the decoder reads.
class BitWriter {
public:
    void Put(uint32_t value, uint32_t count) {
        for (uint32_t i = count; i-- > 0;)
            PutBit((value >> i) & 1u);
    }
    // A readable bit string: '0' and '1' are bits, anything else (blanks, '|') is ignored.
    void PutBits(const std::string& bits) {
        for (char c : bits) {
            if (c == '0' || c == '1') PutBit(c == '1' ? 1u : 0u);
        }
    }
    void PutBytes(const Bytes& bytes) {
        for (uint8_t b : bytes)
            Put(b, 8);
    }
    void Append(const BitWriter& other) {
        for (size_t i = 0; i < other.m_bitCount; i++)
            PutBit((other.m_bytes[i / 8] >> (7 - i % 8)) & 1u);
    }
    // The bytes, the last one filled up with zero bits.
    Bytes Finish() const { return m_bytes; }
    size_t BitCount() const { return m_bitCount; }

private:
    void PutBit(uint32_t bit) {
        if (m_bitCount % 8 == 0) m_bytes.push_back(0);
        if (bit) m_bytes.back() |= static_cast<uint8_t>(0x80u >> (m_bitCount % 8));
        m_bitCount++;
    }
    Bytes m_bytes;
    size_t m_bitCount = 0;
};

inline Bytes BitsToBytes(const std::string& bits) {
    BitWriter w;
    w.PutBits(bits);
    return w.Finish();
}

// A prefix code given by its lengths, with the canonical codes: shorter codes first,
// within one length in symbol order, each length starting where the last one ended.
struct PrefixCode {
    std::vector<uint8_t> lengths;
    std::vector<uint32_t> codes;
};

inline PrefixCode Canonical(const std::vector<uint8_t>& lengths) {
    PrefixCode code{lengths, std::vector<uint32_t>(lengths.size(), 0)};
    uint32_t next = 0;
    for (uint32_t length = 1; length <= 16; length++) {
        for (size_t symbol = 0; symbol < lengths.size(); symbol++) {
            if (lengths[symbol] == length) code.codes[symbol] = next++;
        }
        next <<= 1;
    }
    return code;
}

inline void PutSymbol(BitWriter& w, const PrefixCode& code, uint32_t symbol) {
    ASSERT_LT(symbol, code.lengths.size());
    ASSERT_NE(code.lengths[symbol], 0) << "symbol " << symbol << " has no code";
    w.Put(code.codes[symbol], code.lengths[symbol]);
}

// One pre-code or position-code length: 0..6 in 3 bits, 7 and up as 111, (length - 7)
// ones and a closing 0.
inline void PutAuxLength(BitWriter& w, uint32_t length) {
    if (length < 7) {
        w.Put(length, 3);
        return;
    }
    w.Put(7, 3);
    for (uint32_t i = 7; i < length; i++)
        w.Put(1, 1);
    w.Put(0, 1);
}

// The lengths of a pre-code (countBits 5, a zero run after the third length, taken from
// the zeros that follow it) or a position code (countBits 4). All lengths given are sent.
inline void PutAuxLengths(BitWriter& w, const std::vector<uint8_t>& lengths, uint32_t countBits,
                          bool precode) {
    w.Put(static_cast<uint32_t>(lengths.size()), countBits);
    for (size_t i = 0; i < lengths.size(); i++) {
        PutAuxLength(w, lengths[i]);
        if (precode && i == 2) {
            uint32_t run = 0;
            while (run < 3 && i + 1 + run < lengths.size() && lengths[i + 1 + run] == 0)
                run++;
            w.Put(run, 2);
            i += run;
        }
    }
}

// A complete pre-code that can send everything: symbols 0..12 in 4 bits, 13..18 in 5.
inline std::vector<uint8_t> FullPrecodeLengths() {
    std::vector<uint8_t> lengths(19, 5);
    for (int s = 0; s < 13; s++)
        lengths[s] = 4;
    return lengths;
}

// Main-code lengths through a pre-code: zeros as runs where they are long enough.
// The count sent is the position of the last length that is not 0, plus 1.
inline void PutMainLengths(BitWriter& w, const std::vector<uint8_t>& lengths, const PrefixCode& pre) {
    size_t count = lengths.size();
    while (count > 0 && lengths[count - 1] == 0)
        count--;
    w.Put(static_cast<uint32_t>(count), 9);
    size_t i = 0;
    while (i < count) {
        if (lengths[i] != 0) {
            PutSymbol(w, pre, lengths[i] + 2u);
            i++;
            continue;
        }
        size_t run = 0;
        while (i + run < count && lengths[i + run] == 0)
            run++;
        if (run >= 20) {
            size_t take = run > 531 ? 531 : run;
            PutSymbol(w, pre, 2);
            w.Put(static_cast<uint32_t>(take - 20), 9);
            i += take;
        } else if (run >= 3) {
            size_t take = run > 18 ? 18 : run;
            PutSymbol(w, pre, 1);
            w.Put(static_cast<uint32_t>(take - 3), 4);
            i += take;
        } else {
            PutSymbol(w, pre, 0);
            i++;
        }
    }
}

// A whole block header with explicit codes: the full pre-code, the main lengths through
// it, the position lengths (13 of them).
inline void PutHeader(BitWriter& w, uint32_t symbolCount, const std::vector<uint8_t>& mainLengths,
                      const std::vector<uint8_t>& positionLengths) {
    w.Put(symbolCount, 16);
    PutAuxLengths(w, FullPrecodeLengths(), 5, true);
    PutMainLengths(w, mainLengths, Canonical(FullPrecodeLengths()));
    PutAuxLengths(w, positionLengths, 4, false);
}

// The "fixed" block used by most tests, with complete codes: main-code symbols 0 and 1
// in 8 bits, all others in 9; position symbols 0..2 in 3 bits, 3..12 in 4. The pre-code
// has two symbols of one bit: 10 (a length of 8) and 11 (a length of 9).
inline std::vector<uint8_t> FixedMainLengths() {
    std::vector<uint8_t> lengths(510, 9);
    lengths[0] = lengths[1] = 8;
    return lengths;
}
inline std::vector<uint8_t> FixedPositionLengths() {
    std::vector<uint8_t> lengths(13, 4);
    lengths[0] = lengths[1] = lengths[2] = 3;
    return lengths;
}
inline std::vector<uint8_t> FixedPrecodeLengths() {
    std::vector<uint8_t> lengths(12, 0);
    lengths[10] = lengths[11] = 1;
    return lengths;
}

inline void PutFixedHeader(BitWriter& w, uint32_t symbolCount) {
    w.Put(symbolCount, 16);
    PutAuxLengths(w, FixedPrecodeLengths(), 5, true);
    PutMainLengths(w, FixedMainLengths(), Canonical(FixedPrecodeLengths()));
    PutAuxLengths(w, FixedPositionLengths(), 4, false);
}

// Literals and matches, written with given codes, and the bytes they stand for.
class TokenWriter {
public:
    TokenWriter(BitWriter& w, const PrefixCode& main, const PrefixCode& position)
        : m_w(w), m_main(main), m_position(position) {}

    void Literal(uint8_t byte) {
        PutSymbol(m_w, m_main, byte);
        m_expected.push_back(byte);
        m_symbols++;
    }
    void Literals(const std::string& text) {
        for (char c : text)
            Literal(static_cast<uint8_t>(c));
    }
    // A match of 3..256 bytes from distance 1..4096 back.
    void Match(uint32_t length, uint32_t distance) {
        PutSymbol(m_w, m_main, length + 253);
        m_symbols++;
        uint32_t position = distance - 1;
        uint32_t symbol = 0;
        while ((position >> symbol) != 0)
            symbol++; // bit length of the position
        PutSymbol(m_w, m_position, symbol);
        if (symbol > 1) m_w.Put(position - (1u << (symbol - 1)), symbol - 1);
        // The meaning, byte by byte: each byte is the one distance bytes before it.
        for (uint32_t i = 0; i < length; i++) {
            size_t from = m_expected.size() - distance;
            m_expected.push_back(m_expected[from]);
        }
    }
    Bytes& Expected() { return m_expected; }
    uint32_t Symbols() const { return m_symbols; } // main-code symbols written

private:
    BitWriter& m_w;
    PrefixCode m_main;
    PrefixCode m_position;
    Bytes m_expected;
    uint32_t m_symbols = 0;
};

// Pseudo-random but repeatable numbers for generated token lists.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : m_state(seed) {}
    uint32_t Next(uint32_t bound) {
        m_state = m_state * 1103515245u + 12345u;
        return (m_state >> 8) % bound;
    }

private:
    uint32_t m_state;
};

// Writes `symbols` main-code symbols (literals and matches, some long, some far) that
// the given codes can carry; every match stays within the bytes produced so far.
inline void PutMixedTokens(TokenWriter& t, uint32_t symbols, uint32_t seed, bool longMatches = true) {
    Lcg rng(seed);
    for (uint32_t i = 0; i < symbols; i++) {
        size_t produced = t.Expected().size();
        if (produced < 8 || rng.Next(3) == 0) {
            t.Literal(static_cast<uint8_t>('a' + rng.Next(26)));
            continue;
        }
        uint32_t reach = produced < 4096 ? static_cast<uint32_t>(produced) : 4096u;
        uint32_t distance = 1 + (rng.Next(4) == 0 ? rng.Next(reach) : rng.Next(reach < 64 ? reach : 64));
        uint32_t length = 3 + (longMatches && rng.Next(8) == 0 ? rng.Next(254) : rng.Next(12));
        t.Match(length, distance);
    }
}
