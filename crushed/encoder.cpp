#include "crushed/crushed.h"

#include <cstring>

#include "crushed/encoder_best.h"
#include "crushed/encoder_bits.h"
#include "crushed/encoder_fast.h"
#include "fileio/memory.h"

int CrushedEncode(const uint8_t* in, uint32_t size, int level, CrushedSink* sink) {
    if (!sink) return ERR_BAD_ARGUMENT;
    sink->written = 0;
    if (!in && size > 0) return ERR_BAD_ARGUMENT;
    if (level != CRUSHED_LEVEL_FAST && level != CRUSHED_LEVEL_BEST) return ERR_BAD_ARGUMENT;
    if (size == 0) return 0;

    EncBitWriter writer;
    int rc = EncBitsOpen(&writer, sink);
    if (rc < 0) return rc;
    rc = level == CRUSHED_LEVEL_BEST ? EncBest(in, size, &writer) : EncFast(in, size, &writer);
    if (rc == 0) rc = EncBitsFinish(&writer);
    EncBitsClose(&writer);
    return rc;
}

enum {
    BUFFER_FIRST_CAPACITY = 4096,
};

int CrushedBufferAppend(void* context, const uint8_t* bytes, uint32_t count) {
    CrushedBuffer* buffer = static_cast<CrushedBuffer*>(context);
    if (count > buffer->capacity - buffer->size) {
        uint64_t wanted = buffer->capacity ? buffer->capacity : uint32_t{BUFFER_FIRST_CAPACITY};
        while (wanted < static_cast<uint64_t>(buffer->size) + count)
            wanted *= 2;
        if (wanted > UINT32_MAX) wanted = UINT32_MAX;
        uint8_t* grown = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(wanted)));
        if (!grown) return ERR_NO_MEMORY;
        if (buffer->size > 0) std::memcpy(grown, buffer->data, buffer->size);
        MemFree(buffer->data);
        buffer->data = grown;
        buffer->capacity = static_cast<uint32_t>(wanted);
    }
    std::memcpy(buffer->data + buffer->size, bytes, count);
    buffer->size += count;
    return 0;
}

int CrushedEncodeToBuffer(const uint8_t* in, uint32_t size, int level, CrushedBuffer* out) {
    if (!out) return ERR_BAD_ARGUMENT;
    *out = CrushedBuffer{nullptr, 0, 0};
    CrushedSink sink = {CrushedBufferAppend, out, 0};
    int rc = CrushedEncode(in, size, level, &sink);
    if (rc < 0) CrushedBufferFree(out);
    return rc;
}

void CrushedBufferFree(CrushedBuffer* buffer) {
    if (!buffer) return;
    MemFree(buffer->data);
    *buffer = CrushedBuffer{nullptr, 0, 0};
}
