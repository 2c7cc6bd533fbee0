// Folder times: the field, and putting its times on the extracted folders.
#include "tools/arq/folder_times.h"

#include <map>
#include <set>

#include "engine/archive.h"
#include "engine/reader.h"
#include "fileio/paths.h"
#include "platform/platform.h"

namespace {

struct FolderTimesState {
    std::string destination;
    std::map<std::string, uint32_t> carried; // stored folder name -> time from the archive
    std::set<std::string> written;           // stored folder names that received a file
};
FolderTimesState g_folders;

// The stored folder names that name holds, outermost first: "A", "A\B" of "A\B\F".
// Double-byte characters (in the code page in force) are stepped over whole.
std::vector<std::string> FoldersOf(const char* name) {
    std::vector<std::string> folders;
    for (size_t at = 0; name[at] != '\0'; at++) {
        if (name[at] == '\\') {
            if (at > 0) folders.push_back(std::string(name, at));
        } else if (PlatIsLeadByte(static_cast<unsigned char>(name[at])) && name[at + 1] != '\0') {
            at++;
        }
    }
    return folders;
}

void TakeField(const EntryDescriptor* desc, uint32_t id, const uint8_t* bytes, uint32_t length) {
    if (id != EXTRA_ID_FOLDER_TIMES || length % EXTRA_FOLDER_TIME_SIZE != 0) return;
    const std::vector<std::string> folders = FoldersOf(desc->name);
    const size_t count = length / EXTRA_FOLDER_TIME_SIZE;
    for (size_t i = 0; i < count && i < folders.size(); i++) {
        g_folders.carried[folders[i]] = GetLE32(bytes + i * EXTRA_FOLDER_TIME_SIZE);
    }
}

} // namespace

std::vector<uint8_t> FolderTimesField(const std::vector<int64_t>& times) {
    std::vector<uint8_t> field;
    if (times.empty()) return field;
    const uint32_t length = static_cast<uint32_t>(times.size() * EXTRA_FOLDER_TIME_SIZE);
    field.resize(EXTRA_FIELD_HEAD_SIZE + length);
    PutLE16(&field[0], EXTRA_ID_FOLDER_TIMES);
    PutLE16(&field[2], length);
    for (size_t i = 0; i < times.size(); i++) {
        // The reader takes a time as a signed 32-bit count of seconds.
        int64_t time = times[i];
        if (time > INT32_MAX) time = INT32_MAX;
        if (time < INT32_MIN) time = INT32_MIN;
        PutLE32(&field[EXTRA_FIELD_HEAD_SIZE + i * EXTRA_FOLDER_TIME_SIZE], static_cast<uint32_t>(time));
    }
    return field;
}

void FolderTimesBegin(const std::string& destination) {
    g_folders = FolderTimesState();
    g_folders.destination = destination;
    SetExtraFieldHandler(TakeField);
}

void FolderTimesWritten(const char* storedName) {
    for (const std::string& folder : FoldersOf(storedName))
        g_folders.written.insert(folder);
}

int FolderTimesSettle() {
    SetExtraFieldHandler(nullptr);
    // Joined as the engine joins the destination and a stored name.
    std::string prefix = g_folders.destination;
    if (!prefix.empty()) {
        const char last = *PathLastChar(&prefix[0]);
        if (last != '\\' && last != ':') prefix += '\\';
    }
    int failed = 0;
    for (const std::string& folder : g_folders.written) {
        const auto found = g_folders.carried.find(folder);
        if (found == g_folders.carried.end()) continue;
        const int32_t time = static_cast<int32_t>(found->second);
        if (PlatUtime((prefix + folder).c_str(), time, time) != 0) failed++;
    }
    g_folders = FolderTimesState();
    return failed;
}
