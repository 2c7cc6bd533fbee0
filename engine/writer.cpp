// Writing records and data to the archive's sink.
#include "engine/writer.h"

#include <cstring>

#include "engine/checksum.h"
#include "fileio/memory.h"
#include "fileio/slots.h"
#include "platform/platform.h"

static int MemorySink(void* context, const uint8_t* bytes, uint32_t count) {
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + count);
    return 0;
}

static int SlotSink(void* context, const uint8_t* bytes, uint32_t count) {
    const int slot = *static_cast<const int32_t*>(context);
    // FileWrite counts in signed 32 bits; an archive never holds a larger single piece
    // than the 32-bit size fields allow, but keep each call within range.
    while (count > 0) {
        const int32_t piece = count > 0x40000000u ? 0x40000000 : static_cast<int32_t>(count);
        if (FileWrite(slot, bytes, piece) != piece) return ERR_IO;
        bytes += piece;
        count -= static_cast<uint32_t>(piece);
    }
    return 0;
}

static void WriterStart(ArchiveWriter* writer) {
    std::memset(writer, 0, sizeof *writer);
    writer->output_slot = -1;
    EntryBlockDefaults(&writer->last_block, 0);
}

void WriterToMemory(ArchiveWriter* writer, std::vector<uint8_t>* out) {
    WriterStart(writer);
    writer->sink = MemorySink;
    writer->context = out;
}

int WriterCreateFile(ArchiveWriter* writer, const char* path) {
    WriterStart(writer);
    const int slot = FileOpen(path, FILE_WRITE | FILE_CREATE);
    if (slot < 0) {
        writer->failure = slot;
        return slot;
    }
    writer->output_slot = slot;
    writer->sink = SlotSink;
    writer->context = &writer->output_slot;
    return 0;
}

int WriterFinish(ArchiveWriter* writer) {
    if (writer->output_slot >= 0) {
        FileSlot* record = FileGetSlot(writer->output_slot);
        // Buffered bytes that cannot be written out mean a short archive.
        if (record != nullptr && record->stream != nullptr && PlatFlush(record->stream) != 0 &&
            writer->failure == 0) {
            writer->failure = ERR_IO;
        }
        FileClose(writer->output_slot);
        writer->output_slot = -1;
    }
    return writer->failure;
}

int WriterPutBytes(ArchiveWriter* writer, const uint8_t* bytes, uint32_t count) {
    if (writer->failure < 0) return writer->failure;
    if (writer->sink == nullptr) return writer->failure = ERR_BAD_ARGUMENT;
    if (count == 0) return 0;
    if (bytes == nullptr) return writer->failure = ERR_BAD_ARGUMENT;
    const int rc = writer->sink(writer->context, bytes, count);
    if (rc < 0) return writer->failure = rc;
    writer->bytes_written += count;
    return 0;
}

int WriterPutArchiveHeader(ArchiveWriter* writer, const ArchiveHeaderFields* header) {
    uint8_t front[ARCHIVE_DEST_OFFSET];
    std::memcpy(front, header->signature, SIGNATURE_SIZE);
    PutLE32(front + ARCHIVE_TOTAL_OFFSET, header->total_size);
    PutLE16(front + ARCHIVE_DEST_LENGTH_OFFSET, header->destination_length);
    uint8_t commentLength[2];
    PutLE16(commentLength, header->comment_length);

    int rc = WriterPutBytes(writer, front, sizeof front);
    if (rc < 0) return rc;
    rc = WriterPutBytes(writer, header->destination, header->destination_size);
    if (rc < 0) return rc;
    rc = WriterPutBytes(writer, commentLength, sizeof commentLength);
    if (rc < 0) return rc;
    return WriterPutBytes(writer, header->comment, header->comment_size);
}

int WriterPutEntryHeader(ArchiveWriter* writer, const EntryHeaderFields* header) {
    if (header->name_size > WRITER_NAME_CAPACITY) return writer->failure = ERR_BAD_ARGUMENT;
    uint8_t lead[ENTRY_LEAD_SIZE];
    uint8_t block[ENTRY_BLOCK_SIZE];
    EncodeEntryLead(header, lead);
    EncodeEntryBlock(&header->block, block);

    int rc = WriterPutBytes(writer, lead, sizeof lead);
    if (rc < 0) return rc;
    rc = WriterPutBytes(writer, header->name, header->name_size);
    if (rc < 0) return rc;
    rc = WriterPutBytes(writer, block, sizeof block);
    if (rc < 0) return rc;
    if (header->has_checksum) {
        uint8_t field[EXTRA_CHECKSUM_FIELD_SIZE];
        EncodeChecksumField(header->checksum, field);
        rc = WriterPutBytes(writer, field, sizeof field);
        if (rc < 0) return rc;
    }
    rc = WriterPutBytes(writer, header->extra, header->extra_size);
    if (rc < 0) return rc;
    writer->entries++;
    writer->last_block = header->block;
    return 0;
}

int WriterPutEntry(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                   uint32_t dataSize) {
    const int rc = WriterPutEntryHeader(writer, header);
    if (rc < 0) return rc;
    return WriterPutBytes(writer, data, dataSize);
}

int CopySlotToSink(int slot, uint32_t count, WriterSink put, void* context) {
    if (count == 0) return 0;
    uint32_t size = WRITER_COPY_BUFFER;
    uint8_t* buffer = static_cast<uint8_t*>(MemAllocHalving(&size, 2 * WRITER_COPY_MIN));
    if (buffer == nullptr) return ERR_NO_MEMORY;

    int rc = 0;
    while (count > 0 && rc == 0) {
        const int32_t want = static_cast<int32_t>(count < size ? count : size);
        if (FileRead(slot, buffer, want) != want) {
            rc = ERR_IO;
            break;
        }
        rc = put(context, buffer, static_cast<uint32_t>(want));
        count -= static_cast<uint32_t>(want);
    }
    MemFree(buffer);
    return rc;
}

static int PutToWriter(void* context, const uint8_t* bytes, uint32_t count) {
    return WriterPutBytes(static_cast<ArchiveWriter*>(context), bytes, count);
}

int WriterCopyFromSlot(ArchiveWriter* writer, int slot, uint32_t count) {
    if (writer->failure < 0) return writer->failure;
    const int rc = CopySlotToSink(slot, count, PutToWriter, writer);
    if (rc < 0) writer->failure = rc;
    return rc;
}

int ChecksumFromSlot(int slot, uint32_t count, uint32_t* checksum) {
    *checksum = CHECKSUM_EMPTY;
    const int32_t start = FileTell(slot);
    if (start < 0) return ERR_IO;
    if (count == 0) return 0;
    uint32_t size = WRITER_COPY_BUFFER;
    uint8_t* buffer = static_cast<uint8_t*>(MemAllocHalving(&size, 2 * WRITER_COPY_MIN));
    if (buffer == nullptr) return ERR_NO_MEMORY;
    int rc = 0;
    while (count > 0) {
        const int32_t want = static_cast<int32_t>(count < size ? count : size);
        if (FileRead(slot, buffer, want) != want) {
            rc = ERR_IO;
            break;
        }
        *checksum = ChecksumUpdate(*checksum, buffer, static_cast<uint32_t>(want));
        count -= static_cast<uint32_t>(want);
    }
    MemFree(buffer);
    if (FileSeek(slot, start, FILE_SEEK_START) != start && rc == 0) rc = ERR_IO;
    return rc;
}

int WriterPutFile(ArchiveWriter* writer, const char* storedName, const char* sourcePath) {
    if (writer->failure < 0) return writer->failure;
    if (sourcePath == nullptr) return writer->failure = ERR_BAD_ARGUMENT;
    const int slot = FileOpen(sourcePath, FILE_READ);
    if (slot < 0) return writer->failure = ERR_NOT_FOUND;

    int rc = 0;
    const int32_t size = FileSeek(slot, 0, FILE_SEEK_END);
    if (size < 0 || FileSeek(slot, 0, FILE_SEEK_START) != 0) rc = writer->failure = ERR_IO;

    EntryHeaderFields header;
    if (rc == 0) {
        rc = EntryHeaderDefaults(&header, storedName, static_cast<uint32_t>(size));
        if (rc < 0) writer->failure = rc;
    }
    if (rc == 0) {
        PlatStatInfo info;
        // The reader applies the time as a signed 32-bit count of seconds.
        if (PlatStat(sourcePath, &info) == 0) header.block.mtime = static_cast<uint32_t>(info.mtime);
        rc = WriterPutEntryHeader(writer, &header);
    }
    if (rc == 0) rc = WriterCopyFromSlot(writer, slot, static_cast<uint32_t>(size));
    FileClose(slot);
    return rc;
}

int WriterPutEnd(ArchiveWriter* writer, const uint8_t* extra, uint32_t extraSize) {
    EntryHeaderFields end;
    const EntryBlockFields* previous = writer->entries > 0 ? &writer->last_block : nullptr;
    const int rc = EndRecordDefaults(&end, previous, extra, extraSize);
    if (rc < 0) return writer->failure = rc;
    return WriterPutEntryHeader(writer, &end);
}
