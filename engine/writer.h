// The archive writer: builds archive header records, entry header records with their
// data, and end-of-archive records, and hands the bytes to a sink (a file through
// the slot table, or memory).
//
// Every record is described by a plain record of its fields. The *Defaults functions
// fill one with the values our writer stores; the caller may then change any field,
// down to the signature, to build unusual or hostile archives. Building the bytes of
// a record (EncodeEntryLead, EncodeEntryBlock) is kept apart from where they go
// (WriterSink), so that a sink that spreads an archive over several volumes can be
// added without touching the records.
//
// A Stored entry: EntryHeaderDefaults(name, size), then WriterPutEntry with the
// file's bytes, or WriterPutFile for a file on disk. A Crushed entry:
// EntryHeaderDefaults(name, uncompressed size), set block.method = METHOD_CRUSHED and
// block.compressed_size = the encoded size, then WriterPutEntry with the encoded bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/archive.h"

// Values our writer stores where the reader takes no decision from them.
enum {
    WRITER_VERSION_MADE_BY = ENGINE_VERSION, // 0x31
    // 1.2: the oldest engine that reads this layout, so older readers still accept it.
    WRITER_VERSION_NEEDED = 0x12,
    WRITER_MODE_FILE = 0x81B6,       // regular file, read and write for all (octal 100666)
    WRITER_MODE_EXECUTABLE = 0x81FF, // regular file, read, write and run for all (octal 100777)
    WRITER_NAME_CASE = 16,           // any code but NAME_CASE_KEEP: names read upper-cased
    WRITER_FLAGS = 2,                // set in every entry; not interpreted by the reader
    // Name bytes a record can carry: more than ENTRY_NAME_MAX, so that tests can build
    // records the reader must refuse.
    WRITER_NAME_CAPACITY = 512,
    WRITER_EXTRA_MAX = 0xFFFF, // the extra count is a 16-bit field
    WRITER_TEXT_MAX = 0xFFFF,  // destination and comment lengths are 16-bit fields
    // File data is copied in buffers of this size, halved under memory pressure down
    // to WRITER_COPY_MIN before the copy gives up with ERR_NO_MEMORY.
    WRITER_COPY_BUFFER = 0x20000,
    WRITER_COPY_MIN = 0x2000,
};

// The 33-byte block behind the name; fields in block order.
struct EntryBlockFields {
    uint32_t mtime; // seconds since 1970-01-01 UTC
    uint16_t mode;
    uint16_t reserved1;
    uint16_t reserved2;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint32_t reserved3;
    uint8_t method;
    uint8_t name_case;
    uint8_t flags;
    uint8_t reserved4;
    uint8_t volume[ENTRY_VOLUME_SIZE];
    uint16_t extra_count; // the field's value; EntryHeaderSetExtra keeps it equal to extra_size
};

struct EntryHeaderFields {
    uint8_t signature[SIGNATURE_SIZE];
    uint8_t version_made_by;
    uint8_t version_needed;
    uint16_t name_length; // the field's value; the name setters keep it equal to name_size
    uint32_t name_size;   // bytes of name written
    uint8_t name[WRITER_NAME_CAPACITY];
    EntryBlockFields block;
    const uint8_t* extra; // extra_size bytes written behind the block; owned by the caller
    uint32_t extra_size;
};

struct ArchiveHeaderFields {
    uint8_t signature[SIGNATURE_SIZE];
    uint32_t total_size;
    uint16_t destination_length; // the field's value; defaults to destination_size
    const uint8_t* destination;  // owned by the caller
    uint32_t destination_size;   // bytes of destination written
    uint16_t comment_length;
    const uint8_t* comment;
    uint32_t comment_size;
};

// ---- Records -------------------------------------------------------------------------

// Our writer's block: Stored, both sizes dataSize, mode WRITER_MODE_FILE, name-case
// WRITER_NAME_CASE, flags WRITER_FLAGS, everything else 0.
void EntryBlockDefaults(EntryBlockFields* block, uint32_t dataSize);

// An entry for `name` (1 to ENTRY_NAME_MAX bytes; ERR_BAD_ARGUMENT otherwise) holding
// dataSize bytes: the name upper-cased in a..z with '\' separators, mode
// WRITER_MODE_EXECUTABLE for names ending in .EXE, .COM, .BAT or .CMD.
int EntryHeaderDefaults(EntryHeaderFields* header, const char* name, uint32_t dataSize);
// Stores the name bytes as given, without normalisation. ERR_BAD_ARGUMENT above
// WRITER_NAME_CAPACITY.
int EntryHeaderSetName(EntryHeaderFields* header, const uint8_t* bytes, uint32_t size);
// Extra bytes behind the block, and the count field with them. ERR_BAD_ARGUMENT above
// WRITER_EXTRA_MAX.
int EntryHeaderSetExtra(EntryHeaderFields* header, const uint8_t* bytes, uint32_t size);
// An end-of-archive record: no name, the previous entry's block (our writer's block
// for an empty archive when previous is null), extraSize extra bytes.
int EndRecordDefaults(EntryHeaderFields* end, const EntryBlockFields* previous, const uint8_t* extra,
                      uint32_t extraSize);

// Header bytes of the record: 41 + name + extra.
uint32_t EntryHeaderSize(const EntryHeaderFields* header);
// The 8 bytes in front of the name, and the 33-byte block.
void EncodeEntryLead(const EntryHeaderFields* header, uint8_t out[ENTRY_LEAD_SIZE]);
void EncodeEntryBlock(const EntryBlockFields* block, uint8_t out[ENTRY_BLOCK_SIZE]);

// An archive header record; null destination or comment = none. ERR_BAD_ARGUMENT for
// a destination over ARCHIVE_DEST_MAX or a comment over WRITER_TEXT_MAX bytes.
int ArchiveHeaderDefaults(ArchiveHeaderFields* header, uint32_t totalSize, const char* destination,
                          const char* comment);
uint32_t ArchiveHeaderSize(const ArchiveHeaderFields* header); // 12 + D + C

// ---- Output ------------------------------------------------------------------------------

// Takes count bytes; 0 when all were taken, a negative result code otherwise.
typedef int (*WriterSink)(void* context, const uint8_t* bytes, uint32_t count);

struct ArchiveWriter {
    WriterSink sink;
    void* context;
    int32_t output_slot;         // the file's slot when writing to a file, else -1
    uint32_t bytes_written;      // archive bytes handed to the sink so far
    int32_t failure;             // first failure; every later call returns it
    int32_t entries;             // entry header records written, the end record included
    EntryBlockFields last_block; // block of the last entry, repeated by the end record
};

// Output to memory: the bytes are appended to *out.
void WriterToMemory(ArchiveWriter* writer, std::vector<uint8_t>* out);
// Output to a file, created or emptied, through a slot of the slot table. 0, or the
// result of FileOpen.
int WriterCreateFile(ArchiveWriter* writer, const char* path);
// Closes the file of WriterCreateFile (nothing to do for memory). Returns the first
// failure of the whole archive, or 0.
int WriterFinish(ArchiveWriter* writer);

int WriterPutBytes(ArchiveWriter* writer, const uint8_t* bytes, uint32_t count);
int WriterPutArchiveHeader(ArchiveWriter* writer, const ArchiveHeaderFields* header);
int WriterPutEntryHeader(ArchiveWriter* writer, const EntryHeaderFields* header);
// The header, then exactly dataSize bytes of data (whatever the size fields say).
int WriterPutEntry(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                   uint32_t dataSize);
// Copies count bytes from the current position of an open slot. ERR_IO when the slot
// delivers fewer, ERR_NO_MEMORY without a copy buffer.
int WriterCopyFromSlot(ArchiveWriter* writer, int slot, uint32_t count);
// A Stored entry named storedName holding the file at sourcePath, with the file's
// modification time. ERR_NOT_FOUND when the file cannot be opened.
int WriterPutFile(ArchiveWriter* writer, const char* storedName, const char* sourcePath);
// The end-of-archive record of EndRecordDefaults, after the entries written so far.
int WriterPutEnd(ArchiveWriter* writer, const uint8_t* extra, uint32_t extraSize);
