// Folder times: the field, and putting its times on the extracted folders.
#include "tools/arq/folder_times.h"

#include <cstring>
#include <map>

#include "engine/engine.h"
#include "platform/platform.h"

namespace {

struct FolderTimesState {
    std::map<std::string, uint32_t> carried; // stored folder name -> time from the archive
    std::map<std::string, std::string>
        written; // stored folder name -> its path, for those that received a file
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

void FolderTimesBegin() {
    g_folders = FolderTimesState();
    SetExtraFieldHandler(TakeField);
}

void FolderTimesWritten(const char* outputPath, const char* storedName) {
    // The engine's path is its destination followed by the stored name; a path it cut
    // at its length limit does not end with the name, and its folders are left alone.
    const std::string path = outputPath;
    const size_t storedLength = std::strlen(storedName);
    if (path.size() < storedLength || path.compare(path.size() - storedLength, storedLength, storedName) != 0)
        return;
    const size_t prefix = path.size() - storedLength;
    for (const std::string& folder : FoldersOf(storedName))
        g_folders.written[folder] = path.substr(0, prefix + folder.size());
}

int FolderTimesSettle() {
    SetExtraFieldHandler(nullptr);
    int failed = 0;
    for (const auto& folder : g_folders.written) {
        const auto found = g_folders.carried.find(folder.first);
        if (found == g_folders.carried.end()) continue;
        const int32_t time = static_cast<int32_t>(found->second);
        if (PlatUtime(folder.second.c_str(), time, time) != 0) failed++;
    }
    g_folders = FolderTimesState();
    return failed;
}
