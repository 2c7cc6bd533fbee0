// The engine's interface: what it offers to the launcher and to tools. Opening an
// archive or a program, walking its entries, verifying and extracting them, the
// events that report on the way, and writing archives and shows (engine/writer.h).
// The archive's byte layout is public too (engine/archive.h), as are the entry's
// record (engine/descriptor.h), the entry checksum (engine/checksum.h) and the signed
// bytes of a program (engine/signed_bytes.h). Every other header of engine/ is the
// engine's own.
//
// Process-wide state throughout (file slots, handlers, the decoder, the current
// volume): one archive operation at a time, not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/archive.h"
#include "engine/checksum.h"
#include "engine/descriptor.h"
#include "engine/signed_bytes.h"
#include "engine/writer.h"
#include "fileio/codes.h"

// ---- Events ------------------------------------------------------------------------
//
// Two handler slots; every event goes to the handler in EVENT_SLOT_MAIN, and
// EVENT_SLOT_SECOND only stores a pointer.

typedef int (*EventHandler)(EntryDescriptor* desc, int32_t event, int32_t argument);
typedef EventHandler OverwriteQuery;

enum {
    EVENT_SLOT_MAIN = 100,
    EVENT_SLOT_SECOND = 101,
};

int SetEventHandler(int slot, EventHandler handler); // 0, or ERR_BAD_ARGUMENT
EventHandler GetEventHandler(int slot);              // the handler stored in a slot, or null

// ---- Opening an archive or a program -----------------------------------------------

// Searches from the slot's current position for the first occurrence of the pattern.
// Returns the offset of its first byte; -1 minus the pattern length when there is
// none (-5 for a signature), also when the search gave up after `limit` bytes
// (0 = no limit; the chunk in which the count passes the limit is still scanned);
// ERR_NO_MEMORY without a buffer; ERR_CANCELLED when a handler set STATUS_CANCEL
// during EVT_SEARCH_PROGRESS, raised after every chunk read (the last, empty read
// included). ERR_BAD_ARGUMENT for a pattern of 0 or more than SEARCH_PATTERN_MAX
// bytes, ERR_BAD_HANDLE for a slot that is not open, ERR_IO when the file's size
// cannot be taken. The slot's position is the same afterwards.
int32_t FindSignature(int slot, const uint8_t* pattern, int32_t length, int32_t limit);

// Search for the first entry header record (67 57 04 01), or for the archive header
// record (67 57 04 02), within SIGNATURE_SEARCH_LIMIT bytes. With a name, that file is
// opened, searched from its first byte and closed, and slot is ignored; with a null
// name the open slot is searched from its position. FindEntrySignature returns the
// offset of the signature, FindArchiveHeader the offset of the byte behind it.
// ERR_BAD_ARGUMENT for an empty name or, without a name, a slot outside the table;
// ERR_NOT_FOUND when the named file cannot be opened; else as FindSignature.
int32_t FindEntrySignature(const char* name, int slot);
int32_t FindArchiveHeader(const char* name, int slot);

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

// ---- Walking the entries -----------------------------------------------------------

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

// Whether an entry whose header was read at headerOffset of the volume open now stands
// where the header says. A whole entry is written with the number of the volume it is
// on, so another number means the header is damaged, and a walk ends there rather than
// trust the rest of it. A volume file's first record is the exception: on a later disk
// it continues an entry begun on an earlier one (its last piece is not marked as
// spanned), and is taken as such; so is a spanned entry met on a later disk.
int EntryOnItsVolume(const EntryDescriptor* desc, int32_t headerOffset);

// Moves desc->input_slot past the current entry to the next entry header record,
// changing disks when the entry goes on there. 0 when the input stands on the next
// record, non-zero otherwise.
int SkipEntry(EntryDescriptor* desc);

// Puts the volume state back to its start: g_currentVolume 0, no assembled entry, and
// the one new start from the first disk that a walk may make not yet used (a second
// one would only come from a damaged or hostile set and could go round for ever).
// Call it when a walk begins (ExtractSelf, ExtractArchive) and in tests.
void SpannedResetState();

// The number of the volume open now (0: the first), which a header's volume byte is
// compared with.
int32_t CurrentVolume();

// ---- Verifying ---------------------------------------------------------------------

// What VerifyEntry found out about an entry besides its result.
struct VerifyReport {
    int32_t checked;   // 1 when the Stored copy or the Crushed decoding ran (0: the spanned
                       // step stopped first, or the method is unknown)
    uint32_t checksum; // CRC-32 of the bytes the data gave, when its header carries one
    // Crushed, once decoding began:
    uint64_t bits_used;    // stream bits the decoder took, the zeros it read past the bytes
                           // given included: above compressed_size * 8 when it ran past its data
    uint32_t bytes_unread; // bytes given (data and lookahead) that it never fetched
    int32_t input_ended;   // the input ended, or could not be read, within the bytes given
};

// Reads or decodes the entry whose header was just read from input_slot as ExtractEntry
// does (the spanned step, the method dispatch, the checksum comparison, the same events
// and results), and writes nothing: no output slot, no free-space check, and an entry
// marked ENTRY_NO_EXTRACT is verified as any other. A spanned entry's pieces are
// collected in the system's temporary folder; desc->name keeps the stored name.
// lookahead: bytes that stand in the input behind the entry's data, which a Crushed
// stream may read on into before it meets zero bits (0: none, as in ExtractEntry; none
// either for a spanned entry). 0 when the data is intact, or when the spanned step or
// an unknown method passed the entry over (report->checked 0); ERR_BAD_ARGUMENT;
// ERR_BAD_HANDLE; ERR_NO_MEMORY; ERR_CANCELLED; ERR_IO for Stored data whose input ends
// early; ERR_BAD_DATA as in ExtractEntry; the results of the spanned step. The input
// then stands behind the entry's data, as after ExtractEntry.
int VerifyEntry(EntryDescriptor* desc, uint32_t lookahead, VerifyReport* report);
// Frees what ExtractEntry and VerifyEntry keep from one entry to the next (the Crushed
// decoder's table, which the next entry obtains again): at the end of a walk of one's
// own, or after ExtractArchive.
void ReleaseEntryBuffers();

// ---- Extracting --------------------------------------------------------------------

enum {
    // Longest output path in bytes: a joined destination and stored name is cut here,
    // so that it fits the engine's 260-byte path buffers with its terminator.
    EXTRACT_PATH_MAX = 259,
};

// module: the running program's module handle (null: the running program itself).
// destination: overrides the folder stored in the archive header record, or null.
// 0 once the archive was found and walked; -1 when the program's file cannot be
// named or opened or holds no archive header record (or one cut short); ERR_NOT_FOUND
// or ERR_BAD_ARCHIVE from OpenArchiveCheck; ERR_NO_MEMORY without a path buffer.
int16_t ExtractSelf(void* module, const char* destination, EventHandler handler, OverwriteQuery query);

// The archive header record of the program open in slot, read as ExtractSelf takes it:
// the first one from the file's start, whole within the program's signed bytes. 0;
// ERR_NOT_FOUND when there is none within the search limit, ERR_BAD_HEADER when it is
// cut short or names too long a folder, ERR_BAD_ARCHIVE when it is not all signed, or
// the search's ERR_NO_MEMORY or ERR_CANCELLED. The slot's position is undefined after.
int ReadSelfArchiveHeader(int slot, ArchiveHeaderInfo* info);

// Extracts every entry of the archive at path into destination (may be empty or null:
// names stay relative to the current folder). -1 when the archive cannot be opened,
// ERR_BAD_ARGUMENT for a destination longer than ARCHIVE_DEST_MAX bytes, else 0.
// An entry whose stored name is unsafe (see StoredNameSafe) is refused with
// EVT_UNSAFE_NAME and nothing is created for it; an entry that was not extracted for
// any other reason than a cancel, lack of space or an EVT_NO_MEMORY gets one
// EVT_ENTRY_FAILED. Once a handler has set STATUS_CANCEL the walk ends.
int ExtractArchive(const char* path, const char* destination);
// As ExtractArchive, with the first entry header record at the offset start (a
// negative start: found by the search, as ExtractArchive finds it).
int ExtractArchiveFrom(const char* path, const char* destination, int32_t start);

// Chooses the entries ExtractArchive writes: asked with the stored name in desc->name
// before anything is done for the entry; 0 passes the entry over without an event.
// Null (the default): every entry.
typedef int (*EntryFilter)(EntryDescriptor* desc);
void SetEntryFilter(EntryFilter filter);

// The overwrite query ExtractArchive asks before an existing file is replaced (null:
// always replace). ExtractSelf sets it from its argument.
void SetOverwriteQuery(OverwriteQuery query);

// How the last walk of ExtractArchive ended: ERR_END_OF_ARCHIVE when it reached the
// end-of-archive record, otherwise the result that stopped it (a damaged or cut-short
// archive, a cancel). Tools report an archive as damaged from it.
int ExtractWalkResult();

// 1 when a normalised stored name may be joined to a destination: not empty, no
// leading separator, no ':' (drive prefix, Windows data stream), and every component
// (split at '\' or '/', double-byte aware) non-empty, not made of dots and blanks
// only (".", "..", "..."), and no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM0-9, LPT0-9, in any letter case, with or without extension). 0 otherwise.
int StoredNameSafe(const char* name);

// Creates the missing folders of an output path (never its last component). 0, or
// ERR_BAD_ARGUMENT for a null path or one longer than PATH_MAX_LENGTH.
int CreateDirectories(const char* path);
