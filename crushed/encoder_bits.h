// The encoder's bit output: bits are packed most significant first, the order in
// which the decoder's bit input takes them, and handed to the sink in pieces.
#pragma once

#include <cstdint>

#include "crushed/crushed.h"

enum {
    ENC_STAGING_BYTES = 16384, // bytes gathered before each call of the sink
};

struct EncBitWriter {
    uint64_t pending;     // bits not yet stored, right-aligned
    uint32_t pendingBits; // 0..31 between calls
    uint8_t* staging;     // ENC_STAGING_BYTES from MemAlloc
    uint32_t used;        // bytes in staging
    CrushedSink* sink;
    int error; // first failure (a sink's code or ERR_BAD_ARGUMENT); sticky
};

int EncBitsOpen(EncBitWriter* writer, CrushedSink* sink); // 0 or ERR_NO_MEMORY
void EncBitsClose(EncBitWriter* writer);                  // frees the staging buffer
void EncBitsStoreWord(EncBitWriter* writer);              // moves 32 pending bits to staging
// Pads the last byte with zero bits and hands everything to the sink. Returns
// writer->error.
int EncBitsFinish(EncBitWriter* writer);

// Appends the low count bits of value (count 0..32; value has no higher bits).
inline void EncPutBits(EncBitWriter* writer, uint32_t value, uint32_t count) {
    writer->pending = (writer->pending << count) | value;
    writer->pendingBits += count;
    if (writer->pendingBits >= 32) EncBitsStoreWord(writer);
}

// Bits kept in memory, to be weighed against others before they are copied to the
// stream or dropped. The record must not move while open: its writer points at its
// sink.
struct EncBitRecord {
    EncBitWriter writer; // write the bits here
    CrushedSink sink;
    CrushedBuffer bytes; // whole staging buffers handed over so far
};

int EncRecordOpen(EncBitRecord* record); // 0 or ERR_NO_MEMORY
void EncRecordClose(EncBitRecord* record);
uint64_t EncRecordBits(const EncBitRecord* record); // bits written since it was opened or emptied
// Appends the recorded bits to writer, bit for bit, and empties the record.
void EncRecordCopy(EncBitRecord* record, EncBitWriter* writer);
void EncRecordEmpty(EncBitRecord* record);

// The sink of CrushedEncodeToBuffer: appends to the CrushedBuffer at context.
int CrushedBufferAppend(void* context, const uint8_t* bytes, uint32_t count);
