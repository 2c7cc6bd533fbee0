#include "crushed/encoder_block.h"

#include <cstring>

#include "crushed/encoder_huffman.h"

// Block layout, as the decoder reads it:
//
//   16 bits   main symbols in the block
//   pre-code  5-bit count n, then n lengths (3 bits, or 111 1..1 0 for 7 and up),
//             with a 2-bit zero run after the third; n = 0: a 5-bit single value
//   main code 9-bit count, then pre-code symbols: 0 one zero length, 1 + 4 bits
//             3..18 zeros, 2 + 9 bits 20..531 zeros, 3..18 a length of symbol - 2;
//             count 0: a 9-bit single value
//   positions 4-bit count, then lengths as for the pre-code but without the run
//   symbols   main codes; after each match its position code and extra bits
enum {
    PRE_TOKEN_SYMBOL_MASK = 0x1F,
    PRE_TOKEN_VALUE_SHIFT = 5,
    UNUSED_PRE_SYMBOL_COST = 8, // a guess for a pre-code symbol the code does not have yet
    NO_SPECIAL_INDEX = -1,
};

void EncStatsClear(EncBlockStats* stats) { std::memset(stats, 0, sizeof *stats); }

void EncStatsAdd(EncBlockStats* stats, const EncSymbol* symbols, uint32_t count) {
    for (uint32_t i = 0; i < count; i++) {
        stats->main[symbols[i].main]++;
        if (symbols[i].main >= 256) stats->position[EncPositionSymbol(symbols[i].position)]++;
    }
    stats->symbols += count;
}

// A code from its frequencies; one or no symbol used gives the single-value form
// (value 0 when none is used: a block without matches still sends a position code).
static int BuildCode(const uint32_t* freq, int symbolCount, EncCode* code) {
    int used = EncBuildLengths(freq, symbolCount, CRUSHED_MAX_CODE_LENGTH, code->lengths);
    code->single = -1;
    if (used < 2) {
        std::memset(code->codes, 0, symbolCount * sizeof code->codes[0]);
        code->single = 0;
        for (int symbol = 0; symbol < symbolCount; symbol++) {
            if (freq[symbol] != 0) code->single = symbol;
        }
        return used;
    }
    EncCanonicalCodes(code->lengths, symbolCount, code->codes);
    return used;
}

static uint32_t LastUsed(const uint8_t* lengths, uint32_t symbolCount) {
    uint32_t n = symbolCount;
    while (n > 0 && lengths[n - 1] == 0)
        n--;
    return n;
}

// Zero lengths covered by the 2-bit run after the special index: at most 3, and
// never past the count sent.
static uint32_t SpecialRun(const uint8_t* lengths, uint32_t index, uint32_t n) {
    uint32_t run = 0;
    while (run < 3 && index + run < n && lengths[index + run] == 0)
        run++;
    return run;
}

static uint32_t AuxLengthBits(uint32_t length) { return length < CRUSHED_AUX_LENGTH_ESCAPE ? 3 : length - 3; }

static uint32_t AuxLengthsSize(const EncCode* code, uint32_t symbolCount, uint32_t countBits, int special) {
    if (code->single >= 0) return 2 * countBits;
    uint32_t n = LastUsed(code->lengths, symbolCount);
    uint32_t bits = countBits;
    for (uint32_t i = 0; i < n; i++) {
        bits += AuxLengthBits(code->lengths[i]);
        if (static_cast<int>(i + 1) == special) {
            bits += 2;
            i += SpecialRun(code->lengths, i + 1, n);
        }
    }
    return bits;
}

static void WriteAuxLengths(EncBitWriter* writer, const EncCode* code, uint32_t symbolCount,
                            uint32_t countBits, int special) {
    if (code->single >= 0) {
        EncPutBits(writer, 0, countBits);
        EncPutBits(writer, static_cast<uint32_t>(code->single), countBits);
        return;
    }
    uint32_t n = LastUsed(code->lengths, symbolCount);
    EncPutBits(writer, n, countBits);
    for (uint32_t i = 0; i < n; i++) {
        uint32_t length = code->lengths[i];
        if (length < CRUSHED_AUX_LENGTH_ESCAPE) {
            EncPutBits(writer, length, 3);
        } else {
            // 111, then (length - 7) ones, then a closing zero.
            uint32_t bits = length - 3;
            EncPutBits(writer, (1u << bits) - 2, bits);
        }
        if (static_cast<int>(i + 1) == special) {
            uint32_t run = SpecialRun(code->lengths, i + 1, n);
            EncPutBits(writer, run, 2);
            i += run;
        }
    }
}

static uint16_t PreToken(uint32_t symbol, uint32_t value) {
    return static_cast<uint16_t>(symbol | value << PRE_TOKEN_VALUE_SHIFT);
}

static uint32_t PreTokenExtraBits(uint32_t symbol) {
    if (symbol == CRUSHED_PRE_RUN_SHORT) return CRUSHED_PRE_RUN_SHORT_BITS;
    if (symbol == CRUSHED_PRE_RUN_LONG) return CRUSHED_PRE_RUN_LONG_BITS;
    return 0;
}

enum {
    RUN_SHORT_MAX = CRUSHED_PRE_RUN_SHORT_MIN + (1 << CRUSHED_PRE_RUN_SHORT_BITS) - 1, // 18
};

// Both token rules send a non-zero length as it is and differ only in how they split a
// run of zeros: a non-zero length at *i becomes its token (0 is returned), a run of
// zeros is passed over and its length returned for the rule to split.
static uint32_t TakeLengthOrZeroRun(const uint8_t* lengths, uint32_t n, uint32_t* i, uint16_t* tokens,
                                    uint32_t* count) {
    if (lengths[*i] != 0) {
        tokens[(*count)++] = PreToken(lengths[*i] + CRUSHED_PRE_LENGTH_BASE, 0);
        ++*i;
        return 0;
    }
    uint32_t run = 0;
    while (*i + run < n && lengths[*i + run] == 0)
        run++;
    *i += run;
    return run;
}

// Zero runs sent the usual way: one or two single zeros, a short run, a single
// zero plus a short run for 19, a long run from 20.
static uint32_t TokensByRule(const uint8_t* lengths, uint32_t n, uint16_t* tokens) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < n;) {
        uint32_t run = TakeLengthOrZeroRun(lengths, n, &i, tokens, &count);
        if (run == 0) continue;
        if (run == RUN_SHORT_MAX + 1) {
            tokens[count++] = PreToken(CRUSHED_PRE_ZERO, 0);
            run--;
        }
        if (run < CRUSHED_PRE_RUN_SHORT_MIN) {
            while (run-- > 0)
                tokens[count++] = PreToken(CRUSHED_PRE_ZERO, 0);
        } else if (run <= RUN_SHORT_MAX) {
            tokens[count++] = PreToken(CRUSHED_PRE_RUN_SHORT, run - CRUSHED_PRE_RUN_SHORT_MIN);
        } else {
            tokens[count++] = PreToken(CRUSHED_PRE_RUN_LONG, run - CRUSHED_PRE_RUN_LONG_MIN);
        }
    }
    return count;
}

// Zero runs split at the least cost for the given pre-code lengths. Within a run the
// order of tokens does not matter, and one long-run token can always replace two,
// so a run is at most one long token plus the cheapest mix of singles and short runs.
static uint32_t TokensByCost(const uint8_t* lengths, uint32_t n, const uint8_t* preLengths,
                             uint16_t* tokens) {
    uint32_t symbolCost[3];
    for (uint32_t symbol = 0; symbol < 3; symbol++) {
        symbolCost[symbol] = (preLengths[symbol] ? preLengths[symbol] : uint32_t{UNUSED_PRE_SYMBOL_COST}) +
                             PreTokenExtraBits(symbol);
    }
    uint32_t best[CRUSHED_MAIN_SYMBOLS + 1];
    uint8_t step[CRUSHED_MAIN_SYMBOLS + 1]; // zeros covered by the last token of best[x]
    best[0] = 0;
    uint32_t solved = 0;
    uint32_t count = 0;
    for (uint32_t i = 0; i < n;) {
        uint32_t run = TakeLengthOrZeroRun(lengths, n, &i, tokens, &count);
        if (run == 0) continue;
        for (uint32_t x = solved + 1; x <= run; x++) {
            best[x] = best[x - 1] + symbolCost[CRUSHED_PRE_ZERO];
            step[x] = 1;
            for (uint32_t k = CRUSHED_PRE_RUN_SHORT_MIN; k <= RUN_SHORT_MAX && k <= x; k++) {
                if (best[x - k] + symbolCost[CRUSHED_PRE_RUN_SHORT] < best[x]) {
                    best[x] = best[x - k] + symbolCost[CRUSHED_PRE_RUN_SHORT];
                    step[x] = static_cast<uint8_t>(k);
                }
            }
        }
        if (run > solved) solved = run;
        uint32_t rest = run;
        if (run >= CRUSHED_PRE_RUN_LONG_MIN) {
            uint32_t bestRest = run;
            uint32_t bestCost = best[run];
            for (uint32_t r = 0; r + CRUSHED_PRE_RUN_LONG_MIN <= run; r++) {
                if (best[r] + symbolCost[CRUSHED_PRE_RUN_LONG] < bestCost) {
                    bestCost = best[r] + symbolCost[CRUSHED_PRE_RUN_LONG];
                    bestRest = r;
                }
            }
            if (bestRest != run) {
                tokens[count++] = PreToken(CRUSHED_PRE_RUN_LONG, run - bestRest - CRUSHED_PRE_RUN_LONG_MIN);
                rest = bestRest;
            }
        }
        while (rest > 0) {
            uint32_t k = step[rest];
            tokens[count++] = k == 1 ? PreToken(CRUSHED_PRE_ZERO, 0)
                                     : PreToken(CRUSHED_PRE_RUN_SHORT, k - CRUSHED_PRE_RUN_SHORT_MIN);
            rest -= k;
        }
    }
    return count;
}

// Bits of the pre-code and the main-code lengths sent with it.
static uint32_t PlanPreCode(const uint16_t* tokens, uint32_t tokenCount, EncCode* pre) {
    uint32_t freq[CRUSHED_PRECODE_SYMBOLS] = {0};
    for (uint32_t i = 0; i < tokenCount; i++)
        freq[tokens[i] & PRE_TOKEN_SYMBOL_MASK]++;
    BuildCode(freq, CRUSHED_PRECODE_SYMBOLS, pre);
    uint32_t bits = AuxLengthsSize(pre, CRUSHED_PRECODE_SYMBOLS, CRUSHED_PRECODE_COUNT_BITS,
                                   CRUSHED_PRECODE_SPECIAL_INDEX) +
                    CRUSHED_MAIN_COUNT_BITS;
    for (uint32_t symbol = 0; symbol < CRUSHED_PRECODE_SYMBOLS; symbol++) {
        bits += freq[symbol] * (pre->lengths[symbol] + PreTokenExtraBits(symbol));
    }
    return bits;
}

uint32_t EncPlanBlock(const EncBlockStats* stats, EncBlockPlan* plan) {
    BuildCode(stats->main, CRUSHED_MAIN_SYMBOLS, &plan->main);
    BuildCode(stats->position, CRUSHED_POSITION_SYMBOLS, &plan->position);

    uint32_t bits = CRUSHED_BLOCK_COUNT_BITS;
    if (plan->main.single >= 0) {
        plan->mainCount = 0;
        plan->preTokenCount = 0;
        bits += 2 * CRUSHED_PRECODE_COUNT_BITS + 2 * CRUSHED_MAIN_COUNT_BITS;
    } else {
        uint32_t n = LastUsed(plan->main.lengths, CRUSHED_MAIN_SYMBOLS);
        plan->mainCount = n;
        plan->preTokenCount = TokensByRule(plan->main.lengths, n, plan->preTokens);
        uint32_t ruleBits = PlanPreCode(plan->preTokens, plan->preTokenCount, &plan->pre);

        EncCode costedPre;
        uint16_t costed[CRUSHED_MAIN_SYMBOLS];
        uint32_t costedCount = TokensByCost(plan->main.lengths, n, plan->pre.lengths, costed);
        uint32_t costedBits = PlanPreCode(costed, costedCount, &costedPre);
        if (costedBits < ruleBits) {
            plan->pre = costedPre;
            std::memcpy(plan->preTokens, costed, costedCount * sizeof costed[0]);
            plan->preTokenCount = costedCount;
            ruleBits = costedBits;
        }
        bits += ruleBits;
    }
    bits += AuxLengthsSize(&plan->position, CRUSHED_POSITION_SYMBOLS, CRUSHED_POSITION_COUNT_BITS,
                           NO_SPECIAL_INDEX);
    for (uint32_t symbol = 0; symbol < CRUSHED_MAIN_SYMBOLS; symbol++) {
        bits += stats->main[symbol] * plan->main.lengths[symbol];
    }
    for (uint32_t symbol = 0; symbol < CRUSHED_POSITION_SYMBOLS; symbol++) {
        bits += stats->position[symbol] * (plan->position.lengths[symbol] + EncPositionExtraBits(symbol));
    }
    plan->bits = bits;
    return bits;
}

void EncWriteBlock(EncBitWriter* writer, const EncBlockPlan* plan, const EncSymbol* symbols, uint32_t count) {
    EncPutBits(writer, count, CRUSHED_BLOCK_COUNT_BITS);
    if (plan->main.single >= 0) {
        // The pre-code is not needed; it is sent as the single value 0.
        EncPutBits(writer, 0, CRUSHED_PRECODE_COUNT_BITS);
        EncPutBits(writer, 0, CRUSHED_PRECODE_COUNT_BITS);
        EncPutBits(writer, 0, CRUSHED_MAIN_COUNT_BITS);
        EncPutBits(writer, static_cast<uint32_t>(plan->main.single), CRUSHED_MAIN_COUNT_BITS);
    } else {
        const EncCode* pre = &plan->pre;
        WriteAuxLengths(writer, pre, CRUSHED_PRECODE_SYMBOLS, CRUSHED_PRECODE_COUNT_BITS,
                        CRUSHED_PRECODE_SPECIAL_INDEX);
        EncPutBits(writer, plan->mainCount, CRUSHED_MAIN_COUNT_BITS);
        for (uint32_t i = 0; i < plan->preTokenCount; i++) {
            uint32_t symbol = plan->preTokens[i] & PRE_TOKEN_SYMBOL_MASK;
            EncPutBits(writer, pre->codes[symbol], pre->lengths[symbol]);
            EncPutBits(writer, plan->preTokens[i] >> PRE_TOKEN_VALUE_SHIFT, PreTokenExtraBits(symbol));
        }
    }
    WriteAuxLengths(writer, &plan->position, CRUSHED_POSITION_SYMBOLS, CRUSHED_POSITION_COUNT_BITS,
                    NO_SPECIAL_INDEX);

    const EncCode* main = &plan->main;
    const EncCode* position = &plan->position;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t symbol = symbols[i].main;
        EncPutBits(writer, main->codes[symbol], main->lengths[symbol]);
        if (symbol >= 256) {
            uint32_t value = symbols[i].position;
            uint32_t slot = EncPositionSymbol(value);
            EncPutBits(writer, position->codes[slot], position->lengths[slot]);
            uint32_t extra = EncPositionExtraBits(slot);
            EncPutBits(writer, value & ((1u << extra) - 1), extra);
        }
    }
}

void EncEmitBlocks(EncBitWriter* writer, const EncSymbol* symbols, uint32_t count) {
    while (count > 0) {
        uint32_t take = count < ENC_MAX_BLOCK_SYMBOLS ? count : uint32_t{ENC_MAX_BLOCK_SYMBOLS};
        EncBlockStats stats;
        EncStatsClear(&stats);
        EncStatsAdd(&stats, symbols, take);
        EncBlockPlan plan;
        EncPlanBlock(&stats, &plan);
        EncWriteBlock(writer, &plan, symbols, take);
        symbols += take;
        count -= take;
    }
}
