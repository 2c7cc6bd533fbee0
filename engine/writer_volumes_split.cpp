// Spreading a finished plain archive over spanned volumes.
#include <cstring>

#include "engine/engine.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/slots.h"

// Walks the archive at slot from offset 0 and stores what the plan needs of each entry
// in items (as far as capacity reaches; items may be null). Returns the number of
// entries, with the end record's extra bytes in *endExtra and the largest header in
// *largest; ERR_BAD_ARCHIVE for a record the reader refuses or one cut short, data
// that runs past the end of the file, or no end record; ERR_BAD_ARGUMENT for an entry
// that is already spanned.
static int32_t ReadItems(int slot, int32_t fileSize, SpanItem* items, int32_t capacity, uint32_t* endExtra,
                         uint32_t* largest) {
    if (FileSeek(slot, 0, FILE_SEEK_START) != 0) return ERR_IO;
    int32_t count = 0;
    *largest = 0;
    for (;;) {
        const int32_t start = FileTell(slot);
        EntryDescriptor record;
        std::memset(&record, 0, sizeof record);
        record.input_slot = slot;
        const int16_t rc = ReadEntryHeader(&record);
        if (rc != 0 && rc != ERR_END_OF_ARCHIVE) return ERR_BAD_ARCHIVE;
        const int32_t behind = FileTell(slot);
        const int64_t size = ENTRY_FIXED_SIZE + static_cast<int64_t>(record.name_length) + record.extra_count;
        if (start < 0 || behind - start != size) return ERR_BAD_ARCHIVE; // block or extra bytes cut short
        if (static_cast<uint32_t>(size) > *largest) *largest = static_cast<uint32_t>(size);
        if (rc == ERR_END_OF_ARCHIVE) {
            *endExtra = static_cast<uint32_t>(record.extra_count);
            return count;
        }
        if ((record.flags & ENTRY_SPANNED) != 0) return ERR_BAD_ARGUMENT;
        const int64_t next = static_cast<int64_t>(behind) + record.compressed_size;
        if (next > fileSize) return ERR_BAD_ARCHIVE;
        if (count == INT32_MAX) return ERR_BAD_ARCHIVE;
        if (items != nullptr && count < capacity) {
            items[count].header_size = static_cast<uint32_t>(size);
            items[count].data_size = record.compressed_size;
        }
        count++;
        if (FileSeek(slot, static_cast<int32_t>(next), FILE_SEEK_START) != next) return ERR_IO;
    }
}

// The header's bytes as fields that encode to the same bytes again: the name as
// stored (not normalised), the extra bytes pointing into raw.
static int DecodeHeader(const uint8_t* raw, uint32_t size, EntryHeaderFields* header) {
    std::memset(header, 0, sizeof *header);
    std::memcpy(header->signature, raw, SIGNATURE_SIZE);
    header->version_made_by = raw[ENTRY_MADE_BY_OFFSET];
    header->version_needed = raw[ENTRY_NEEDED_OFFSET];
    const uint32_t nameSize = GetLE16(raw + ENTRY_NAME_LENGTH_OFFSET);
    if (ENTRY_FIXED_SIZE + nameSize > size) return ERR_BAD_ARCHIVE;
    if (EntryHeaderSetName(header, raw + ENTRY_LEAD_SIZE, nameSize) < 0) return ERR_BAD_ARCHIVE;
    DecodeEntryBlock(raw + ENTRY_LEAD_SIZE + nameSize, &header->block);
    const uint32_t extraSize = size - ENTRY_FIXED_SIZE - nameSize;
    if (header->block.extra_count != extraSize) return ERR_BAD_ARCHIVE;
    return EntryHeaderSetExtra(header, raw + ENTRY_FIXED_SIZE + nameSize, extraSize) < 0 ? ERR_BAD_ARCHIVE
                                                                                         : 0;
}

// Reads size raw header bytes from slot into raw and decodes them.
static int ReadHeader(int slot, uint8_t* raw, uint32_t size, EntryHeaderFields* header) {
    if (FileRead(slot, raw, static_cast<int32_t>(size)) != static_cast<int32_t>(size)) return ERR_IO;
    return DecodeHeader(raw, size, header);
}

static int WriteVolumes(int slot, const SpanItem* items, int32_t count, uint32_t endExtra, uint8_t* raw,
                        uint32_t volumeSize, SpanVolumePath pathOf, void* context, int32_t* volumes) {
    SpannedWriter* writer = static_cast<SpannedWriter*>(MemAlloc(sizeof(SpannedWriter)));
    EntryHeaderFields* header = static_cast<EntryHeaderFields*>(MemAlloc(sizeof(EntryHeaderFields)));
    int rc = writer != nullptr && header != nullptr ? 0 : ERR_NO_MEMORY;
    if (rc == 0) rc = SpannedWriterStart(writer, volumeSize, pathOf, context, items, count, endExtra);
    if (rc == 0 && FileSeek(slot, 0, FILE_SEEK_START) != 0) rc = ERR_IO;
    for (int32_t i = 0; i < count && rc == 0; i++) {
        rc = ReadHeader(slot, raw, items[i].header_size, header);
        if (rc == 0) rc = SpannedPutEntryHeader(writer, header);
        if (rc == 0) rc = SpannedCopyFromSlot(writer, slot, items[i].data_size);
    }
    if (rc == 0) rc = ReadHeader(slot, raw, ENTRY_FIXED_SIZE + endExtra, header);
    if (rc == 0) rc = SpannedPutEnd(writer, header->extra, header->extra_size);
    if (writer != nullptr) {
        const int finished = SpannedWriterFinish(writer, volumes);
        if (rc == 0) rc = finished;
    }
    MemFree(header);
    MemFree(writer);
    return rc;
}

int32_t WriterSplitArchive(const char* sourcePath, uint32_t volumeSize, SpanVolumePath pathOf,
                           void* context) {
    if (sourcePath == nullptr || pathOf == nullptr) return ERR_BAD_ARGUMENT;
    const int slot = FileOpen(sourcePath, FILE_READ);
    if (slot < 0) return ERR_NOT_FOUND;

    SpanItem* items = nullptr;
    uint8_t* raw = nullptr;
    uint32_t endExtra = 0;
    uint32_t largest = 0;
    int32_t volumes = 0;
    const int32_t fileSize = FileSeek(slot, 0, FILE_SEEK_END);
    int32_t rc = fileSize < 0 ? ERR_IO : 0;
    int32_t count = 0;
    if (rc == 0) rc = count = ReadItems(slot, fileSize, nullptr, 0, &endExtra, &largest);
    if (rc >= 0) {
        items = static_cast<SpanItem*>(MemAlloc(sizeof(SpanItem) * static_cast<size_t>(count)));
        raw = static_cast<uint8_t*>(MemAlloc(largest));
        rc = items != nullptr && raw != nullptr ? 0 : ERR_NO_MEMORY;
    }
    if (rc == 0) rc = ReadItems(slot, fileSize, items, count, &endExtra, &largest) == count ? 0 : ERR_IO;
    if (rc == 0) rc = WriteVolumes(slot, items, count, endExtra, raw, volumeSize, pathOf, context, &volumes);
    MemFree(raw);
    MemFree(items);
    FileClose(slot);
    return rc < 0 ? rc : volumes;
}
