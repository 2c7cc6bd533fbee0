// libFuzzer target: arbitrary bytes as an archive file, through the signature search,
// OpenArchiveCheck and a walk of ReadEntryHeader with seeks over the data. Nothing may
// crash, every result is one the operations document, and no slot or buffer is left.
#include <cstdint>

#include "engine/engine.h"
#include "engine/search.h"
#include "fileio/memory.h"
#include "fileio/slots.h"
#include "listing.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchDir scratch;
    static const std::string path = scratch.file("fuzz.arq");
    static const std::string program = scratch.file("fuzz.exe");
    const long blocks = MemLiveBlocks();
    WriteFileBytes(path, Bytes(data, data + size));
    WriteFileBytes(program, Bytes(data, data + size));

    const int32_t found = FindEntrySignature(program.c_str(), 0);
    if (found != -5 && (found < 0 || static_cast<size_t>(found) + 4 > size)) __builtin_trap();
    for (const std::string& name : {path, program}) {
        const int rc = OpenArchiveCheck(name.c_str());
        if (rc != 0 && rc != ERR_BAD_ARCHIVE) __builtin_trap();
    }
    const Listing listing = ListArchive(program);
    if (listing.end_result >= 0 || listing.entries.size() > size / ENTRY_FIXED_SIZE) __builtin_trap();
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
        if (FileGetSlot(slot) != nullptr) __builtin_trap();
    }
    if (MemLiveBlocks() != blocks) __builtin_trap();
    return 0;
}
