// The archive's records built from their fields, and the entry block read back into them.
#include <cstring>

#include "engine/writer.h"
#include "fileio/paths.h"

// Names that Windows runs by themselves get the executable mode, as our writer has
// always stored it for the player.
static int IsExecutableName(const uint8_t* name, uint32_t size) {
    static const char* const kRunnable[] = {".EXE", ".COM", ".BAT", ".CMD"};
    if (size < 4) return 0;
    for (const char* ext : kRunnable) {
        if (std::memcmp(name + size - 4, ext, 4) == 0) return 1;
    }
    return 0;
}

void EntryBlockDefaults(EntryBlockFields* block, uint32_t dataSize) {
    std::memset(block, 0, sizeof *block);
    block->mode = WRITER_MODE_FILE;
    block->compressed_size = dataSize;
    block->uncompressed_size = dataSize;
    block->method = METHOD_STORED;
    block->name_case = WRITER_NAME_CASE;
    block->flags = WRITER_FLAGS;
}

static void LeadDefaults(EntryHeaderFields* header) {
    std::memset(header, 0, sizeof *header);
    std::memcpy(header->signature, EntrySignature(), SIGNATURE_SIZE);
    header->version_made_by = WRITER_VERSION_MADE_BY;
    header->version_needed = WRITER_VERSION_NEEDED;
}

int EntryHeaderDefaults(EntryHeaderFields* header, const char* name, uint32_t dataSize) {
    if (header == nullptr || name == nullptr) return ERR_BAD_ARGUMENT;
    const size_t length = std::strlen(name);
    // An empty name would make the record an end-of-archive record.
    if (length == 0 || length > ENTRY_NAME_MAX) return ERR_BAD_ARGUMENT;

    LeadDefaults(header);
    EntryBlockDefaults(&header->block, dataSize);

    char normal[ENTRY_NAME_MAX + 1];
    std::memcpy(normal, name, length + 1);
    PathUpperCase(normal); // skips double-byte characters
    // '/' (0x2F) is below every trail-byte range of the double-byte code pages, so it
    // is always a separator of its own.
    for (size_t i = 0; i < length; i++) {
        if (normal[i] == '/') normal[i] = '\\';
    }
    std::memcpy(header->name, normal, length);
    header->name_size = static_cast<uint32_t>(length);
    header->name_length = static_cast<uint16_t>(length);
    if (IsExecutableName(header->name, header->name_size)) header->block.mode = WRITER_MODE_EXECUTABLE;
    return 0;
}

int EntryHeaderSetName(EntryHeaderFields* header, const uint8_t* bytes, uint32_t size) {
    if (header == nullptr || size > WRITER_NAME_CAPACITY || (bytes == nullptr && size != 0)) {
        return ERR_BAD_ARGUMENT;
    }
    if (size != 0) std::memcpy(header->name, bytes, size);
    header->name_size = size;
    header->name_length = static_cast<uint16_t>(size);
    return 0;
}

int EntryHeaderSetExtra(EntryHeaderFields* header, const uint8_t* bytes, uint32_t size) {
    if (header == nullptr || size > WRITER_EXTRA_MAX || (bytes == nullptr && size != 0)) {
        return ERR_BAD_ARGUMENT;
    }
    const uint32_t field = header->has_checksum ? static_cast<uint32_t>(EXTRA_CHECKSUM_FIELD_SIZE) : 0;
    if (size + field > WRITER_EXTRA_MAX) return ERR_BAD_ARGUMENT;
    header->extra = bytes;
    header->extra_size = size;
    header->block.extra_count = static_cast<uint16_t>(size + field);
    return 0;
}

int EntryHeaderSetChecksum(EntryHeaderFields* header, uint32_t checksum) {
    if (header == nullptr) return ERR_BAD_ARGUMENT;
    if (!header->has_checksum) {
        if (header->block.extra_count + static_cast<uint32_t>(EXTRA_CHECKSUM_FIELD_SIZE) > WRITER_EXTRA_MAX) {
            return ERR_BAD_ARGUMENT;
        }
        header->block.extra_count =
            static_cast<uint16_t>(header->block.extra_count + EXTRA_CHECKSUM_FIELD_SIZE);
    }
    header->has_checksum = 1;
    header->checksum = checksum;
    return 0;
}

void EncodeChecksumField(uint32_t checksum, uint8_t out[EXTRA_CHECKSUM_FIELD_SIZE]) {
    PutLE16(out, EXTRA_ID_CHECKSUM);
    PutLE16(out + 2, EXTRA_CHECKSUM_LENGTH);
    PutLE32(out + EXTRA_FIELD_HEAD_SIZE, checksum);
}

int EndRecordDefaults(EntryHeaderFields* end, const EntryBlockFields* previous, const uint8_t* extra,
                      uint32_t extraSize) {
    if (end == nullptr) return ERR_BAD_ARGUMENT;
    LeadDefaults(end);
    if (previous != nullptr) {
        end->block = *previous;
    } else {
        EntryBlockDefaults(&end->block, 0);
    }
    end->block.extra_count = 0;
    return EntryHeaderSetExtra(end, extra, extraSize);
}

uint32_t EntryHeaderSize(const EntryHeaderFields* header) {
    const uint32_t field = header->has_checksum ? static_cast<uint32_t>(EXTRA_CHECKSUM_FIELD_SIZE) : 0;
    return ENTRY_FIXED_SIZE + header->name_size + field + header->extra_size;
}

void EncodeEntryLead(const EntryHeaderFields* header, uint8_t out[ENTRY_LEAD_SIZE]) {
    std::memcpy(out, header->signature, SIGNATURE_SIZE);
    out[ENTRY_MADE_BY_OFFSET] = header->version_made_by;
    out[ENTRY_NEEDED_OFFSET] = header->version_needed;
    PutLE16(out + ENTRY_NAME_LENGTH_OFFSET, header->name_length);
}

void EncodeEntryBlock(const EntryBlockFields* block, uint8_t out[ENTRY_BLOCK_SIZE]) {
    PutLE32(out + ENTRY_BLOCK_MTIME, block->mtime);
    PutLE16(out + ENTRY_BLOCK_MODE, block->mode);
    PutLE16(out + ENTRY_BLOCK_RESERVED1, block->reserved1);
    PutLE16(out + ENTRY_BLOCK_RESERVED2, block->reserved2);
    PutLE32(out + ENTRY_BLOCK_COMPRESSED, block->compressed_size);
    PutLE32(out + ENTRY_BLOCK_UNCOMPRESSED, block->uncompressed_size);
    PutLE32(out + ENTRY_BLOCK_RESERVED3, block->reserved3);
    out[ENTRY_BLOCK_METHOD] = block->method;
    out[ENTRY_BLOCK_NAME_CASE] = block->name_case;
    out[ENTRY_BLOCK_FLAGS] = block->flags;
    out[ENTRY_BLOCK_RESERVED4] = block->reserved4;
    std::memcpy(out + ENTRY_BLOCK_VOLUME, block->volume, ENTRY_VOLUME_SIZE);
    PutLE16(out + ENTRY_BLOCK_EXTRA_COUNT, block->extra_count);
}

void DecodeEntryBlock(const uint8_t in[ENTRY_BLOCK_SIZE], EntryBlockFields* block) {
    block->mtime = GetLE32(in + ENTRY_BLOCK_MTIME);
    block->mode = static_cast<uint16_t>(GetLE16(in + ENTRY_BLOCK_MODE));
    block->reserved1 = static_cast<uint16_t>(GetLE16(in + ENTRY_BLOCK_RESERVED1));
    block->reserved2 = static_cast<uint16_t>(GetLE16(in + ENTRY_BLOCK_RESERVED2));
    block->compressed_size = GetLE32(in + ENTRY_BLOCK_COMPRESSED);
    block->uncompressed_size = GetLE32(in + ENTRY_BLOCK_UNCOMPRESSED);
    block->reserved3 = GetLE32(in + ENTRY_BLOCK_RESERVED3);
    block->method = in[ENTRY_BLOCK_METHOD];
    block->name_case = in[ENTRY_BLOCK_NAME_CASE];
    block->flags = in[ENTRY_BLOCK_FLAGS];
    block->reserved4 = in[ENTRY_BLOCK_RESERVED4];
    std::memcpy(block->volume, in + ENTRY_BLOCK_VOLUME, ENTRY_VOLUME_SIZE);
    block->extra_count = static_cast<uint16_t>(GetLE16(in + ENTRY_BLOCK_EXTRA_COUNT));
}

int ArchiveHeaderDefaults(ArchiveHeaderFields* header, uint32_t totalSize, const char* destination,
                          const char* comment) {
    if (header == nullptr) return ERR_BAD_ARGUMENT;
    const size_t destinationSize = destination != nullptr ? std::strlen(destination) : 0;
    const size_t commentSize = comment != nullptr ? std::strlen(comment) : 0;
    if (destinationSize > ARCHIVE_DEST_MAX || commentSize > WRITER_TEXT_MAX) return ERR_BAD_ARGUMENT;

    std::memset(header, 0, sizeof *header);
    std::memcpy(header->signature, ArchiveSignature(), SIGNATURE_SIZE);
    header->total_size = totalSize;
    header->destination = reinterpret_cast<const uint8_t*>(destination);
    header->destination_size = static_cast<uint32_t>(destinationSize);
    header->destination_length = static_cast<uint16_t>(destinationSize);
    header->comment = reinterpret_cast<const uint8_t*>(comment);
    header->comment_size = static_cast<uint32_t>(commentSize);
    header->comment_length = static_cast<uint16_t>(commentSize);
    return 0;
}

uint32_t ArchiveHeaderSize(const ArchiveHeaderFields* header) {
    return ARCHIVE_HEADER_MIN_SIZE + header->destination_size + header->comment_size;
}
