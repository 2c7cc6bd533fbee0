// The archive's byte layout: record signatures, field offsets and sizes, methods,
// flags and the engine's version rule.
//
// Format notes. Every integer is little-endian and unsigned unless noted, and is
// assembled byte by byte, so no alignment is assumed.
//
//   archive header record       67 57 04 02 | total size (4) | D (2) | destination (D)
//                               | C (2) | comment (C)                       = 12 + D + C bytes
//   entry header record         67 57 04 01 | made by (1) | needed (1) | N (2)      lead, 8 bytes
//                               | name (N)
//                               | 33-byte block (see ENTRY_BLOCK_*)
//                               | extra bytes (X, the block's last field)  = 41 + N + X bytes
//                                 (tagged fields, see EXTRA_*)
//                               then compressed-size bytes of data
//   end-of-archive record       an entry header record with N = 0 and no data; 41 + X bytes
//
// Inside a self-extracting program the archive header record comes first and the
// entries follow it directly; a plain ".arq" file starts with its first entry.
#pragma once

#include <cstdint>

#include "fileio/codes.h"

// ---- Signatures --------------------------------------------------------------------

enum { SIGNATURE_SIZE = 4 }; // bytes of every record signature

// A self-extracting program finds its archive by searching its own file for these
// signatures, so no program that links the engine may hold them as they stand: the
// search would stop inside the program itself. They are therefore functions that
// assemble the bytes at run time (engine/signatures.cpp), never constants the
// compiler could fold into data or immediate operands. Each returns SIGNATURE_SIZE
// bytes that stay valid and unchanged for the life of the process.
//
// First bytes of an entry header record (also of the end-of-archive record).
const uint8_t* EntrySignature();
// First bytes of the archive header record of a self-extracting program.
const uint8_t* ArchiveSignature();

// Bytes a search for the first record may scan from the start of the file before it
// gives up; the scan finishes the chunk during which it passes this count.
enum { SIGNATURE_SEARCH_LIMIT = 4000000 };

// ---- Archive header record -----------------------------------------------------------

enum {
    ARCHIVE_TOTAL_OFFSET = 4,       // 4 bytes: sum of the entries' uncompressed sizes
    ARCHIVE_DEST_LENGTH_OFFSET = 8, // 2 bytes: D; the folder follows at offset 10
    ARCHIVE_DEST_OFFSET = 10,
    ARCHIVE_HEADER_MIN_SIZE = 12, // D = 0, C = 0
    // The destination folder must fit a 260-byte path buffer together with the
    // backslash that joins it to a stored name.
    ARCHIVE_DEST_MAX = 259,
};

// ---- Entry header record ---------------------------------------------------------

// The lead: the part in front of the name, taken in one read.
enum {
    ENTRY_MADE_BY_OFFSET = 4,
    ENTRY_NEEDED_OFFSET = 5,
    ENTRY_NAME_LENGTH_OFFSET = 6, // 2 bytes: N
    ENTRY_LEAD_SIZE = 8,
    ENTRY_NAME_MAX = 260, // longest stored name in bytes; the engine's path buffers hold 260
};

// The fixed block behind the name, taken in one read. Offsets are from the block's
// first byte (the record's offset 8 + N).
enum {
    ENTRY_BLOCK_MTIME = 0,         // 4: seconds since 1970-01-01 UTC, applied as signed
    ENTRY_BLOCK_MODE = 4,          // 2: stat-layout permission word
    ENTRY_BLOCK_RESERVED1 = 6,     // 2
    ENTRY_BLOCK_RESERVED2 = 8,     // 2
    ENTRY_BLOCK_COMPRESSED = 10,   // 4: data bytes behind the header (all volumes)
    ENTRY_BLOCK_UNCOMPRESSED = 14, // 4: bytes of the extracted file
    ENTRY_BLOCK_RESERVED3 = 18,    // 4
    ENTRY_BLOCK_METHOD = 22,       // 1: METHOD_
    ENTRY_BLOCK_NAME_CASE = 23,    // 1: NAME_CASE_KEEP keeps the stored letter case
    ENTRY_BLOCK_FLAGS = 24,        // 1: ENTRY_
    ENTRY_BLOCK_RESERVED4 = 25,    // 1
    ENTRY_BLOCK_VOLUME = 26,       // 5: byte 0 is the volume number, 0 = first volume
    ENTRY_VOLUME_SIZE = 5,
    ENTRY_BLOCK_EXTRA_COUNT = 31, // 2: X, extra bytes that follow the block
    ENTRY_BLOCK_SIZE = 33,
    ENTRY_FIXED_SIZE = ENTRY_LEAD_SIZE + ENTRY_BLOCK_SIZE, // 41: header without name and extra
};

static_assert(ENTRY_BLOCK_MODE == ENTRY_BLOCK_MTIME + 4, "mtime is 4 bytes");
static_assert(ENTRY_BLOCK_RESERVED1 == ENTRY_BLOCK_MODE + 2, "mode is 2 bytes");
static_assert(ENTRY_BLOCK_RESERVED2 == ENTRY_BLOCK_RESERVED1 + 2, "reserved1 is 2 bytes");
static_assert(ENTRY_BLOCK_COMPRESSED == ENTRY_BLOCK_RESERVED2 + 2, "reserved2 is 2 bytes");
static_assert(ENTRY_BLOCK_UNCOMPRESSED == ENTRY_BLOCK_COMPRESSED + 4, "compressed size is 4 bytes");
static_assert(ENTRY_BLOCK_RESERVED3 == ENTRY_BLOCK_UNCOMPRESSED + 4, "uncompressed size is 4 bytes");
static_assert(ENTRY_BLOCK_METHOD == ENTRY_BLOCK_RESERVED3 + 4, "reserved3 is 4 bytes");
static_assert(ENTRY_BLOCK_NAME_CASE == ENTRY_BLOCK_METHOD + 1, "method is 1 byte");
static_assert(ENTRY_BLOCK_FLAGS == ENTRY_BLOCK_NAME_CASE + 1, "name-case code is 1 byte");
static_assert(ENTRY_BLOCK_RESERVED4 == ENTRY_BLOCK_FLAGS + 1, "flags are 1 byte");
static_assert(ENTRY_BLOCK_VOLUME == ENTRY_BLOCK_RESERVED4 + 1, "reserved4 is 1 byte");
static_assert(ENTRY_BLOCK_EXTRA_COUNT == ENTRY_BLOCK_VOLUME + ENTRY_VOLUME_SIZE, "volume field");
static_assert(ENTRY_BLOCK_SIZE == ENTRY_BLOCK_EXTRA_COUNT + 2, "the block is 33 bytes");
static_assert(ENTRY_FIXED_SIZE == 41, "an end-of-archive record without extra bytes is 41 bytes");
static_assert(ENTRY_FIXED_SIZE + 16 == 57 && ENTRY_FIXED_SIZE + 8 == 49, "header sizes 41 + N");
static_assert(ARCHIVE_HEADER_MIN_SIZE == ARCHIVE_DEST_OFFSET + 2, "D = 0 and C = 0: 12 bytes");
static_assert(ARCHIVE_DEST_MAX + 1 == ENTRY_NAME_MAX, "destination plus separator fits a path");

// ---- Extra fields ----------------------------------------------------------------------
//
// Format notes: the extra bytes behind the block hold a list of tagged fields,
//
//   id (2) | length L (2) | L bytes          one field, EXTRA_FIELD_HEAD_SIZE + L bytes
//
// one after another up to the extra count. A reader takes the fields it knows and
// passes over the others by their lengths, so fields can be added without any reader
// minding; a reader that knows none passes over the whole extra count, as readers
// always have. A field whose head or bytes run past the extra count ends the list:
// the rest is passed over unread. Of two fields with the same id the first counts.
//
//   checksum field   43 4B | 04 00 | CRC-32 of the entry's uncompressed bytes (4)
//
// The CRC-32 is the one of zip and gzip (engine/checksum.h), over every byte of the
// extracted file; a spanned entry's pieces carry the same field in every header.
//
//   folder-times field   46 54 | 4n | n modification times (4 each)
//
// The archive holds no records of folders, only the files in them; this field carries
// the times of the folders in the entry's name, outermost first, in seconds since
// 1970-01-01 UTC like the entry's own. n may be less than the name's folders (the
// outermost n are meant). A writer puts it on the first entry of a folder; readers
// that restore folder times (arq extract) read it through SetExtraFieldHandler, the
// engine passes it over.
enum {
    EXTRA_FIELD_HEAD_SIZE = 4,
    EXTRA_ID_CHECKSUM = 0x4B43, // bytes "CK"
    EXTRA_CHECKSUM_LENGTH = 4,
    EXTRA_CHECKSUM_FIELD_SIZE = EXTRA_FIELD_HEAD_SIZE + EXTRA_CHECKSUM_LENGTH, // 8
    EXTRA_ID_FOLDER_TIMES = 0x5446,                                            // bytes "FT"
    EXTRA_FOLDER_TIME_SIZE = 4,                                                // one time
};

// Storage methods; any other value is not extractable.
enum {
    METHOD_STORED = 1,
    METHOD_CRUSHED = 2,
};

// Entry flags; other bits are carried but not interpreted.
enum {
    ENTRY_NO_EXTRACT = 4,
    ENTRY_SPANNED = 8,
};

// Name-case code that keeps the stored letter case; any other code upper-cases a..z.
enum { NAME_CASE_KEEP = 3 };

// ---- Version rule -----------------------------------------------------------------

// Versions are one byte: high nibble major, low nibble minor.
enum {
    ENGINE_VERSION_MAJOR = 3,
    ENGINE_VERSION_MINOR = 1,
    ENGINE_VERSION = (ENGINE_VERSION_MAJOR << 4) | ENGINE_VERSION_MINOR, // 0x31
};

// 1 when this engine may extract an entry whose version-needed byte is `needed`.
inline int VersionAccepted(int needed) {
    const int major = (needed >> 4) & 0x0F;
    const int minor = needed & 0x0F;
    if (major > ENGINE_VERSION_MAJOR) return 0;
    if (major == ENGINE_VERSION_MAJOR && minor > ENGINE_VERSION_MINOR) return 0;
    return 1;
}

// ---- Little-endian fields -----------------------------------------------------------

inline uint32_t GetLE16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutLE16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}
