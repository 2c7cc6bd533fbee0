// Our encoder's streams as LHA -lh4- data: lhasa (and 7-Zip, where installed) must
// read them back exactly, CRC included.
#include "lha_oracle.h"

#include <gtest/gtest.h>

#include "crushed/crushed.h"
#include "encoder_corpus.h"
#include "encoder_streams.h"
#include "fileio/memory.h"

namespace {

class LhaOracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        MemReset();
        if (!m_oracle.LhasaRuns()) GTEST_SKIP() << "lhasa cannot be run here";
    }

    Bytes Encode(const Bytes& input, int level) {
        CrushedBuffer out = {};
        EXPECT_EQ(CrushedEncodeToBuffer(input.data(), static_cast<uint32_t>(input.size()), level, &out), 0);
        Bytes stream(out.data, out.data + out.size);
        CrushedBufferFree(&out);
        return stream;
    }

    // lhasa prints exactly the input, its CRC test passes, and so does 7-Zip's.
    void ExpectReadBack(const Bytes& input, const Bytes& stream, const std::string& what) {
        Bytes archive = LhaArchive("DATA.BIN", "-lh4-", stream, input);
        Bytes printed;
        ASSERT_TRUE(m_oracle.LhasaPrint(archive, &printed)) << what;
        ASSERT_EQ(printed.size(), input.size()) << what;
        EXPECT_TRUE(printed == input) << what;
        EXPECT_TRUE(m_oracle.LhasaTest(archive)) << what;
        if (m_oracle.SevenZipRuns()) {
            EXPECT_TRUE(m_oracle.SevenZipTest(archive)) << what;
        }
    }

    ScratchDir m_scratch;
    LhaOracle m_oracle{m_scratch};
};

TEST(LhaCrc16, MatchesTheCheckValueOfCrc16Arc) {
    Bytes check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(LhaCrc16(check), 0xBB3D);
    EXPECT_EQ(LhaCrc16(Bytes()), 0);
}

TEST_F(LhaOracleTest, WrapperIsReadAsAStoredMember) {
    Bytes text = CorpusText(1000, 7);
    Bytes printed;
    ASSERT_TRUE(m_oracle.LhasaPrint(LhaArchive("STORED.TXT", "-lh0-", text, text), &printed));
    EXPECT_TRUE(printed == text);
}

TEST_F(LhaOracleTest, WrongCrcIsNoticed) {
    Bytes text = CorpusText(1000, 7);
    Bytes other = text;
    other[10] ^= 1;
    EXPECT_FALSE(
        m_oracle.LhasaTest(LhaArchive("DATA.BIN", "-lh4-", Encode(text, CRUSHED_LEVEL_FAST), other)));
}

TEST_F(LhaOracleTest, HandMadeStreamOfTheDecoderIsAccepted) {
    // Ten bytes ABABABABAB: two literals and an 8-byte match at distance 2.
    Bytes stream = {0x00, 0x03, 0x28, 0x04, 0x4A, 0x0C, 0x16, 0xD9, 0x5D, 0x80, 0xAC};
    Bytes input = {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'};
    ExpectReadBack(input, stream, "hand-made");
}

TEST_F(LhaOracleTest, PreCodeLengthsUpToSixteenAreRead) {
    Bytes input = CorpusText(20000, 13);
    ExpectReadBack(input, StreamWithDeepPreCode(input), "deep pre-code");
}

TEST_F(LhaOracleTest, MainCodeLimitedToSixteenBitsIsRead) {
    Bytes input = CorpusFibonacci(3);
    for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
        ExpectReadBack(input, Encode(input, level), "Fibonacci counts at level " + std::to_string(level));
    }
}

struct OracleCase {
    const char* kind;
    size_t size;
};

std::string CaseName(const ::testing::TestParamInfo<OracleCase>& param) {
    return std::string(param.param.kind) + "_" + std::to_string(param.param.size);
}

class LhaOracleCorpusTest : public LhaOracleTest, public ::testing::WithParamInterface<OracleCase> {};

TEST_P(LhaOracleCorpusTest, BothLevelsAreReadBack) {
    const OracleCase& c = GetParam();
    for (const CorpusKind& kind : kCorpusKinds) {
        if (std::string(kind.name) != c.kind) continue;
        Bytes input = kind.make(c.size, 11);
        for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
            ExpectReadBack(
                input, Encode(input, level),
                std::string(c.kind) + " of " + std::to_string(c.size) + " at level " + std::to_string(level));
        }
        return;
    }
    FAIL() << "no corpus kind " << c.kind;
}

INSTANTIATE_TEST_SUITE_P(Corpus, LhaOracleCorpusTest,
                         ::testing::Values(OracleCase{"text", 1}, OracleCase{"text", 3},
                                           OracleCase{"zeros", 1}, OracleCase{"zeros", 5000},
                                           OracleCase{"zeros", 1 << 20}, OracleCase{"runs", 70000},
                                           OracleCase{"random", 4097}, OracleCase{"random", 150000},
                                           OracleCase{"text", 4095}, OracleCase{"text", 300000},
                                           OracleCase{"binary", 8193}, OracleCase{"binary", 200000},
                                           OracleCase{"period4096", 30000}, OracleCase{"period4097", 30000},
                                           OracleCase{"mixed", 600000}),
                         CaseName);

} // namespace
