// Turning an archive into files: the engine's entry points.
//
// ExtractSelf finds the archive carried by a program's own file, announces its total
// size and hands it to ExtractArchive, which walks the entries, composes each output
// path under the destination, asks the optional overwrite query, creates folders,
// opens the output file and calls ExtractEntry; ExtractEntry checks the free space,
// dispatches on the storage method and reports through the event handler.
// VerifyEntry takes ExtractEntry's steps for a tool's own walk and writes nothing.
//
// Process-wide state (OutputSlot, the overwrite query, the archive slot), not
// thread-safe: one extraction at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/descriptor.h"
#include "engine/events.h"

extern int32_t OutputSlot; // slot CopyStored writes to; set by ExtractEntry; starts at -1

enum {
    // Longest output path in bytes: a joined destination and stored name is cut here,
    // so that it fits the engine's 260-byte path buffers with its terminator.
    EXTRACT_PATH_MAX = 259,
    // Stored data is copied in buffers of this size, halved under memory pressure while
    // the size is at least twice EXTRACT_COPY_MIN: 0x20000, 0x10000, 0x8000, 0x4000, 0x2000.
    EXTRACT_COPY_BUFFER = 0x20000,
    EXTRACT_COPY_MIN = 0x2000,
    // A Stored copy raises EVT_PROGRESS after every this many buffers (1 MiB at full size).
    EXTRACT_PROGRESS_BUFFERS = 8,
};

// module: the running program's module handle (null: the running program itself).
// destination: overrides the folder stored in the archive header record, or null.
// 0 once the archive was found and walked; -1 when the program's file cannot be
// named or opened or holds no archive header record (or one cut short); ERR_NOT_FOUND
// or ERR_BAD_ARCHIVE from OpenArchiveCheck; ERR_NO_MEMORY without a path buffer.
int16_t ExtractSelf(void* module, const char* destination, EventHandler handler, OverwriteQuery query);

struct ArchiveHeaderInfo;
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

// Extracts the entry whose header was just read from input_slot into output_slot
// (desc->name holds the output path). 0 when written or skipped (method, flag);
// ERR_BAD_HANDLE; ERR_DISK_FULL; ERR_NO_MEMORY; ERR_CANCELLED; ERR_IO for a copy or
// write that came up short; ERR_BAD_DATA for a damaged Crushed stream, a Stored
// entry whose two sizes differ, or an entry whose written bytes do not give the
// checksum its header carries (checksum_state is then CHECKSUM_MISMATCH, and the
// entry gets EVT_ENTRY_FAILED, never EVT_ENTRY_DONE); the results of the spanned step. Whatever happened,
// except a failed volume change, input_slot then stands behind the entry's data.
int ExtractEntry(EntryDescriptor* desc);

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
// The copy loop of a Stored entry, from InputSlot to OutputSlot. 0, ERR_NO_MEMORY (after
// EVT_NO_MEMORY), ERR_CANCELLED, ERR_IO when the input ends early or a write is short.
int CopyStored(EntryDescriptor* desc);
// Creates the missing folders of an output path (never its last component). 0, or
// ERR_BAD_ARGUMENT for a null path or one longer than PATH_MAX_LENGTH.
int CreateDirectories(const char* path);
int FileReadable(const char* path); // 1 when the file can be opened for reading
int IsDirectory(const char* path);  // 1 for a folder or a bare drive such as "C:"

// 1 when a normalised stored name may be joined to a destination: not empty, no
// leading separator, no ':' (drive prefix, Windows data stream), and every component
// (split at '\' or '/', double-byte aware) non-empty, not made of dots and blanks
// only (".", "..", "..."), and no device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM0-9, LPT0-9, in any letter case, with or without extension). 0 otherwise.
int StoredNameSafe(const char* name);

// 1 when no folder of the output path beyond its first prefix bytes (the destination
// and its separator) is a link leading out of destination ("" is the current folder):
// a link whose target lies inside it is followed like a folder; one that leads
// elsewhere, or nowhere, would make the file land outside. 0 otherwise.
int OutputFoldersInside(const char* path, size_t prefix, const char* destination);

// Puts the extraction state back to its start values (tests).
void ExtractResetState();
