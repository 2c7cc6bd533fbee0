#include "crushed/encoder_best.h"

#include <cstring>

#include "crushed/encoder_block.h"
#include "crushed/encoder_fast.h"
#include "crushed/encoder_match.h"
#include "fileio/memory.h"

enum {
    BEST_SEGMENT_BYTES = 1 << 18,                  // input parsed at once: 256 KiB
    BEST_SEGMENT_MATCHES = 4 * BEST_SEGMENT_BYTES, // kept matches; a segment ends early when full
    BEST_MAX_FOUND = CRUSHED_MAX_MATCH - CRUSHED_MIN_MATCH + 1, // matches one search can find
    BEST_TREE_TRIES = 64,                                       // tree nodes walked per position
    BEST_SEGMENT_PASSES = 3,                                    // parses of the whole segment
    BEST_BLOCK_PASSES = 2,                                      // parses of each block under its own codes
    // A match of the longest length is taken as it is: the bytes it covers are not
    // parsed on their own (long runs would otherwise cost 254 lengths per byte).
    BEST_TAKE_WHOLE = CRUSHED_MAX_MATCH,
    // Block ends are first chosen on a coarse grid of COARSE_CELLS fine cells (1024
    // symbols), then each is moved on the fine grid, up to NUDGE_CELLS either way,
    // while that makes its two blocks smaller. A block spans at most MAX_SPAN fine
    // cells, so that its symbol count fits its 16-bit field.
    BEST_FINE_SYMBOLS = 128,
    BEST_COARSE_CELLS = 8,
    BEST_MAX_SPAN = ENC_MAX_BLOCK_SYMBOLS / BEST_FINE_SYMBOLS,
    BEST_FINE_CELLS = BEST_SEGMENT_BYTES / BEST_FINE_SYMBOLS + 1,
    BEST_COARSE_MAX = BEST_FINE_CELLS / BEST_COARSE_CELLS + 1,
    BEST_NUDGE_CELLS = 2 * BEST_COARSE_CELLS,
    BEST_NUDGE_ROUNDS = 2,
    BEST_STATS_WIDTH = CRUSHED_MAIN_SYMBOLS + CRUSHED_POSITION_SYMBOLS,
    // Step records of the parse: length (1 for a literal) in the low bits, distance above.
    STEP_LENGTH_BITS = 9,
    STEP_LENGTH_MASK = (1 << STEP_LENGTH_BITS) - 1,
    // Costs are counted in sixteenths of a bit: the segment's parses price symbols by
    // their share of the counts, which falls between whole code lengths.
    COST_SCALE_BITS = 4,
};

static const uint32_t NO_COST = 0xFFFFFFFFu;

// Sixteenths of a bit each choice costs under some codes.
struct CostModel {
    uint32_t literal[256];
    uint32_t length[CRUSHED_MAX_MATCH + 1];
    uint32_t position[CRUSHED_POSITION_SYMBOLS]; // with the extra bits
};

// Everything of one call, about 15 MB in one allocation.
struct BestState {
    EncTree tree;
    uint32_t matchStart[BEST_SEGMENT_BYTES + 1]; // matches of position i: [matchStart[i], matchStart[i+1])
    EncFound matches[BEST_SEGMENT_MATCHES];
    uint32_t cost[BEST_SEGMENT_BYTES + 1];
    uint32_t step[BEST_SEGMENT_BYTES + 1];
    EncSymbol symbols[BEST_SEGMENT_BYTES];
    EncSymbol trial[2][BEST_SEGMENT_BYTES];
    uint32_t cellStats[BEST_FINE_CELLS + 1][BEST_STATS_WIDTH]; // symbols counted up to each fine cell
    uint32_t coarseBits[BEST_COARSE_MAX + 1];
    uint32_t coarseFrom[BEST_COARSE_MAX + 1];
    uint32_t blockEnds[BEST_FINE_CELLS + 1]; // in fine cells
    CostModel model;
    EncBlockStats stats;
    EncBlockPlan plan;
};

struct Segment {
    const uint8_t* data; // the segment's first byte
    uint32_t length;     // bytes
};

// A symbol that a code lacks would have to be added to it: guess a little longer
// than its longest code.
static uint32_t UnusedCost(const EncCode* code, uint32_t symbolCount) {
    uint32_t longest = 0;
    for (uint32_t symbol = 0; symbol < symbolCount; symbol++) {
        if (code->lengths[symbol] > longest) longest = code->lengths[symbol];
    }
    return longest + 2 < 4 ? 4 : longest + 2;
}

static void ModelFromPlan(const EncBlockPlan* plan, CostModel* model) {
    const EncCode* main = &plan->main;
    uint32_t unused = UnusedCost(main, CRUSHED_MAIN_SYMBOLS);
    for (uint32_t symbol = 0; symbol < CRUSHED_MAIN_SYMBOLS; symbol++) {
        bool used =
            main->single >= 0 ? static_cast<int32_t>(symbol) == main->single : main->lengths[symbol] != 0;
        uint32_t bits = (used ? main->lengths[symbol] : unused) << COST_SCALE_BITS;
        if (symbol < 256)
            model->literal[symbol] = bits;
        else
            model->length[symbol - CRUSHED_MATCH_OFFSET] = bits;
    }
    const EncCode* position = &plan->position;
    unused = UnusedCost(position, CRUSHED_POSITION_SYMBOLS);
    for (uint32_t symbol = 0; symbol < CRUSHED_POSITION_SYMBOLS; symbol++) {
        bool used = position->single >= 0 ? static_cast<int32_t>(symbol) == position->single
                                          : position->lengths[symbol] != 0;
        model->position[symbol] = ((used ? position->lengths[symbol] : unused) + EncPositionExtraBits(symbol))
                                  << COST_SCALE_BITS;
    }
}

// log2(value) in sixteenths of a bit, value >= 1, rounded down. Worked out in
// integers, so that every build makes the same stream.
static uint32_t ScaledLog2(uint32_t value) {
    uint32_t whole = 31 - static_cast<uint32_t>(__builtin_clz(value));
    uint64_t fraction =
        (static_cast<uint64_t>(value) << 16) >> whole; // 1.0 <= fraction < 2.0, 16 bits below the point
    uint32_t result = whole;
    for (uint32_t bit = 0; bit < COST_SCALE_BITS; bit++) {
        // Squaring doubles the logarithm: its next binary digit is whether that reaches 2.
        fraction = fraction * fraction >> 16;
        result <<= 1;
        if (fraction >= uint64_t{2} << 16) {
            fraction >>= 1;
            result |= 1;
        }
    }
    return result;
}

// Prices every symbol by its share of the counts, -log2(count / total): the bits an
// ideal code would spend, without the rounding to whole code lengths that makes a
// model taken from the codes themselves stick where it began. A symbol not counted
// is priced as half a count.
static void ModelFromCounts(const EncBlockStats* stats, CostModel* model) {
    uint32_t total = 0, positions = 0;
    for (uint32_t symbol = 0; symbol < CRUSHED_MAIN_SYMBOLS; symbol++)
        total += stats->main[symbol];
    for (uint32_t symbol = 0; symbol < CRUSHED_POSITION_SYMBOLS; symbol++)
        positions += stats->position[symbol];
    // Both sides doubled, so that half a count is a whole one.
    uint32_t all = ScaledLog2(2 * total + 2);
    for (uint32_t symbol = 0; symbol < CRUSHED_MAIN_SYMBOLS; symbol++) {
        uint32_t count = stats->main[symbol] ? 2 * stats->main[symbol] : 1;
        uint32_t cost = all - ScaledLog2(count);
        if (symbol < 256)
            model->literal[symbol] = cost;
        else
            model->length[symbol - CRUSHED_MATCH_OFFSET] = cost;
    }
    all = ScaledLog2(2 * positions + 2);
    for (uint32_t symbol = 0; symbol < CRUSHED_POSITION_SYMBOLS; symbol++) {
        uint32_t count = stats->position[symbol] ? 2 * stats->position[symbol] : 1;
        model->position[symbol] = all - ScaledLog2(count) + (EncPositionExtraBits(symbol) << COST_SCALE_BITS);
    }
}

static uint32_t SymbolBytes(EncSymbol symbol) {
    return symbol.main < 256 ? 1 : symbol.main - static_cast<uint32_t>(CRUSHED_MATCH_OFFSET);
}

// Finds and keeps the matches of every position of the segment starting at pos and
// ending at end at the latest. Returns the segment's length, shorter than
// BEST_SEGMENT_BYTES when the match store fills up. Matches may run on behind end:
// the parses cut them at the segment's end.
static uint32_t FindSegmentMatches(BestState* state, const uint8_t* in, uint32_t size, uint32_t pos,
                                   uint32_t end) {
    uint32_t kept = 0, length = 0;
    while (length < BEST_SEGMENT_BYTES && pos + length < end &&
           kept + BEST_MAX_FOUND <= BEST_SEGMENT_MATCHES) {
        state->matchStart[length] = kept;
        kept += EncTreeFind(&state->tree, in, size, pos + length, BEST_TREE_TRIES, state->matches + kept);
        length++;
    }
    state->matchStart[length] = kept;
    return length;
}

// The longest match everywhere: a first parse to take costs from.
static uint32_t GreedyParse(const BestState* state, const Segment* segment, EncSymbol* out) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < segment->length;) {
        uint32_t first = state->matchStart[i], last = state->matchStart[i + 1];
        uint32_t length = 0, distance = 0;
        if (last > first) {
            length = state->matches[last - 1].length;
            distance = state->matches[last - 1].distance;
            if (length > segment->length - i) length = segment->length - i;
        }
        if (length >= CRUSHED_MIN_MATCH) {
            out[count++] = EncMatch(length, distance);
            i += length;
        } else {
            out[count++] = EncLiteral(segment->data[i]);
            i++;
        }
    }
    return count;
}

// The cheapest parse of segment bytes [from, to) under the model: cost[i] is the
// least cost of reaching byte i, step[i] the last symbol of that way. A length
// taken from a longer match may use the distance of any match at least that long,
// so each length is given the cheapest of those. Writes the symbols to out and
// returns their number.
static uint32_t OptimalParse(BestState* state, const Segment* segment, uint32_t from, uint32_t to,
                             const CostModel* model, EncSymbol* out) {
    uint32_t* cost = state->cost;
    uint32_t* step = state->step;
    cost[from] = 0;
    for (uint32_t i = from + 1; i <= to; i++)
        cost[i] = NO_COST;
    uint32_t skipUntil = from;
    for (uint32_t i = from; i < to; i++) {
        if (i < skipUntil) continue;
        uint32_t here = cost[i];
        uint32_t literal = here + model->literal[segment->data[i]];
        if (literal < cost[i + 1]) {
            cost[i + 1] = literal;
            step[i + 1] = 1;
        }
        uint32_t first = state->matchStart[i], last = state->matchStart[i + 1];
        uint32_t room = to - i;
        if (last > first && state->matches[last - 1].length >= BEST_TAKE_WHOLE && room >= BEST_TAKE_WHOLE) {
            skipUntil = i + BEST_TAKE_WHOLE;
        }
        uint32_t cheapest = NO_COST, cheapestDistance = 0;
        for (uint32_t k = last; k > first; k--) {
            const EncFound* match = &state->matches[k - 1];
            uint32_t distanceCost = model->position[EncPositionSymbol(match->distance - 1u)];
            if (distanceCost < cheapest) {
                cheapest = distanceCost;
                cheapestDistance = match->distance;
            }
            uint32_t shortest =
                k - 1 > first ? state->matches[k - 2].length + 1u : uint32_t{CRUSHED_MIN_MATCH};
            uint32_t longest = match->length < room ? match->length : room;
            uint32_t base = here + cheapest;
            for (uint32_t length = shortest; length <= longest; length++) {
                uint32_t total = base + model->length[length];
                if (total < cost[i + length]) {
                    cost[i + length] = total;
                    step[i + length] = length | cheapestDistance << STEP_LENGTH_BITS;
                }
            }
        }
    }
    // Walk back from the end, then turn the symbols round.
    uint32_t count = 0;
    for (uint32_t i = to; i > from;) {
        uint32_t length = step[i] & STEP_LENGTH_MASK;
        i -= length;
        out[count++] = length == 1 ? EncLiteral(segment->data[i])
                                   : EncMatch(length, step[i + length] >> STEP_LENGTH_BITS);
    }
    for (uint32_t a = 0, b = count; a + 1 < b; a++, b--) {
        EncSymbol swap = out[a];
        out[a] = out[b - 1];
        out[b - 1] = swap;
    }
    return count;
}

static uint32_t PlanSymbols(BestState* state, const EncSymbol* symbols, uint32_t count) {
    EncStatsClear(&state->stats);
    EncStatsAdd(&state->stats, symbols, count);
    return EncPlanBlock(&state->stats, &state->plan);
}

// Counts the symbols up to the end of every fine cell. Returns the number of cells.
static uint32_t CountCells(BestState* state, const EncSymbol* symbols, uint32_t count) {
    uint32_t cells = (count + BEST_FINE_SYMBOLS - 1) / BEST_FINE_SYMBOLS;
    std::memset(state->cellStats[0], 0, sizeof state->cellStats[0]);
    for (uint32_t cell = 0; cell < cells; cell++) {
        uint32_t* row = state->cellStats[cell + 1];
        std::memcpy(row, state->cellStats[cell], sizeof state->cellStats[0]);
        uint32_t end = (cell + 1) * BEST_FINE_SYMBOLS < count ? (cell + 1) * BEST_FINE_SYMBOLS : count;
        for (uint32_t i = cell * BEST_FINE_SYMBOLS; i < end; i++) {
            row[symbols[i].main]++;
            if (symbols[i].main >= 256) row[CRUSHED_MAIN_SYMBOLS + EncPositionSymbol(symbols[i].position)]++;
        }
    }
    return cells;
}

// The exact size of one block of fine cells [from, to).
static uint32_t CellBlockBits(BestState* state, uint32_t from, uint32_t to) {
    EncBlockStats* stats = &state->stats;
    const uint32_t* high = state->cellStats[to];
    const uint32_t* low = state->cellStats[from];
    for (uint32_t s = 0; s < CRUSHED_MAIN_SYMBOLS; s++)
        stats->main[s] = high[s] - low[s];
    for (uint32_t s = 0; s < CRUSHED_POSITION_SYMBOLS; s++)
        stats->position[s] = high[CRUSHED_MAIN_SYMBOLS + s] - low[CRUSHED_MAIN_SYMBOLS + s];
    return EncPlanBlock(stats, &state->plan);
}

// Block ends on the coarse grid by the least total of exact block sizes, into
// blockEnds. Returns the number of blocks.
static uint32_t SplitCoarse(BestState* state, uint32_t cells) {
    uint32_t coarse = (cells + BEST_COARSE_CELLS - 1) / BEST_COARSE_CELLS;
    uint32_t maxSpan = BEST_MAX_SPAN / BEST_COARSE_CELLS;
    state->coarseBits[0] = 0;
    for (uint32_t to = 1; to <= coarse; to++) {
        state->coarseBits[to] = NO_COST;
        uint32_t toCell = to * BEST_COARSE_CELLS < cells ? to * BEST_COARSE_CELLS : cells;
        for (uint32_t from = to > maxSpan ? to - maxSpan : 0; from < to; from++) {
            uint32_t total = state->coarseBits[from] + CellBlockBits(state, from * BEST_COARSE_CELLS, toCell);
            if (total < state->coarseBits[to]) {
                state->coarseBits[to] = total;
                state->coarseFrom[to] = from;
            }
        }
    }
    uint32_t blocks = 0;
    for (uint32_t at = coarse; at > 0; at = state->coarseFrom[at])
        blocks++;
    uint32_t index = blocks;
    for (uint32_t at = coarse; at > 0; at = state->coarseFrom[at])
        state->blockEnds[--index] = at * BEST_COARSE_CELLS < cells ? at * BEST_COARSE_CELLS : cells;
    return blocks;
}

// Moves every block end between two blocks to the fine cell where the two come out
// smallest; the coarse grid rarely meets the place where the data changes.
static void NudgeBlockEnds(BestState* state, uint32_t blocks) {
    uint32_t* ends = state->blockEnds;
    for (uint32_t round = 0; round < BEST_NUDGE_ROUNDS; round++) {
        bool moved = false;
        for (uint32_t j = 0; j + 1 < blocks; j++) {
            uint32_t from = j > 0 ? ends[j - 1] : 0, to = ends[j + 1];
            uint32_t bestEnd = ends[j];
            uint32_t bestBits = CellBlockBits(state, from, bestEnd) + CellBlockBits(state, bestEnd, to);
            uint32_t lowest = ends[j] > from + BEST_NUDGE_CELLS ? ends[j] - BEST_NUDGE_CELLS : from + 1;
            if (to > lowest + BEST_MAX_SPAN) lowest = to - BEST_MAX_SPAN;
            uint32_t highest = ends[j] + BEST_NUDGE_CELLS < to ? ends[j] + BEST_NUDGE_CELLS : to - 1;
            if (highest > from + BEST_MAX_SPAN) highest = from + BEST_MAX_SPAN;
            for (uint32_t end = lowest; end <= highest; end++) {
                if (end == ends[j]) continue;
                uint32_t bits = CellBlockBits(state, from, end) + CellBlockBits(state, end, to);
                if (bits < bestBits) {
                    bestBits = bits;
                    bestEnd = end;
                }
            }
            if (bestEnd != ends[j]) moved = true;
            ends[j] = bestEnd;
        }
        if (!moved) break;
    }
}

// Parses one block's bytes again under the block's own codes and writes whichever
// parse is smaller.
static void WriteBlock(BestState* state, const Segment* segment, uint32_t from, uint32_t to,
                       const EncSymbol* symbols, uint32_t count, EncBitWriter* writer) {
    const EncSymbol* best = symbols;
    uint32_t bestCount = count;
    uint32_t bestBits = PlanSymbols(state, symbols, count);
    for (uint32_t pass = 0; pass < BEST_BLOCK_PASSES; pass++) {
        ModelFromPlan(&state->plan, &state->model);
        EncSymbol* trial = best == state->trial[0] ? state->trial[1] : state->trial[0];
        uint32_t trialCount = OptimalParse(state, segment, from, to, &state->model, trial);
        if (trialCount > ENC_MAX_BLOCK_SYMBOLS) break;
        uint32_t bits = PlanSymbols(state, trial, trialCount);
        if (bits >= bestBits) break;
        best = trial;
        bestCount = trialCount;
        bestBits = bits;
    }
    EncEmitBlocks(writer, best, bestCount);
}

static void EncodeSegment(BestState* state, const Segment* segment, EncBitWriter* writer) {
    uint32_t count = GreedyParse(state, segment, state->symbols);
    for (uint32_t pass = 0; pass < BEST_SEGMENT_PASSES; pass++) {
        EncStatsClear(&state->stats);
        EncStatsAdd(&state->stats, state->symbols, count);
        ModelFromCounts(&state->stats, &state->model);
        count = OptimalParse(state, segment, 0, segment->length, &state->model, state->symbols);
    }
    uint32_t cells = CountCells(state, state->symbols, count);
    uint32_t blocks = SplitCoarse(state, cells);
    NudgeBlockEnds(state, blocks);

    // Block ends are turned into symbol and byte ranges.
    uint32_t symbol = 0, byte = 0;
    for (uint32_t block = 0; block < blocks; block++) {
        uint32_t endSymbol = state->blockEnds[block] * BEST_FINE_SYMBOLS;
        if (endSymbol > count) endSymbol = count;
        uint32_t endByte = byte;
        for (uint32_t i = symbol; i < endSymbol; i++)
            endByte += SymbolBytes(state->symbols[i]);
        WriteBlock(state, segment, byte, endByte, state->symbols + symbol, endSymbol - symbol, writer);
        symbol = endSymbol;
        byte = endByte;
    }
}

// Format notes: blocks stand on their own but for the window, which is the input
// itself, so the stream may switch between two parses of the input wherever both end
// a block. The fast level's blocks are made alongside: every stretch of at least a
// segment's bytes that ends where a fast block ends is encoded both ways, and the
// fewer bits go into the stream. The best level therefore never comes out larger than
// the fast one, whose stream is the sum of the same stretches.
int EncBest(const uint8_t* in, uint32_t size, EncBitWriter* writer) {
    BestState* state = static_cast<BestState*>(MemAlloc(sizeof(BestState)));
    if (!state) return ERR_NO_MEMORY;
    EncBitRecord fastBits, bestBits;
    FastRun fast = {};
    int rc = EncRecordOpen(&fastBits);
    if (EncRecordOpen(&bestBits) < 0) rc = ERR_NO_MEMORY;
    if (rc == 0) rc = EncFastStart(&fast, in, size, &fastBits.writer);
    EncTreeReset(&state->tree);
    for (uint32_t pos = 0; rc == 0 && pos < size && writer->error == 0;) { // a failed sink ends the work
        uint32_t end = pos;
        while (end < size && end - pos < BEST_SEGMENT_BYTES)
            end = EncFastAdvance(&fast);
        for (uint32_t at = pos; at < end;) {
            Segment segment;
            segment.data = in + at;
            segment.length = FindSegmentMatches(state, in, size, at, end);
            EncodeSegment(state, &segment, &bestBits.writer);
            at += segment.length;
        }
        if (fastBits.writer.error != 0 || bestBits.writer.error != 0) {
            rc = ERR_NO_MEMORY; // the only failure of a record's sink
            break;
        }
        EncRecordCopy(EncRecordBits(&bestBits) <= EncRecordBits(&fastBits) ? &bestBits : &fastBits, writer);
        EncRecordEmpty(&bestBits);
        EncRecordEmpty(&fastBits);
        pos = end;
    }
    if (fast.state != nullptr) EncFastEnd(&fast);
    EncRecordClose(&bestBits);
    EncRecordClose(&fastBits);
    MemFree(state);
    return rc;
}
