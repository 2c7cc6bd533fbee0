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

int EncRecordOpen(EncBitRecord* record) {
    record->bytes = CrushedBuffer{nullptr, 0, 0};
    record->sink = CrushedSink{CrushedBufferAppend, &record->bytes, 0};
    return EncBitsOpen(&record->writer, &record->sink);
}

void EncRecordClose(EncBitRecord* record) {
    EncBitsClose(&record->writer);
    CrushedBufferFree(&record->bytes);
}

uint64_t EncRecordBits(const EncBitRecord* record) {
    return (static_cast<uint64_t>(record->bytes.size) + record->writer.used) * 8 + record->writer.pendingBits;
}

static void CopyBytes(EncBitWriter* writer, const uint8_t* bytes, uint32_t count) {
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        EncPutBits(writer,
                   static_cast<uint32_t>(bytes[i]) << 24 | static_cast<uint32_t>(bytes[i + 1]) << 16 |
                       static_cast<uint32_t>(bytes[i + 2]) << 8 | bytes[i + 3],
                   32);
    }
    for (; i < count; i++)
        EncPutBits(writer, bytes[i], 8);
}

void EncRecordCopy(EncBitRecord* record, EncBitWriter* writer) {
    CopyBytes(writer, record->bytes.data, record->bytes.size);
    CopyBytes(writer, record->writer.staging, record->writer.used);
    const uint32_t bits = record->writer.pendingBits;
    // pending keeps older bits above the last pendingBits.
    if (bits > 0) EncPutBits(writer, static_cast<uint32_t>(record->writer.pending & ((1ull << bits) - 1)), bits);
    EncRecordEmpty(record);
}

void EncRecordEmpty(EncBitRecord* record) {
    record->bytes.size = 0;
    record->sink.written = 0;
    record->writer.used = 0;
    record->writer.pending = 0;
    record->writer.pendingBits = 0;
}
