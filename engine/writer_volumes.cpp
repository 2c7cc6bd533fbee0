// The writer's spanned volumes: the plan of where each volume ends, and the writer that
// follows it, changing volume files inside an entry's data.
#include <cstring>

#include "engine/writer.h"

// Where the archive stands at the start of a volume: the entry being written and its
// data bytes already on earlier volumes. done is 0 only at the first volume's start,
// where the entry's own header comes first; every later volume begins inside an
// entry's data, with its continuation header (of the same size).
struct SpanCursor {
    int32_t item;
    uint32_t done;
};

// Lays out the volume that begins at `at`: *bytes is the length of its file. Returns 1
// when it is the last volume (everything left and the end record fit), 0 when another
// follows, starting at *next, and ERR_BAD_ARGUMENT when no legal volume change fits.
//
// A volume may end inside the data of an entry that has at least one byte on it and at
// least one more to go. The last such place within the volume size is taken: inside
// the entry that straddles the size when it has room, else earlier, inside the data of
// an entry before it (the volume is then under-filled), because the record that would
// have straddled the border cannot be split.
static int LayOutVolume(const SpanItem* items, int32_t count, uint32_t endSize, uint32_t volumeSize,
                        SpanCursor at, uint32_t* bytes, SpanCursor* next) {
    uint64_t total = 0;
    for (int32_t i = at.item; i < count && total <= volumeSize; i++) {
        const uint32_t done = i == at.item ? at.done : 0;
        total += static_cast<uint64_t>(items[i].header_size) + (items[i].data_size - done);
    }
    total += endSize;
    if (total <= volumeSize) {
        *bytes = static_cast<uint32_t>(total);
        return 1;
    }

    int found = 0;
    uint64_t position = 0;
    for (int32_t i = at.item; i < count; i++) {
        const uint32_t done = i == at.item ? at.done : 0;
        const uint64_t dataStart = position + items[i].header_size;
        const uint64_t left = items[i].data_size - done;
        if (dataStart + 1 > volumeSize) break; // not even one byte of its data fits
        if (left >= 2) {
            const uint64_t last = dataStart + left - 1; // one byte must go on
            const uint64_t end = last < volumeSize ? last : volumeSize;
            *bytes = static_cast<uint32_t>(end);
            next->item = i;
            next->done = done + static_cast<uint32_t>(end - dataStart);
            found = 1;
        }
        position = dataStart + left;
        if (position >= volumeSize) break;
    }
    return found ? 0 : ERR_BAD_ARGUMENT;
}

static int ItemsValid(const SpanItem* items, int32_t count, uint32_t endSize) {
    if (count < 0 || (items == nullptr && count > 0) || endSize < ENTRY_FIXED_SIZE) return 0;
    for (int32_t i = 0; i < count; i++) {
        // A header without a name would be an end-of-archive record.
        if (items[i].header_size <= ENTRY_FIXED_SIZE) return 0;
    }
    return 1;
}

int32_t SpanPlanVolumes(const SpanItem* items, int32_t count, uint32_t endSize, uint32_t volumeSize,
                        uint32_t* volumeBytes, int32_t capacity) {
    if (!ItemsValid(items, count, endSize)) return ERR_BAD_ARGUMENT;
    SpanCursor at = {0, 0};
    int32_t volumes = 0;
    // Every volume but the last takes at least one data byte, so the plan ends.
    for (;;) {
        uint32_t bytes = 0;
        SpanCursor next = at;
        const int rc = LayOutVolume(items, count, endSize, volumeSize, at, &bytes, &next);
        if (rc < 0) return rc;
        if (volumeBytes != nullptr && volumes < capacity) volumeBytes[volumes] = bytes;
        if (volumes == INT32_MAX) return ERR_BAD_ARGUMENT;
        volumes++;
        if (rc == 1) return volumes;
        at = next;
    }
}

// ---- Writer ------------------------------------------------------------------------------

static int Fail(SpannedWriter* writer, int rc) {
    if (writer->failure == 0) writer->failure = rc;
    return writer->failure;
}

static void SetSpanned(EntryHeaderFields* header, int goesOn) {
    if (goesOn) {
        header->block.flags = static_cast<uint8_t>(header->block.flags | ENTRY_SPANNED);
    } else {
        header->block.flags = static_cast<uint8_t>(header->block.flags & ~ENTRY_SPANNED);
    }
}

static int OpenVolume(SpannedWriter* writer, SpanCursor at) {
    uint32_t bytes = 0;
    SpanCursor next = at;
    const int rc = LayOutVolume(writer->items, writer->item_count, writer->end_size, writer->volume_size, at,
                                &bytes, &next);
    if (rc < 0) return Fail(writer, rc);
    char path[WRITER_VOLUME_PATH_SIZE];
    path[0] = '\0';
    const int named = writer->path_of(writer->context, writer->volume_number, path, sizeof path);
    if (named < 0) return Fail(writer, named);
    path[sizeof path - 1] = '\0';
    const int created = WriterCreateFile(&writer->volume, path);
    if (created < 0) return Fail(writer, created);
    writer->volumes_made++;
    writer->volume_left = bytes;
    return 0;
}

// A header on the current volume; the plan has left room for it unless the caller's
// records differ from the items.
static int PutHeader(SpannedWriter* writer, const EntryHeaderFields* header) {
    const uint32_t size = EntryHeaderSize(header);
    if (size > writer->volume_left) return Fail(writer, ERR_BAD_ARGUMENT);
    const int rc = WriterPutEntryHeader(&writer->volume, header);
    if (rc < 0) return Fail(writer, rc);
    writer->volume_left -= size;
    return 0;
}

// The current volume is full, inside the current entry's data: the next volume begins
// with the entry's continuation header.
static int ChangeVolume(SpannedWriter* writer) {
    const int finished = WriterFinish(&writer->volume);
    if (finished < 0) return Fail(writer, finished);
    writer->volume_number++;
    const SpanCursor at = {writer->next_item - 1, writer->data_done};
    const int rc = OpenVolume(writer, at);
    if (rc < 0) return rc;
    EntryHeaderFields* piece = &writer->current;
    piece->block.volume[0] = static_cast<uint8_t>(writer->volume_number); // the number is one byte
    piece->block.compressed_size = writer->data_left;
    SetSpanned(piece,
               static_cast<uint64_t>(EntryHeaderSize(piece)) + writer->data_left > writer->volume_left);
    return PutHeader(writer, piece);
}

int SpannedWriterStart(SpannedWriter* writer, uint32_t volumeSize, SpanVolumePath pathOf, void* context,
                       const SpanItem* items, int32_t count, uint32_t endExtraSize) {
    if (writer == nullptr) return ERR_BAD_ARGUMENT;
    std::memset(writer, 0, sizeof *writer);
    writer->volume.output_slot = -1;
    writer->path_of = pathOf;
    writer->context = context;
    writer->items = items;
    writer->item_count = count;
    writer->end_size = ENTRY_FIXED_SIZE + endExtraSize;
    writer->volume_size = volumeSize;
    if (pathOf == nullptr || endExtraSize > WRITER_EXTRA_MAX) return Fail(writer, ERR_BAD_ARGUMENT);
    const int32_t planned = SpanPlanVolumes(items, count, writer->end_size, volumeSize, nullptr, 0);
    if (planned < 0) return Fail(writer, planned);
    const SpanCursor start = {0, 0};
    return OpenVolume(writer, start);
}

int SpannedPutEntryHeader(SpannedWriter* writer, const EntryHeaderFields* header) {
    if (writer->failure < 0) return writer->failure;
    if (header == nullptr || writer->end_written || writer->data_left != 0 ||
        writer->next_item >= writer->item_count) {
        return Fail(writer, ERR_BAD_ARGUMENT);
    }
    const SpanItem& item = writer->items[writer->next_item];
    if (header->name_size == 0 || EntryHeaderSize(header) != item.header_size ||
        header->block.compressed_size != item.data_size) {
        return Fail(writer, ERR_BAD_ARGUMENT);
    }
    writer->current = *header;
    writer->current.block.volume[0] = static_cast<uint8_t>(writer->volume_number);
    SetSpanned(&writer->current,
               static_cast<uint64_t>(item.header_size) + item.data_size > writer->volume_left);
    const int rc = PutHeader(writer, &writer->current);
    if (rc < 0) return rc;
    writer->next_item++;
    writer->data_done = 0;
    writer->data_left = item.data_size;
    return 0;
}

int SpannedPutData(SpannedWriter* writer, const uint8_t* bytes, uint32_t count) {
    if (writer->failure < 0) return writer->failure;
    if (count > writer->data_left || (bytes == nullptr && count != 0)) return Fail(writer, ERR_BAD_ARGUMENT);
    while (count > 0) {
        if (writer->volume_left == 0) {
            const int rc = ChangeVolume(writer);
            if (rc < 0) return rc;
        }
        const uint32_t piece = count < writer->volume_left ? count : writer->volume_left;
        const int rc = WriterPutBytes(&writer->volume, bytes, piece);
        if (rc < 0) return Fail(writer, rc);
        bytes += piece;
        count -= piece;
        writer->volume_left -= piece;
        writer->data_done += piece;
        writer->data_left -= piece;
    }
    return 0;
}

int SpannedPutEntry(SpannedWriter* writer, const EntryHeaderFields* header, const uint8_t* data,
                    uint32_t dataSize) {
    const int rc = SpannedPutEntryHeader(writer, header);
    if (rc < 0) return rc;
    return SpannedPutData(writer, data, dataSize);
}

static int PutToVolumes(void* context, const uint8_t* bytes, uint32_t count) {
    return SpannedPutData(static_cast<SpannedWriter*>(context), bytes, count);
}

int SpannedCopyFromSlot(SpannedWriter* writer, int slot, uint32_t count) {
    if (writer->failure < 0) return writer->failure;
    const int rc = CopySlotToSink(slot, count, PutToVolumes, writer);
    return rc < 0 ? Fail(writer, rc) : 0;
}

int SpannedPutEnd(SpannedWriter* writer, const uint8_t* extra, uint32_t extraSize) {
    if (writer->failure < 0) return writer->failure;
    if (writer->end_written || writer->data_left != 0 || writer->next_item != writer->item_count ||
        static_cast<uint64_t>(ENTRY_FIXED_SIZE) + extraSize != writer->end_size ||
        writer->end_size > writer->volume_left) {
        return Fail(writer, ERR_BAD_ARGUMENT);
    }
    // The end record repeats the block of the last header on this volume.
    const int rc = WriterPutEnd(&writer->volume, extra, extraSize);
    if (rc < 0) return Fail(writer, rc);
    writer->volume_left -= writer->end_size;
    writer->end_written = 1;
    return 0;
}

int SpannedWriterFinish(SpannedWriter* writer, int32_t* volumes) {
    if (writer->volume.output_slot >= 0) {
        const int rc = WriterFinish(&writer->volume);
        if (rc < 0) Fail(writer, rc);
    }
    if (writer->failure == 0 && !writer->end_written) Fail(writer, ERR_BAD_ARGUMENT);
    if (volumes != nullptr) *volumes = writer->volumes_made;
    return writer->failure;
}
