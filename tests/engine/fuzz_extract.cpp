// libFuzzer target: arbitrary bytes as an archive (or as a recipe for one, see
// FromRecipe), extracted by ExtractArchive into a folder three levels down in a
// scratch folder. Nothing may crash, nothing may appear outside the destination
// (beside it, above it, or at the root of the drive), and no slot or buffer may be
// left behind.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "crushed/decoder.h"
#include "crushed/crushed.h"
#include "engine/extract.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/slots.h"
#include "support/scratch.h"

namespace {

// A damaged stream may claim gigabytes and produce them from a few bytes: stop any
// entry past this much output.
const int32_t OUTPUT_LIMIT = 1 << 20;

int StopLargeEntries(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (event == EVT_PROGRESS && argument > OUTPUT_LIMIT && desc != nullptr) desc->status = STATUS_CANCEL;
    return 0;
}

// Reads the input as a recipe for an archive, so that the fuzzer reaches well-formed
// records quickly: entries of (name length, name, method, flags, size, data), each
// Crushed one through our encoder with one byte of its stream changed on request, the
// end record, then whatever input is left as trailing bytes.
Bytes FromRecipe(const uint8_t* data, size_t size) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    while (at + 4 < size && writer.entries < 8) {
        const size_t nameLength = next() % 24 + 1;
        EntryHeaderFields header;
        EntryHeaderDefaults(&header, "X", 0);
        const size_t take = std::min(nameLength, size - at);
        EntryHeaderSetName(&header, data + at, static_cast<uint32_t>(take));
        at += take;
        const uint8_t method = next();
        header.block.method = static_cast<uint8_t>(method & 3);
        header.block.flags = next();
        header.block.name_case = (method & 4) ? NAME_CASE_KEEP : 0;
        const size_t length = std::min<size_t>(static_cast<size_t>(next()) * 37, size - at);
        Bytes payload(data + at, data + at + length);
        at += length;
        header.block.uncompressed_size = static_cast<uint32_t>(payload.size());
        if (header.block.method == METHOD_CRUSHED) {
            CrushedBuffer stream = {};
            if (CrushedEncodeToBuffer(payload.data(), static_cast<uint32_t>(payload.size()),
                                      CRUSHED_LEVEL_FAST, &stream) != 0)
                break;
            payload.assign(stream.data, stream.data + stream.size);
            CrushedBufferFree(&stream);
            if ((method & 8) && !payload.empty()) payload[next() % payload.size()] ^= next();
        }
        header.block.compressed_size = static_cast<uint32_t>(payload.size());
        if (method & 16) header.block.uncompressed_size += next();
        WriterPutEntry(&writer, &header, payload.data(), static_cast<uint32_t>(payload.size()));
    }
    WriterPutEnd(&writer, nullptr, 0);
    out.insert(out.end(), data + at, data + size);
    return out;
}

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        names.insert(it->path().filename().string());
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchDir scratch;
    static const std::filesystem::path outer = scratch.path() / "A";
    static const std::filesystem::path inner = outer / "B";
    static const std::filesystem::path out = inner / "OUT";
    static const std::string archive = scratch.file("IN.ARQ");
    static const std::set<std::string> root = Names("/");

    std::error_code ec;
    std::filesystem::remove_all(out, ec);
    std::filesystem::create_directories(out);
    // The first byte chooses: the bytes as they are, or a recipe.
    if (size > 0 && (data[0] & 1)) {
        WriteFileBytes(archive, FromRecipe(data + 1, size - 1));
    } else {
        WriteFileBytes(archive, Bytes(data, data + size));
    }
    const long blocks = MemLiveBlocks();

    SetEventHandler(EVENT_SLOT_MAIN, StopLargeEntries);
    ExtractArchive(archive.c_str(), out.string().c_str());
    SetEventHandler(EVENT_SLOT_MAIN, nullptr);
    DecoderRelease();

    if (Names(scratch.path()) != std::set<std::string>{"A", "IN.ARQ"}) __builtin_trap();
    if (Names(outer) != std::set<std::string>{"B"}) __builtin_trap();
    if (Names(inner) != std::set<std::string>{"OUT"}) __builtin_trap();
    if (Names("/") != root) __builtin_trap();
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
        if (FileGetSlot(slot) != nullptr) __builtin_trap();
    }
    if (MemLiveBlocks() != blocks) __builtin_trap();
    return 0;
}
