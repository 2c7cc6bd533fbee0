// Streams that our encoder writes only when asked: a block whose pre-code uses every
// length form, for the decoders to prove they read them.
#pragma once

#include "crushed/encoder_bits.h"
#include "crushed/encoder_block.h"
#include "crushed/encoder_huffman.h"
#include "support/scratch.h"

// The input as literals in one block (at most 65535 bytes), with the pre-code
// replaced by a complete code over all 19 symbols whose lengths run 1..12, 14, 14,
// 15, 15, 15, 16, 16: every length from 7 up takes the escape form.
inline Bytes StreamWithDeepPreCode(const Bytes& input) {
    std::vector<EncSymbol> symbols;
    for (uint8_t byte : input)
        symbols.push_back(EncLiteral(byte));
    EncBlockStats stats;
    EncStatsClear(&stats);
    EncStatsAdd(&stats, symbols.data(), static_cast<uint32_t>(symbols.size()));
    EncBlockPlan plan;
    EncPlanBlock(&stats, &plan);
    static const uint8_t kDeep[19] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 14, 15, 15, 15, 16, 16};
    for (int symbol = 0; symbol < 19; symbol++)
        plan.pre.lengths[symbol] = kDeep[(symbol + 3) % 19];
    EncCanonicalCodes(plan.pre.lengths, 19, plan.pre.codes);
    plan.pre.single = -1;

    Bytes stream;
    CrushedSink sink = {[](void* context, const uint8_t* bytes, uint32_t count) {
                            Bytes* out = static_cast<Bytes*>(context);
                            out->insert(out->end(), bytes, bytes + count);
                            return 0;
                        },
                        &stream, 0};
    EncBitWriter writer;
    if (EncBitsOpen(&writer, &sink) != 0) return Bytes();
    EncWriteBlock(&writer, &plan, symbols.data(), static_cast<uint32_t>(symbols.size()));
    EncBitsFinish(&writer);
    EncBitsClose(&writer);
    return stream;
}
