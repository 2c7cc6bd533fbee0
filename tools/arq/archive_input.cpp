// Finding, opening and walking an archive with the engine's own reading operations.
#include "tools/arq/archive_input.h"

#include <cstring>

#include "engine/engine.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/show_stub.h"
#include "tools/arq/volumes.h"

namespace {

bool EndsWithArq(const std::string& path) {
    if (path.size() < ARQ_EXTENSION_LENGTH) return false;
    std::string tail = path.substr(path.size() - ARQ_EXTENSION_LENGTH);
    for (char& c : tail)
        c = static_cast<char>(CharUpperAZ(c));
    return tail == ".ARQ";
}

// Whether the bytes at offset are a record signature.
bool SignatureAt(int slot, int32_t offset) {
    uint8_t bytes[SIGNATURE_SIZE];
    const int32_t back = FileTell(slot);
    bool found = FileSeek(slot, offset, FILE_SEEK_START) == offset &&
                 FileRead(slot, bytes, SIGNATURE_SIZE) == SIGNATURE_SIZE &&
                 std::memcmp(bytes, EntrySignature(), SIGNATURE_SIZE) == 0;
    FileSeek(slot, back, FILE_SEEK_START);
    return found;
}

// Whether the file starts as a Windows program does: the launcher's own file does.
bool StartsAsProgram(int slot) {
    uint8_t magic[2] = {0, 0};
    const bool read = FileSeek(slot, 0, FILE_SEEK_START) == 0 && FileRead(slot, magic, 2) == 2;
    return read && StartsWithMzHeader(magic, sizeof magic);
}

// A program's archive header record, held to what the launcher asks of it before it
// extracts anything. ARQ_EXIT_OK, or the exit code after a message.
int CheckSelfArchiveHeader(const ArchiveInput* input, const char* shown) {
    ArchiveHeaderInfo info;
    const int rc = ReadSelfArchiveHeader(input->slot, &info);
    if (rc == 0) return ARQ_EXIT_OK;
    if (rc == ERR_NO_MEMORY) {
        Complain("%s: not enough memory to search the file", shown);
        return ARQ_EXIT_NO_MEMORY;
    }
    if (rc == ERR_NOT_FOUND) {
        Complain(
            "%s: damaged: no archive header record (67 57 04 02) in its first %d bytes, without which the "
            "program extracts nothing",
            shown, SIGNATURE_SEARCH_LIMIT);
        return ARQ_EXIT_DAMAGED;
    }
    FileSeek(input->slot, 0, FILE_SEEK_START);
    const int32_t at = FindArchiveHeader(nullptr, input->slot) - SIGNATURE_SIZE;
    if (rc == ERR_BAD_ARCHIVE) {
        Complain(
            "%s: damaged: the archive header record at offset %d reaches past the program's signed bytes "
            "(into its certificate table at offset %d), so the program will not run it",
            shown, static_cast<int>(at), static_cast<int>(input->signed_end));
    } else {
        Complain(
            "%s: damaged: the archive header record at offset %d cannot be read: it is cut short or "
            "names a folder longer than %d bytes",
            shown, static_cast<int>(at), ARCHIVE_DEST_MAX);
    }
    return ARQ_EXIT_DAMAGED;
}

// The first entry header signature behind offset at and before end (the file's size,
// or where the signed bytes end), or -1: a record read as the end of the archive that
// has entries behind it was an entry header with its name length lost.
int32_t EntrySignatureBehind(int slot, int32_t at, int32_t end) {
    const int32_t back = FileTell(slot);
    if (FileSeek(slot, at + 1, FILE_SEEK_START) != at + 1) return -1;
    const int32_t found = FindSignature(slot, EntrySignature(), SIGNATURE_SIZE, 0);
    FileSeek(slot, back, FILE_SEEK_START);
    return found >= 0 && found < end ? found : -1;
}

} // namespace

int32_t SlotFileSize(int slot) {
    const int32_t back = FileTell(slot);
    if (back < 0) return -1;
    const int32_t size = FileSeek(slot, 0, FILE_SEEK_END);
    if (FileSeek(slot, back, FILE_SEEK_START) != back) return -1;
    return size;
}

std::string MethodName(int method) {
    if (method == METHOD_STORED) return "Stored";
    if (method == METHOD_CRUSHED) return "Crushed";
    return "method " + std::to_string(method);
}

namespace {

// The file a name stands for: the name itself, or the name with ".arq" when only that
// exists. A folder, a pipe or a device is not read as an archive. ARQ_EXIT_OK, or the
// exit code after a message.
int FindArchiveFile(const std::string& name, ArchiveInput* input) {
    input->path = name;
    if (!PathExists(name)) {
        std::string withExtension = name + ".arq";
        if (PathHasExtension(name.c_str()) || !PathExists(withExtension)) {
            Complain("%s: no such file", name.c_str());
            return ARQ_EXIT_NOT_FOUND;
        }
        input->path = withExtension;
    }
    // Read from folders, the archive is opened on a mapped drive; messages name it as given.
    const std::string shown = DisksShownName(input->path);
    if (PathIsFolder(input->path)) {
        Complain("%s: is a folder, not an archive", shown.c_str());
        return ARQ_EXIT_NOT_ARCHIVE;
    }
    // The archive is found by searching and read by seeking, which a pipe or a device
    // cannot do: say so rather than call what flows through it no archive.
    PlatStatInfo info;
    if (PlatStat(input->path.c_str(), &info) == 0 && (info.mode & (PLAT_MODE_FOLDER | PLAT_MODE_FILE)) == 0) {
        Complain(
            "%s: is a pipe or a device, which cannot be searched for an archive; save it to a file first",
            shown.c_str());
        return ARQ_EXIT_IO;
    }
    return ARQ_EXIT_OK;
}

// The first entry header signature of a file that is not a ".arq" file (a
// self-extracting program), found as the engine finds it. ARQ_EXIT_OK, or the exit
// code after a message.
int SearchFirstRecord(ArchiveInput* input, const char* shown) {
    const int32_t found = FindEntrySignature(input->path.c_str(), -1);
    if (found == ERR_NOT_FOUND) {
        Complain("%s: cannot be opened", shown);
        return ARQ_EXIT_IO;
    }
    if (found == ERR_NO_MEMORY) {
        Complain("%s: not enough memory to search the file", shown);
        return ARQ_EXIT_NO_MEMORY;
    }
    if (found < 0) {
        Complain("%s: not an archive (no entry header record in its first %d bytes)", shown,
                 SIGNATURE_SEARCH_LIMIT);
        return ARQ_EXIT_NOT_ARCHIVE;
    }
    input->start = found;
    return ARQ_EXIT_OK;
}

// Opens the file in a slot of the engine's, where a record signature must stand at
// the start. ARQ_EXIT_OK, or the exit code after a message.
int OpenAtSignature(ArchiveInput* input, const char* shown) {
    input->slot = FileOpen(input->path.c_str(), FILE_READ);
    if (input->slot < 0) {
        Complain("%s: cannot be opened", shown);
        return ARQ_EXIT_IO;
    }
    if (SlotFileSize(input->slot) == 0) {
        Complain("%s: not an archive (the file is empty)", shown);
        return ARQ_EXIT_NOT_ARCHIVE;
    }
    if (!SignatureAt(input->slot, input->start)) {
        Complain("%s: not an archive (it does not start with an entry header record)", shown);
        return ARQ_EXIT_NOT_ARCHIVE;
    }
    return ARQ_EXIT_OK;
}

// The first record must be readable; where the walk fails later the archive is
// damaged, and that is for the walk to tell. A program is read from the first
// signature, as the launcher reads it: one that does not start a readable entry
// header leaves the launcher with nothing, however sound the bytes behind it.
// ARQ_EXIT_OK with the volume number the first record carries, or the exit code after
// a message.
int CheckFirstRecord(ArchiveInput* input, bool searched, const char* shown, int* volume) {
    // Found as the engine finds it; then held to the bytes the launcher reads.
    input->signed_end = ProgramSignedEnd(input->slot);
    if (!WithinSignedBytes(input->signed_end, input->start, ENTRY_LEAD_SIZE)) {
        Complain(
            "%s: damaged: the archive at offset %d lies outside the program's signed bytes (in or behind "
            "its certificate table at offset %d), so the program will not run it",
            shown, static_cast<int>(input->start), static_cast<int>(input->signed_end));
        return ARQ_EXIT_DAMAGED;
    }
    EntryDescriptor desc;
    WalkBegin(input, &desc);
    std::string problem;
    int code = ARQ_EXIT_OK;
    FileSeek(input->slot, input->start, FILE_SEEK_START);
    if (WalkNext(input, &desc, &problem, &code) == WALK_STOP) {
        Complain("%s: damaged: %s", shown, problem.c_str());
        return code;
    }
    if (searched && StartsAsProgram(input->slot)) {
        code = CheckSelfArchiveHeader(input, shown);
        if (code != ARQ_EXIT_OK) return code;
    }
    *volume = desc.volume_info[0];
    return ARQ_EXIT_OK;
}

// Finds and opens the archive at the engine's path name and checks its first record.
// ARQ_EXIT_OK, or the exit code after a message.
int OpenArchiveFile(const std::string& name, ArchiveInput* input) {
    input->slot = -1;
    input->start = 0;
    input->signed_end = SIGNED_END_NONE;
    int code = FindArchiveFile(name, input);
    if (code != ARQ_EXIT_OK) return code;
    const std::string shownName = DisksShownName(input->path);
    const char* shown = shownName.c_str();
    const bool searched = !EndsWithArq(input->path);
    if (searched) code = SearchFirstRecord(input, shown);
    if (code == ARQ_EXIT_OK) code = OpenAtSignature(input, shown);
    int volume = 0;
    if (code == ARQ_EXIT_OK) code = CheckFirstRecord(input, searched, shown, &volume);
    if (code != ARQ_EXIT_OK) {
        ArchiveClose(input);
        return code;
    }
    if (volume != 0) {
        // A later disk of a spanned set: it starts inside an entry, so the set is
        // read from its first disk.
        ArchiveClose(input);
        code = DisksStartAtFirst(input->path, volume);
        if (code != ARQ_EXIT_OK) return code;
        return OpenArchiveFile(input->path, input);
    }
    FileSeek(input->slot, input->start, FILE_SEEK_START);
    return ARQ_EXIT_OK;
}

} // namespace

int ArchiveOpen(const std::string& name, const std::vector<std::string>& folders, ArchiveInput* input,
                ArchiveSurvey* survey) {
    input->slot = -1;
    int code = DisksPrepare(name, folders, &input->named);
    if (code != ARQ_EXIT_OK) return code;
    // Every walk starts on the first disk's terms, the check of the first record too.
    SpannedResetState();
    code = OpenArchiveFile(input->named, input);
    if (code != ARQ_EXIT_OK) return code;
    if (survey != nullptr) SurveyArchive(input, survey);
    return ARQ_EXIT_OK;
}

void ArchiveClose(ArchiveInput* input) {
    if (input->slot >= 0 && FileGetSlot(input->slot) != nullptr) FileClose(input->slot);
    input->slot = -1;
}

void WalkBegin(const ArchiveInput* input, EntryDescriptor* desc) {
    std::memset(desc, 0, sizeof *desc);
    desc->input_slot = input->slot;
}

namespace {

// An entry header was read at offset at: the walk goes on to it only where the
// launcher's engine would extract it.
WalkStep CheckEntryRead(const ArchiveInput* input, const EntryDescriptor* desc, int32_t at,
                        std::string* problem) {
    if (!EntryOnItsVolume(desc, at)) {
        // The engine's walk ends here too, before this entry.
        *problem = "the entry header at offset " + std::to_string(at) +
                   " cannot be read: it places a whole entry on disk " +
                   std::to_string(desc->volume_info[0] + 1) + ", but stands on disk " +
                   std::to_string((CurrentVolume() & 0xFF) + 1);
        return WALK_STOP;
    }
    if (CurrentVolume() != 0 ||
        WithinSignedBytes(input->signed_end, FileTell(desc->input_slot), desc->compressed_size))
        return WALK_ENTRY;
    // The launcher's walk ends here: what follows is not the signer's.
    *problem = "the entry at offset " + std::to_string(at) +
               " reaches past the program's signed bytes (into its certificate table at offset " +
               std::to_string(input->signed_end) + "), so the program will not extract it";
    return WALK_STOP;
}

// The end-of-archive record was read at offset at: the end, unless an entry follows it
// or the record itself is cut short.
WalkStep CheckEndRecord(const ArchiveInput* input, const EntryDescriptor* desc, int32_t at,
                        std::string* problem) {
    const int slot = desc->input_slot;
    const int32_t size = SlotFileSize(slot);
    const int32_t end =
        input->signed_end != SIGNED_END_NONE && CurrentVolume() == 0 ? input->signed_end : size;
    const int32_t next = at >= 0 && size >= 0 ? EntrySignatureBehind(slot, at, end) : -1;
    if (next >= 0) {
        *problem = "the entry header at offset " + std::to_string(at) +
                   " cannot be read: its name length is 0, which marks the end of the archive, yet an entry "
                   "header record follows at offset " +
                   std::to_string(next);
        return WALK_STOP;
    }
    // The engine takes a cut-short end record for the end; the file was still cut.
    const int64_t recordEnd = static_cast<int64_t>(at) + ENTRY_FIXED_SIZE + desc->extra_count;
    if (at < 0 || size < 0 || recordEnd <= size) return WALK_END;
    *problem = "cut short: the end-of-archive record at offset " + std::to_string(at) + " is incomplete";
    return WALK_STOP;
}

// Why the record at offset at gave no entry (ReadEntryHeader's rc): the record's own
// bytes tell a header cut short from a damaged one.
std::string HeaderFault(const EntryDescriptor* desc, int32_t at, int rc) {
    const int slot = desc->input_slot;
    const int32_t size = SlotFileSize(slot);
    const std::string header = "the entry header at offset " + std::to_string(at) + " cannot be read: ";
    const std::string where = "offset " + std::to_string(at);
    uint8_t lead[ENTRY_LEAD_SIZE] = {0};
    int32_t leadRead = 0;
    if (at >= 0 && FileSeek(slot, at, FILE_SEEK_START) == at)
        leadRead = FileRead(slot, lead, ENTRY_LEAD_SIZE);
    const uint32_t nameLength = GetLE16(lead + ENTRY_NAME_LENGTH_OFFSET);
    if (rc == ERR_VERSION) {
        return header + "it needs a newer engine (version " +
               std::to_string((desc->version_needed >> 4) & 0x0F) + "." +
               std::to_string(desc->version_needed & 0x0F) + ")";
    }
    if (at >= 0 && size >= 0 && at >= size)
        return "cut short: the file ends at " + where + " without the end-of-archive record";
    if (leadRead < SIGNATURE_SIZE || std::memcmp(lead, EntrySignature(), SIGNATURE_SIZE) != 0)
        return "no entry header record at " + where;
    if (leadRead == ENTRY_LEAD_SIZE && nameLength > ENTRY_NAME_MAX) {
        return header + "its name is " + std::to_string(nameLength) + " bytes long (at most " +
               std::to_string(ENTRY_NAME_MAX) + ")";
    }
    return "cut short: the entry header at " + where + " is incomplete";
}

} // namespace

WalkStep WalkNext(ArchiveInput* input, EntryDescriptor* desc, std::string* problem, int* code) {
    const int32_t at = FileTell(desc->input_slot);
    const int rc = ReadEntryHeader(desc);
    WalkStep step = WALK_STOP;
    if (rc == 0) {
        step = CheckEntryRead(input, desc, at, problem);
    } else if (rc == ERR_END_OF_ARCHIVE) {
        step = CheckEndRecord(input, desc, at, problem);
    } else {
        *problem = HeaderFault(desc, at, rc);
    }
    if (step == WALK_STOP) *code = ARQ_EXIT_DAMAGED;
    return step;
}

int WalkSkipData(ArchiveInput* input, EntryDescriptor* desc, std::string* problem, int* code) {
    const int slot = desc->input_slot;
    if (desc->flags & ENTRY_SPANNED) {
        if (!DisksCanChange(input->path)) {
            *problem = "the entry " + Printable(desc->name) +
                       " goes on on the next disk, which cannot be asked for: " +
                       "name the folders of all disks with --volumes, or read the set from a removable drive";
            *code = ARQ_EXIT_NOT_FOUND;
            return 0;
        }
        const int rc = SkipEntry(desc);
        if (rc != 0) {
            *code = DisksOutcome();
            if (*code == ARQ_EXIT_OK) {
                *code = ARQ_EXIT_DAMAGED;
                *problem = "the entry " + Printable(desc->name) + " cannot be followed onto the next disk";
            } else if (*code == ARQ_EXIT_CANCELLED) {
                *problem = "cancelled: the next disk was not given";
            } else {
                problem->clear(); // the missing disk has been named already
            }
            return 0;
        }
        return 1;
    }
    const int32_t at = FileTell(slot);
    const int32_t size = SlotFileSize(slot);
    if (at < 0 || size < 0) {
        *problem = "cannot be read";
        *code = ARQ_EXIT_IO;
        return 0;
    }
    if (desc->compressed_size > static_cast<uint32_t>(size - at)) {
        *problem = "cut short: the data of " + Printable(desc->name) + " runs past the end of the file";
        *code = ARQ_EXIT_DAMAGED;
        return 0;
    }
    FileSeek(slot, at + static_cast<int32_t>(desc->compressed_size), FILE_SEEK_START);
    return 1;
}

void SurveyArchive(ArchiveInput* input, ArchiveSurvey* survey) {
    EntryDescriptor desc;
    WalkBegin(input, &desc);
    survey->total = 0;
    survey->complete = 0;
    survey->spanned = 0;
    survey->problem.clear();
    FileSeek(input->slot, input->start, FILE_SEEK_START);
    for (;;) {
        int code = ARQ_EXIT_OK;
        const WalkStep step = WalkNext(input, &desc, &survey->problem, &code);
        if (step == WALK_END) survey->complete = 1;
        if (step != WALK_ENTRY) break;
        survey->total += desc.uncompressed_size;
        if (desc.flags & ENTRY_SPANNED) {
            survey->spanned = 1;
            break;
        }
        if (!WalkSkipData(input, &desc, &survey->problem, &code)) break;
    }
    FileSeek(input->slot, input->start, FILE_SEEK_START);
}
