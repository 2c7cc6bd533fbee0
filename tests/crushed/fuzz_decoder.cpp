// libFuzzer target: arbitrary Crushed streams through the decoder, from a file in a slot
// as the engine reads them. Input layout:
//   bytes 0..2  uncompressed size, little-endian, low 16 bits (up to 16 chunks)
//   byte 3      signed difference between the claimed compressed size and the bytes left
//   the rest    the stream, followed in the file by a few bytes of another record
// Nothing may crash; results are 0 or ERR_BAD_DATA; the input never passes the claimed size.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "crushed/bitinput.h"
#include "crushed/decoder.h"
#include "engine/descriptor.h"
#include "fileio/codes.h"
#include "fileio/slots.h"
#include "support/scratch.h"

static const Bytes kTrail = {'N', 'E', 'X', 'T'};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchDir scratch;
    static const std::string path = scratch.file("entry.bin");
    if (size < 4) return 0;

    uint32_t uncompressed = (data[0] | (data[1] << 8) | (data[2] << 16)) & 0xFFFFu;
    int64_t claimed = static_cast<int64_t>(size - 4) + static_cast<int8_t>(data[3]);
    uint32_t compressed = static_cast<uint32_t>(std::max<int64_t>(claimed, 0));
    Bytes file(data + 4, data + size);
    file.insert(file.end(), kTrail.begin(), kTrail.end());
    WriteFileBytes(path, file);

    int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) __builtin_trap();
    InputSlot = slot;
    CompressedLeft = compressed;
    BytesWritten = 0;
    int rc = DecoderReset();
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE);
    EntryDescriptor descriptor = {};
    for (uint32_t left = uncompressed; rc == 0 && left > 0;) {
        uint32_t n = std::min<uint32_t>(left, CRUSHED_WINDOW_SIZE);
        rc = DecodeChunk(&descriptor, n, window.data());
        BytesWritten += n;
        left -= n;
    }
    if (rc != 0 && rc != ERR_BAD_DATA) __builtin_trap();
    if (FileTell(slot) > static_cast<int32_t>(compressed)) __builtin_trap();
    FileClose(slot);
    return 0;
}
