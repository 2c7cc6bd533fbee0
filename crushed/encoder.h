// Our Crushed encoder: turns a whole file held in memory into a Crushed stream.
//
// The stream is LZ77 over the 4096-byte window with prefix codes sent anew per
// block, laid out exactly as the decoder reads it; LHA -lh4- decoders read it too.
// The stream of an empty input is empty (0 bytes). The last byte is padded with
// zero bits, so a decoder that has produced every byte has consumed exactly the
// stream. Incompressible input grows a little (about one byte in a thousand), so a
// caller that wants the smaller of the two compares with the Stored size.
//
// No global state: every call owns its buffers (from MemAlloc), so calls do not
// disturb each other or the decoder.
#pragma once

#include <cstdint>

#include "fileio/codes.h"

enum {
    // Hash chains and one-step lazy matching, blocks of a fixed symbol count.
    CRUSHED_LEVEL_FAST = 1,
    // Binary-tree match finder, a parse optimised against the codes' bit costs
    // (iterated), and blocks split where the codes change; never larger than the fast
    // level's stream, which it is weighed against stretch by stretch.
    CRUSHED_LEVEL_BEST = 2,
    CRUSHED_LEVEL_DEFAULT = CRUSHED_LEVEL_FAST,
};

// Receives the stream in order, in pieces of any size. Returns 0, or a negative
// result code, which stops the encoder and becomes CrushedEncode's result.
typedef int (*CrushedWriteFn)(void* context, const uint8_t* bytes, uint32_t count);

struct CrushedSink {
    CrushedWriteFn write; // null: only count the bytes
    void* context;
    uint32_t written; // bytes of the stream so far; the compressed size after success
};

// Encodes size bytes at in (in may be null when size is 0). Sets sink->written to 0
// first. Returns 0, or ERR_BAD_ARGUMENT (null sink, null input, unknown level, a
// stream that would not fit 32 bits), ERR_NO_MEMORY, or the sink's own code.
int CrushedEncode(const uint8_t* in, uint32_t size, int level, CrushedSink* sink);

// An in-memory stream: data holds size bytes, from MemAlloc.
struct CrushedBuffer {
    uint8_t* data;
    uint32_t size;
    uint32_t capacity;
};

// Encodes into *out, which must be empty ({} or freed). On failure *out is empty.
int CrushedEncodeToBuffer(const uint8_t* in, uint32_t size, int level, CrushedBuffer* out);
void CrushedBufferFree(CrushedBuffer* buffer);
