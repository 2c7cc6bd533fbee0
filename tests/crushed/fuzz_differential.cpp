// libFuzzer target: arbitrary Crushed streams through our decoder and the frozen
// reference decoder, which must agree on everything a caller sees. Input layout:
//   bytes 0..1  uncompressed size, little-endian (up to 16 chunks)
//   byte 2      signed difference between the claimed compressed size and the bytes left
//   byte 3      bit 0: the file ends with the stream (no next record behind it)
//   the rest    the stream
#include <cstdint>

#include "decoder_differential.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchDir scratch;
    static const std::string path = scratch.file("entry.bin");
    if (size < 4) return 0;

    const uint32_t uncompressed = data[0] | (data[1] << 8);
    const int64_t claimed = static_cast<int64_t>(size - 4) + static_cast<int8_t>(data[2]);
    const Bytes stream(data + 4, data + size);
    Bytes file = EntryFile(stream, 7);
    if (data[3] & 1) file.resize(7 + stream.size());
    WriteFileBytes(path, file);

    const uint32_t compressed = static_cast<uint32_t>(claimed < 0 ? 0 : claimed);
    const DecoderTrace ours = TraceDecoder(OurDecoder(), path, 7, compressed, uncompressed);
    const DecoderTrace expected = TraceDecoder(ReferenceDecoder(), path, 7, compressed, uncompressed);
    if (!(ours == expected)) __builtin_trap();
    return 0;
}
