// Fuzz target: any bytes at either level must come back exactly through our decoder.
//
// The first byte chooses the level (bit 0) and how many times the rest is repeated
// (bits 1..3, 1 to 8 times), so that short inputs still reach long matches and
// several chunks. The stream is decoded from a file slot as extraction does.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crushed/bitinput.h"
#include "crushed/decoder.h"
#include "crushed/crushed.h"
#include "engine/descriptor.h"
#include "fileio/slots.h"
#include "support/scratch.h"

static const ScratchDir& Scratch() {
    static ScratchDir scratch;
    return scratch;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int level = (data[0] & 1) ? CRUSHED_LEVEL_BEST : CRUSHED_LEVEL_FAST;
    int repeats = 1 + ((data[0] >> 1) & 7);
    Bytes input;
    for (int i = 0; i < repeats; i++)
        input.insert(input.end(), data + 1, data + size);

    CrushedBuffer stream = {};
    if (CrushedEncodeToBuffer(input.data(), static_cast<uint32_t>(input.size()), level, &stream) != 0)
        abort();
    std::string path = Scratch().file("stream.bin");
    WriteFileBytes(path, Bytes(stream.data, stream.data + stream.size));
    uint32_t streamSize = stream.size;
    CrushedBufferFree(&stream);

    FileResetSlots();
    int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) abort();
    InputSlot = slot;
    CompressedLeft = streamSize;
    BytesWritten = 0;
    if (DecoderReset() != 0) abort();
    EntryDescriptor descriptor = {};
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE);
    for (size_t done = 0; done < input.size();) {
        uint32_t count = static_cast<uint32_t>(std::min<size_t>(input.size() - done, CRUSHED_WINDOW_SIZE));
        if (DecodeChunk(&descriptor, count, window.data()) != 0) abort();
        for (uint32_t i = 0; i < count; i++) {
            if (window[i] != input[done + i]) abort();
        }
        done += count;
        BytesWritten += count;
    }
    // The decoder has taken exactly the stream.
    if (FileTell(slot) != static_cast<int32_t>(streamSize)) abort();
    FileClose(slot);
    DecoderRelease();
    return 0;
}
