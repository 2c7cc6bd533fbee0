// Answering the engine's requests for the next disk.
#include "tools/arq/volumes.h"

#include <cstring>

#include "engine/engine.h"
#include "fileio/codes.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"

namespace {

// Process-wide, not thread-safe.
struct DiskState {
    std::string givenName;            // the archive as named on the command line
    std::string archiveName;          // the volumes' file name, for prompts
    int drive;                        // drive index the volumes are read from
    std::vector<std::string> folders; // the disks' folders; empty: prompt
    bool foldersFound;                // found beside the archive, not named with --volumes
    int32_t lastAsked;                // disk asked for last; asked again = the wrong disk came
    int outcome;
};
DiskState g_disks = {std::string(), std::string(), 0, std::vector<std::string>(), false, 0, ARQ_EXIT_OK};

// The default drive of a set read from folders: the first floppy drive.
const int DRIVE_A = 0;

std::string DriveName(int drive) {
    if (drive < 0 || drive >= DRIVE_LETTER_COUNT) return "the drive";
    return std::string(1, static_cast<char>('A' + drive)) + ":";
}

void GiveUp(EntryDescriptor* desc, int outcome) {
    if (desc != nullptr) desc->status = STATUS_CANCEL;
    g_disks.outcome = ExitCombine(g_disks.outcome, outcome);
}

// The volume number in the first record of the file at path, or -1 when there is none.
int FirstVolumeNumber(const std::string& path) {
    const int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) return -1;
    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = slot;
    const int rc = ReadEntryHeader(&desc);
    FileClose(slot);
    return rc == 0 || rc == ERR_END_OF_ARCHIVE ? desc.volume_info[0] : -1;
}

} // namespace

int DisksPrepare(const std::string& name, const std::vector<std::string>& folders, std::string* openPath) {
    g_disks.givenName = name;
    g_disks.archiveName = NamePart(name);
    g_disks.drive = DriveFromPath(name.c_str());
    g_disks.folders = folders;
    g_disks.lastAsked = 0;
    g_disks.outcome = ARQ_EXIT_OK;
    *openPath = name;

    bool found = false;
    if (g_disks.folders.empty() && !PathExists(name) && !PathExists(name + ".arq")) {
        // A set written by "arq create --volume-size" lies beside where the archive
        // would be, one folder per disk.
        for (int disk = 1; PathExists(name + "." + std::to_string(disk) + "/" + g_disks.archiveName); disk++)
            g_disks.folders.push_back(name + "." + std::to_string(disk));
        found = !g_disks.folders.empty();
    }
    g_disks.foldersFound = found;
    if (g_disks.folders.empty()) return ARQ_EXIT_OK;

    for (const std::string& folder : g_disks.folders) {
        if (!PathIsFolder(folder)) {
            Complain("%s: no such folder", folder.c_str());
            return ARQ_EXIT_NOT_FOUND;
        }
    }
    if (g_disks.archiveName.empty()) {
        Complain("%s: names no file", name.c_str());
        return ARQ_EXIT_USAGE;
    }
    if (!(name.size() >= 2 && name[1] == ':')) g_disks.drive = DRIVE_A;
    const std::string& first = g_disks.folders[0];
    if (!PathExists(first + "/" + g_disks.archiveName)) {
        Complain("%s: holds no %s", first.c_str(), g_disks.archiveName.c_str());
        return ARQ_EXIT_NOT_FOUND;
    }
    if (!PlatMapDrive(g_disks.drive, first.c_str(), PLAT_DRIVE_REMOVABLE)) {
        if (found) {
            Complain(
                "%s: no such file (%s holds the first disk of a spanned set; on this system put the "
                "disks in a removable drive and name the archive there)",
                name.c_str(), first.c_str());
            return ARQ_EXIT_NOT_FOUND;
        }
        Complain(
            "--volumes: this system cannot read a drive from folders; put the disks in a removable "
            "drive and name the archive there (for example A:\\%s)",
            g_disks.archiveName.c_str());
        return ARQ_EXIT_USAGE;
    }
    g_disks.lastAsked = 1;
    *openPath = DriveName(g_disks.drive) + "\\" + g_disks.archiveName;
    return ARQ_EXIT_OK;
}

int DisksCanChange(const std::string& path) {
    if (!g_disks.folders.empty()) return 1;
    return DriveIsRemovable(DriveFromPath(path.c_str()));
}

void DisksInsert(EntryDescriptor* desc, int32_t disk) {
    const char* name = g_disks.archiveName.c_str();
    if (PlatInterrupted()) {
        GiveUp(desc, ARQ_EXIT_CANCELLED);
        return;
    }
    const bool again = disk == g_disks.lastAsked;
    g_disks.lastAsked = disk;
    if (!g_disks.folders.empty()) {
        const int count = static_cast<int>(g_disks.folders.size());
        if (g_disks.foldersFound && disk > count) {
            Complain("disk %d of %s is needed, but %s.%d is missing (found %s.1 to %s.%d)",
                     static_cast<int>(disk), name, g_disks.givenName.c_str(), static_cast<int>(disk),
                     g_disks.givenName.c_str(), g_disks.givenName.c_str(), count);
            GiveUp(desc, ARQ_EXIT_NOT_FOUND);
            return;
        }
        if (disk < 1 || disk > count) {
            Complain("disk %d of %s is needed, but --volumes names %d folder%s", static_cast<int>(disk), name,
                     count, count == 1 ? "" : "s");
            GiveUp(desc, ARQ_EXIT_NOT_FOUND);
            return;
        }
        const std::string& folder = g_disks.folders[static_cast<size_t>(disk - 1)];
        if (again) {
            Complain("%s: does not hold disk %d of %s", folder.c_str(), static_cast<int>(disk), name);
            GiveUp(desc, ARQ_EXIT_NOT_FOUND);
            return;
        }
        PlatMapDrive(g_disks.drive, folder.c_str(), PLAT_DRIVE_REMOVABLE);
        return;
    }

    const std::string drive = DriveName(g_disks.drive);
    if (again)
        Complain("the disk in drive %s is not disk %d of %s", drive.c_str(), static_cast<int>(disk), name);
    const std::string prompt = "Insert disk " + std::to_string(disk) + " of " + g_disks.archiveName +
                               " into drive " + drive + " and press Enter (q to give up): ";
    std::string answer;
    if (!AskLine(prompt.c_str(), &answer) || (!answer.empty() && (answer[0] == 'q' || answer[0] == 'Q'))) {
        GiveUp(desc, ARQ_EXIT_CANCELLED);
    }
}

int DisksStartAtFirst(const std::string& path, int volume) {
    const char* name = g_disks.archiveName.c_str();
    if (!g_disks.folders.empty()) {
        Complain("%s: holds disk %d of %s, not disk 1", g_disks.folders[0].c_str(), volume + 1, name);
        return ARQ_EXIT_NOT_FOUND;
    }
    if (!DriveIsRemovable(DriveFromPath(path.c_str()))) {
        Complain("%s: disk %d of a spanned set; name its first disk", path.c_str(), volume + 1);
        return ARQ_EXIT_NOT_FOUND;
    }
    const std::string drive = DriveName(DriveFromPath(path.c_str()));
    const std::string prompt = "Insert disk 1 of " + g_disks.archiveName + " into drive " + drive +
                               " and press Enter (q to give up): ";
    for (;;) {
        std::string answer;
        if (!AskLine(prompt.c_str(), &answer) ||
            (!answer.empty() && (answer[0] == 'q' || answer[0] == 'Q'))) {
            g_disks.outcome = ExitCombine(g_disks.outcome, ARQ_EXIT_CANCELLED);
            Complain("cancelled");
            return ARQ_EXIT_CANCELLED;
        }
        if (FirstVolumeNumber(path) == 0) return ARQ_EXIT_OK;
        Complain("the disk in drive %s is not disk 1 of %s", drive.c_str(), name);
    }
}

void DisksGaveUp() {
    if (g_disks.outcome == ARQ_EXIT_OK) g_disks.outcome = ARQ_EXIT_CANCELLED;
}

int DisksOutcome() { return g_disks.outcome; }

std::string DisksShownName(const std::string& openPath) {
    return g_disks.folders.empty() ? openPath : g_disks.givenName;
}

int DisksIsVolume(const std::string& path) {
    for (const std::string& folder : g_disks.folders) {
        const std::string volume = folder + "/" + g_disks.archiveName;
        if (PlatSameFile(path.c_str(), volume.c_str())) return 1;
    }
    return 0;
}
