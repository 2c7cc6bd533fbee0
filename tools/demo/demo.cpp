// vardok-demo: a short tour of what the engine does so far. It writes a plain
// archive and a self-extracting file with the archive writer into a fresh folder
// under the temporary folder, finds and lists their entries with the engine's own
// reading operations, and shows the slot table, path and drive helpers at work.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/reader.h"
#include "engine/search.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

static const char* MethodName(int method) {
    switch (method) {
        case METHOD_STORED:
            return "Stored";
        case METHOD_CRUSHED:
            return "Crushed";
        default:
            return "unknown";
    }
}

static int PutText(ArchiveWriter* writer, const char* name, const std::string& text) {
    EntryHeaderFields header;
    int rc = EntryHeaderDefaults(&header, name, static_cast<uint32_t>(text.size()));
    if (rc < 0) return rc;
    header.block.mtime = 1700000000; // 2023-11-14 22:13:20 UTC
    return WriterPutEntry(writer, &header, reinterpret_cast<const uint8_t*>(text.data()),
                          static_cast<uint32_t>(text.size()));
}

// Writes the sample entries; a self-extracting file gets a program image and an
// archive header record in front of them.
static int WriteSample(const std::string& path, bool selfExtracting) {
    ArchiveWriter writer;
    int rc = WriterCreateFile(&writer, path.c_str());
    if (rc < 0) return rc;
    const std::string show = "Slide 1: welcome\nSlide 2: the figures\nSlide 3: thanks\n";
    const std::string notes = "speaker notes for slide 2\n";
    const std::string player(3000, 'P');
    if (selfExtracting) {
        std::vector<uint8_t> image(50000, 0x90); // stands for the program and its certificate
        WriterPutBytes(&writer, image.data(), static_cast<uint32_t>(image.size()));
        ArchiveHeaderFields header;
        ArchiveHeaderDefaults(&header, static_cast<uint32_t>(show.size() + player.size()), nullptr, nullptr);
        WriterPutArchiveHeader(&writer, &header);
        PutText(&writer, "show/deck.pps", show);
        PutText(&writer, "player.exe", player);
    } else {
        PutText(&writer, "show/deck.pps", show);
        PutText(&writer, "show/notes/slide2.txt", notes);
        PutText(&writer, "player.exe", player);
    }
    WriterPutEnd(&writer, nullptr, 0);
    return WriterFinish(&writer);
}

static void List(const std::string& path) {
    std::printf("\n%s\n", path.c_str());
    std::printf("  OpenArchiveCheck: %d\n", OpenArchiveCheck(path.c_str()));
    int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) {
        std::printf("  cannot open: %d\n", slot);
        return;
    }
    int32_t header = FindArchiveHeader(nullptr, slot);
    int32_t first = FindEntrySignature(nullptr, slot);
    if (header >= 0) {
        FileSeek(slot, header, FILE_SEEK_START);
        ArchiveHeaderInfo info;
        if (ReadArchiveHeader(slot, &info) == 0)
            std::printf("  archive header record behind offset %d: total size %u\n", header, info.total_size);
    }
    std::printf("  first entry header record at offset %d\n", first < 0 ? 0 : first);
    FileSeek(slot, first < 0 ? 0 : first, FILE_SEEK_START);

    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = slot;
    std::printf("  %-8s %10s %10s %6s  %s\n", "method", "packed", "size", "mode", "name");
    int rc;
    while ((rc = ReadEntryHeader(&desc)) == 0) {
        std::printf("  %-8s %10u %10u %06o  %s\n", MethodName(desc.method), desc.compressed_size,
                    desc.uncompressed_size, desc.mode & 0xFFFF, desc.name);
        FileSeek(slot, static_cast<int32_t>(desc.compressed_size), FILE_SEEK_CURRENT);
    }
    std::printf("  walk ended with %d (%s)\n", rc,
                rc == ERR_END_OF_ARCHIVE ? "end-of-archive record" : "damaged");
    FileClose(slot);
}

int main() {
    char temp[PATH_MAX_LENGTH + 1];
    if (PlatTempFolder(temp, sizeof temp) == 0) {
        std::fprintf(stderr, "vardok-demo: no temporary folder\n");
        return 1;
    }
    char prefix[] = "DMO";
    char* folderName = TempFileName(temp, prefix);
    if (folderName == nullptr) {
        std::fprintf(stderr, "vardok-demo: no free temporary name in %s\n", temp);
        return 1;
    }
    std::string folder = folderName;
    MemFree(folderName);
    if (PlatMkdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "vardok-demo: cannot create %s\n", folder.c_str());
        return 1;
    }
    std::printf("Vardok engine demonstration, working in %s\n", folder.c_str());

    const std::string plain = folder + "\\SAMPLE.ARQ";
    const std::string sfx = folder + "\\SHOW.EXE";
    if (WriteSample(plain, false) < 0 || WriteSample(sfx, true) < 0) {
        std::fprintf(stderr, "vardok-demo: cannot write the samples\n");
        return 1;
    }
    List(plain);
    List(sfx);

    char stored[] = "show/notes/Slide2.txt";
    std::printf("\nPathNormalise(\"show/notes/Slide2.txt\") = %s\n", PathNormalise(stored));
    std::printf("PathFileName = %s\n", PathFileName(stored));
    char name[] = "C:\\TEMP\\DATA.BIN";
    std::printf("DriveFromPath(\"%s\") = %d, free bytes on drive C: %llu\n", name, DriveFromPath(name),
                static_cast<unsigned long long>(DriveFreeBytes(2)));

    PlatUnlink(plain.c_str());
    PlatUnlink(sfx.c_str());
    PlatRmdir(folder.c_str());
    return 0;
}
