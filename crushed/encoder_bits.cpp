#include "crushed/encoder_bits.h"

#include "fileio/memory.h"

int EncBitsOpen(EncBitWriter* writer, CrushedSink* sink) {
    writer->pending = 0;
    writer->pendingBits = 0;
    writer->used = 0;
    writer->sink = sink;
    writer->error = 0;
    writer->staging = static_cast<uint8_t*>(MemAlloc(ENC_STAGING_BYTES));
    return writer->staging ? 0 : ERR_NO_MEMORY;
}

void EncBitsClose(EncBitWriter* writer) {
    MemFree(writer->staging);
    writer->staging = nullptr;
}

static void HandToSink(EncBitWriter* writer) {
    CrushedSink* sink = writer->sink;
    if (writer->error == 0) {
        if (writer->used > UINT32_MAX - sink->written) {
            writer->error = ERR_BAD_ARGUMENT; // the stream would not fit a 32-bit size
        } else {
            int rc = sink->write ? sink->write(sink->context, writer->staging, writer->used) : 0;
            if (rc < 0)
                writer->error = rc;
            else
                sink->written += writer->used;
        }
    }
    writer->used = 0;
}

void EncBitsStoreWord(EncBitWriter* writer) {
    if (writer->used + 4 > ENC_STAGING_BYTES) HandToSink(writer);
    writer->pendingBits -= 32;
    uint32_t word = static_cast<uint32_t>(writer->pending >> writer->pendingBits);
    uint8_t* out = writer->staging + writer->used;
    out[0] = static_cast<uint8_t>(word >> 24);
    out[1] = static_cast<uint8_t>(word >> 16);
    out[2] = static_cast<uint8_t>(word >> 8);
    out[3] = static_cast<uint8_t>(word);
    writer->used += 4;
}

int EncBitsFinish(EncBitWriter* writer) {
    uint32_t fill = (8 - writer->pendingBits % 8) % 8;
    writer->pending <<= fill;
    writer->pendingBits += fill;
    while (writer->pendingBits > 0) {
        if (writer->used == ENC_STAGING_BYTES) HandToSink(writer);
        writer->pendingBits -= 8;
        writer->staging[writer->used++] = static_cast<uint8_t>(writer->pending >> writer->pendingBits);
    }
    writer->pending = 0;
    if (writer->used > 0) HandToSink(writer);
    return writer->error;
}
