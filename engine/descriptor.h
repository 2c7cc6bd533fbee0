// The engine's record of the entry being read.
#pragma once

#include <cstdint>

#include "fileio/paths.h"

// What the engine knows of an entry's checksum field (EXTRA_ID_CHECKSUM).
enum {
    CHECKSUM_NONE = 0,     // the header carries none: the data is taken as it decodes
    CHECKSUM_CARRIED = 1,  // the header carries one, not compared yet
    CHECKSUM_MATCHED = 2,  // the written bytes gave the carried checksum
    CHECKSUM_MISMATCH = 3, // they did not: the entry failed with ERR_BAD_DATA
};

// Field order and widths follow the entry header record; byte and word fields of
// the header are widened to 32 bits, the mode keeps its 16.
struct EntryDescriptor {
    int32_t input_slot;  // slot of the archive (or a spanned entry's temporary file)
    int32_t output_slot; // slot of the file being written
    int32_t version_made_by;
    int32_t version_needed;
    int32_t name_length; // bytes in name, without the terminator
    uint32_t mtime;      // seconds since 1970-01-01 UTC
    int16_t mode;        // permission mode word, stat layout
    int32_t reserved1;
    int32_t reserved2;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    uint32_t reserved3;
    int32_t method;    // METHOD_STORED or METHOD_CRUSHED
    int32_t name_case; // NAME_CASE_KEEP keeps the stored letter case
    int32_t flags;     // ENTRY_NO_EXTRACT, ENTRY_SPANNED
    int32_t reserved4;
    int32_t extra_count;
    uint8_t* extra_data;            // never filled: extra bytes are passed over
    uint8_t volume_info[5];         // byte 0: number of the volume holding this header
    int16_t status;                 // a handler writes STATUS_CANCEL to stop the engine
    char name[PATH_MAX_LENGTH + 1]; // normalised stored name, later the full output path
    // From the extra bytes' checksum field; behind the header's own fields, which
    // keep their order.
    uint32_t checksum;      // the CRC-32 carried, when checksum_state is not CHECKSUM_NONE
    int32_t checksum_state; // CHECKSUM_; set by ReadEntryHeader, then by the extraction
};
