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
    // When has_checksum is 1, a checksum field (EXTRA_ID_CHECKSUM) holding checksum is
    // written in front of the extra bytes; EntryHeaderSetChecksum counts it in the
    // block's extra count.
    uint8_t has_checksum;
    uint32_t checksum;
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
// A checksum field holding the CRC-32 (engine/checksum.h) of the entry's uncompressed
// bytes, in front of any extra bytes; the block's extra count grows by
// EXTRA_CHECKSUM_FIELD_SIZE once. ERR_BAD_ARGUMENT when the count would pass
// WRITER_EXTRA_MAX.
int EntryHeaderSetChecksum(EntryHeaderFields* header, uint32_t checksum);
// An end-of-archive record: no name, the previous entry's block (our writer's block
// for an empty archive when previous is null), extraSize extra bytes.
int EndRecordDefaults(EntryHeaderFields* end, const EntryBlockFields* previous, const uint8_t* extra,
                      uint32_t extraSize);

// Header bytes of the record: 41 + name + extra (the checksum field included).
uint32_t EntryHeaderSize(const EntryHeaderFields* header);
// The 8 bytes in front of the name, and the 33-byte block.
void EncodeEntryLead(const EntryHeaderFields* header, uint8_t out[ENTRY_LEAD_SIZE]);
void EncodeEntryBlock(const EntryBlockFields* block, uint8_t out[ENTRY_BLOCK_SIZE]);
// The reader and the volume splitter both decode the block here, so that its
// layout is spelt out once each way.
void DecodeEntryBlock(const uint8_t in[ENTRY_BLOCK_SIZE], EntryBlockFields* block);
// The checksum field as it stands in the extra bytes.
void EncodeChecksumField(uint32_t checksum, uint8_t out[EXTRA_CHECKSUM_FIELD_SIZE]);

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
// The copy behind WriterCopyFromSlot and SpannedCopyFromSlot, one buffer of
// WRITER_COPY_BUFFER bytes (fewer under memory pressure) handed to put at a time: 0,
// put's first failure as it came, ERR_IO or ERR_NO_MEMORY as above. The callers
// record the failure in their own writer.
int CopySlotToSink(int slot, uint32_t count, WriterSink put, void* context);
// The CRC-32 of the count bytes at the current position of an open slot, which is put
// back there afterwards (the file is read twice: the field stands in front of the
// data). ERR_IO when the slot delivers fewer, ERR_NO_MEMORY without a buffer.
int ChecksumFromSlot(int slot, uint32_t count, uint32_t* checksum);
// A Stored entry named storedName holding the file at sourcePath, with the file's
// modification time. ERR_NOT_FOUND when the file cannot be opened.
int WriterPutFile(ArchiveWriter* writer, const char* storedName, const char* sourcePath);
// The end-of-archive record of EndRecordDefaults, after the entries written so far.
int WriterPutEnd(ArchiveWriter* writer, const uint8_t* extra, uint32_t extraSize);

// ---- Crushed entries -------------------------------------------------------------------
// Written through our encoder (crushed/crushed.h); level is CRUSHED_LEVEL_FAST or
// CRUSHED_LEVEL_BEST. The header's method and sizes are set from the stream; every
// other field is the caller's. ERR_BAD_ARGUMENT for an unknown level, ERR_NO_MEMORY
// when the encoder finds no memory, else as WriterPutEntry.

// A Crushed entry holding the size bytes at data, whatever the stream's size.
int WriterPutCrushed(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                     uint32_t size, int level);
// A Crushed entry when the stream is smaller than the data, else a Stored one: what
// an archiver does for data that does not compress.
int WriterPutSmaller(ArchiveWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                     uint32_t size, int level);
// The file at sourcePath as entry storedName, with the file's modification time:
// Crushed, or with WRITER_CRUSHED_IF_SMALLER as WriterPutSmaller chooses. The file is
// read whole into memory. ERR_NOT_FOUND when it cannot be opened, ERR_IO when it
// cannot be read.
enum {
    WRITER_CRUSHED_ALWAYS = 0,
    WRITER_CRUSHED_IF_SMALLER = 1,
};
int WriterPutFileCrushed(ArchiveWriter* writer, const char* storedName, const char* sourcePath, int level,
                         int choice);

// ---- Spanned volumes -------------------------------------------------------------------
//
// An archive spread over several disks: every disk holds one volume file under the same
// name (for arq: ARCHIVE.1/NAME, ARCHIVE.2/NAME, ...), and an entry that does not fit
// on its disk carries ENTRY_SPANNED and goes on at the start of the next volume behind a
// continuation header: the same name and fields, the volume number one higher,
// ENTRY_SPANNED when the entry goes on further still, and as compressed size the
// entry's bytes that remain from there on. The entry's first header counts all its
// bytes. Every header carries the number of the volume it stands on.
//
// The reader changes disks only inside a spanned entry's data, never between records,
// so the plan obeys: every volume but the last ends inside an entry's data, with at
// least one byte of it on the volume and at least one going on; an entry header is
// followed by at least one of its data bytes on the same volume; the end-of-archive
// record ends the last volume. A volume is under-filled, or split earlier inside the
// data of an entry before, when the next record would not fit otherwise. The writer
// takes the whole list of entries' sizes first, since where a volume may end depends on
// what follows.

// What the plan needs of an entry: its header's size (EntryHeaderSize; a continuation
// header has the same) and its data bytes (block.compressed_size).
struct SpanItem {
    uint32_t header_size;
    uint32_t data_size;
};

// Where volume `volume` (0 = the first disk) is written: fills path (size bytes, the
// NUL included) and may make its folder. 0, or a negative result code that ends the
// writing.
typedef int (*SpanVolumePath)(void* context, int32_t volume, char* path, uint32_t size);
// Bytes of the buffer SpanVolumePath fills: room for a tool's host paths, which may be
// longer than the 260 bytes the reader's disks use.
enum { WRITER_VOLUME_PATH_SIZE = 1024 };

// Lays the archive out on volumes of volumeSize bytes: count entries, then an
// end-of-archive record of endSize bytes (ENTRY_FIXED_SIZE + its extra bytes). Returns
// the number of volumes and stores the length of each volume file in volumeBytes, as
// far as capacity reaches (volumeBytes may be null). ERR_BAD_ARGUMENT when a volume of
// that size leaves no legal place for a volume change (too small for a header, one
// data byte and what must follow), or for arguments that describe no archive.
int32_t SpanPlanVolumes(const SpanItem* items, int32_t count, uint32_t endSize, uint32_t volumeSize,
                        uint32_t* volumeBytes, int32_t capacity);

struct SpannedWriter {
    ArchiveWriter volume; // the volume file being written
    SpanVolumePath path_of;
    void* context;
    const SpanItem* items; // the plan's entries; the caller's, kept until Finish
    int32_t item_count;
    uint32_t end_size;         // bytes of the end-of-archive record
    uint32_t volume_size;      // largest volume file
    int32_t volume_number;     // volume being written, 0 = the first disk
    uint32_t volume_left;      // bytes the plan still puts on this volume
    int32_t next_item;         // index of the next entry header expected
    EntryHeaderFields current; // the entry whose data is being written, for its continuations
    uint32_t data_done;        // its data bytes written so far
    uint32_t data_left;        // its data bytes still to come
    int32_t end_written;       // 1 once the end-of-archive record is out
    int32_t volumes_made;      // volume files created so far
    int32_t failure;           // first failure; every later call returns it
};

// Plans the volumes (as SpanPlanVolumes) and creates the first one. The entries must
// then be given in the order and with the sizes of items, each header followed by
// exactly its data, and then the end record with endExtraSize extra bytes; anything
// else is refused with ERR_BAD_ARGUMENT. A header's ENTRY_SPANNED flag and volume
// number are set by the writer. An entry's extra bytes must stay valid until its data
// is written, since its continuation headers repeat them.
int SpannedWriterStart(SpannedWriter* writer, uint32_t volumeSize, SpanVolumePath pathOf, void* context,
                       const SpanItem* items, int32_t count, uint32_t endExtraSize);
int SpannedPutEntryHeader(SpannedWriter* writer, const EntryHeaderFields* header);
// Data of the entry whose header came last; may be given in any number of calls.
int SpannedPutData(SpannedWriter* writer, const uint8_t* bytes, uint32_t count);
int SpannedPutEntry(SpannedWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                    uint32_t dataSize);
// count data bytes from the current position of an open slot. ERR_IO when it delivers
// fewer, ERR_NO_MEMORY without a copy buffer.
int SpannedCopyFromSlot(SpannedWriter* writer, int slot, uint32_t count);
int SpannedPutEnd(SpannedWriter* writer, const uint8_t* extra, uint32_t extraSize);
// Closes the last volume file. 0 when the whole planned archive was written, else the
// first failure (ERR_BAD_ARGUMENT when it stopped short of the end record). The files
// already written stay; the caller decides what to do with them. *volumes (may be
// null) receives the number of volume files made.
int SpannedWriterFinish(SpannedWriter* writer, int32_t* volumes);

// Spreads the plain archive at sourcePath (entries from offset 0, as our writer makes
// them) over volumes of volumeSize bytes, header bytes copied unchanged but for the
// flags, volume number and compressed size the volumes need. Returns the number of
// volumes; ERR_NOT_FOUND when the file cannot be opened; ERR_BAD_ARCHIVE when it holds
// no complete archive (a record refused by ReadEntryHeader, data cut short, no end
// record); ERR_BAD_ARGUMENT for an entry that is already spanned or a volume size too
// small; else as the writer.
int32_t WriterSplitArchive(const char* sourcePath, uint32_t volumeSize, SpanVolumePath pathOf, void* context);
