#include "crushed/encoder_fast.h"

#include <cstring>

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

// Input bytes that symbols stand for.
static uint32_t BytesOf(const EncSymbol* symbols, uint32_t count) {
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < count; i++)
        bytes += symbols[i].main < 256 ? 1 : symbols[i].main - static_cast<uint32_t>(CRUSHED_MATCH_OFFSET);
    return bytes;
}

// The open block's symbols go out as blocks; `written` follows them.
static void WriteSymbols(FastRun* run, uint32_t count) {
    EncEmitBlocks(run->writer, run->state->symbols, count);
    run->written += BytesOf(run->state->symbols, count);
}

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
    WriteSymbols(run, run->blockCount);
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

int EncFastStart(FastRun* run, const uint8_t* in, uint32_t size, EncBitWriter* writer) {
    std::memset(run, 0, sizeof *run);
    run->state = static_cast<FastState*>(MemAlloc(sizeof(FastState)));
    if (!run->state) return ERR_NO_MEMORY;
    EncChainsReset(&run->state->chains);
    run->in = in;
    run->size = size;
    run->writer = writer;
    return 0;
}

uint32_t EncFastAdvance(FastRun* run) {
    const uint8_t* in = run->in;
    const uint32_t size = run->size;
    const uint32_t before = run->written;
    uint32_t pos = run->pos;
    // A failed sink ends the work.
    while (pos < size && run->writer->error == 0 && run->written == before) {
        uint32_t distance = 0;
        uint32_t length = Find(run, pos, &distance);
        Insert(run, pos, pos + 1);
        if (length >= CRUSHED_MIN_MATCH && length < FAST_LAZY_BELOW) {
            uint32_t nextDistance = 0;
            uint32_t next = Find(run, pos + 1, &nextDistance);
            if (next > length) {
                // A longer match one byte on: send this byte as a literal and take it.
                Emit(run, EncLiteral(in[pos]));
                pos++;
                Insert(run, pos, pos + 1);
                length = next;
                distance = nextDistance;
            }
        }
        if (length >= CRUSHED_MIN_MATCH) {
            Emit(run, EncMatch(length, distance));
            Insert(run, pos + 1, pos + length);
            pos += length;
        } else {
            Emit(run, EncLiteral(in[pos]));
            pos++;
        }
    }
    run->pos = pos;
    if (pos >= size && !run->finished) {
        CloseChunk(run);
        WriteSymbols(run, run->count);
        run->count = 0;
        run->blockCount = 0;
        run->finished = 1;
    }
    // After a failed sink nothing more is written: the rest counts as done.
    if (run->writer->error != 0) run->written = size;
    return run->written;
}

void EncFastEnd(FastRun* run) {
    MemFree(run->state);
    run->state = nullptr;
}

int EncFast(const uint8_t* in, uint32_t size, EncBitWriter* writer) {
    FastRun run;
    if (EncFastStart(&run, in, size, writer) < 0) return ERR_NO_MEMORY;
    while (EncFastAdvance(&run) < size) {
    }
    EncFastEnd(&run);
    return 0;
}
