// The launcher's extraction run on a file named on the command line: ExtractSelf, as
// the launcher calls it, with that file taken for the running program's own. Prints
// the file name of every entry written whole, one a line, then ExtractSelf's result,
// so that a test can set what the launcher would extract beside what arq lists.
#include <cstdio>
#include <cstring>

#include "engine/events.h"
#include "engine/extract.h"
#include "platform/platform.h"

namespace {

int OnEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    (void)argument;
    if (event != EVT_ENTRY_DONE || desc == nullptr) return 0;
    const char* name = desc->name;
    for (const char* at = desc->name; *at != '\0'; at++) {
        if (*at == '\\' || *at == '/') name = at + 1;
    }
    std::printf("%s\n", name);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: self_extract PROGRAM FOLDER\n");
        return 2;
    }
    if (!PlatSetModuleFileNameOverride(argv[1])) return 2;
    const int16_t result = ExtractSelf(nullptr, argv[2], OnEvent, nullptr);
    std::printf("result %d\n", result);
    return 0;
}
