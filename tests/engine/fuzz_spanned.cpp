// libFuzzer target: spanned sets in drive A:, extracted through ExtractArchive with a
// handler that puts in whichever disk is asked for. Half the inputs are cut raw into
// up to three disks; the other half describe files that our writer spreads over
// volumes, after which a few bytes of the volumes are changed, so that the reader
// meets nearly right sets (wrong volume numbers, flags, sizes). Nothing may crash or
// hang, every slot and buffer is given back, no temporary file stays, and nothing is
// written outside the destination.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "crushed/decoder.h"
#include "engine/events.h"
#include "engine/extract.h"
#include "engine/spanned.h"
#include "engine/writer.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "support/scratch.h"

namespace {

const char kVolumeName[] = "SET.ARQ";
enum { EVENT_BUDGET = 20000 }; // a handler's patience: more events than any sane set needs

struct Fixture {
    ScratchDir root;
    std::filesystem::path floppy = root.path() / "floppy";
    std::filesystem::path out = root.path() / "out";
    std::filesystem::path work = root.path() / "work";
    Fixture() {
        std::filesystem::create_directory(floppy);
        std::filesystem::create_directory(out);
        std::filesystem::create_directory(work);
    }
};

Fixture* g_fixture = nullptr;
std::vector<Bytes> g_volumes;
std::vector<std::string> g_tempNames; // offered at EVT_TEMP_NAME
long g_events = 0;

void Insert(size_t index) { WriteFileBytes((g_fixture->floppy / kVolumeName).string(), g_volumes[index]); }

int Handler(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (++g_events > EVENT_BUDGET && desc != nullptr) desc->status = STATUS_CANCEL;
    if (event == EVT_TEMP_NAME && desc != nullptr) g_tempNames.push_back(desc->name);
    if (event == EVT_INSERT_VOLUME && argument >= 1 && static_cast<size_t>(argument) <= g_volumes.size())
        Insert(static_cast<size_t>(argument - 1));
    return 0;
}

int PathOf(void*, int32_t volume, char* path, uint32_t size) {
    const std::string name = (g_fixture->work / ("V" + std::to_string(volume))).string();
    if (name.size() + 1 > size) return ERR_BAD_ARGUMENT;
    std::memcpy(path, name.c_str(), name.size() + 1);
    return 0;
}

// Files described by the input, spread over volumes by the writer, then changed.
void StructuredSet(const uint8_t* data, size_t size) {
    if (size < 4) return;
    const uint32_t volumeSize = 60u + static_cast<uint32_t>(data[0]) * 4u;
    const size_t files = data[1] % 5;
    size_t at = 2;
    std::vector<std::pair<std::string, Bytes>> entries;
    for (size_t i = 0; i < files && at < size; i++) {
        const size_t length = data[at++] * 3u;
        Bytes bytes;
        for (size_t j = 0; j < length; j++)
            bytes.push_back(static_cast<uint8_t>(j * 13 + i));
        entries.push_back({"F" + std::to_string(i) + ".BIN", bytes});
    }
    Bytes archive;
    ArchiveWriter writer;
    WriterToMemory(&writer, &archive);
    for (const auto& entry : entries) {
        EntryHeaderFields header;
        EntryHeaderDefaults(&header, entry.first.c_str(), static_cast<uint32_t>(entry.second.size()));
        WriterPutEntry(&writer, &header, entry.second.data(), static_cast<uint32_t>(entry.second.size()));
    }
    WriterPutEnd(&writer, nullptr, 0);
    const std::string whole = (g_fixture->work / "whole.arq").string();
    WriteFileBytes(whole, archive);
    const int32_t count = WriterSplitArchive(whole.c_str(), volumeSize, PathOf, nullptr);
    for (int32_t v = 0; v < count; v++)
        g_volumes.push_back(ReadFileBytes((g_fixture->work / ("V" + std::to_string(v))).string()));
    // The rest of the input: (volume, offset, value) triples written over the set.
    for (; at + 3 <= size && !g_volumes.empty(); at += 3) {
        Bytes& volume = g_volumes[data[at] % g_volumes.size()];
        if (!volume.empty()) volume[data[at + 1] * 7u % volume.size()] = data[at + 2];
    }
}

void RawSet(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const size_t body = size - 2;
    const size_t first = body * data[0] / 255;
    const size_t second = first + (body - first) * data[1] / 255;
    const uint8_t* bytes = data + 2;
    g_volumes.push_back(Bytes(bytes, bytes + first));
    if (second > first) g_volumes.push_back(Bytes(bytes + first, bytes + second));
    if (body > second) g_volumes.push_back(Bytes(bytes + second, bytes + body));
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    g_fixture = &fixture;
    if (size < 1) return 0;
    FileResetSlots();
    PathResetState();
    MemReset();
    EventsReset();
    PlatResetControls();
    SpannedResetState();
    ExtractResetState();
    Check(PlatMapDrive(0, fixture.floppy.string().c_str(), PLAT_DRIVE_REMOVABLE) == 1);
    const long blocks = MemLiveBlocks();

    g_volumes.clear();
    g_tempNames.clear();
    g_events = 0;
    if (data[0] & 1) {
        StructuredSet(data + 1, size - 1);
    } else {
        RawSet(data + 1, size - 1);
    }
    if (g_volumes.empty()) return 0;
    Insert(0);
    SetEventHandler(EVENT_SLOT_MAIN, Handler);
    // Backslashes, as Windows gives paths: the temporary files go beside the output.
    std::string destination = fixture.out.string();
    for (char& c : destination) {
        if (c == '/') c = '\\';
    }
    ExtractArchive("A:\\SET.ARQ", destination.c_str());
    DecoderRelease();
    EventsReset();

    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        Check(FileGetSlot(slot) == nullptr);
    Check(MemLiveBlocks() == blocks);
    Check(g_events <= EVENT_BUDGET + 100);
    // The temporary files are gone; nothing was written outside the destination.
    for (const std::string& name : g_tempNames)
        Check(!FileExists(name.c_str()));
    const std::string outPrefix = fixture.out.string() + "/";
    for (const auto& item : std::filesystem::recursive_directory_iterator(fixture.root.path())) {
        const std::filesystem::path path = item.path();
        const bool known = path == fixture.floppy || path == fixture.out || path == fixture.work ||
                           path.parent_path() == fixture.work || path == fixture.floppy / kVolumeName;
        Check(known || path.string().rfind(outPrefix, 0) == 0);
    }
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(fixture.out))
        std::filesystem::remove_all(item.path(), ec);
    return 0;
}
