// Path questions for arq.
#include "tools/arq/files.h"

#include <cstdint>

#include "engine/extract.h"
#include "engine/writer.h"
#include "platform/platform.h"

namespace {

// A write fails for want of room only when less than one of the writer's buffers
// was left; a drive with more free space than that failed for another reason.
const uint64_t NO_ROOM_THRESHOLD = WRITER_COPY_BUFFER;

bool IsSeparator(char c) { return c == '/' || c == '\\' || c == ':'; }

} // namespace

bool PathExists(const std::string& path) {
    PlatStatInfo info;
    return PlatStat(path.c_str(), &info) == 0;
}

bool PathIsFolder(const std::string& path) {
    PlatStatInfo info;
    return PlatStat(path.c_str(), &info) == 0 && (info.mode & EXTRACT_MODE_FOLDER) != 0;
}

std::string FolderPart(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !IsSeparator(path[at - 1]))
        at--;
    return path.substr(0, at);
}

std::string NamePart(const std::string& path) { return path.substr(FolderPart(path).size()); }

int DriveLooksFull(const std::string& folder) {
    uint64_t freeBytes = 0;
    const std::string asked = folder.empty() ? std::string(".") : folder;
    return PlatDiskFreeBytes(asked.c_str(), &freeBytes) && freeBytes < NO_ROOM_THRESHOLD ? 1 : 0;
}
