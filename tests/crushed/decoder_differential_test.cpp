// Our decoder against the frozen reference decoder on streams damaged every way a
// stream can be: bits flipped, bytes inserted, files cut short, compressed and
// uncompressed sizes claimed wrong. The seeds are our encoder's streams (both levels,
// sizes around the chunk size), streams with codes longer than the lookup tables'
// first levels, and the hostile table's streams. Both must give the same trace.
#include "decoder_differential.h"

#include <gtest/gtest.h>

#include "decoder_fixture.h"
#include "decoder_hostile_cases.h"
#include "encoder_corpus.h"

namespace {

struct Seed {
    std::string what;
    Bytes stream;
    uint32_t size; // the entry's uncompressed size
};

// Bytes whose value b comes about once in 2^(b/8 + 1): codes of every length to 16.
Bytes SkewedBytes(size_t size, uint32_t seed) {
    CorpusRandom random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes) {
        uint32_t value = 0;
        while (value < 255 && (random.Next() & 7) != 0)
            value++;
        b = static_cast<uint8_t>(value);
    }
    return bytes;
}

// A block whose main code has codes of 2 to 16 bits and whose position code has codes
// of 1 to 16 bits (both incomplete: bits matching no code read as symbol 0), with
// tokens that use all of them.
Seed LongCodeSeed(uint32_t seed) {
    std::vector<uint8_t> main(CRUSHED_MAIN_SYMBOLS, 0);
    std::vector<uint32_t> coded;
    auto give = [&](uint32_t symbol, uint8_t length) {
        main[symbol] = length;
        coded.push_back(symbol);
    };
    give('a', 2);
    give(256, 3); // matches of 3
    give(300, 4);
    for (uint32_t s = 'b'; s <= 'z'; s++)
        give(s, 9);
    for (uint32_t s = 0x80; s < 0x80 + 100; s++)
        give(s, 13);
    for (uint32_t s = 400; s < 509; s++)
        give(s, 16);
    std::vector<uint8_t> position(CRUSHED_POSITION_SYMBOLS);
    for (uint32_t s = 0; s < 12; s++)
        position[s] = static_cast<uint8_t>(s + 1);
    position[12] = 16;

    const uint32_t symbols = 3000;
    BitWriter w;
    PutHeader(w, symbols, main, position);
    TokenWriter t(w, Canonical(main), Canonical(position));
    Lcg rng(seed);
    for (uint32_t i = 0; i < symbols; i++) {
        const uint32_t symbol = coded[rng.Next(static_cast<uint32_t>(coded.size()))];
        const size_t produced = t.Expected().size();
        if (symbol < 256 || produced < 300) {
            t.Literal(static_cast<uint8_t>(symbol < 256 ? symbol : 'a'));
            continue;
        }
        const uint32_t reach = produced < 4096 ? static_cast<uint32_t>(produced) : 4096u;
        t.Match(symbol - 253, 1 + rng.Next(reach));
    }
    return {"long codes", w.Finish(), static_cast<uint32_t>(t.Expected().size())};
}

std::vector<Seed> Seeds() {
    std::vector<Seed> seeds;
    const struct {
        const char* what;
        Bytes data;
    } inputs[] = {
        {"text", CorpusText(40000, 1)},
        {"random", CorpusRandomBytes(4097, 2)},
        {"skewed", SkewedBytes(12288, 3)},
        {"text of 4096", CorpusText(4096, 4)},
        {"text of 4095", CorpusText(4095, 5)},
        {"one byte", Bytes{'x'}},
        {"runs", Bytes(9000, 'r')},
    };
    for (const auto& input : inputs) {
        for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
            CrushedBuffer out = {};
            EXPECT_EQ(CrushedEncodeToBuffer(input.data.data(), static_cast<uint32_t>(input.data.size()),
                                            level, &out),
                      0);
            seeds.push_back({std::string(input.what) + " level " + std::to_string(level),
                             Bytes(out.data, out.data + out.size), static_cast<uint32_t>(input.data.size())});
            CrushedBufferFree(&out);
        }
    }
    seeds.push_back(LongCodeSeed(7));
    for (const HostileCase& c : HostileCases())
        seeds.push_back({c.description, BitsToBytes(c.bits), c.size < 70000 ? c.size : 70000});
    return seeds;
}

// One damaged entry: its file, where its stream starts, and the sizes claimed.
struct Variant {
    Bytes file;
    int32_t start;
    uint32_t claimed;
    uint32_t size;
};

enum Damage { kAsIs, kFlips, kInsertion, kCutFile, kClaimFewer, kClaimMore, kOtherSize, kDamageKinds };

Variant Damaged(const Seed& seed, Damage damage, Lcg& rng) {
    Bytes stream = seed.stream;
    uint32_t claimed = static_cast<uint32_t>(stream.size());
    uint32_t size = seed.size;
    const size_t lead = rng.Next(3) * 500 + 3;
    bool cut = false;
    const uint32_t span = static_cast<uint32_t>(stream.size()) + 1;
    switch (damage) {
        case kAsIs:
            break;
        case kFlips:
            for (uint32_t n = 1 + rng.Next(3); n > 0 && !stream.empty(); n--)
                stream[rng.Next(span - 1)] ^= static_cast<uint8_t>(1u << rng.Next(8));
            break;
        case kInsertion:
            stream.insert(stream.begin() + rng.Next(span), 1 + rng.Next(4),
                          static_cast<uint8_t>(rng.Next(256)));
            claimed = static_cast<uint32_t>(stream.size());
            break;
        case kCutFile:
            stream.resize(rng.Next(span));
            cut = true;
            break;
        case kClaimFewer:
            claimed = rng.Next(span);
            break;
        case kClaimMore:
            claimed += 1 + rng.Next(rng.Next(2) ? 8 : 3000); // into the next record, and past the file
            break;
        case kOtherSize:
            size = rng.Next(2) ? size + 1 + rng.Next(5000) : rng.Next(size + 1);
            break;
        default:
            break;
    }
    Bytes file = EntryFile(stream, lead);
    if (cut) file.resize(lead + stream.size());
    return {file, static_cast<int32_t>(lead), claimed, size};
}

class DifferentialTest : public DecoderTest {
protected:
    void TearDown() override {
        reference::DecoderResetState();
        DecoderTest::TearDown();
    }
};

TEST_F(DifferentialTest, DamagedStreamsDecodeAsTheReferenceDecodesThem) {
    const std::string path = m_scratch.file("entry.bin");
    Lcg rng(99);
    int compared = 0;
    for (const Seed& seed : Seeds()) {
        for (int turn = 0; turn < 24; turn++) {
            const Damage damage = static_cast<Damage>(turn % kDamageKinds);
            const Variant v = Damaged(seed, damage, rng);
            WriteFileBytes(path, v.file);
            const DecoderTrace ours = TraceDecoder(OurDecoder(), path, v.start, v.claimed, v.size);
            const DecoderTrace expected = TraceDecoder(ReferenceDecoder(), path, v.start, v.claimed, v.size);
            ASSERT_TRUE(ours == expected) << seed.what << ", damage " << damage << ", turn " << turn << ": "
                                          << FirstDifference(ours, expected);
            compared++;
        }
    }
    EXPECT_GT(compared, 1000);
}

} // namespace
