// Block decoder of the Crushed method: LZ77 over a 4096-byte window, prefix-coded.
//
// Format notes. Blocks follow each other without alignment or end marker until the
// caller has its uncompressed size. Each block is
//
//     16 bits   number of main-code symbols in the block (0 means: 2^32, i.e. the rest)
//     pre-code  lengths of the 19-symbol code that carries the main-code lengths
//     main code lengths of the 510 literals (0..255) and match lengths (256..509: 3..256)
//     pos code  lengths of the 13-symbol position code
//     symbols   main-code symbols; a match symbol is followed by its position symbol
//               s and s - 1 extra bits: position 0, or 2^(s-1) + extra; distance is
//               position + 1 (1..4096)
//
// The caller's chunk buffer is the window: every chunk of an entry but the last is
// exactly 4096 bytes and the same unchanged buffer is passed each time, so an index
// of the buffer that the current chunk has not reached yet still holds the byte
// written 4096 bytes earlier. A match that does not fit the chunk is finished at the
// start of the next call.
//
// Calling pattern for one entry: set InputSlot and CompressedLeft (bitinput.h) with
// the slot on the entry's first compressed byte, BytesWritten to 0, DecoderReset();
// then DecodeChunk() for every 4096 bytes (the last time for the rest), adding each
// chunk to BytesWritten. A failure is sticky: once DecoderReset or DecodeChunk has
// returned a negative code, every DecodeChunk of the entry returns it again, and the
// input slot no longer stands behind the entry's data.
//
// The state is process-wide (one entry is decoded at a time) and not thread-safe.
#pragma once

#include <cstdint>

#include "crushed/format.h"
#include "crushed/tables.h"

struct EntryDescriptor;

enum {
    // One 16-bit entry per 12-bit index: 8192 bytes, obtained once and kept for later entries.
    MAIN_TABLE_BYTES = MAIN_TABLE_ENTRIES * sizeof(uint16_t),
};

// ---- Process-wide state (decoder.cpp) -------------------------------------------
extern uint32_t BytesWritten; // the caller's count of the entry's bytes written; EVT_PROGRESS argument
extern uint16_t* MainTable;   // MAIN_TABLE_BYTES from MemAlloc, held until DecoderRelease
extern uint8_t MainLengths[CRUSHED_MAIN_SYMBOLS];
extern uint8_t AuxLengths[CRUSHED_PRECODE_SYMBOLS]; // pre-code, then position code (13, plus 2 spare)
extern uint32_t BlockSymbolsLeft; // main-code symbols left in the block; 0: the next one starts a block
extern int32_t PendingCopy;       // bytes of the current match still owed to the window
extern uint32_t CopyPosition;     // window index of the next byte the current match copies

// Prepares the decoding of one entry: obtains MainTable when not held and fetches the
// first four compressed bytes. 0; ERR_NO_MEMORY when MainTable cannot be obtained;
// ERR_BAD_DATA when the input already ended within those bytes.
int DecoderReset();

// Raises EVT_PROGRESS with BytesWritten, then writes the entry's next count (1..4096)
// bytes to window[0..count-1]. 0 on success. ERR_BAD_DATA for an invalid stream or
// input that ended before the entry's compressed size; the entry's earlier failure
// code (no event then); ERR_BAD_ARGUMENT for a null window, a count outside 1..4096,
// no DecoderReset, or a call after a chunk shorter than 4096 bytes (the entry's last).
// On a failure the chunk is filled with zeros.
int DecodeChunk(EntryDescriptor* descriptor, uint32_t count, uint8_t* window);

// Frees MainTable, if held. The engine calls it when its top-level extraction ends.
void DecoderRelease();

// Frees MainTable and puts the decoder, its tables and the bit input back to their
// start-up state (tests).
void DecoderResetState();
