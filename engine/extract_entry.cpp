// One entry's data into its output file: the free-space check, the spanned step, and
// the dispatch on the storage method (the Stored copy here, the Crushed loop through
// the decoder). Verifying an entry takes the same steps and writes nothing.
#include <cstring>

#include "crushed/crushed.h"
#include "engine/archive.h"
#include "engine/checksum.h"
#include "engine/extract.h"
#include "engine/extract_state.h"
#include "engine/spanned.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

static int SlotInTable(int32_t slot) { return slot >= 0 && slot < FILE_SLOT_COUNT; }

// What the dispatch does with an entry's bytes: ExtractEntry writes them to the output
// slot, VerifyEntry only takes their checksum.
struct EntryRun {
    int writes;         // 1: into OutputSlot, flushed before the entry is done
    uint32_t lookahead; // Crushed: bytes behind the data the decoder may read on into
};

// Entries flagged ENTRY_NO_EXTRACT are never written.
static int CanExtractEntry(const EntryDescriptor* desc) { return (desc->flags & ENTRY_NO_EXTRACT) == 0; }

// Bytes still buffered for the output file are written out now, so that a disk that
// filled up is noticed before the entry is reported done.
static int FlushOutput(int32_t slot) {
    FileSlot* record = FileGetSlot(slot);
    if (record == nullptr || record->stream == nullptr) return ERR_BAD_HANDLE;
    return PlatFlush(record->stream) == 0 ? 0 : ERR_IO;
}

// Adds the bytes just written to the entry's running checksum, when it carries one
// (an entry without costs nothing more than before).
static void CountWritten(const EntryDescriptor* desc, const uint8_t* bytes, uint32_t count) {
    if (desc->checksum_state != CHECKSUM_NONE)
        g_entryChecksum = ChecksumUpdate(g_entryChecksum, bytes, count);
}

// An entry written whole is compared with the checksum its header carries. 0, or
// ERR_BAD_DATA when they differ: the data decoded or copied without a fault and is
// still not what was stored.
static int CompareChecksum(EntryDescriptor* desc) {
    if (desc->checksum_state == CHECKSUM_NONE) return 0;
    if (g_entryChecksum != desc->checksum) {
        desc->checksum_state = CHECKSUM_MISMATCH;
        return ERR_BAD_DATA;
    }
    desc->checksum_state = CHECKSUM_MATCHED;
    return 0;
}

// Puts the input behind the entry's data, wherever a failed or stopped method left
// it, so that the walk finds the next record. After a spanned step the archive's
// input already stands there (the method read a temporary file).
static void SkipRestOfData(const EntryDescriptor* desc, int32_t dataStart, int assembled) {
    if (assembled || dataStart < 0) return;
    const uint64_t end = static_cast<uint64_t>(dataStart) + desc->compressed_size;
    if (end <= INT32_MAX && FileTell(desc->input_slot) == static_cast<int32_t>(end)) return;
    // Positions are signed 32-bit: data claimed beyond that runs past the end of any
    // file the slots can read, and the next read there fails.
    if (end > INT32_MAX) {
        FileSeek(desc->input_slot, 0, FILE_SEEK_END);
    } else {
        FileSeek(desc->input_slot, static_cast<int32_t>(end), FILE_SEEK_START);
    }
}

static int CopyStoredData(EntryDescriptor* desc, int writes) {
    uint32_t size = EXTRACT_COPY_BUFFER;
    uint8_t* buffer = static_cast<uint8_t*>(MemAllocHalving(&size, 2 * EXTRACT_COPY_MIN));
    if (buffer == nullptr) {
        RaiseEvent(desc, EVT_NO_MEMORY, 0);
        g_entryReported = 1;
        return ERR_NO_MEMORY;
    }

    int result = 0;
    uint32_t left = desc->uncompressed_size;
    int buffers = 0;
    while (left != 0 && desc->status != STATUS_CANCEL) {
        const int32_t count = static_cast<int32_t>(left < size ? left : size);
        // An input that ends early, or a disk that fills, leaves the file short: the
        // entry is not done.
        if (FileRead(InputSlot, buffer, count) != count ||
            (writes && FileWrite(OutputSlot, buffer, count) != count)) {
            result = ERR_IO;
            break;
        }
        CountWritten(desc, buffer, static_cast<uint32_t>(count));
        left -= static_cast<uint32_t>(count);
        if (EventHandlerRegistered() && ++buffers == EXTRACT_PROGRESS_BUFFERS) {
            RaiseEvent(desc, EVT_PROGRESS, static_cast<int32_t>(desc->uncompressed_size - left));
            buffers = 0;
        }
    }
    MemFree(buffer);
    if (result < 0) return result;
    return desc->status == STATUS_CANCEL ? ERR_CANCELLED : 0;
}

int CopyStored(EntryDescriptor* desc) {
    if (desc == nullptr) return ERR_BAD_ARGUMENT;
    return CopyStoredData(desc, 1);
}

static int ExtractStored(EntryDescriptor* desc, int32_t dataStart, int assembled, const EntryRun* run) {
    // The copy takes the uncompressed size and the skip the compressed size: when
    // they differ the file would take bytes of the next record, or lose its own.
    if (desc->compressed_size != desc->uncompressed_size) {
        SkipRestOfData(desc, dataStart, assembled);
        return ERR_BAD_DATA;
    }
    RaiseEvent(desc, EVT_ENTRY_BEGIN, 0);
    int result = CopyStoredData(desc, run->writes);
    if (result == 0 && run->writes) result = FlushOutput(desc->output_slot);
    if (result == 0) result = CompareChecksum(desc);
    if (result < 0) {
        SkipRestOfData(desc, dataStart, assembled);
        return result;
    }
    RaiseEvent(desc, EVT_ENTRY_DONE, 0);
    return 0;
}

// Format notes: the data is decoded in chunks of CRUSHED_WINDOW_SIZE bytes (the last
// one shorter) through one buffer that is also the decoder's window; DecodeChunk
// raises EVT_PROGRESS with BytesWritten before each chunk. The decoder is given the
// compressed size and the run's lookahead; past them it reads zero bits.
static int ExtractCrushed(EntryDescriptor* desc, int32_t dataStart, int assembled, const EntryRun* run) {
    uint8_t* window = static_cast<uint8_t*>(MemAlloc(CRUSHED_WINDOW_SIZE));
    if (window == nullptr) {
        SkipRestOfData(desc, dataStart, assembled);
        return ERR_NO_MEMORY;
    }
    // A valid stream never refers to bytes before the entry's first; clearing them
    // keeps a damaged one from copying what the buffer held before.
    std::memset(window, 0, CRUSHED_WINDOW_SIZE);
    // An assembled entry's temporary file holds its data and nothing behind it; a
    // lookahead that would take the count past 32 bits is cut to what fits.
    uint32_t lookahead = assembled ? 0 : run->lookahead;
    if (lookahead > UINT32_MAX - desc->compressed_size) lookahead = UINT32_MAX - desc->compressed_size;
    CompressedLeft = desc->compressed_size + lookahead;
    BytesWritten = 0;
    int result = DecoderReset();
    uint32_t left = desc->uncompressed_size;
    while (result == 0 && left != 0 && desc->status != STATUS_CANCEL) {
        const uint32_t count = left < CRUSHED_WINDOW_SIZE ? left : static_cast<uint32_t>(CRUSHED_WINDOW_SIZE);
        result = DecodeChunk(desc, count, window);
        if (result < 0) break;
        if (run->writes && FileWrite(desc->output_slot, window, static_cast<int32_t>(count)) !=
                               static_cast<int32_t>(count)) {
            result = ERR_IO;
            break;
        }
        CountWritten(desc, window, count);
        BytesWritten += count;
        left -= count;
    }
    // The decoder reads ahead of the stream between chunks; an entry that stops after
    // a full chunk (or is cancelled) leaves the slot where the stream's bits end.
    if (result == 0) DecoderPutBack();
    MemFree(window);
    if (result == 0 && desc->status == STATUS_CANCEL) result = ERR_CANCELLED;
    if (result == 0 && run->writes) result = FlushOutput(desc->output_slot);
    if (result == 0) result = CompareChecksum(desc);
    // A damaged stream stops anywhere in its data, and one that ends before its
    // compressed size leaves the rest unread.
    SkipRestOfData(desc, dataStart, assembled);
    if (result < 0) return result;
    RaiseEvent(desc, EVT_ENTRY_DONE, 0);
    return 0;
}

// The spanned step and the dispatch on the method, which ExtractEntry and VerifyEntry
// share. *dispatched is 1 when the Stored copy or the Crushed loop ran.
static int RunEntry(EntryDescriptor* desc, const EntryRun* run, int* dispatched) {
    *dispatched = 0;
    SpannedEntry span;
    std::memset(&span, 0, sizeof span);
    span.archive_slot = -1;
    int result = 0;
    if (!SpannedEntryBegin(desc, &span, &result)) return result;
    const int assembled = span.active;

    // The flag holds back a file; a verification writes none.
    if (run->writes && !CanExtractEntry(desc)) {
        SpannedEntryEnd(desc, &span);
        RaiseEvent(desc, EVT_NO_EXTRACT, 0);
        if (!assembled) SkipEntry(desc);
        return 0;
    }

    InputSlot = desc->input_slot;
    if (run->writes) OutputSlot = desc->output_slot;
    const int32_t dataStart = FileTell(desc->input_slot);
    switch (desc->method) {
        case METHOD_STORED:
            *dispatched = 1;
            result = ExtractStored(desc, dataStart, assembled, run);
            break;
        case METHOD_CRUSHED:
            *dispatched = 1;
            result = ExtractCrushed(desc, dataStart, assembled, run);
            break;
        default:
            RaiseEvent(desc, EVT_UNKNOWN_METHOD, 0);
            if (!assembled) SkipEntry(desc);
            result = 0;
            break;
    }
    SpannedEntryEnd(desc, &span);
    return result;
}

int ExtractEntry(EntryDescriptor* desc) {
    if (desc == nullptr) return ERR_BAD_ARGUMENT;
    if (!SlotInTable(desc->input_slot) || !SlotInTable(desc->output_slot)) return ERR_BAD_HANDLE;
    g_entryReported = 0;
    g_entryChecksum = CHECKSUM_EMPTY;

    // A spanned entry also needs room for the temporary file that collects its pieces.
    uint64_t needed = desc->uncompressed_size;
    if (desc->flags & ENTRY_SPANNED) needed += desc->compressed_size;
    // The folder may lie on another filesystem than its drive's root (one mounted
    // there): its own free bytes count. The event still names the drive.
    const int drive = DriveFromPath(desc->name);
    if (PathFreeBytes(desc->name) < needed) {
        RaiseEvent(desc, EVT_DISK_FULL, drive);
        g_entryReported = 1;
        SkipEntry(desc);
        return ERR_DISK_FULL;
    }

    const EntryRun run = {1, 0};
    int dispatched = 0;
    return RunEntry(desc, &run, &dispatched);
}

// Stands in for an output file's name in the temporary folder: the spanned step
// collects a spanned entry's pieces beside the path it is given.
static const char VERIFY_PLACEHOLDER[] = "VERIFY";

// Points desc->name into the system's temporary folder (the current folder when there
// is none, or its name is too long).
static void PointAtTempFolder(EntryDescriptor* desc) {
    char folder[PATH_MAX_LENGTH + 1];
    const uint32_t length = PlatTempFolder(folder, sizeof folder);
    if (length == 0 || length + sizeof VERIFY_PLACEHOLDER > sizeof desc->name) {
        std::memcpy(desc->name, VERIFY_PLACEHOLDER, sizeof VERIFY_PLACEHOLDER);
    } else {
        std::memcpy(desc->name, folder, length);
        std::memcpy(desc->name + length, VERIFY_PLACEHOLDER, sizeof VERIFY_PLACEHOLDER);
    }
    desc->name_length = static_cast<int32_t>(std::strlen(desc->name));
}

int VerifyEntry(EntryDescriptor* desc, uint32_t lookahead, VerifyReport* report) {
    if (desc == nullptr || report == nullptr) return ERR_BAD_ARGUMENT;
    std::memset(report, 0, sizeof *report);
    if (!SlotInTable(desc->input_slot)) return ERR_BAD_HANDLE;
    g_entryReported = 0;
    g_entryChecksum = CHECKSUM_EMPTY;

    // The stored name is put back whatever the spanned step made of the descriptor.
    const int spanned = (desc->flags & ENTRY_SPANNED) != 0;
    char stored[sizeof desc->name];
    const int32_t storedLength = desc->name_length;
    if (spanned) {
        std::memcpy(stored, desc->name, sizeof stored);
        PointAtTempFolder(desc);
    }
    const EntryRun run = {0, lookahead};
    int dispatched = 0;
    const int result = RunEntry(desc, &run, &dispatched);
    if (spanned) {
        std::memcpy(desc->name, stored, sizeof stored);
        desc->name_length = storedLength;
    }

    report->checked = dispatched;
    report->checksum = g_entryChecksum;
    // Without memory the decoder never started, and its counts are an earlier entry's.
    if (dispatched && desc->method == METHOD_CRUSHED && result != ERR_NO_MEMORY) {
        report->bits_used = BitInputBitsUsed();
        report->bytes_unread = CompressedLeft;
        report->input_ended = BitInputEnded();
    }
    return result;
}

void ReleaseEntryBuffers() { DecoderRelease(); }
