// The Crushed codec's interface: a whole file held in memory encoded into a stream,
// and a stream decoded from a file slot chunk by chunk into the caller's window. The
// rest of this folder (bit input, code tables, the decoder's blocks, the encoder's
// match finders, parse and block layout) is the codec's own.
#pragma once

#include <cstdint>

#include "crushed/format.h"
#include "fileio/codes.h"

struct EntryDescriptor;

// ---- Encoding ----------------------------------------------------------------------
//
// Our encoder: LZ77 over the 4096-byte window with prefix codes sent anew per block,
// laid out exactly as the decoder reads it; LHA -lh4- decoders read it too. The
// stream of an empty input is empty (0 bytes). The last byte is padded with zero
// bits, so a decoder that has produced every byte has consumed exactly the stream.
// Incompressible input grows a little (about one byte in a thousand), so a caller
// that wants the smaller of the two compares with the Stored size.
//
// No global state: every call owns its buffers (from MemAlloc), so calls do not
// disturb each other or the decoder.

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

// ---- Decoding ----------------------------------------------------------------------
//
// Calling pattern for one entry: set InputSlot and CompressedLeft with the slot on the
// entry's first compressed byte, BytesWritten to 0, DecoderReset(); then DecodeChunk()
// for every 4096 bytes (the last time for the rest), adding each chunk to
// BytesWritten. The caller's chunk buffer is the window: every chunk but the last is
// exactly CRUSHED_WINDOW_SIZE bytes and the same unchanged buffer is passed each time.
// A failure is sticky: once DecoderReset or DecodeChunk has returned a negative code,
// every DecodeChunk of the entry returns it again, and the input slot no longer
// stands behind the entry's data. After a well-formed entry the slot stands exactly on
// the byte behind its compressed data, where the next record starts.
//
// The decoder reads the slot ahead of the stream's bits. Between two chunks of an entry
// the slot may stand up to a thousand bytes further on than the bits have reached; it
// is put back behind the last byte they have reached (exactly where fetching one byte
// at a time as each is needed would leave it) after DecoderReset, when the entry fails,
// after a short chunk, once no more than the rest of CompressedLeft lies ahead, and by
// DecoderPutBack, which a caller that stops after a full chunk calls before it uses
// the slot again.
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.

extern int32_t InputSlot;       // slot the compressed bytes come from; starts at -1
extern uint32_t CompressedLeft; // compressed bytes of the entry not yet fetched
extern uint32_t BytesWritten;   // the caller's count of the entry's bytes written; EVT_PROGRESS argument

// Prepares the decoding of one entry: obtains the main table when not held and
// fetches the first four compressed bytes. 0; ERR_NO_MEMORY when the table cannot be
// obtained; ERR_BAD_DATA when the input already ended within those bytes.
int DecoderReset();

// Raises EVT_PROGRESS with BytesWritten, then writes the entry's next count (1..4096)
// bytes to window[0..count-1]. 0 on success. ERR_BAD_DATA for an invalid stream or
// input that ended before the entry's compressed size; the entry's earlier failure
// code (no event then); ERR_BAD_ARGUMENT for a null window, a count outside 1..4096,
// no DecoderReset, or a call after a chunk shorter than 4096 bytes (the entry's last).
// On a failure the chunk is filled with zeros.
int DecodeChunk(EntryDescriptor* descriptor, uint32_t count, uint8_t* window);

// Puts the slot back behind the last byte the entry's stream has reached, if the
// decoder has read beyond it. For the end of an entry whose last chunk was full.
void DecoderPutBack();

// Frees the main table, if held: the table is kept from one entry to the next, and the
// caller's top-level extraction ends by releasing it.
void DecoderRelease();

// Beyond an entry's compressed size the stream continues with zero bits. 1 when the
// decoder has consumed bits beyond the entry's compressed data, i.e. the stream was
// cut short: its last codes lie in the zero bits that stand in behind it.
int BitInputOverrun();
// 1 when the input ended or could not be read while compressed bytes were still owed;
// the bits stand in for it as zeros and no further byte is fetched.
int BitInputEnded();
// Bits of the stream consumed since the entry's DecoderReset: every byte handed to the
// decoder (those fetched, and the zero bytes standing in behind the compressed data or
// for input that ended) times 8, less the bits it holds but has not consumed yet.
// Exact: more than the compressed size's bits exactly when the decoder ran past the
// data.
uint64_t BitInputBitsUsed();
