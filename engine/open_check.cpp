// The check that a file holds a readable archive.
#include <cstring>

#include "engine/engine.h"
#include "engine/search.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"

static const char kArqExtension[ARQ_EXTENSION_LENGTH + 1] = ".arq";

static int EndsInArq(const char* name) {
    const size_t length = std::strlen(name);
    if (length < ARQ_EXTENSION_LENGTH) return 0;
    const char* tail = name + length - ARQ_EXTENSION_LENGTH;
    for (int i = 0; i < ARQ_EXTENSION_LENGTH; i++) {
        if (CharUpperAZ(static_cast<unsigned char>(tail[i])) != CharUpperAZ(kArqExtension[i])) return 0;
    }
    return 1;
}

int16_t OpenArchiveCheck(const char* name) {
    if (name == nullptr) return ERR_BAD_ARGUMENT;

    const size_t length = std::strlen(name);
    char* path = static_cast<char*>(MemAlloc(length + ARQ_EXTENSION_LENGTH + 1));
    if (path == nullptr) return ERR_NO_MEMORY;
    std::memcpy(path, name, length + 1);
    PathTrimBlanks(path);
    if (!PathHasExtension(path)) std::strcat(path, kArqExtension);

    // A plain archive starts with its first entry; in anything else (a self-extracting
    // program) the first entry is searched for, and a failed search leaves offset 0.
    int32_t start = 0;
    if (!EndsInArq(path)) {
        start = FindEntrySignature(path, 0);
        if (start < 0) start = 0;
    }

    int16_t result = 0;
    if (!FileExists(path)) {
        result = ERR_NOT_FOUND;
    } else {
        const int slot = FileOpen(path, FILE_READ);
        if (slot < 0) {
            result = ERR_BAD_HANDLE;
        } else {
            EntryDescriptor desc;
            std::memset(&desc, 0, sizeof desc);
            desc.input_slot = slot;
            int16_t rc = ERR_BAD_ARCHIVE;
            if (FileSeek(slot, start, FILE_SEEK_START) == start) rc = ReadEntryHeader(&desc);
            if (rc < 0 && rc != ERR_END_OF_ARCHIVE) result = ERR_BAD_ARCHIVE;
            if (desc.extra_count != 0) {
                MemFree(desc.extra_data);
                desc.extra_data = nullptr;
                desc.extra_count = 0;
            }
            FileClose(slot);
        }
    }
    MemFree(path);
    return result;
}
