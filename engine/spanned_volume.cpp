// Asking for the next disk of a spanned archive and checking that it is the right one.
#include <cstring>

#include "engine/engine.h"
#include "engine/events.h"
#include "engine/spanned.h"
#include "engine/spanned_state.h"
#include "fileio/paths.h"
#include "fileio/slots.h"

// The volume behind slot is the one wanted when its first record is an entry header
// whose volume number is one higher (as a byte) than the volume open before. The
// stream then stands right behind that header.
static int IsWantedVolume(int slot) {
    EntryDescriptor probe;
    std::memset(&probe, 0, sizeof probe);
    probe.input_slot = slot;
    if (ReadEntryHeader(&probe) != 0) return 0;
    return probe.volume_info[0] == static_cast<uint8_t>(g_currentVolume + 1);
}

int NextVolume(EntryDescriptor* desc) {
    if (desc == nullptr) return ERR_BAD_ARGUMENT;
    const FileSlot* record = FileGetSlot(desc->input_slot);
    if (record == nullptr || record->state != SLOT_OPEN || record->path == nullptr) return ERR_IO;
    // Every volume is the same path on another disk. A path longer than the engine's
    // buffers cannot be a volume it was given; leave the input open and untouched.
    const size_t length = std::strlen(record->path);
    if (length > PATH_MAX_LENGTH) return ERR_IO;
    char path[PATH_MAX_LENGTH + 1];
    std::memcpy(path, record->path, length + 1);
    const int drive = DriveFromPath(path);

    // The number stays reserved while the disk is changed, so that no open made
    // meanwhile (by the handler, say) takes it: every holder of the number finds the
    // new volume under it afterwards.
    int oldSlot = desc->input_slot;
    FileClose(oldSlot);
    FileReserveSlot(oldSlot);
    g_spannedBehindSlot = -1;
    if (!DriveIsRemovable(drive)) {
        FileReleaseSlot(oldSlot);
        return ERR_IO;
    }

    int prompts = 0;
    for (;;) {
        RaiseEvent(desc, EVT_INSERT_VOLUME, g_currentVolume + 2); // disks count from 1
        if (desc->status != 0) break;
        if (++prompts >= NEXT_VOLUME_PROMPTS) break;
        if (!DriveIsReady(drive)) continue;
        int newSlot = FileOpen(path, FILE_READ);
        if (newSlot < 0) continue;
        if (!IsWantedVolume(newSlot)) {
            FileClose(newSlot);
            continue;
        }
        g_currentVolume++;
        FileReleaseSlot(oldSlot);
        FileSwapSlots(&oldSlot, &newSlot); // the new volume now lives under the old number
        desc->input_slot = newSlot;
        return 0;
    }

    FileReleaseSlot(oldSlot);
    desc->input_slot = oldSlot; // closed: the archive input is gone
    RaiseEvent(desc, EVT_CANCELLED, 0);
    return ERR_CANCELLED;
}
