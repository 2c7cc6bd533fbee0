// Our encoder's parts and interface, checked against hand-worked values.
#include "crushed/crushed.h"

#include <gtest/gtest.h>

#include <vector>

#include "crushed/encoder_block.h"
#include "crushed/encoder_huffman.h"
#include "encoder_corpus.h"
#include "fileio/memory.h"

namespace {

class EncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        MemReset();
        m_liveBlocks = MemLiveBlocks();
    }
    void TearDown() override {
        MemReset();
        EXPECT_EQ(MemLiveBlocks(), m_liveBlocks) << "blocks leaked";
    }

    static Bytes Encode(const Bytes& input, int level) {
        CrushedBuffer out = {};
        EXPECT_EQ(CrushedEncodeToBuffer(input.data(), static_cast<uint32_t>(input.size()), level, &out), 0);
        Bytes stream(out.data, out.data + out.size);
        CrushedBufferFree(&out);
        return stream;
    }

private:
    long m_liveBlocks = 0;
};

// Sum of 2^-length over the used symbols, in units of 2^-16: 65536 for a complete code.
uint32_t KraftSum(const std::vector<uint8_t>& lengths) {
    uint32_t sum = 0;
    for (uint8_t length : lengths) {
        if (length) sum += 1u << (16 - length);
    }
    return sum;
}

struct LengthCase {
    std::vector<uint32_t> freq;
    int maxLength;
    std::vector<uint8_t> expected;
    const char* description;
};

TEST(EncoderLengths, HandWorkedCodes) {
    const LengthCase cases[] = {
        {{1, 1}, 16, {1, 1}, "two symbols take one bit each"},
        {{5, 0, 0, 7}, 16, {1, 0, 0, 1}, "unused symbols get no length"},
        {{1, 1, 2, 4, 8}, 16, {4, 4, 3, 2, 1}, "powers of two: a chain"},
        {{1, 1, 2, 4, 8}, 3, {3, 3, 3, 3, 1}, "limited to 3 bits: cost 32 beats 34 of 3,3,2,2,2"},
        {{1, 1, 1}, 16, {1, 2, 2}, "equal weights: the lowest symbol gets the short code"},
        {{3, 3, 3, 3}, 2, {2, 2, 2, 2}, "flat"},
    };
    for (const LengthCase& c : cases) {
        std::vector<uint8_t> lengths(c.freq.size());
        int used =
            EncBuildLengths(c.freq.data(), static_cast<int>(c.freq.size()), c.maxLength, lengths.data());
        EXPECT_EQ(lengths, c.expected) << c.description;
        int expectedUsed = 0;
        for (uint32_t f : c.freq)
            expectedUsed += f != 0;
        EXPECT_EQ(used, expectedUsed) << c.description;
    }
}

TEST(EncoderLengths, OneOrNoSymbolGivesNoLengths) {
    uint32_t one[19] = {0};
    one[7] = 100;
    uint8_t lengths[19];
    EXPECT_EQ(EncBuildLengths(one, 19, 16, lengths), 1);
    for (uint8_t length : lengths)
        EXPECT_EQ(length, 0);
    uint32_t none[19] = {0};
    EXPECT_EQ(EncBuildLengths(none, 19, 16, lengths), 0);
}

TEST(EncoderLengths, FibonacciWeightsAreLimitedToSixteenBitsAndStayComplete) {
    // Fibonacci weights make the plain Huffman tree as deep as it can get (29 here).
    std::vector<uint32_t> freq(30);
    freq[0] = freq[1] = 1;
    for (size_t i = 2; i < freq.size(); i++)
        freq[i] = freq[i - 1] + freq[i - 2];
    freq.resize(CRUSHED_MAIN_SYMBOLS, 0);
    std::vector<uint8_t> lengths(freq.size());
    EncBuildLengths(freq.data(), static_cast<int>(freq.size()), 16, lengths.data());
    uint8_t longest = 0;
    for (uint8_t length : lengths)
        longest = std::max(longest, length);
    EXPECT_EQ(longest, 16);
    EXPECT_EQ(KraftSum(lengths), 65536u);
    // More frequent symbols never get longer codes.
    for (size_t i = 1; i < 30; i++)
        EXPECT_LE(lengths[i], lengths[i - 1]) << i;
}

TEST(EncoderLengths, EveryMainSymbolUsed) {
    std::vector<uint32_t> freq(CRUSHED_MAIN_SYMBOLS);
    for (size_t i = 0; i < freq.size(); i++)
        freq[i] = 1 + static_cast<uint32_t>(i * i % 1000);
    std::vector<uint8_t> lengths(freq.size());
    EXPECT_EQ(EncBuildLengths(freq.data(), static_cast<int>(freq.size()), 16, lengths.data()), 510);
    EXPECT_EQ(KraftSum(lengths), 65536u);
}

TEST(EncoderLengths, FibonacciCorpusNeedsTheLimit) {
    // The corpus the decoders read back for deep main codes does reach 16 bits.
    Bytes input = CorpusFibonacci(3);
    std::vector<uint32_t> freq(CRUSHED_MAIN_SYMBOLS);
    for (uint8_t byte : input)
        freq[byte]++;
    std::vector<uint8_t> lengths(freq.size());
    EncBuildLengths(freq.data(), static_cast<int>(freq.size()), 16, lengths.data());
    EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), 16);
}

TEST(EncoderCodes, CanonicalOrderIsByLengthThenSymbol) {
    // Lengths 2, 1, 3, 3: symbol 1 gets 0, symbol 0 gets 10, symbols 2 and 3 get 110 and 111.
    uint8_t lengths[4] = {2, 1, 3, 3};
    uint16_t codes[4];
    EncCanonicalCodes(lengths, 4, codes);
    EXPECT_EQ(codes[0], 0b10);
    EXPECT_EQ(codes[1], 0b0);
    EXPECT_EQ(codes[2], 0b110);
    EXPECT_EQ(codes[3], 0b111);
}

TEST(EncoderPositions, SymbolsAndExtraBits) {
    // {position, symbol, extra bits}
    const uint32_t cases[][3] = {{0, 0, 0}, {1, 1, 0},      {2, 2, 1},      {3, 2, 1},     {4, 3, 2},
                                 {7, 3, 2}, {2047, 11, 10}, {2048, 12, 11}, {4095, 12, 11}};
    for (const auto& c : cases) {
        EXPECT_EQ(EncPositionSymbol(c[0]), c[1]) << c[0];
        EXPECT_EQ(EncPositionExtraBits(c[1]), c[2]) << c[0];
    }
}

TEST_F(EncoderTest, EmptyInputGivesAnEmptyStream) {
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
        EXPECT_TRUE(Encode(Bytes(), level).empty());
        CrushedSink sink = {nullptr, nullptr, 99};
        EXPECT_EQ(CrushedEncode(nullptr, 0, level, &sink), 0);
        EXPECT_EQ(sink.written, 0u);
    }
}

TEST_F(EncoderTest, OneByteUsesSingleValueCodes) {
    // Count 1; pre-code single value 0 (5 + 5 bits); main code single value 65 (9 + 9
    // bits); position code single value 0 (4 + 4 bits); the literal takes no bits;
    // 4 fill bits:
    //   00000000 00000001 | 00000 00000 000000000 001000001 0000 0000 | 0000
    const Bytes expected = {0x00, 0x01, 0x00, 0x00, 0x04, 0x10, 0x00};
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST})
        EXPECT_EQ(Encode({'A'}, level), expected);
}

TEST_F(EncoderTest, TwoLiteralsAndAMatchGiveTheWorkedStream) {
    // The decoder's worked example (ABABABABAB): lengths 1, 2, 2 for symbols 65, 66
    // and 261, sent through a pre-code 0, 0, 1, run 0, 2, 2; position single value 1.
    const Bytes expected = {0x00, 0x03, 0x28, 0x04, 0x4A, 0x0C, 0x16, 0xD9, 0x5D, 0x80, 0xAC};
    const Bytes input = {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'};
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST})
        EXPECT_EQ(Encode(input, level), expected);
}

TEST_F(EncoderTest, RefusesBadArguments) {
    const uint8_t byte = 'x';
    CrushedSink sink = {nullptr, nullptr, 0};
    EXPECT_EQ(CrushedEncode(&byte, 1, CRUSHED_LEVEL_FAST, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(CrushedEncode(nullptr, 1, CRUSHED_LEVEL_FAST, &sink), ERR_BAD_ARGUMENT);
    EXPECT_EQ(CrushedEncode(&byte, 1, 0, &sink), ERR_BAD_ARGUMENT);
    EXPECT_EQ(CrushedEncode(&byte, 1, 3, &sink), ERR_BAD_ARGUMENT);
    EXPECT_EQ(CrushedEncodeToBuffer(&byte, 1, CRUSHED_LEVEL_FAST, nullptr), ERR_BAD_ARGUMENT);
}

TEST_F(EncoderTest, CountingSinkReportsTheBufferSize) {
    Bytes input = CorpusText(100000, 3);
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
        CrushedSink sink = {nullptr, nullptr, 0};
        ASSERT_EQ(CrushedEncode(input.data(), static_cast<uint32_t>(input.size()), level, &sink), 0);
        EXPECT_EQ(sink.written, Encode(input, level).size());
        EXPECT_LT(sink.written, input.size() / 2);
    }
}

struct FailingSink {
    uint32_t acceptCalls;
    uint32_t calls;
};

int FailLater(void* context, const uint8_t*, uint32_t) {
    FailingSink* sink = static_cast<FailingSink*>(context);
    return sink->calls++ < sink->acceptCalls ? 0 : ERR_DISK_FULL;
}

TEST_F(EncoderTest, SinkFailureStopsTheEncoderWithItsCode) {
    Bytes input = CorpusRandomBytes(100000, 5); // several staging buffers of output
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
        for (uint32_t accept : {0u, 1u, 3u}) {
            FailingSink failing = {accept, 0};
            CrushedSink sink = {FailLater, &failing, 0};
            EXPECT_EQ(CrushedEncode(input.data(), static_cast<uint32_t>(input.size()), level, &sink),
                      ERR_DISK_FULL);
            EXPECT_EQ(failing.calls, accept + 1) << "no call after the failure";
        }
    }
}

TEST_F(EncoderTest, EveryFailedAllocationIsReportedAndNothingLeaks) {
    Bytes input = CorpusText(50000, 9);
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
        int failures = 0;
        for (long after = 0; after < 40; after++) {
            MemReset();
            MemFailAfter(after);
            CrushedBuffer out = {};
            int rc = CrushedEncodeToBuffer(input.data(), static_cast<uint32_t>(input.size()), level, &out);
            MemReset();
            if (rc == 0) {
                EXPECT_EQ(out.size, Encode(input, level).size());
                CrushedBufferFree(&out);
                break;
            }
            failures++;
            EXPECT_EQ(rc, ERR_NO_MEMORY);
            EXPECT_EQ(out.data, nullptr);
            EXPECT_EQ(out.size, 0u);
        }
        EXPECT_GT(failures, 1) << "the allocations were reached";
    }
}

TEST_F(EncoderTest, PlannedBlockSizeIsTheWrittenSize) {
    // One block: the stream is the planned bits rounded up to whole bytes.
    for (const CorpusKind& kind : kCorpusKinds) {
        Bytes input = kind.make(3000, 21);
        std::vector<EncSymbol> symbols;
        for (uint8_t byte : input)
            symbols.push_back(EncLiteral(byte));
        for (size_t i = 0; i + 8 < symbols.size(); i += 8)
            symbols[i] = EncMatch(3 + i % 250, 1 + i % 4096);
        EncBlockStats stats;
        EncStatsClear(&stats);
        EncStatsAdd(&stats, symbols.data(), static_cast<uint32_t>(symbols.size()));
        EncBlockPlan plan;
        uint32_t bits = EncPlanBlock(&stats, &plan);

        CrushedSink sink = {nullptr, nullptr, 0};
        EncBitWriter writer;
        ASSERT_EQ(EncBitsOpen(&writer, &sink), 0);
        EncWriteBlock(&writer, &plan, symbols.data(), static_cast<uint32_t>(symbols.size()));
        ASSERT_EQ(EncBitsFinish(&writer), 0);
        EncBitsClose(&writer);
        EXPECT_EQ(sink.written, (bits + 7) / 8) << kind.name;
    }
}

} // namespace
