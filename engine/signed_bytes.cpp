#include "engine/signed_bytes.h"

#include "engine/archive.h"
#include "fileio/slots.h"

static int ReadAt(int slot, int32_t offset, uint8_t* bytes, int32_t count) {
    return FileSeek(slot, offset, FILE_SEEK_START) == offset && FileRead(slot, bytes, count) == count;
}

static int32_t CertificateTable(int slot, int32_t size) {
    uint8_t bytes[PE_FILE_HEADER_SIZE];
    if (!ReadAt(slot, 0, bytes, 2) || bytes[0] != 'M' || bytes[1] != 'Z') return SIGNED_END_NONE;
    if (!ReadAt(slot, PE_HEADER_OFFSET_AT, bytes, 4)) return SIGNED_END_NONE;
    const uint32_t header = GetLE32(bytes);
    // Every offset below stays within a file the slots can hold (32-bit positions).
    if (header > static_cast<uint32_t>(size)) return SIGNED_END_NONE;
    const int32_t peAt = static_cast<int32_t>(header);
    if (!ReadAt(slot, peAt, bytes, 4) || bytes[0] != 'P' || bytes[1] != 'E' || bytes[2] != 0 || bytes[3] != 0)
        return SIGNED_END_NONE;
    if (!ReadAt(slot, peAt + 4, bytes, PE_FILE_HEADER_SIZE)) return SIGNED_END_NONE;
    const uint32_t optionalSize = GetLE16(bytes + PE_OPTIONAL_SIZE_AT);
    const int32_t optionalAt = peAt + 4 + PE_FILE_HEADER_SIZE;
    if (!ReadAt(slot, optionalAt, bytes, 2)) return SIGNED_END_NONE;
    const uint32_t magic = GetLE16(bytes);
    uint32_t directories = 0;
    if (magic == PE32_MAGIC)
        directories = PE32_DIRECTORIES_AT;
    else if (magic == PE32_PLUS_MAGIC)
        directories = PE32_PLUS_DIRECTORIES_AT;
    else
        return SIGNED_END_NONE;
    const uint32_t entryAt = directories + PE_CERTIFICATE_DIRECTORY * PE_DIRECTORY_SIZE;
    if (optionalSize < entryAt + PE_DIRECTORY_SIZE) return SIGNED_END_NONE;
    if (!ReadAt(slot, optionalAt + static_cast<int32_t>(directories) - 4, bytes, 4) ||
        GetLE32(bytes) <= PE_CERTIFICATE_DIRECTORY)
        return SIGNED_END_NONE;
    if (!ReadAt(slot, optionalAt + static_cast<int32_t>(entryAt), bytes, PE_DIRECTORY_SIZE))
        return SIGNED_END_NONE;
    const uint32_t tableAt = GetLE32(bytes);
    const uint32_t tableSize = GetLE32(bytes + 4);
    if (tableAt == 0 && tableSize == 0) return SIGNED_END_NONE;
    if (tableAt >= static_cast<uint32_t>(size)) return SIGNED_END_NONE;
    return static_cast<int32_t>(tableAt);
}

int32_t ProgramSignedEnd(int slot) {
    const int32_t start = FileTell(slot);
    if (start < 0) return SIGNED_END_NONE;
    const int32_t size = FileSeek(slot, 0, FILE_SEEK_END);
    const int32_t end = size < 0 ? SIGNED_END_NONE : CertificateTable(slot, size);
    FileSeek(slot, start, FILE_SEEK_START);
    return end;
}

bool WithinSignedBytes(int32_t end, int32_t position, uint32_t count) {
    if (end == SIGNED_END_NONE) return true;
    return position >= 0 && static_cast<int64_t>(position) + count <= end;
}
