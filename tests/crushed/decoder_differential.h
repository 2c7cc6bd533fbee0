// Our decoder against the frozen reference (reference_decoder.h) on one entry: both
// decode the same file the engine's way, and everything a caller can see must agree:
// each call's result, the bytes, the progress events, the bit input's counts after
// every call, and where the slot stands after DecoderReset, after a failed or short
// chunk and after the entry (ours reads ahead between full chunks: crushed/crushed.h).
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "crushed/crushed.h"
#include "crushed/decoder.h"
#include "engine/descriptor.h"
#include "engine/engine.h"
#include "engine/events.h"
#include "fileio/slots.h"
#include "reference_decoder.h"
#include "support/scratch.h"

// One decoder's public face.
struct DecoderCalls {
    int32_t* inputSlot;
    uint32_t* compressedLeft;
    uint32_t* bytesWritten;
    int (*reset)();
    int (*chunk)(EntryDescriptor*, uint32_t, uint8_t*);
    int (*overrun)();
    int (*ended)();
    uint64_t (*bitsUsed)();
    void (*putBack)(); // null: the decoder never reads ahead
};

inline const DecoderCalls& OurDecoder() {
    static const DecoderCalls calls = {&InputSlot,    &CompressedLeft,  &BytesWritten,
                                       DecoderReset,  DecodeChunk,      BitInputOverrun,
                                       BitInputEnded, BitInputBitsUsed, DecoderPutBack};
    return calls;
}

inline const DecoderCalls& ReferenceDecoder() {
    static const DecoderCalls calls = {
        &reference::InputSlot,    &reference::CompressedLeft,  &reference::BytesWritten,
        reference::DecoderReset,  reference::DecodeChunk,      reference::BitInputOverrun,
        reference::BitInputEnded, reference::BitInputBitsUsed, nullptr};
    return calls;
}

// What a caller saw of one entry: after DecoderReset and after each DecodeChunk, the
// call's result, the slot's position and the bit input's counts; every event with the
// slot's position while it was raised; the bytes of every chunk.
struct DecoderTrace {
    std::vector<int64_t> steps;
    Bytes output;

    bool operator==(const DecoderTrace& other) const {
        return steps == other.steps && output == other.output;
    }
};

namespace differential {
inline DecoderTrace* g_trace = nullptr;
inline int RecordEvent(EntryDescriptor*, int32_t code, int32_t argument) {
    g_trace->steps.insert(g_trace->steps.end(), {-1000, code, argument});
    return 0;
}
} // namespace differential

// Decodes `uncompressed` bytes of the entry whose stream starts at `start` in the file,
// with `claimed` compressed bytes, in chunks of 4096 through one window; after a
// failure one more chunk is asked for, which must repeat it.
inline DecoderTrace TraceDecoder(const DecoderCalls& calls, const std::string& path, int32_t start,
                                 uint32_t claimed, uint32_t uncompressed) {
    DecoderTrace trace;
    const int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) return trace;
    FileSeek(slot, start, FILE_SEEK_START);
    differential::g_trace = &trace;
    SetEventHandler(EVENT_SLOT_MAIN, differential::RecordEvent);
    auto note = [&](int result, bool where) {
        trace.steps.insert(trace.steps.end(), {result, *calls.compressedLeft, calls.overrun(), calls.ended(),
                                               static_cast<int64_t>(calls.bitsUsed())});
        if (where) trace.steps.push_back(FileTell(slot));
    };
    *calls.inputSlot = slot;
    *calls.compressedLeft = claimed;
    *calls.bytesWritten = 0;
    int result = calls.reset();
    note(result, true);
    std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE, 0xCC);
    EntryDescriptor descriptor = {};
    for (uint32_t left = uncompressed; result == 0 && left > 0;) {
        const uint32_t n = left < CRUSHED_WINDOW_SIZE ? left : static_cast<uint32_t>(CRUSHED_WINDOW_SIZE);
        result = calls.chunk(&descriptor, n, window.data());
        note(result, result < 0 || n < CRUSHED_WINDOW_SIZE);
        trace.output.insert(trace.output.end(), window.begin(), window.begin() + n);
        if (result < 0) note(calls.chunk(&descriptor, n, window.data()), true);
        *calls.bytesWritten += n;
        left -= n;
    }
    if (calls.putBack != nullptr) calls.putBack();
    trace.steps.push_back(FileTell(slot));
    EventsReset();
    differential::g_trace = nullptr;
    FileClose(slot);
    return trace;
}

// Where the two traces first part, for a failure message.
inline std::string FirstDifference(const DecoderTrace& ours, const DecoderTrace& reference) {
    std::ostringstream text;
    size_t i = 0;
    while (i < ours.steps.size() && i < reference.steps.size() && ours.steps[i] == reference.steps[i])
        i++;
    if (i < ours.steps.size() || i < reference.steps.size()) {
        text << "step value " << i << ": ours " << (i < ours.steps.size() ? ours.steps[i] : -1)
             << ", reference " << (i < reference.steps.size() ? reference.steps[i] : -1);
        return text.str();
    }
    size_t b = 0;
    while (b < ours.output.size() && b < reference.output.size() && ours.output[b] == reference.output[b])
        b++;
    text << "output byte " << b << " (sizes " << ours.output.size() << ", " << reference.output.size() << ")";
    return text.str();
}

// The file of one entry: lead bytes, the stream, trail bytes (the next record).
inline Bytes EntryFile(const Bytes& stream, size_t lead) {
    Bytes file(lead, 0x5A);
    file.insert(file.end(), stream.begin(), stream.end());
    for (uint8_t b : {0x67, 0x57, 0x04, 0x01, 0xA5, 0x00, 0xFF})
        file.push_back(b);
    return file;
}
