// The files arq extract made, and the ones they replace.
#include "tools/arq/output_guard.h"

#include <string>
#include <vector>

#include "fileio/codes.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/files.h"
#include "tools/arq/text.h"

namespace {

struct OutputFile {
    std::string path;   // as the engine names it
    std::string backup; // the file it replaces, moved aside; empty when none
    int made;           // the file at path is this run's to remove (0: it was there and stayed)
    int whole;          // the entry was written completely
};

// Process-wide, not thread-safe.
std::vector<OutputFile> g_outputs;

// Permission bits that let the owner remove a file the entry's mode left read-only.
const int MODE_OWNER_READ_WRITE = 0600;

OutputFile* Find(const std::string& path) {
    for (size_t i = g_outputs.size(); i > 0; i--) {
        if (g_outputs[i - 1].path == path) return &g_outputs[i - 1];
    }
    return nullptr;
}

// A free name beside path, or empty.
std::string NameBeside(const std::string& path) {
    char prefix[] = "ARQ";
    char* name = TempFileName(FolderPart(path).c_str(), prefix);
    if (name == nullptr) return std::string();
    std::string result = name;
    MemFree(name);
    return result;
}

// Removes a link itself, or a regular file; never a folder.
int RemoveFile(const std::string& path) {
    if (PlatIsLink(path.c_str())) return PlatRemoveLink(path.c_str());
    PlatStatInfo info;
    if (PlatStat(path.c_str(), &info) != 0 || (info.mode & PLAT_MODE_FILE) == 0) return -1;
    // The entry's own mode may have made it read-only.
    if (PlatUnlink(path.c_str()) == 0) return 0;
    PlatChmod(path.c_str(), MODE_OWNER_READ_WRITE);
    return PlatUnlink(path.c_str());
}

} // namespace

void GuardReset() { g_outputs.clear(); }

int GuardPrepareReplace(const char* path) {
    OutputFile entry = {path, std::string(), 0, 0};
    const int link = PlatIsLink(path);
    OutputFile* earlier = Find(entry.path);
    if (earlier != nullptr && earlier->whole) {
        // An earlier entry of the same name was written whole: the file it replaced is
        // gone for good, and its own file is now the one to keep until this is whole.
        if (!earlier->backup.empty()) RemoveFile(earlier->backup);
        earlier->backup.clear();
    } else if (!link && earlier != nullptr && earlier->made) {
        // What an earlier entry of the same name left is incomplete: it goes now, and
        // the file it was to replace waits for this entry instead.
        if (RemoveFile(entry.path) != 0) {
            Complain("%s: cannot be replaced; kept", ShownName(path).c_str());
            return 0;
        }
        entry.backup = earlier->backup;
        entry.made = 1;
        earlier->backup.clear();
        earlier->made = 0;
        g_outputs.push_back(entry);
        return 1;
    }
    PlatStatInfo info;
    const int regular = PlatStat(path, &info) == 0 && (info.mode & PLAT_MODE_FILE) != 0;
    if (link || (regular && PlatAccess(path, 2) == 0)) {
        entry.backup = NameBeside(entry.path);
        if (entry.backup.empty() || PlatRename(path, entry.backup.c_str()) != 0) {
            Complain("%s: cannot be moved aside to be replaced safely; kept", ShownName(path).c_str());
            entry.backup.clear();
            return 0;
        }
        entry.made = 1;
    }
    g_outputs.push_back(entry);
    return 1;
}

void GuardNoteEvent(const EntryDescriptor* desc, int32_t event) {
    // The scratch descriptors of these events name other files, or none.
    if (desc == nullptr || event == EVT_COPY_PROGRESS || event == EVT_TEMP_NAME ||
        event == EVT_SEARCH_PROGRESS || event == EVT_ARCHIVE_TOTAL)
        return;
    if (desc->output_slot < 0) return;
    const std::string path = desc->name;
    OutputFile* output = Find(path);
    if (output == nullptr) {
        // Not asked about, so nothing stood there: the engine made the file.
        g_outputs.push_back(OutputFile{path, std::string(), 1, 0});
        output = &g_outputs.back();
    }
    if (event == EVT_ENTRY_DONE) output->whole = 1;
    if (event == EVT_ENTRY_FAILED) output->whole = 0;
}

int GuardSettle() {
    int removed = 0;
    for (OutputFile& output : g_outputs) {
        if (output.whole) {
            if (!output.backup.empty()) RemoveFile(output.backup);
            continue;
        }
        if (!output.made) continue;
        const std::string shown = ShownName(output.path.c_str());
        if (RemoveFile(output.path) != 0 && PathExists(output.path)) {
            Complain("%s: incomplete, and cannot be removed", shown.c_str());
            continue;
        }
        removed++;
        if (output.backup.empty()) {
            Complain("%s: incomplete, removed", shown.c_str());
        } else if (PlatRename(output.backup.c_str(), output.path.c_str()) == 0) {
            Complain("%s: incomplete, removed; the file it was to replace is back", shown.c_str());
        } else {
            Complain("%s: incomplete, removed; the file it was to replace is kept as %s", shown.c_str(),
                     ShownName(output.backup.c_str()).c_str());
        }
    }
    g_outputs.clear();
    return removed;
}
