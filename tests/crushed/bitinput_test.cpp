// The bit input: bit order, on-demand fetching bounded by the compressed size, and
// input that ends before it.
#include "crushed/bitinput.h"

#include <gtest/gtest.h>

#include "decoder_fixture.h"

class BitInputTest : public DecoderTest {
protected:
    // Opens the bytes in a slot (lead bytes before them) and primes the bit input with
    // the given compressed size.
    void Prime(const Bytes& bytes, uint32_t compressedSize, bool cutFile = false) {
        m_slot = OpenStream(bytes, cutFile ? bytes.size() : SIZE_MAX);
        InputSlot = m_slot;
        CompressedLeft = compressedSize;
        PrimeBits();
    }
    // Bytes fetched since the stream's first byte.
    int32_t Fetched() const { return FileTell(m_slot) - static_cast<int32_t>(kLeadBytes.size()); }

    int m_slot = -1;
};

TEST_F(BitInputTest, PrimeHoldsTheFirstFourBytesAndPullTakesFromTheTop) {
    Prime({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, 6);
    EXPECT_EQ(BitBuffer, 0x12345678u);
    EXPECT_EQ(SpareBits, 0u);
    EXPECT_EQ(Fetched(), 4);
    EXPECT_EQ(PullBits(16), 0x1234u);
    EXPECT_EQ(BitBuffer, 0x56789ABCu);
    EXPECT_EQ(Fetched(), 6);
    EXPECT_EQ(CompressedLeft, 0u);
    EXPECT_EQ(BitInputEnded(), 0);
}

TEST_F(BitInputTest, SizeZeroFetchesNothingAndGivesZeros) {
    Prime({0xFF, 0xFF, 0xFF, 0xFF}, 0);
    EXPECT_EQ(BitBuffer, 0u);
    EXPECT_EQ(Fetched(), 0);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(PullBits(16), 0u);
    EXPECT_EQ(Fetched(), 0);
    EXPECT_EQ(BitInputEnded(), 0);
}

TEST_F(BitInputTest, SizeTwoFetchesTwoBytesAndZerosBelow) {
    Prime({0xAB, 0xCD, 0xEF, 0x01}, 2);
    EXPECT_EQ(BitBuffer, 0xABCD0000u);
    EXPECT_EQ(Fetched(), 2);
    EXPECT_EQ(PullBits(16), 0xABCDu);
    EXPECT_EQ(PullBits(16), 0u);
    EXPECT_EQ(Fetched(), 2);
    EXPECT_EQ(FileGetByte(m_slot), 0xEF); // the byte behind the entry was left alone
}

TEST_F(BitInputTest, PullZeroAndDropZeroChangeNothing) {
    Prime({0x81, 0x42, 0x24, 0x18, 0xC3}, 5);
    PullBits(5); // SpareByte now holds bits still to come
    uint32_t buffer = BitBuffer, spareByte = SpareByte, spareBits = SpareBits, left = CompressedLeft;
    EXPECT_EQ(PullBits(0), 0u);
    DropBits(0);
    EXPECT_EQ(BitBuffer, buffer);
    EXPECT_EQ(SpareByte, spareByte);
    EXPECT_EQ(SpareBits, spareBits);
    EXPECT_EQ(CompressedLeft, left);
}

TEST_F(BitInputTest, BytesAreFetchedOnlyWhenTheBufferNeedsThem) {
    Prime({0x00, 0x00, 0x00, 0x00, 0x80, 0x01, 0x02}, 7);
    EXPECT_EQ(Fetched(), 4);
    DropBits(1); // needs one bit of byte 5
    EXPECT_EQ(Fetched(), 5);
    DropBits(7); // the rest of byte 5 is already at hand
    EXPECT_EQ(Fetched(), 5);
    EXPECT_EQ(BitBuffer, 0x00000080u);
    DropBits(1);
    EXPECT_EQ(Fetched(), 6);
    DropBits(32); // the whole register at once, as PrimeBits does
    EXPECT_EQ(Fetched(), 7);
    EXPECT_EQ(BitBuffer, 0x01020000u << 1); // stream bits 41..72
}

// Pulls of every width across byte borders, checked against the bits written out one
// by one from the same bytes.
TEST_F(BitInputTest, PullsOfEveryWidthFollowTheBitOrder) {
    Bytes bytes;
    Lcg rng(7);
    for (int i = 0; i < 64; i++)
        bytes.push_back(static_cast<uint8_t>(rng.Next(256)));
    std::string bits;
    for (uint8_t b : bytes) {
        for (int i = 7; i >= 0; i--)
            bits += ((b >> i) & 1) ? '1' : '0';
    }
    Prime(bytes, static_cast<uint32_t>(bytes.size()));
    size_t at = 0;
    for (uint32_t width = 0; at + 16 <= bits.size(); width = (width + 5) % 17) {
        uint32_t expected =
            width == 0 ? 0 : static_cast<uint32_t>(std::stoul(bits.substr(at, width), nullptr, 2));
        ASSERT_EQ(PullBits(width), expected) << "width " << width << " at bit " << at;
        at += width;
    }
}

TEST_F(BitInputTest, InputEndingWhilePrimingIsReported) {
    Prime({0x11, 0x22, 0x33}, 8, /*cutFile=*/true);
    EXPECT_EQ(BitInputEnded(), 1);
    EXPECT_EQ(BitBuffer, 0x11223300u);
    EXPECT_EQ(CompressedLeft, 0u); // nothing more is asked of a file that has ended
}

TEST_F(BitInputTest, InputEndingLaterIsReportedWhenTheByteIsNeeded) {
    Prime({0x11, 0x22, 0x33, 0x44, 0x55}, 9, /*cutFile=*/true);
    EXPECT_EQ(BitInputEnded(), 0);
    PullBits(8); // fetches the fifth byte, which is there
    EXPECT_EQ(BitInputEnded(), 0);
    PullBits(8); // the sixth is missing
    EXPECT_EQ(BitInputEnded(), 1);
    PrimeBits(); // a new entry starts clean
    EXPECT_EQ(BitInputEnded(), 0);
}

// The bits used are the bits pulled, whatever stands behind them: the compressed
// bytes, the zeros past the compressed size, or the zeros for input that ended.
TEST_F(BitInputTest, BitsUsedAreTheBitsPulled) {
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t compressedSize;
        bool cutFile;
        std::vector<uint32_t> pulls;
    };
    const Bytes six = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    const Case cases[] = {
        {"primed only", six, 6, false, {}},
        {"within the buffer", six, 6, false, {5, 7}},
        {"to the last bit", six, 6, false, {16, 16, 16}},
        {"past the compressed size", six, 2, false, {16, 16, 16, 9}},
        {"nothing compressed", six, 0, false, {16, 16, 8}},
        {"input ended while priming", {0x11, 0x22, 0x33}, 8, true, {16, 4}},
        {"input ended later", {0x11, 0x22, 0x33, 0x44, 0x55}, 9, true, {8, 8, 16, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Prime(c.bytes, c.compressedSize, c.cutFile);
        uint64_t pulled = 0;
        for (uint32_t width : c.pulls) {
            PullBits(width);
            pulled += width;
        }
        EXPECT_EQ(BitInputBitsUsed(), pulled);
        FileClose(m_slot);
    }
}
