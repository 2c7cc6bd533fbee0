#include "listing.h"

#include <cstdint>
#include <cstring>

#include "engine/engine.h"
#include "engine/search.h"
#include "fileio/slots.h"

Listing ListArchive(const std::string& path) {
    Listing listing{};
    listing.open_result = FileOpen(path.c_str(), FILE_READ);
    if (listing.open_result < 0) return listing;
    const int slot = listing.open_result;

    listing.start = FindEntrySignature(nullptr, slot);
    if (listing.start < 0) listing.start = 0;
    FileSeek(slot, listing.start, FILE_SEEK_START);

    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = slot;
    for (;;) {
        const int rc = ReadEntryHeader(&desc);
        if (rc < 0) {
            listing.end_result = rc;
            break;
        }
        listing.entries.push_back(
            {desc.name, desc.method, desc.compressed_size, desc.uncompressed_size, desc.extra_count});
        // The size is unsigned: a value above 2^31 must not become a seek backward.
        const int64_t next = static_cast<int64_t>(FileTell(slot)) + desc.compressed_size;
        if (next > INT32_MAX) {
            listing.end_result = ERR_BAD_HEADER;
            break;
        }
        FileSeek(slot, static_cast<int32_t>(next), FILE_SEEK_START);
    }
    FileClose(slot);
    return listing;
}
