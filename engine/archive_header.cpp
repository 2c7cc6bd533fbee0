// Reading the archive header record of a self-extracting program.
#include <cstring>

#include "engine/engine.h"
#include "fileio/slots.h"

// Reads exactly count bytes; ERR_BAD_HEADER when the file ends first.
static int ReadExactly(int slot, void* buffer, int32_t count) {
    if (count == 0) return 0;
    return FileRead(slot, buffer, count) == count ? 0 : ERR_BAD_HEADER;
}

// Format notes: behind the signature come the total size (4), the destination length D
// (2), D bytes of destination, the comment length C (2) and C bytes of comment. Every
// length is checked against its buffer before the bytes are read.
int ReadArchiveHeader(int slot, ArchiveHeaderInfo* info) {
    if (info == nullptr) return ERR_BAD_ARGUMENT;
    std::memset(info, 0, sizeof *info);
    if (slot < 0 || slot >= FILE_SLOT_COUNT) return ERR_BAD_HANDLE;

    uint8_t field[4];
    int rc = ReadExactly(slot, field, 4);
    if (rc < 0) return rc;
    info->total_size = GetLE32(field);

    rc = ReadExactly(slot, field, 2);
    if (rc < 0) return rc;
    const int32_t destinationLength = static_cast<int32_t>(GetLE16(field));
    if (destinationLength > ARCHIVE_DEST_MAX) return ERR_BAD_HEADER;
    rc = ReadExactly(slot, info->destination, destinationLength);
    if (rc < 0) {
        info->destination[0] = '\0';
        return rc;
    }
    info->destination[destinationLength] = '\0';
    info->destination_length = destinationLength;

    rc = ReadExactly(slot, field, 2);
    if (rc < 0) return rc;
    info->comment_length = static_cast<int32_t>(GetLE16(field));
    // The comment is not used; passing over it in small reads still notices a record
    // cut short.
    uint8_t discard[256];
    for (int32_t left = info->comment_length; left > 0;) {
        const int32_t piece =
            left < static_cast<int32_t>(sizeof discard) ? left : static_cast<int32_t>(sizeof discard);
        rc = ReadExactly(slot, discard, piece);
        if (rc < 0) return rc;
        left -= piece;
    }
    return 0;
}
