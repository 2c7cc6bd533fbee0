// Copying a piece of a spanned entry into its temporary file.
#include <cstring>

#include "engine/events.h"
#include "engine/spanned.h"
#include "fileio/memory.h"
#include "fileio/slots.h"

static int SlotNumberValid(int slot) { return slot >= 0 && slot < FILE_SLOT_COUNT; }

int CopyBytes(int in, int out, uint32_t count) {
    // The descriptor of this copy's events: a handler stops the copy through its status.
    EntryDescriptor scratch;
    std::memset(&scratch, 0, sizeof scratch);
    scratch.input_slot = in;
    scratch.output_slot = out;
    scratch.compressed_size = count;
    if (!SlotNumberValid(in) || !SlotNumberValid(out)) return ERR_BAD_HANDLE;

    uint32_t size = COPY_BYTES_BUFFER;
    uint8_t* buffer = static_cast<uint8_t*>(MemAllocHalving(&size, COPY_BYTES_RETRY_MIN));
    if (buffer == nullptr) return ERR_NO_MEMORY;

    RaiseEvent(&scratch, EVT_COPY_PROGRESS, 0);
    uint32_t copied = 0;
    // A complete copy ends with one empty read (a request for 0 bytes), so its last two
    // events carry the same total.
    for (;;) {
        if (scratch.status == STATUS_CANCEL) break;
        const uint32_t left = count - copied;
        const int32_t want = static_cast<int32_t>(left < size ? left : size);
        const int32_t got = FileRead(in, buffer, want);
        int finished = 0;
        if (got > 0 && FileWrite(out, buffer, got) == got) {
            copied += static_cast<uint32_t>(got);
        } else {
            finished = 1;
        }
        RaiseEvent(&scratch, EVT_COPY_PROGRESS, static_cast<int32_t>(copied));
        if (finished) break;
    }
    MemFree(buffer);

    if (scratch.status == STATUS_CANCEL) return ERR_CANCELLED;
    return copied == count ? 0 : ERR_IO;
}
