// Generated inputs for the encoder's tests: the same bytes on every run and machine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch.h"

// A small generator of our own, so the bytes do not depend on a library's engine.
class CorpusRandom {
public:
    explicit CorpusRandom(uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }

private:
    uint32_t m_state;
};

inline Bytes CorpusRandomBytes(size_t size, uint32_t seed) {
    CorpusRandom random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random.Next() >> 24);
    return bytes;
}

// Words drawn with a skewed distribution, with punctuation and line breaks: text
// that compresses the way prose does.
inline Bytes CorpusText(size_t size, uint32_t seed) {
    static const char* const kWords[] = {
        "the",       "of",     "and",    "to",      "in",     "a",      "is",        "that",    "for",
        "it",        "as",     "was",    "with",    "be",     "by",     "on",        "not",     "he",
        "this",      "are",    "or",     "his",     "from",   "at",     "which",     "but",     "have",
        "an",        "had",    "they",   "you",     "were",   "there",  "one",       "all",     "we",
        "can",       "her",    "has",    "been",    "if",     "more",   "when",      "will",    "would",
        "who",       "so",     "no",     "archive", "window", "player", "slide",     "program", "extract",
        "temporary", "folder", "volume", "entry",   "header", "record", "signature", "stream"};
    const uint32_t wordCount = sizeof kWords / sizeof kWords[0];
    CorpusRandom random(seed);
    Bytes bytes;
    bytes.reserve(size + 16);
    uint32_t column = 0;
    while (bytes.size() < size) {
        // Squaring a uniform pick favours the first words, as in real text.
        uint32_t pick = random.Below(wordCount);
        pick = pick * pick / wordCount;
        std::string word = kWords[pick];
        if (random.Below(12) == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        bytes.insert(bytes.end(), word.begin(), word.end());
        column += static_cast<uint32_t>(word.size()) + 1;
        uint32_t mark = random.Below(20);
        if (mark == 0) bytes.push_back('.');
        if (mark == 1) bytes.push_back(',');
        if (column > 70) {
            bytes.push_back('\n');
            column = 0;
        } else {
            bytes.push_back(' ');
        }
    }
    bytes.resize(size);
    return bytes;
}

// Records of small integers, offsets and repeated opcodes, like program code and tables.
inline Bytes CorpusBinary(size_t size, uint32_t seed) {
    CorpusRandom random(seed);
    Bytes bytes;
    bytes.reserve(size + 16);
    static const uint8_t kOpcodes[][3] = {{0x55, 0x89, 0xE5}, {0x8B, 0x45, 0x08}, {0xE8, 0, 0},
                                          {0x83, 0xC4, 0x10}, {0xC3, 0x90, 0x90}, {0x8D, 0x4C, 0x24}};
    uint32_t address = 0x401000;
    while (bytes.size() < size) {
        uint32_t kind = random.Below(4);
        if (kind < 2) {
            const uint8_t* op = kOpcodes[random.Below(6)];
            bytes.insert(bytes.end(), op, op + 3);
        } else if (kind == 2) {
            address += random.Below(64) * 4;
            for (int i = 0; i < 4; i++)
                bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
        } else {
            bytes.push_back(static_cast<uint8_t>(random.Below(16)));
            bytes.push_back(0);
        }
    }
    bytes.resize(size);
    return bytes;
}

// Runs of one byte of random lengths, some longer than the longest match.
inline Bytes CorpusRuns(size_t size, uint32_t seed) {
    CorpusRandom random(seed);
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        uint8_t value = static_cast<uint8_t>(random.Below(4) * 0x41);
        size_t run = 1 + random.Below(random.Below(2) ? 600 : 8);
        bytes.insert(bytes.end(), run, value);
    }
    bytes.resize(size);
    return bytes;
}

// A kind of input by name, for tables of cases.
struct CorpusKind {
    const char* name;
    Bytes (*make)(size_t size, uint32_t seed);
};

inline Bytes CorpusZeros(size_t size, uint32_t) { return Bytes(size, 0); }

// Random bytes repeating with a period: 4096 is the farthest a match may reach back,
// 4097 just out of reach. Now and then a byte differs.
template <size_t Period>
inline Bytes CorpusPeriodic(size_t size, uint32_t seed) {
    Bytes bytes = CorpusRandomBytes(size, seed);
    CorpusRandom random(seed + 1);
    for (size_t i = Period; i < size; i++) {
        if (random.Below(500) != 0) bytes[i] = bytes[i - Period];
    }
    return bytes;
}

// Words drawn evenly from a made-up vocabulary, one per line: little repeats inside
// the window, so most matches are short and dear. The best level's own parse used to
// come out larger than the fast one's on such input.
inline Bytes CorpusWordList(size_t size, uint32_t seed, uint32_t vocabulary) {
    CorpusRandom random(seed);
    std::vector<std::string> words(vocabulary);
    for (std::string& word : words) {
        const uint32_t letters = 3 + random.Below(8);
        for (uint32_t i = 0; i < letters; i++)
            word.push_back(static_cast<char>('a' + random.Below(26)));
    }
    Bytes bytes;
    bytes.reserve(size + 16);
    while (bytes.size() < size) {
        const std::string& word = words[random.Below(vocabulary)];
        bytes.insert(bytes.end(), word.begin(), word.end());
        bytes.push_back('\n');
    }
    bytes.resize(size);
    return bytes;
}

// Pieces of random bytes, text and program-like records of uneven lengths, so that
// the codes change at places off any grid of block ends; a random piece can fill
// more than a block's 65535 symbols on its own.
inline Bytes CorpusMixed(size_t size, uint32_t seed) {
    CorpusRandom random(seed);
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        const uint32_t piece = 1 + random.Below(random.Below(3) == 0 ? 90000 : 9000);
        const uint32_t kind = random.Below(3);
        Bytes more = kind == 0   ? CorpusRandomBytes(piece, random.Next())
                     : kind == 1 ? CorpusText(piece, random.Next())
                                 : CorpusBinary(piece, random.Next());
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    bytes.resize(size);
    return bytes;
}

static const CorpusKind kCorpusKinds[] = {
    {"zeros", CorpusZeros},
    {"runs", CorpusRuns},
    {"random", CorpusRandomBytes},
    {"text", CorpusText},
    {"binary", CorpusBinary},
    {"period4096", CorpusPeriodic<4096>},
    {"period4097", CorpusPeriodic<4097>},
    {"mixed", CorpusMixed},
};

// Bytes whose counts follow the Fibonacci numbers, in random order: their plain
// Huffman code would be 24 bits deep, so the main code reaches the 16-bit limit.
inline Bytes CorpusFibonacci(uint32_t seed) {
    Bytes bytes;
    uint32_t a = 1, b = 1;
    for (int symbol = 0; symbol < 25; symbol++) {
        bytes.insert(bytes.end(), a, static_cast<uint8_t>('A' + symbol));
        uint32_t next = a + b;
        a = b;
        b = next;
    }
    CorpusRandom random(seed);
    for (size_t i = bytes.size() - 1; i > 0; i--)
        std::swap(bytes[i], bytes[random.Below(static_cast<uint32_t>(i + 1))]);
    return bytes;
}
