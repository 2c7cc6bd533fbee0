// Passing over an entry that is not extracted, also across disks.
#include <cstring>

#include "engine/engine.h"
#include "engine/spanned.h"
#include "engine/spanned_state.h"
#include "fileio/slots.h"

enum { POSITION_MAX = 0x7FFFFFFF }; // stream positions are signed 32-bit byte counts

// Moves the input forward by size bytes. A target beyond the largest position cannot
// be a record of this file: rather than wrap round to a negative offset (which would
// go backwards, to a record already read), the input is put at the end of the file,
// where the next read finds nothing.
static int SeekForward(int slot, uint32_t size) {
    const int32_t here = FileTell(slot);
    if (here < 0) return ERR_IO;
    const int64_t target = static_cast<int64_t>(here) + size;
    if (target > POSITION_MAX) {
        FileSeek(slot, 0, FILE_SEEK_END);
        return ERR_IO;
    }
    return FileSeek(slot, static_cast<int32_t>(target), FILE_SEEK_START) == target ? 0 : ERR_IO;
}

// After an assembly the archive input already stands behind the entry's last piece,
// and the method dispatch reads the temporary file, which is no volume: a skip of that
// entry has nothing left to do.
static int StandsBehindAssembledEntry(const EntryDescriptor* desc) {
    if ((desc->flags & ENTRY_SPANNED) == 0) return 0;
    if (g_spannedTempInput >= 0 && desc->input_slot == g_spannedTempInput) return 1;
    return g_spannedBehindSlot >= 0 && desc->input_slot == g_spannedBehindSlot &&
           FileTell(desc->input_slot) == g_spannedBehindPosition;
}

// Format notes: a spanned entry's piece runs to the end of its volume file, so the
// record behind it is the continuation header at the start of the next volume. The
// data itself is never searched for a signature: an archive stored inside an archive,
// or chance bytes of compressed data, may hold 67 57 04 01.
//
// The continuation headers are read into a descriptor of their own. The entry's
// descriptor keeps its fields (its name is the output path whose mode and time the
// walk sets afterwards); only input_slot follows the volumes.
int SkipEntry(EntryDescriptor* desc) {
    if (desc == nullptr) return ERR_BAD_ARGUMENT;
    if (StandsBehindAssembledEntry(desc)) return 0;

    int32_t flags = desc->flags;
    uint8_t volume = desc->volume_info[0];
    uint32_t size = desc->compressed_size;
    while ((flags & ENTRY_SPANNED) != 0) {
        g_currentVolume = volume;
        const int rc = NextVolume(desc);
        if (rc != 0) return rc;
        if (FileSeek(desc->input_slot, 0, FILE_SEEK_START) != 0) return ERR_IO;
        EntryDescriptor piece;
        std::memset(&piece, 0, sizeof piece);
        piece.input_slot = desc->input_slot;
        const int16_t read = ReadEntryHeader(&piece);
        if (read != 0) return read;
        flags = piece.flags;
        volume = piece.volume_info[0];
        size = piece.compressed_size; // what remains of the entry from this volume on
    }
    return SeekForward(desc->input_slot, size);
}
