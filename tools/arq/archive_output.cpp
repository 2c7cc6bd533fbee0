// Writing the archive of arq create and arq show, and putting it in place only when complete.
#include "tools/arq/archive_output.h"

#include <cstring>

#include "crushed/crushed.h"
#include "engine/engine.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/folder_times.h"
#include "tools/arq/text.h"

namespace {

// The buffer a link's resolved target is read into.
const uint32_t RESOLVED_PATH_SIZE = 1024;

// A free name in folder, or empty.
std::string TempName(const std::string& folder) {
    // Three letters, as many as TempFileName keeps.
    char prefix[] = "ARQ";
    char* name = TempFileName(folder.c_str(), prefix);
    if (name == nullptr) return std::string();
    std::string result = name;
    MemFree(name);
    return result;
}

// Reports a failed write to the archive: no room, or another write error.
int WriteFailure(const std::string& where, const std::string& shown) {
    if (DriveLooksFull(FolderPart(where))) {
        Complain("%s: no room on the drive; nothing was written", shown.c_str());
        return ARQ_EXIT_NO_ROOM;
    }
    Complain("%s: write error; nothing was written", shown.c_str());
    return ARQ_EXIT_IO;
}

// The file sink of the writer, watched: Ctrl+C stops the writing, a failed write is
// told apart from a failed read, and a long Stored copy moves the bar.
int GuardedSink(void* context, const uint8_t* bytes, uint32_t count) {
    ArchiveOutput* out = static_cast<ArchiveOutput*>(context);
    if (PlatInterrupted()) return ERR_CANCELLED;
    const int rc = out->file_sink(out->file_context, bytes, count);
    if (rc < 0) {
        out->sink_failed = 1;
        return rc;
    }
    if (out->streaming) {
        const uint32_t streamed = out->writer.bytes_written + count - out->stream_start;
        ProgressShowHost(out->done_before + streamed, out->current);
    }
    return 0;
}

// The result of a writer call that failed, as an exit code after a message.
int WriterFailure(ArchiveOutput* out, int rc, const InputFile* file) {
    if (rc == ERR_CANCELLED || PlatInterrupted()) {
        Complain("cancelled; %s was not written", out->final_path.c_str());
        return ARQ_EXIT_CANCELLED;
    }
    if (rc == ERR_NO_MEMORY) {
        Complain("%s: not enough memory", file ? file->source.c_str() : out->final_path.c_str());
        return ARQ_EXIT_NO_MEMORY;
    }
    if (out->sink_failed) return WriteFailure(out->temp_path, out->final_path);
    if (file != nullptr && (rc == ERR_IO || rc == ERR_NOT_FOUND)) {
        Complain("%s: cannot be read; %s was not written", file->source.c_str(), out->final_path.c_str());
        return ARQ_EXIT_IO;
    }
    Complain("%s: cannot be written (error %d)", out->final_path.c_str(), rc);
    return ARQ_EXIT_IO;
}

// Where the writer puts volume n of a spanned set: a temporary name in the disk's
// folder, which is made when missing.
int VolumePath(void* context, int32_t volume, char* path, uint32_t size) {
    ArchiveOutput* out = static_cast<ArchiveOutput*>(context);
    if (PlatInterrupted()) return ERR_CANCELLED;
    const std::string folder = out->final_path + "." + std::to_string(volume + 1);
    if (static_cast<size_t>(volume) >= out->volume_folders.size()) {
        int made = 0;
        if (!PathIsFolder(folder)) {
            if (PlatMkdir(folder.c_str()) != 0) return ERR_IO;
            made = 1;
        }
        out->volume_folders.push_back(folder);
        out->folder_made.push_back(made);
    }
    const std::string name = TempName(folder);
    if (name.empty() || name.size() + 1 > size) return ERR_IO;
    std::memcpy(path, name.c_str(), name.size() + 1);
    out->volume_temps.push_back(name);
    return 0;
}

// Spreads the finished temporary archive over the disks' folders and renames every
// volume into place.
int SplitIntoVolumes(ArchiveOutput* out, int32_t* volumes) {
    const int32_t made = WriterSplitArchive(out->temp_path.c_str(), out->volume_size, VolumePath, out);
    if (made < 0) {
        if (made == ERR_BAD_ARGUMENT) {
            Complain(
                "--volume-size %u: too small for this archive (a disk must hold an entry header and "
                "part of its data)",
                out->volume_size);
            return ARQ_EXIT_USAGE;
        }
        if (made == ERR_CANCELLED || PlatInterrupted()) {
            Complain("cancelled; %s was not written", out->final_path.c_str());
            return ARQ_EXIT_CANCELLED;
        }
        if (made == ERR_NO_MEMORY) {
            Complain("%s: not enough memory", out->final_path.c_str());
            return ARQ_EXIT_NO_MEMORY;
        }
        const std::string where = out->volume_temps.empty() ? out->temp_path : out->volume_temps.back();
        return WriteFailure(where, out->final_path + "." + std::to_string(out->volume_folders.size()));
    }
    const std::string name = NamePart(out->final_path);
    for (size_t i = 0; i < out->volume_temps.size(); i++) {
        const std::string target = out->volume_folders[i] + "/" + name;
        if (PlatRename(out->volume_temps[i].c_str(), target.c_str()) != 0) {
            Complain("%s: cannot be written", target.c_str());
            return ARQ_EXIT_IO;
        }
        out->volume_temps[i].clear();
    }
    // A set written before with more disks must not look as if it went on.
    for (int32_t disk = made + 1;; disk++) {
        const std::string folder = out->final_path + "." + std::to_string(disk);
        const std::string stale = folder + "/" + name;
        if (!PathExists(stale)) break;
        PlatUnlink(stale.c_str());
        PlatRmdir(folder.c_str());
    }
    out->complete = 1;
    *volumes = made;
    return ARQ_EXIT_OK;
}

} // namespace

int OutputStart(ArchiveOutput* out, const std::string& archive, uint32_t volumeSize) {
    out->named_path = archive;
    out->final_path = archive;
    out->replaced_mode = -1;
    // Replacing the link itself would turn it into a file of its own and leave what
    // it led to as it was.
    if (volumeSize == 0 && PlatIsLink(archive.c_str())) {
        char target[RESOLVED_PATH_SIZE];
        if (PlatResolvePath(archive.c_str(), target, sizeof target) != 0) out->final_path = target;
    }
    out->volume_size = volumeSize;
    out->sink_failed = 0;
    out->done_before = 0;
    out->streaming = 0;
    out->stream_start = 0;
    out->current = "";
    out->checksums = 1;
    out->complete = 0;
    if (NamePart(archive).empty()) {
        Complain("%s: names no file", archive.c_str());
        return ARQ_EXIT_USAGE;
    }
    if (PathIsFolder(archive)) {
        Complain("%s: is a folder", archive.c_str());
        return ARQ_EXIT_USAGE;
    }
    PlatStatInfo replaced;
    if (volumeSize == 0 && PlatStat(out->final_path.c_str(), &replaced) == 0)
        out->replaced_mode = static_cast<int32_t>(replaced.mode & 0777u);
    const std::string folder = FolderPart(out->final_path);
    if (!folder.empty() && !PathIsFolder(folder)) {
        Complain("%s: no such folder", folder.c_str());
        return ARQ_EXIT_NOT_FOUND;
    }
    out->temp_path = TempName(folder);
    if (out->temp_path.empty()) {
        Complain("%s: cannot be created (no temporary name free in its folder)", archive.c_str());
        return ARQ_EXIT_IO;
    }
    if (WriterCreateFile(&out->writer, out->temp_path.c_str()) < 0) {
        out->temp_path.clear();
        Complain("%s: cannot be created", archive.c_str());
        return ARQ_EXIT_IO;
    }
    out->file_sink = out->writer.sink;
    out->file_context = out->writer.context;
    out->writer.sink = GuardedSink;
    out->writer.context = out;
    return ARQ_EXIT_OK;
}

namespace {

// Whether an entry of dataSize bytes behind this header still leaves the archive, with
// its end record, within what the engine reads. A spanned set is first written whole,
// so the limit holds for it too. Complains when not.
bool ArchiveHasRoom(ArchiveOutput* out, const EntryHeaderFields* header, uint64_t dataSize) {
    const uint64_t after = out->writer.bytes_written + EntryHeaderSize(header) + dataSize + ENTRY_FIXED_SIZE;
    if (after <= ARQ_FILE_MAX) return true;
    Complain("%s: would grow past %s bytes, the largest archive the engine reads", out->final_path.c_str(),
             std::to_string(ARQ_FILE_MAX).c_str());
    return false;
}

// PutEncoded's result when the entry would take the archive past ARQ_FILE_MAX.
const int ARCHIVE_FULL = 1;

// The file's bytes as a Crushed entry when that is smaller, else as a Stored one.
// 0, ARCHIVE_FULL (after a message), or the writer's or encoder's failure.
int PutEncoded(ArchiveOutput* out, EntryHeaderFields* header, const uint8_t* data, uint32_t size, int level,
               int* method, uint32_t* packed) {
    if (out->checksums) {
        const int rc = EntryHeaderSetChecksum(header, ChecksumUpdate(CHECKSUM_EMPTY, data, size));
        if (rc < 0) return rc;
    }
    CrushedBuffer stream = {};
    int rc = CrushedEncodeToBuffer(data, size, level, &stream);
    // The stream is held whole and grows by doubling: a large file that packs badly
    // can want more than a 32-bit program's address space. It is stored then, as a file
    // too large to read into memory is.
    const bool encoded = rc == 0;
    if (rc == ERR_NO_MEMORY) rc = 0;
    if (rc < 0) return rc;
    const uint8_t* chosen = data;
    *packed = size;
    *method = METHOD_STORED;
    if (encoded && stream.size < size) {
        chosen = stream.data;
        *packed = stream.size;
        *method = METHOD_CRUSHED;
    }
    header->block.method = static_cast<uint8_t>(*method);
    header->block.compressed_size = *packed;
    if (!ArchiveHasRoom(out, header, *packed)) {
        rc = ARCHIVE_FULL;
    } else {
        rc = WriterPutEntry(&out->writer, header, chosen, *packed);
    }
    CrushedBufferFree(&stream);
    return rc;
}

// The reader applies a time as a signed 32-bit count of seconds: one outside that
// range would come back decades off, so the nearest it can hold is stored instead.
uint32_t StorableTime(const InputFile& file) {
    if (file.mtime > INT32_MAX) {
        Complain(
            "warning: %s: modified after 2038-01-19 03:14:07 UTC, the latest time an archive holds; "
            "stored as that time",
            file.source.c_str());
        return static_cast<uint32_t>(INT32_MAX);
    }
    if (file.mtime < INT32_MIN) {
        Complain(
            "warning: %s: modified before 1901-12-13 20:45:52 UTC, the earliest time an archive holds; "
            "stored as that time",
            file.source.c_str());
        return static_cast<uint32_t>(INT32_MIN);
    }
    return static_cast<uint32_t>(file.mtime);
}

} // namespace

int OutputPutImage(ArchiveOutput* out, const uint8_t* image, uint32_t imageSize, uint32_t total) {
    ArchiveHeaderFields header;
    int rc = ArchiveHeaderDefaults(&header, total, nullptr, nullptr);
    if (rc == 0) rc = WriterPutBytes(&out->writer, image, imageSize);
    if (rc == 0) rc = WriterPutArchiveHeader(&out->writer, &header);
    return rc < 0 ? WriterFailure(out, rc, nullptr) : ARQ_EXIT_OK;
}

namespace {

// The entry header for the file, but for its method and packed size. The folder-times
// field is built in *folderTimes, which must stay until the entry is written.
// ARQ_EXIT_OK, or the exit code after a message.
int HeaderFor(const InputFile& file, std::vector<uint8_t>* folderTimes, EntryHeaderFields* header) {
    if (EntryHeaderDefaults(header, file.stored.c_str(), static_cast<uint32_t>(file.size)) < 0) {
        Complain("%s: cannot be stored under the name %s", file.source.c_str(), file.stored.c_str());
        return ARQ_EXIT_USAGE;
    }
    // The name as collected, already in the archive's code page and letter case.
    EntryHeaderSetName(header, reinterpret_cast<const uint8_t*>(file.stored.data()),
                       static_cast<uint32_t>(file.stored.size()));
    header->block.name_case = file.name_case;
    if (file.executable) header->block.mode = WRITER_MODE_EXECUTABLE;
    if (file.mode != 0) header->block.mode = file.mode;
    header->block.mtime = StorableTime(file);
    *folderTimes = FolderTimesField(file.folder_times);
    if (!folderTimes->empty()) {
        EntryHeaderSetExtra(header, folderTimes->data(), static_cast<uint32_t>(folderTimes->size()));
    }
    return ARQ_EXIT_OK;
}

// The file's size bytes as a Stored entry copied from its open slot, which stays open.
// 0, ARCHIVE_FULL (after a message), or the writer's failure.
int PutStreamed(ArchiveOutput* out, EntryHeaderFields* header, int slot, uint32_t size) {
    int rc = 0;
    // The field counts in the room the entry takes; its value comes below.
    if (out->checksums) rc = EntryHeaderSetChecksum(header, CHECKSUM_EMPTY);
    if (rc == 0 && !ArchiveHasRoom(out, header, size)) return ARCHIVE_FULL;
    // The checksum field stands in front of the data: the file is read twice.
    uint32_t checksum = CHECKSUM_EMPTY;
    if (rc == 0 && out->checksums) rc = ChecksumFromSlot(slot, size, &checksum);
    if (rc == 0 && out->checksums) rc = EntryHeaderSetChecksum(header, checksum);
    if (rc == 0) rc = WriterPutEntryHeader(&out->writer, header);
    out->streaming = 1;
    out->stream_start = out->writer.bytes_written;
    if (rc == 0) rc = WriterCopyFromSlot(&out->writer, slot, size);
    out->streaming = 0;
    return rc;
}

} // namespace

int OutputPutFile(ArchiveOutput* out, const InputFile& file, int level, int* method, uint32_t* packed) {
    // The bar shows the host's spelling: the stored one is in the archive's code page,
    // which need not be the one names are shown from.
    out->current = file.shown.empty() ? file.stored.c_str() : file.shown.c_str();
    ProgressShowHost(out->done_before, out->current);
    EntryHeaderFields header;
    std::vector<uint8_t> folderTimes;
    const int code = HeaderFor(file, &folderTimes, &header);
    if (code != ARQ_EXIT_OK) return code;

    const int slot = FileOpen(file.source.c_str(), FILE_READ);
    if (slot < 0) {
        Complain("%s: cannot be read; %s was not written", file.source.c_str(), out->final_path.c_str());
        return ARQ_EXIT_IO;
    }
    const uint32_t size = static_cast<uint32_t>(file.size);
    uint8_t* data = nullptr;
    // The encoder takes a whole file; without the memory for it the file is stored.
    if (level != OUTPUT_STORED && size > 0) data = static_cast<uint8_t*>(MemAlloc(size));
    int rc = 0;
    if (data != nullptr) {
        if (FileRead(slot, data, static_cast<int32_t>(size)) != static_cast<int32_t>(size)) rc = ERR_IO;
        FileClose(slot);
        if (rc == 0) rc = PutEncoded(out, &header, data, size, level, method, packed);
        MemFree(data);
    } else {
        rc = PutStreamed(out, &header, slot, size);
        FileClose(slot);
        *packed = size;
        *method = METHOD_STORED;
    }
    if (rc == ARCHIVE_FULL) return ARQ_EXIT_USAGE;
    if (rc < 0) return WriterFailure(out, rc, &file);
    out->done_before += file.size;
    ProgressShowHost(out->done_before, out->current);
    return ARQ_EXIT_OK;
}

int OutputPutFiles(ArchiveOutput* out, const std::vector<InputFile>& files, int level,
                   uint64_t* packedTotal) {
    for (const InputFile& file : files) {
        if (PlatInterrupted()) {
            Complain("cancelled; %s was not written", out->named_path.c_str());
            return ARQ_EXIT_CANCELLED;
        }
        int method = METHOD_STORED;
        uint32_t packed = 0;
        const int code = OutputPutFile(out, file, level, &method, &packed);
        if (code != ARQ_EXIT_OK) return code;
        *packedTotal += packed;
        Tell("%-8s %10s %6s  %s", method == METHOD_CRUSHED ? "crushed" : "stored",
             std::to_string(file.size).c_str(), FormatRatio(packed, file.size).c_str(),
             ShownHostName(file.shown).c_str());
    }
    return ARQ_EXIT_OK;
}

int OutputFinish(ArchiveOutput* out, int32_t* volumes) {
    int rc = WriterPutEnd(&out->writer, nullptr, 0);
    const int finished = WriterFinish(&out->writer);
    if (rc == 0) rc = finished;
    if (rc < 0) {
        const int code = WriterFailure(out, rc, nullptr);
        OutputAbandon(out);
        return code;
    }
    if (PlatInterrupted()) {
        OutputAbandon(out);
        Complain("cancelled; %s was not written", out->final_path.c_str());
        return ARQ_EXIT_CANCELLED;
    }
    if (out->volume_size != 0) {
        const int code = SplitIntoVolumes(out, volumes);
        OutputAbandon(out);
        return code;
    }
    if (PlatRename(out->temp_path.c_str(), out->final_path.c_str()) != 0) {
        Complain("%s: cannot be replaced", out->final_path.c_str());
        OutputAbandon(out);
        return ARQ_EXIT_IO;
    }
    out->temp_path.clear();
    // The new archive takes the place of the old one, and its permissions too.
    if (out->replaced_mode >= 0) PlatChmod(out->final_path.c_str(), out->replaced_mode);
    *volumes = 1;
    return ARQ_EXIT_OK;
}

void OutputAbandon(ArchiveOutput* out) {
    WriterFinish(&out->writer);
    if (!out->temp_path.empty()) PlatUnlink(out->temp_path.c_str());
    out->temp_path.clear();
    for (const std::string& temp : out->volume_temps) {
        if (!temp.empty()) PlatUnlink(temp.c_str());
    }
    out->volume_temps.clear();
    // The disks' folders this run made go again, unless the set was put in place.
    for (size_t i = 0; i < out->volume_folders.size() && !out->complete; i++) {
        if (out->folder_made[i]) PlatRmdir(out->volume_folders[i].c_str());
    }
}
