// Crushed entries for the writer: the data goes through our encoder, and the header
// takes the method and both sizes from the stream.
#include "crushed/crushed.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/slots.h"
#include "platform/platform.h"

// Writes the entry as Crushed with the encoded stream, or as Stored with the data
// when choice asks for the smaller and the stream is not.
static int PutEncoded(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                      uint32_t size, const CrushedBuffer* stream, int choice) {
    EntryHeaderFields entry = *header;
    entry.block.uncompressed_size = size;
    if (choice == WRITER_CRUSHED_IF_SMALLER && stream->size >= size) {
        entry.block.method = METHOD_STORED;
        entry.block.compressed_size = size;
        return WriterPutEntry(writer, &entry, data, size);
    }
    entry.block.method = METHOD_CRUSHED;
    entry.block.compressed_size = stream->size;
    return WriterPutEntry(writer, &entry, stream->data, stream->size);
}

static int PutChosen(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                     uint32_t size, int level, int choice) {
    if (writer->failure < 0) return writer->failure;
    if (header == nullptr || (data == nullptr && size != 0)) return writer->failure = ERR_BAD_ARGUMENT;
    CrushedBuffer stream = {};
    int rc = CrushedEncodeToBuffer(data, size, level, &stream);
    if (rc < 0) return writer->failure = rc;
    rc = PutEncoded(writer, header, data, size, &stream, choice);
    CrushedBufferFree(&stream);
    return rc;
}

int WriterPutCrushed(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                     uint32_t size, int level) {
    return PutChosen(writer, header, data, size, level, WRITER_CRUSHED_ALWAYS);
}

int WriterPutSmaller(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                     uint32_t size, int level) {
    return PutChosen(writer, header, data, size, level, WRITER_CRUSHED_IF_SMALLER);
}

int WriterPutFileCrushed(ArchiveWriter* writer, const char* storedName, const char* sourcePath, int level,
                         int choice) {
    if (writer->failure < 0) return writer->failure;
    if (sourcePath == nullptr) return writer->failure = ERR_BAD_ARGUMENT;
    const int slot = FileOpen(sourcePath, FILE_READ);
    if (slot < 0) return writer->failure = ERR_NOT_FOUND;

    // The encoder takes the whole file at once.
    uint8_t* data = nullptr;
    int rc = 0;
    const int32_t size = FileSeek(slot, 0, FILE_SEEK_END);
    if (size < 0 || FileSeek(slot, 0, FILE_SEEK_START) != 0) rc = ERR_IO;
    if (rc == 0) {
        data = static_cast<uint8_t*>(MemAlloc(static_cast<size_t>(size)));
        if (data == nullptr) rc = ERR_NO_MEMORY;
    }
    if (rc == 0 && size > 0 && FileRead(slot, data, size) != size) rc = ERR_IO;
    FileClose(slot);

    EntryHeaderFields header;
    if (rc == 0) rc = EntryHeaderDefaults(&header, storedName, static_cast<uint32_t>(size));
    if (rc == 0) {
        PlatStatInfo info;
        // The reader applies the time as a signed 32-bit count of seconds.
        if (PlatStat(sourcePath, &info) == 0) header.block.mtime = static_cast<uint32_t>(info.mtime);
        rc = PutChosen(writer, &header, data, static_cast<uint32_t>(size), level, choice);
    } else {
        writer->failure = rc;
    }
    MemFree(data);
    return rc;
}
