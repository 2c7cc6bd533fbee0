// Entries to standard output by way of a private folder.
#include "tools/arq/stdout_sink.h"

#include <cstdio>

#include "fileio/memory.h"
#include "fileio/paths.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/files.h"

namespace {

enum { SINK_NAME_TRIES = 1000, SINK_COPY_BUFFER = 65536 };

int RemoveEntry(const char* name, void* context);

void RemoveTree(const std::string& path) {
    PlatStatInfo info;
    if (PlatStat(path.c_str(), &info) == 0 && (info.mode & PLAT_MODE_FOLDER)) {
        std::string folder = path;
        PlatListFolder(path.c_str(), RemoveEntry, &folder);
        PlatRmdir(path.c_str());
    } else {
        PlatUnlink(path.c_str());
    }
}

int RemoveEntry(const char* name, void* context) {
    const std::string& folder = *static_cast<std::string*>(context);
    RemoveTree(folder + "/" + name);
    return 0;
}

} // namespace

int StdoutSinkBegin(std::string* folder) {
    char temp[1024];
    const uint32_t length = PlatTempFolder(temp, sizeof temp);
    if (length == 0 || length >= sizeof temp) {
        Complain("no temporary folder to extract through");
        return 0;
    }
    // A name no file has; another run may take it first, so making it is the test.
    for (int i = 0; i < SINK_NAME_TRIES; ++i) {
        char prefix[] = "arq";
        char* name = TempFileName(temp, prefix);
        if (name == nullptr) break;
        *folder = name;
        MemFree(name);
        if (PlatMkdir(folder->c_str()) == 0) return 1;
    }
    Complain("%s: cannot make a folder to extract through", temp);
    return 0;
}

int StdoutSinkEmit(const std::vector<std::string>& files) {
    PlatStdoutBinary();
    static char buffer[SINK_COPY_BUFFER];
    for (const std::string& file : files) {
        PlatStream* in = PlatOpen(file.c_str(), "rb");
        if (in == nullptr) {
            Complain("%s: cannot be read back", file.c_str());
            return 0;
        }
        size_t got;
        while ((got = PlatRead(in, buffer, sizeof buffer)) > 0) {
            if (std::fwrite(buffer, 1, got, stdout) != got) {
                PlatClose(in);
                Complain("standard output cannot be written");
                return 0;
            }
        }
        PlatClose(in);
    }
    if (std::fflush(stdout) != 0) {
        Complain("standard output cannot be written");
        return 0;
    }
    return 1;
}

void StdoutSinkEnd(const std::string& folder) { RemoveTree(folder); }
