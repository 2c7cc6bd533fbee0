// Reading the archive's records: entry header records into an EntryDescriptor, the
// check that a file holds a readable archive, and the archive header record of a
// self-extracting program. All file access goes through the slot table.
#pragma once

#include <cstdint>

#include "engine/archive.h"
#include "engine/descriptor.h"

// Reads the entry header record at the current position of desc->input_slot.
// 0: an entry was read and the position is on its data. ERR_END_OF_ARCHIVE: the
// end-of-archive record was read. Otherwise no entry: ERR_BAD_HANDLE, ERR_BAD_HEADER
// (ERR_BAD_ARCHIVE when the position is 0 afterwards, as in an empty file),
// ERR_VERSION. Fields that a record cut short did not deliver are 0. The extra
// bytes are passed over but for a checksum field, which sets checksum and
// checksum_state (CHECKSUM_CARRIED; CHECKSUM_NONE without one). Leaves
// input_slot, output_slot, extra_data and status alone; raises no event.
int16_t ReadEntryHeader(EntryDescriptor* desc);

// Takes the extra fields the engine itself does not read (any id but
// EXTRA_ID_CHECKSUM), for tools that read fields of their own. Called by
// ReadEntryHeader once the name is normalised, for every field of an entry it read
// (result 0), in the order of the record; bytes stay valid during the call only.
// Null (the default): such fields are passed over unkept.
typedef void (*ExtraFieldHandler)(const EntryDescriptor* desc, uint32_t id, const uint8_t* bytes,
                                  uint32_t length);
void SetExtraFieldHandler(ExtraFieldHandler handler);

// 0 when the file holds a readable archive (an archive holding only its end record
// counts). A name without extension gets ".arq"; a ".arq" file must start with an
// entry header record, any other file is searched for the first one. ERR_BAD_ARGUMENT,
// ERR_NO_MEMORY, ERR_NOT_FOUND, ERR_BAD_HANDLE (the file cannot be opened),
// ERR_BAD_ARCHIVE. The file is closed again.
int16_t OpenArchiveCheck(const char* name);

enum { ARQ_EXTENSION_LENGTH = 4 }; // ".arq"

// What a self-extracting program's archive header record says.
struct ArchiveHeaderInfo {
    uint32_t total_size;                    // sum of the entries' uncompressed sizes
    int32_t destination_length;             // bytes in destination, 0 = none
    char destination[ARCHIVE_DEST_MAX + 1]; // NUL-terminated
    int32_t comment_length;                 // bytes of comment passed over
};

// Reads the archive header record whose signature ends at the slot's current position
// (where FindArchiveHeader points) and leaves the position behind the record. The
// comment is passed over. A destination longer than ARCHIVE_DEST_MAX is refused rather
// than cut, since a cut folder would send the files somewhere the archive never
// named: ERR_BAD_HEADER, as for a record cut short by the end of the file.
// ERR_BAD_HANDLE for a slot outside the table.
int ReadArchiveHeader(int slot, ArchiveHeaderInfo* info);
