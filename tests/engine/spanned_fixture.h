// Spanned sets in a removable drive A:, changed the way a user changes disks.
//
// Natively A: is mapped to a scratch folder of the test's own, as a removable drive.
// Under Wine the test prefix provides A: as a floppy-type drive on an empty folder
// (PlatMapDrive does nothing there), and the volumes are written to it as "A:\NAME".
// Either way the test puts the wanted volume in place when the engine asks for a disk
// (EVT_INSERT_VOLUME) and takes it out again afterwards.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "engine/archive.h"
#include "engine/descriptor.h"
#include "engine/spanned.h"
#include "engine/writer.h"
#include "engine_fixture.h"

struct RecordedEvent {
    int32_t event;
    int32_t argument;
    bool operator==(const RecordedEvent& other) const {
        return event == other.event && argument == other.argument;
    }
};
typedef std::vector<RecordedEvent> Events;

inline std::ostream& operator<<(std::ostream& out, const RecordedEvent& e) {
    return out << "(" << e.event << ", " << e.argument << ")";
}

// What the test's handler does; reset by the fixture.
struct SpannedScript {
    std::vector<Bytes> volumes;          // the set, disk 1 first; inserted when asked for
    int insert = 1;                      // 0: leave the disk in the drive as it is
    int cancel_at_prompt = 0;            // set STATUS_CANCEL at this EVT_INSERT_VOLUME (1-based)
    int cancel_at_copy = 0;              // ... at this EVT_COPY_PROGRESS
    std::string rename_temp;             // written into the name at EVT_TEMP_NAME
    std::vector<std::string> temp_names; // names offered at EVT_TEMP_NAME (after renaming)
    // Called after the above for every event.
    std::function<void(EntryDescriptor*, int32_t, int32_t)> hook;
    Events events;
    int prompts = 0;
    int copies = 0;
};

class SpannedTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SpannedResetState();
        s_script = SpannedScript();
        s_test = this;
        std::random_device rd;
        char name[16];
        std::snprintf(name, sizeof name, "G%06u.ARQ", static_cast<unsigned>(rd() % 1000000));
        m_volumeName = name;
        if (PlatMapDrive(0, m_floppy.path().string().c_str(), PLAT_DRIVE_REMOVABLE)) {
            m_driveRoot = m_floppy.path();
        } else {
            m_driveRoot = "A:\\";
        }
        SetEventHandler(EVENT_SLOT_MAIN, Handler);
    }
    void TearDown() override {
        FileResetSlots(); // an open volume cannot be taken out on Windows
        Eject();
        s_test = nullptr;
        SpannedResetState();
        EngineTest::TearDown();
    }

    // The engine's path of the volume file on the disk in A:.
    std::string DrivePath() const { return "A:\\" + m_volumeName; }
    // Puts a disk holding this volume into the drive.
    void Insert(const Bytes& volume) { WriteFileBytes((m_driveRoot / m_volumeName).string(), volume); }
    void Eject() {
        std::error_code ec;
        std::filesystem::remove(m_driveRoot / m_volumeName, ec);
    }
    bool DiskHoldsVolume() const { return std::filesystem::exists(m_driveRoot / m_volumeName); }

    // A path in the engine's form: '\' separators, as Windows gives them (the stand-in
    // takes both, the path helpers only '\').
    static std::string EnginePath(std::string path) {
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
        return path;
    }

    // Opens the volume in the drive as the archive input.
    int OpenDrive() { return FileOpen(DrivePath().c_str(), FILE_READ); }

    // Blocks obtained since SetUp and not freed, but for the path copies of the slots
    // still open (one each).
    long LeakedBeyondOpenSlots() const {
        long open = 0;
        for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
            const FileSlot* record = FileGetSlot(slot);
            if (record != nullptr && record->state == SLOT_OPEN) open++;
        }
        return LeakedBlocks() - open;
    }

    static SpannedScript& Script() { return s_script; }
    static const Events& Recorded() { return s_script.events; }

    // Files in a folder whose name has the temporary files' form "CX?????.$$$".
    static std::vector<std::string> TempFilesIn(const std::filesystem::path& folder) {
        std::vector<std::string> found;
        for (const auto& item : std::filesystem::directory_iterator(folder)) {
            const std::string name = item.path().filename().string();
            if (name.size() == 11 && name.compare(0, 2, "CX") == 0 && name.compare(7, 4, ".$$$") == 0)
                found.push_back(name);
        }
        return found;
    }

    ScratchDir m_floppy;
    std::filesystem::path m_driveRoot;
    std::string m_volumeName;

private:
    static int Handler(EntryDescriptor* desc, int32_t event, int32_t argument) {
        SpannedScript& script = s_script;
        script.events.push_back({event, argument});
        if (event == EVT_INSERT_VOLUME) {
            script.prompts++;
            if (script.prompts == script.cancel_at_prompt) {
                desc->status = STATUS_CANCEL;
            } else if (script.insert && argument >= 1 &&
                       argument <= static_cast<int32_t>(script.volumes.size()) && s_test != nullptr) {
                s_test->Insert(script.volumes[static_cast<size_t>(argument - 1)]);
            }
        } else if (event == EVT_TEMP_NAME) {
            if (!script.rename_temp.empty()) {
                std::snprintf(desc->name, sizeof desc->name, "%s", script.rename_temp.c_str());
                desc->name_length = static_cast<int32_t>(std::strlen(desc->name));
            }
            script.temp_names.push_back(desc->name);
        } else if (event == EVT_COPY_PROGRESS) {
            script.copies++;
            if (script.copies == script.cancel_at_copy) desc->status = STATUS_CANCEL;
        }
        if (script.hook) script.hook(desc, event, argument);
        return 0;
    }

    static inline SpannedScript s_script;
    static inline SpannedTest* s_test = nullptr;
};

// An entry header record with the given volume number and flags (our writer's
// defaults otherwise), followed by data.
inline Bytes VolumeRecord(const char* name, const Bytes& data, uint32_t compressedSize, uint8_t volume,
                          uint8_t flags) {
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, name, compressedSize);
    header.block.volume[0] = volume;
    header.block.flags = flags;
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    WriterPutEntry(&writer, &header, data.data(), static_cast<uint32_t>(data.size()));
    return out;
}

inline Bytes EndRecord() {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    WriterPutEnd(&writer, nullptr, 0);
    return out;
}

// size bytes of a pattern that holds no record signature.
inline Bytes Pattern(size_t size, uint8_t seed = 0) {
    Bytes out(size);
    for (size_t i = 0; i < size; i++)
        out[i] = static_cast<uint8_t>((i * 7 + seed) % 251 + 5);
    return out;
}

inline Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// Splits a plain archive with the writer into volumes of volumeSize bytes and returns
// them, disk 1 first.
inline std::vector<Bytes> SplitIntoVolumes(const ScratchDir& scratch, const Bytes& archive,
                                           uint32_t volumeSize) {
    const std::string source = scratch.file("whole.arq");
    WriteFileBytes(source, archive);
    struct Folder {
        std::string base;
        static int PathOf(void* context, int32_t volume, char* path, uint32_t size) {
            const std::string name = static_cast<Folder*>(context)->base + "." + std::to_string(volume + 1);
            std::snprintf(path, size, "%s", name.c_str());
            return 0;
        }
    } folder{scratch.file("volume")};
    std::vector<Bytes> volumes;
    const int32_t count = WriterSplitArchive(source.c_str(), volumeSize, Folder::PathOf, &folder);
    for (int32_t i = 0; i < count; i++)
        volumes.push_back(ReadFileBytes(folder.base + "." + std::to_string(i + 1)));
    return volumes;
}
