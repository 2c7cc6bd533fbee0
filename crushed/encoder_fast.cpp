#include "crushed/encoder_fast.h"

#include "crushed/encoder_block.h"
#include "crushed/encoder_match.h"
#include "fileio/memory.h"

enum {
    // Symbols are gathered in chunks; a chunk joins the open block while one code for
    // both is smaller than two (each block's code tables cost some 50 to 100 bytes).
    FAST_CHUNK_SYMBOLS = 4096,
    FAST_BUFFER_SYMBOLS = ENC_MAX_BLOCK_SYMBOLS + FAST_CHUNK_SYMBOLS,
    FAST_TRIES = 32,       // chain links followed per search
    FAST_NICE_LENGTH = 64, // a match this long is taken without searching further
    FAST_LAZY_BELOW = 32,  // shorter matches are checked against the one a byte later
    // A 3-byte match this far back costs about as much as three literals.
    FAST_FAR_THREE = 1024,
};

struct FastState {
    EncChains chains;
    EncSymbol symbols[FAST_BUFFER_SYMBOLS]; // the open block, then the chunk being gathered
    EncBlockStats block, chunk, joined;
    EncBlockPlan plan;
};

struct FastRun {
    const uint8_t* in;
    uint32_t size;
    FastState* state;
    uint32_t blockCount; // symbols of the open block
    uint32_t blockBits;  // its planned size
    uint32_t count;      // symbols in the buffer
    EncBitWriter* writer;
};

// Ends the chunk: it joins the open block, or the block is written and the chunk
// becomes the open block.
static void CloseChunk(FastRun* run) {
    FastState* state = run->state;
    uint32_t chunkCount = run->count - run->blockCount;
    if (chunkCount == 0) return;
    EncStatsClear(&state->chunk);
    EncStatsAdd(&state->chunk, state->symbols + run->blockCount, chunkCount);
    uint32_t chunkBits = EncPlanBlock(&state->chunk, &state->plan);
    if (run->blockCount == 0) {
        state->block = state->chunk;
        run->blockBits = chunkBits;
        run->blockCount = run->count;
        return;
    }
    if (run->count <= ENC_MAX_BLOCK_SYMBOLS) {
        EncBlockStats* joined = &state->joined;
        for (uint32_t s = 0; s < CRUSHED_MAIN_SYMBOLS; s++) {
            joined->main[s] = state->block.main[s] + state->chunk.main[s];
        }
        for (uint32_t s = 0; s < CRUSHED_POSITION_SYMBOLS; s++) {
            joined->position[s] = state->block.position[s] + state->chunk.position[s];
        }
        joined->symbols = run->count;
        uint32_t joinedBits = EncPlanBlock(joined, &state->plan);
        if (joinedBits <= run->blockBits + chunkBits) {
            state->block = *joined;
            run->blockBits = joinedBits;
            run->blockCount = run->count;
            return;
        }
    }
    EncEmitBlocks(run->writer, state->symbols, run->blockCount);
    for (uint32_t i = 0; i < chunkCount; i++) {
        state->symbols[i] = state->symbols[run->blockCount + i];
    }
    state->block = state->chunk;
    run->blockBits = chunkBits;
    run->blockCount = chunkCount;
    run->count = chunkCount;
}

static uint32_t Find(FastRun* run, uint32_t pos, uint32_t* distance) {
    uint32_t length =
        EncChainsFind(&run->state->chains, run->in, run->size, pos, FAST_TRIES, FAST_NICE_LENGTH, distance);
    if (length == CRUSHED_MIN_MATCH && *distance > FAST_FAR_THREE) return 0;
    return length;
}

static void Insert(FastRun* run, uint32_t from, uint32_t to) {
    uint32_t end = run->size >= CRUSHED_MIN_MATCH ? run->size - CRUSHED_MIN_MATCH + 1 : 0;
    if (to > end) to = end;
    for (uint32_t pos = from; pos < to; pos++) {
        EncChainsInsert(&run->state->chains, run->in, pos);
    }
}

static void Emit(FastRun* run, EncSymbol symbol) {
    run->state->symbols[run->count++] = symbol;
    if (run->count - run->blockCount == FAST_CHUNK_SYMBOLS) CloseChunk(run);
}

int EncFast(const uint8_t* in, uint32_t size, EncBitWriter* writer) {
    FastState* state = static_cast<FastState*>(MemAlloc(sizeof(FastState)));
    if (!state) return ERR_NO_MEMORY;
    EncChainsReset(&state->chains);
    FastRun run = {in, size, state, 0, 0, 0, writer};

    uint32_t pos = 0;
    while (pos < size && writer->error == 0) { // a failed sink ends the work
        uint32_t distance = 0;
        uint32_t length = Find(&run, pos, &distance);
        Insert(&run, pos, pos + 1);
        if (length >= CRUSHED_MIN_MATCH && length < FAST_LAZY_BELOW) {
            uint32_t nextDistance = 0;
            uint32_t next = Find(&run, pos + 1, &nextDistance);
            if (next > length) {
                // A longer match one byte on: send this byte as a literal and take it.
                Emit(&run, EncLiteral(in[pos]));
                pos++;
                Insert(&run, pos, pos + 1);
                length = next;
                distance = nextDistance;
            }
        }
        if (length >= CRUSHED_MIN_MATCH) {
            Emit(&run, EncMatch(length, distance));
            Insert(&run, pos + 1, pos + length);
            pos += length;
        } else {
            Emit(&run, EncLiteral(in[pos]));
            pos++;
        }
    }
    CloseChunk(&run);
    EncEmitBlocks(writer, state->symbols, run.count);
    MemFree(state);
    return 0;
}
