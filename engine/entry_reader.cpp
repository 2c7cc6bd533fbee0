// Reading one entry header record.
#include <cstring>

#include "engine/engine.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"

// Format notes: the 8-byte lead (signature, version made by, version needed, name
// length) and the 33-byte block behind the name are each taken in one read. The
// buffers are zeroed first, so a record cut short by the end of the file leaves 0 in
// every field it did not deliver rather than the previous entry's values; the result
// then says that no entry was read.
static void FillFromBlock(EntryDescriptor* desc, const uint8_t* bytes) {
    EntryBlockFields block;
    DecodeEntryBlock(bytes, &block);
    desc->mtime = block.mtime;
    desc->mode = static_cast<int16_t>(block.mode);
    desc->reserved1 = block.reserved1;
    desc->reserved2 = block.reserved2;
    desc->compressed_size = block.compressed_size;
    desc->uncompressed_size = block.uncompressed_size;
    desc->reserved3 = block.reserved3;
    desc->method = block.method;
    desc->name_case = block.name_case;
    desc->flags = block.flags;
    desc->reserved4 = block.reserved4;
    std::memcpy(desc->volume_info, block.volume, ENTRY_VOLUME_SIZE);
    desc->extra_count = block.extra_count;
}

// n bytes of the extra bytes, lowest first, into *value (n at most 4). 1 when all came;
// 0 at the end of the file.
static int TakeExtraBytes(int slot, int32_t n, uint32_t* value) {
    *value = 0;
    for (int32_t i = 0; i < n; i++) {
        const int byte = FileGetByte(slot);
        if (byte < 0) return 0;
        *value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    return 1;
}

static ExtraFieldHandler g_extraFieldHandler = nullptr;

void SetExtraFieldHandler(ExtraFieldHandler handler) { g_extraFieldHandler = handler; }

// The fields kept for the handler while a header is read, head and bytes as they
// stood: they are delivered only once the name behind which they stand is normalised.
struct HeldFields {
    uint8_t* bytes; // extra_count bytes; null when no handler is set or no memory
    int32_t used;
};

// Format notes: the extra bytes are tagged fields (see EXTRA_* in engine/archive.h),
// read as they pass, one FileGetByte each, so that exactly extra_count bytes are
// taken whatever they hold. Only the checksum field is kept; any other field, a
// checksum field of another length, and whatever follows a field that runs past the
// extra count are passed over.
static void ReadExtraFields(EntryDescriptor* desc, HeldFields* held) {
    const int slot = desc->input_slot;
    desc->checksum = 0;
    desc->checksum_state = CHECKSUM_NONE;
    int32_t left = desc->extra_count;
    while (left >= EXTRA_FIELD_HEAD_SIZE) {
        uint32_t id = 0;
        uint32_t length = 0;
        if (!TakeExtraBytes(slot, 2, &id) || !TakeExtraBytes(slot, 2, &length)) return;
        left -= EXTRA_FIELD_HEAD_SIZE;
        if (static_cast<int32_t>(length) > left) break;
        left -= static_cast<int32_t>(length);
        if (id == EXTRA_ID_CHECKSUM && length == EXTRA_CHECKSUM_LENGTH &&
            desc->checksum_state == CHECKSUM_NONE) {
            uint32_t value = 0;
            if (!TakeExtraBytes(slot, EXTRA_CHECKSUM_LENGTH, &value)) return;
            desc->checksum = value;
            desc->checksum_state = CHECKSUM_CARRIED;
            continue;
        }
        uint8_t* keep = nullptr;
        if (held->bytes != nullptr && id != EXTRA_ID_CHECKSUM) {
            keep = held->bytes + held->used;
            PutLE16(keep, static_cast<uint16_t>(id));
            PutLE16(keep + 2, static_cast<uint16_t>(length));
            keep += EXTRA_FIELD_HEAD_SIZE;
        }
        for (uint32_t i = 0; i < length; i++) {
            const int byte = FileGetByte(slot);
            if (byte < 0) return;
            if (keep != nullptr) keep[i] = static_cast<uint8_t>(byte);
        }
        if (keep != nullptr) held->used += EXTRA_FIELD_HEAD_SIZE + static_cast<int32_t>(length);
    }
    for (int32_t i = 0; i < left; i++) {
        if (FileGetByte(slot) < 0) return; // the end of the file: nothing more to pass over
    }
}

int16_t ReadEntryHeader(EntryDescriptor* desc) {
    if (desc == nullptr) return ERR_BAD_ARGUMENT;
    const int slot = desc->input_slot;
    if (slot < 0 || slot >= FILE_SLOT_COUNT) return ERR_BAD_HANDLE;

    uint8_t lead[ENTRY_LEAD_SIZE] = {0};
    const int32_t leadRead = FileRead(slot, lead, ENTRY_LEAD_SIZE);
    if (std::memcmp(lead, EntrySignature(), SIGNATURE_SIZE) != 0) {
        return FileTell(slot) == 0 ? ERR_BAD_ARCHIVE : ERR_BAD_HEADER;
    }
    // A signature with nothing behind it: the version and name-length bytes were
    // never read.
    if (leadRead < ENTRY_LEAD_SIZE) return ERR_BAD_HEADER;

    desc->version_made_by = lead[ENTRY_MADE_BY_OFFSET];
    desc->version_needed = lead[ENTRY_NEEDED_OFFSET];
    if (!VersionAccepted(desc->version_needed)) return ERR_VERSION;

    desc->name_length = static_cast<int32_t>(GetLE16(lead + ENTRY_NAME_LENGTH_OFFSET));
    if (desc->name_length > ENTRY_NAME_MAX) {
        desc->name_length = 0;
        return ERR_BAD_HEADER;
    }

    // Zeroed first: a name cut short by the end of the file keeps no bytes of the
    // previous one (the block read behind it then delivers nothing).
    std::memset(desc->name, 0, sizeof desc->name);
    if (desc->name_length > 0) FileRead(slot, desc->name, desc->name_length);

    uint8_t block[ENTRY_BLOCK_SIZE] = {0};
    const int32_t blockRead = FileRead(slot, block, ENTRY_BLOCK_SIZE);
    FillFromBlock(desc, block);

    HeldFields held = {nullptr, 0};
    if (g_extraFieldHandler != nullptr && desc->extra_count > 0) {
        held.bytes = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(desc->extra_count)));
    }
    ReadExtraFields(desc, &held);

    if (desc->name_case == NAME_CASE_KEEP) g_upperCaseNames = 0;
    PathNormalise(desc->name);
    g_upperCaseNames = 1;

    int16_t result = 0;
    if (desc->name_length == 0) {
        result = ERR_END_OF_ARCHIVE;
    } else if (blockRead < ENTRY_BLOCK_SIZE) {
        result = ERR_BAD_HEADER;
    }
    for (int32_t at = 0; result == 0 && at < held.used;) {
        const uint32_t length = GetLE16(held.bytes + at + 2);
        g_extraFieldHandler(desc, GetLE16(held.bytes + at), held.bytes + at + EXTRA_FIELD_HEAD_SIZE, length);
        at += EXTRA_FIELD_HEAD_SIZE + static_cast<int32_t>(length);
    }
    MemFree(held.bytes);
    return result;
}
