// The block decoder on valid streams: hand-made streams, each decoded from a file in a
// slot the way the engine's extraction loop does it.
#include <gtest/gtest.h>

#include "decoder_fixture.h"
#include "fileio/codes.h"

// A block of `count` symbols with the fixed codes (9-bit main symbols, 4-bit positions).
static PrefixCode FixedMain() { return Canonical(FixedMainLengths()); }
static PrefixCode FixedPosition() { return Canonical(FixedPositionLengths()); }

TEST_F(DecoderTest, WorkedStreamGivesAbAbAndFetchesAllElevenBytes) {
    const Bytes stream = {0x00, 0x03, 0x28, 0x04, 0x4A, 0x0C, 0x16, 0xD9, 0x5D, 0x80, 0xAC};
    ExpectDecodes(stream, {'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'});
}

TEST_F(DecoderTest, TenThousandBytesComeInThreeChunksWithProgressBeforeEach) {
    BitWriter w;
    PutFixedHeader(w, 3000);
    TokenWriter t(w, FixedMain(), FixedPosition());
    PutMixedTokens(t, 3000, 1);
    ASSERT_GE(t.Expected().size(), 10000u);
    t.Expected().resize(10000); // the entry ends within the block: no end marker

    EntryRun run = DecodeEntry(w.Finish(), 10000);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.output, t.Expected());
    EXPECT_EQ(run.progress, (std::vector<int32_t>{0, 4096, 8192}));
}

TEST_F(DecoderTest, ProgressIsRaisedBeforeTheChunkIsWritten) {
    static uint8_t* s_window;
    static std::vector<uint8_t> s_seen;
    s_seen.clear();
    SetEventHandler(EVENT_SLOT_MAIN, [](EntryDescriptor*, int32_t, int32_t) {
        s_seen.push_back(s_window[0]);
        return 0;
    });
    BitWriter w;
    PutFixedHeader(w, 1);
    TokenWriter t(w, FixedMain(), FixedPosition());
    t.Literal('Q');
    int slot = OpenStream(w.Finish());
    InputSlot = slot;
    CompressedLeft = static_cast<uint32_t>(w.Finish().size());
    ASSERT_EQ(DecoderReset(), 0);
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE, 0xCC);
    s_window = window.data();
    EntryDescriptor descriptor = {};
    ASSERT_EQ(DecodeChunk(&descriptor, 1, window.data()), 0);
    EXPECT_EQ(s_seen, std::vector<uint8_t>{0xCC});
    EXPECT_EQ(window[0], 'Q');
}

TEST_F(DecoderTest, MatchSplitAcrossChunksContinuesFromTheSamePosition) {
    BitWriter w;
    PutFixedHeader(w, 4094 + 2);
    TokenWriter t(w, FixedMain(), FixedPosition());
    for (int i = 0; i < 4094; i++)
        t.Literal(static_cast<uint8_t>('A' + i % 23));
    t.Match(10, 30); // 2 bytes into this chunk, 8 into the next
    t.Literal('Z');
    const Bytes stream = w.Finish();

    int slot = OpenStream(stream);
    InputSlot = slot;
    CompressedLeft = static_cast<uint32_t>(stream.size());
    ASSERT_EQ(DecoderReset(), 0);
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE, 0xCC);
    EntryDescriptor descriptor = {};
    ASSERT_EQ(DecodeChunk(&descriptor, 4096, window.data()), 0);
    EXPECT_EQ(PendingCopy, 8);
    EXPECT_EQ(Bytes(window.begin(), window.end()), Bytes(t.Expected().begin(), t.Expected().begin() + 4096));
    ASSERT_EQ(DecodeChunk(&descriptor, 9, window.data()), 0);
    EXPECT_EQ(Bytes(window.begin(), window.begin() + 9),
              Bytes(t.Expected().begin() + 4096, t.Expected().end()));
    EXPECT_EQ(FileTell(slot), static_cast<int32_t>(kLeadBytes.size() + stream.size()));
}

TEST_F(DecoderTest, Distance4096CopiesTheByteAtTheSameIndexOfTheBuffer) {
    BitWriter w;
    PutFixedHeader(w, 4096 + 100 + 2);
    TokenWriter t(w, FixedMain(), FixedPosition());
    Lcg rng(3);
    for (int i = 0; i < 4096 + 100; i++)
        t.Literal(static_cast<uint8_t>(rng.Next(256)));
    t.Match(5, 4096); // at r = 100 of the second chunk: output bytes 100..104
    t.Match(3, 4096);
    Bytes& expected = t.Expected();
    ASSERT_EQ(Bytes(expected.begin() + 4196, expected.begin() + 4204),
              Bytes(expected.begin() + 100, expected.begin() + 108));
    ExpectDecodes(w.Finish(), expected);
}

TEST_F(DecoderTest, Distance4096AtTheStartOfAChunkAndDistancesThatWrap) {
    BitWriter w;
    PutFixedHeader(w, 4096 + 4);
    TokenWriter t(w, FixedMain(), FixedPosition());
    Lcg rng(4);
    for (int i = 0; i < 4096; i++)
        t.Literal(static_cast<uint8_t>(rng.Next(256)));
    t.Match(40, 4096); // r = 0: the source runs ahead of the destination
    t.Match(100, 50);  // r = 40: the source starts at the buffer's end and wraps
    t.Match(256, 256);
    t.Match(256, 3);
    ExpectDecodes(w.Finish(), t.Expected());
}

TEST_F(DecoderTest, LongAndShortestMatchesAndEveryPositionSymbol) {
    BitWriter w;
    const uint32_t distances[] = {1, 2, 3, 4, 5, 8, 9, 16, 17, 100, 1000, 2048, 2049, 4095, 4096};
    PutFixedHeader(w, 4200 + 2 * 15 + 2);
    TokenWriter t(w, FixedMain(), FixedPosition());
    for (int i = 0; i < 4200; i++)
        t.Literal(static_cast<uint8_t>(i * 7 + i / 13));
    for (uint32_t d : distances) {
        t.Match(3, d);   // symbol 256
        t.Match(256, d); // symbol 509
    }
    t.Literal('!');
    t.Match(255, 4096);
    ExpectDecodes(w.Finish(), t.Expected());
}

TEST_F(DecoderTest, DistanceOneRepeatsTheLastByte) {
    BitWriter w;
    PutFixedHeader(w, 2);
    TokenWriter t(w, FixedMain(), FixedPosition());
    t.Literal(0x41);
    t.Match(5, 1);
    ExpectDecodes(w.Finish(), Bytes(6, 0x41));
}

TEST_F(DecoderTest, SingleValueMainCodeTakesNoBitsButCountsSymbols) {
    BitWriter w;
    w.Put(5, 16);             // five symbols
    w.PutBits("00000 00000"); // pre-code: single value 0
    w.Put(0, 9);
    w.Put('x', 9);          // main code: every symbol is 'x'
    w.PutBits("0000 0000"); // position code: single value 0
    PutFixedHeader(w, 1);   // the next block follows directly
    TokenWriter t(w, FixedMain(), FixedPosition());
    t.Literal('y');
    ExpectDecodes(w.Finish(), {'x', 'x', 'x', 'x', 'x', 'y'});
}

TEST_F(DecoderTest, SingleValuePositionZeroGivesDistanceOneWithoutBits) {
    std::vector<uint8_t> mainLengths(510, 0);
    mainLengths['m'] = 1;
    mainLengths[256 + 2] = 1; // a match of 5
    BitWriter w;
    w.Put(4, 16);
    PutAuxLengths(w, FullPrecodeLengths(), 5, true);
    PutMainLengths(w, mainLengths, Canonical(FullPrecodeLengths()));
    w.PutBits("0000 0000"); // position code: single value 0
    PrefixCode main = Canonical(mainLengths);
    PutSymbol(w, main, 'm');
    PutSymbol(w, main, 258);
    PutSymbol(w, main, 258);
    PutSymbol(w, main, 'm');
    ExpectDecodes(w.Finish(), Bytes(12, 'm'));
}

// The longest codes (main up to 16 bits, position up to 12) are read through the trees.
TEST_F(DecoderTest, CompleteCodesWithLongCodesDecodeThroughTheTrees) {
    const uint32_t byLength[17] = {65, 66, 256, 509, 67, 300, 68, 69, 70, 71, 72, 73, 74, 400, 75, 76, 508};
    std::vector<uint8_t> mainLengths(510, 0);
    for (uint32_t i = 0; i < 17; i++)
        mainLengths[byLength[i]] = static_cast<uint8_t>(i < 16 ? i + 1 : 16);
    std::vector<uint8_t> positionLengths(13);
    for (int s = 0; s < 12; s++)
        positionLengths[s] = static_cast<uint8_t>(s + 1);
    positionLengths[12] = 12;

    BitWriter body;
    TokenWriter t(body, Canonical(mainLengths), Canonical(positionLengths));
    for (int round = 0; round < 2; round++) {
        for (uint32_t s : {65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76})
            t.Literal(static_cast<uint8_t>(s));
    }
    for (uint32_t d : {1u, 2u, 3u, 16u, 17u, 20u})
        t.Match(3, d); // symbol 256 at small positions
    t.Match(256, 4);   // 509
    t.Match(47, 7);    // 300
    t.Match(255, 300); // 508, a 16-bit code
    t.Match(147, 500); // 400, a 14-bit code
    for (int i = 0; i < 12; i++)
        t.Match(256, 100);
    for (uint32_t d : {1024u, 2048u, 2049u, 4095u})
        t.Match(256, d); // 11- and 12-bit position codes
    ASSERT_GE(t.Expected().size(), 4096u);
    BitWriter w;
    PutHeader(w, t.Symbols(), mainLengths, positionLengths);
    w.Append(body);
    ExpectDecodes(w.Finish(), t.Expected());
}

TEST_F(DecoderTest, PrecodeZeroRunAfterTheThirdLengthSkipsThreeSymbols) {
    // Pre-code lengths 2, 0, 0, then the run 3 (symbols 3, 4, 5 are 0), then 2, 2, 2:
    // symbol 0 (a zero length), 6, 7 and 8 (main lengths 4, 5, 6).
    BitWriter w;
    w.Put(15, 16);
    w.PutBits("01001  010 000 000  11  010 010 010");
    std::vector<uint8_t> mainLengths(510, 0);
    // 'a'..'n' 4 bits (14/16), 'o', 'p' 5 bits (2/32), 'q'..'t' 6 bits (4/64): complete.
    for (int c = 'a'; c <= 'n'; c++)
        mainLengths[c] = 4;
    mainLengths['o'] = mainLengths['p'] = 5;
    for (int c = 'q'; c <= 't'; c++)
        mainLengths[c] = 6;
    w.Put('t' + 1, 9);
    for (int i = 0; i <= 't'; i++) {
        const uint32_t codeOf[] = {0 /*length 0*/, 0, 0, 0, 1 /*4*/, 2 /*5*/, 3 /*6*/};
        w.Put(codeOf[mainLengths[i]], 2);
    }
    w.PutBits("0000 0000"); // position code: single value 0
    TokenWriter t(w, Canonical(mainLengths), Canonical(FixedPositionLengths()));
    t.Literals("rosepetalsqfish");
    ExpectDecodes(w.Finish(), t.Expected());
}

TEST_F(DecoderTest, BlockEndingWithAMatchIsFollowedDirectlyByTheNextHeader) {
    BitWriter w;
    PutFixedHeader(w, 2);
    TokenWriter first(w, FixedMain(), FixedPosition());
    first.Literal('a');
    first.Match(3, 1);
    std::vector<uint8_t> mainLengths(510, 0);
    mainLengths['b'] = mainLengths['c'] = 1;
    PutHeader(w, 3, mainLengths, FixedPositionLengths());
    TokenWriter second(w, Canonical(mainLengths), FixedPosition());
    second.Literals("bcb");
    ExpectDecodes(w.Finish(), {'a', 'a', 'a', 'a', 'b', 'c', 'b'});
}

TEST_F(DecoderTest, BlockCountZeroServesTheRestOfTheEntry) {
    BitWriter w;
    PutFixedHeader(w, 0);
    TokenWriter t(w, FixedMain(), FixedPosition());
    PutMixedTokens(t, 3000, 9);
    const Bytes stream = w.Finish();
    EntryRun run = DecodeEntry(stream, static_cast<uint32_t>(t.Expected().size()));
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.output, t.Expected());
    EXPECT_EQ(BlockSymbolsLeft, 0xFFFFFFFFu - 2999u);
    EXPECT_EQ(run.consumed, static_cast<int32_t>(stream.size()));
}

TEST_F(DecoderTest, ManyBlocksOfBothKindsAcrossManyChunks) {
    BitWriter w;
    Bytes expected;
    Lcg rng(11);
    for (uint32_t block = 0; block < 12; block++) {
        uint32_t symbols = 200 + rng.Next(3000);
        std::vector<uint8_t> mainLengths = FixedMainLengths();
        std::vector<uint8_t> positionLengths = FixedPositionLengths();
        if (block % 2 == 1) {
            // Complete codes of mixed lengths. Main, in 1/1024ths: 'a'..'z' 6 bits (416),
            // other bytes 10 (230), matches of 3..15 6 bits (208), the next 99 10 bits,
            // the last 142 11 bits (99 + 71). Position: 0..6 3 bits, 7..8 5, 9..12 6.
            for (int c = 0; c < 256; c++) {
                mainLengths[c] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? 6 : 10);
            }
            for (int s = 256; s < 510; s++) {
                mainLengths[s] = static_cast<uint8_t>(s < 269 ? 6 : s < 368 ? 10 : 11);
            }
            for (int p = 0; p < 13; p++) {
                positionLengths[p] = static_cast<uint8_t>(p < 7 ? 3 : p < 9 ? 5 : 6);
            }
        }
        PutHeader(w, symbols, mainLengths, positionLengths);
        TokenWriter t(w, Canonical(mainLengths), Canonical(positionLengths));
        t.Expected() = expected;
        PutMixedTokens(t, symbols, block + 100);
        expected = t.Expected();
    }
    ExpectDecodes(w.Finish(), expected);
}

TEST_F(DecoderTest, PositionCountsOf14And15AreAcceptedAndIgnoredBeyond13) {
    for (uint32_t count : {14u, 15u}) {
        std::vector<uint8_t> positionLengths = FixedPositionLengths();
        positionLengths.resize(count, 4); // the extra lengths leave the first 13 as they are
        BitWriter w;
        w.Put(3, 16);
        PutAuxLengths(w, FixedPrecodeLengths(), 5, true);
        PutMainLengths(w, FixedMainLengths(), Canonical(FixedPrecodeLengths()));
        PutAuxLengths(w, positionLengths, 4, false);
        TokenWriter t(w, FixedMain(), FixedPosition());
        t.Literals("zy");
        t.Match(7, 2);
        ExpectDecodes(w.Finish(), t.Expected(), kFormatOnly);
        EXPECT_EQ(AuxLengths[13], 4);
    }
}

// Unmatched bits of an incomplete code read as symbol 0 and take symbol 0's length.
TEST_F(DecoderTest, IncompleteMainCodeReadsUnmatchedBitsAsSymbolZero) {
    std::vector<uint8_t> mainLengths(510, 0);
    mainLengths['k'] = 2; // code 00; 01, 10 and 11 match nothing
    BitWriter w;
    PutHeader(w, 3, mainLengths, FixedPositionLengths());
    w.PutBits("00 11 00"); // 'k', unmatched (symbol 0, which has no code: 0 bits), then 11 again
    EntryRun run = DecodeEntry(w.Finish(), 3);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.output, (Bytes{'k', 0, 0}));
}

TEST_F(DecoderTest, EmptyEntryFetchesAtMostFourBytes) {
    EntryRun run = DecodeEntry({1, 2, 3, 4, 5, 6}, 0);
    EXPECT_EQ(run.resetResult, 0);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_EQ(run.consumed, 4);
    EntryRun none = DecodeEntry({}, 0);
    EXPECT_EQ(none.resetResult, 0);
    EXPECT_EQ(none.consumed, 0);
    EXPECT_EQ(none.nextByte, kTrailBytes[0]);
}

TEST_F(DecoderTest, MainTableIsObtainedOnceAndKeptUntilRelease) {
    const Bytes stream = {0x00, 0x03, 0x28, 0x04, 0x4A, 0x0C, 0x16, 0xD9, 0x5D, 0x80, 0xAC};
    long before = MemLiveBlocks();
    EXPECT_EQ(DecodeEntry(stream, 10).result, 0);
    EXPECT_EQ(MemLiveBlocks(), before + 1);
    MemFailFrom(MAIN_TABLE_BYTES); // a second entry needs no table
    EntryRun second = DecodeEntry(stream, 10);
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.output, Bytes({'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'}));
    DecoderRelease();
    EXPECT_EQ(MemLiveBlocks(), before);
    DecoderRelease(); // twice is harmless
    EXPECT_EQ(MainTable, nullptr);
}
