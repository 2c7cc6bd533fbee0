// The replace policy for an existing output of arq create and arq show.
#include "tools/arq/output_replace.h"

#include <cstring>

#include "engine/engine.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/show_stub.h"

namespace {

// 1 when the open file at slot holds an entry header record that can be read.
int SlotHoldsArchive(int slot) {
    const int32_t start = FindEntrySignature(nullptr, slot);
    if (start < 0 || FileSeek(slot, start, FILE_SEEK_START) != start) return 0;
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = slot;
    const int rc = ReadEntryHeader(&desc);
    return rc == 0 || rc == ERR_END_OF_ARCHIVE;
}

} // namespace

int OutputMayReplace(const std::string& output, OutputKind kind) {
    const char* path = output.c_str();
    PlatStatInfo info;
    if (PlatStat(path, &info) != 0) {
        if (!PlatIsLink(path)) return ARQ_EXIT_OK;
        Complain("%s: is a link that leads nowhere; left as it is", path);
        return ARQ_EXIT_NOT_REPLACED;
    }
    if (info.mode & PLAT_MODE_FOLDER) return ARQ_EXIT_OK; // OutputStart says so
    if ((info.mode & PLAT_MODE_FILE) == 0) {
        Complain("%s: exists and is not a regular file (a device?); left as it is", path);
        return ARQ_EXIT_NOT_REPLACED;
    }
    if (info.size == 0) return ARQ_EXIT_OK;
    if (kind == OUTPUT_PROGRAM) {
        if (ProgramFileProblem(output).empty()) return ARQ_EXIT_OK;
        Complain(
            "%s: exists and is not a program; left as it is (remove it, or name another file for the show)",
            path);
        return ARQ_EXIT_NOT_REPLACED;
    }
    const int slot = FileOpen(path, FILE_READ);
    const int holds = slot >= 0 && SlotHoldsArchive(slot);
    if (slot >= 0) FileClose(slot);
    if (holds) return ARQ_EXIT_OK;
    Complain("%s: exists and is not an archive; left as it is (remove it, or name another archive)", path);
    return ARQ_EXIT_NOT_REPLACED;
}
