// The engine's entry point for a self-extracting program: find the archive carried
// by the program's own file and extract it.
#include <cstring>

#include "crushed/crushed.h"
#include "engine/engine.h"
#include "engine/extract.h"
#include "engine/search.h"
#include "engine/signed_bytes.h"
#include "engine/spanned.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

// The program's file name, and room for the ".exe" a name without '.' is given.
static const char PROGRAM_EXTENSION[] = ".exe";
enum { SELF_PATH_SIZE = PATH_MAX_LENGTH + 1 + sizeof PROGRAM_EXTENSION - 1 };

int ReadSelfArchiveHeader(int slot, ArchiveHeaderInfo* info) {
    if (FileSeek(slot, 0, FILE_SEEK_START) != 0) return ERR_BAD_HEADER;
    // Only the signed bytes count: an archive in or behind the certificate table would
    // run under a signature that does not cover it.
    const int32_t signedEnd = ProgramSignedEnd(slot);
    const int32_t behindSignature = FindArchiveHeader(nullptr, slot);
    if (behindSignature == ERR_NO_MEMORY || behindSignature == ERR_CANCELLED) return behindSignature;
    if (behindSignature < 0) return ERR_NOT_FOUND;
    if (FileSeek(slot, behindSignature, FILE_SEEK_START) != behindSignature ||
        ReadArchiveHeader(slot, info) < 0)
        return ERR_BAD_HEADER;
    return WithinSignedBytes(signedEnd, FileTell(slot), 0) ? 0 : ERR_BAD_ARCHIVE;
}

int16_t ExtractSelf(void* module, const char* destination, EventHandler handler, OverwriteQuery query) {
    char* archivePath = static_cast<char*>(MemAlloc(SELF_PATH_SIZE));
    if (archivePath == nullptr) return ERR_NO_MEMORY;

    int result = ERR_IO;
    int slot = -1;
    ArchiveHeaderInfo info;
    // A name cut short (the full size comes back) would name another file.
    const uint32_t length = PlatModuleFileName(module, archivePath, PATH_MAX_LENGTH + 1);
    if (length == 0 || length > PATH_MAX_LENGTH) goto finish;

    g_currentVolume = 0;
    SetOverwriteQuery(query);
    if (handler != nullptr) SetEventHandler(EVENT_SLOT_MAIN, handler);

    PathTrimBlanks(archivePath);
    if (std::strchr(archivePath, '.') == nullptr) std::strcat(archivePath, PROGRAM_EXTENSION);

    result = OpenArchiveCheck(archivePath);
    if (result == ERR_NOT_FOUND || result == ERR_BAD_ARCHIVE) goto finish;

    result = ERR_IO;
    slot = FileOpen(archivePath, FILE_READ);
    if (slot < 0) goto finish;
    if (ReadSelfArchiveHeader(slot, &info) != 0) {
        FileClose(slot);
        goto finish;
    }
    FileClose(slot);
    if (handler != nullptr) handler(nullptr, EVT_ARCHIVE_TOTAL, static_cast<int32_t>(info.total_size));

    // A folder passed in replaces the stored one, also when it is empty.
    ExtractArchive(archivePath, destination != nullptr ? destination : info.destination);
    SetEventHandler(EVENT_SLOT_SECOND, nullptr);
    SetEventHandler(EVENT_SLOT_MAIN, nullptr);
    result = 0;

finish:
    DecoderRelease();
    MemFree(archivePath);
    return static_cast<int16_t>(result);
}
