// arq extract: the archive's files into a folder, through the engine's ExtractArchive
// and its events.
#include <cstring>

#include "engine/engine.h"
#include "fileio/paths.h"
#include "platform/platform.h"
#include "tools/arq/archive_input.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
#include "tools/arq/event_scope.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/folder_times.h"
#include "tools/arq/help.h"
#include "tools/arq/options.h"
#include "tools/arq/output_guard.h"
#include "tools/arq/selection.h"
#include "tools/arq/stdout_sink.h"
#include "tools/arq/text.h"
#include "tools/arq/volumes.h"

namespace {

enum {
    OPT_HELP,
    OPT_DIRECTORY,
    OPT_OVERWRITE,
    OPT_VOLUMES,
    OPT_QUIET,
    OPT_VERBOSE,
    OPT_STDOUT,
    OPT_CODEPAGE
};

const OptionSpec kExtractOptions[] = {
    {"help", 'h', OPTION_FLAG, OPT_HELP},          {"directory", 'C', OPTION_VALUE, OPT_DIRECTORY},
    {"overwrite", 0, OPTION_VALUE, OPT_OVERWRITE}, {"volumes", 0, OPTION_LIST, OPT_VOLUMES},
    {"quiet", 'q', OPTION_FLAG, OPT_QUIET},        {"verbose", 'v', OPTION_FLAG, OPT_VERBOSE},
    {"stdout", 'p', OPTION_FLAG, OPT_STDOUT},      {"codepage", 0, OPTION_VALUE, OPT_CODEPAGE},
};

// OVERWRITE_UNASKED: no terminal to ask and no --overwrite given; files are kept,
// each is named, and the run ends with ARQ_EXIT_KEPT.
enum OverwriteMode { OVERWRITE_ASK, OVERWRITE_ALWAYS, OVERWRITE_NEVER, OVERWRITE_UNASKED };

// Process-wide, not thread-safe: the engine's callbacks are plain functions.
struct ExtractRun {
    OverwriteMode overwrite;
    int damaged;         // the survey found the archive damaged: a short read is the archive's fault
    uint64_t doneBefore; // bytes of the entries already handled, for the bar
    uint32_t written;
    uint32_t kept;
    int code; // exit code so far
    int cancelled;
};
ExtractRun g_run = {OVERWRITE_NEVER, 0, 0, 0, 0, ARQ_EXIT_OK, 0};
Selection g_selection;
bool g_toStdout = false;
std::vector<std::string> g_written; // with --stdout: the output files, in archive order

std::string g_chosenName; // stored name of the entry being extracted

// Reads the --overwrite answer into the run. ARQ_EXIT_OK, or the exit code of a usage
// error after its message.
int TakeOverwriteMode(const CommandLine& line) {
    g_run.overwrite = ConsoleInteractive() ? OVERWRITE_ASK : OVERWRITE_UNASKED;
    std::string mode;
    if (!OptionGiven(line, OPT_OVERWRITE, &mode)) return ARQ_EXIT_OK;
    if (mode == "ask") {
        g_run.overwrite = OVERWRITE_ASK;
    } else if (mode == "always") {
        g_run.overwrite = OVERWRITE_ALWAYS;
    } else if (mode == "never") {
        g_run.overwrite = OVERWRITE_NEVER;
    } else {
        return UsageError("extract", "--overwrite takes ask, always or never, not '" + mode + "'");
    }
    return ARQ_EXIT_OK;
}

// Reads the options into the run's settings and *destination (-C). ARQ_EXIT_OK, or the
// exit code of a usage error after its message.
int TakeExtractOptions(const CommandLine& line, std::string* destination) {
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    if (line.positional.empty()) return UsageError("extract", "no archive named");
    SelectionSet(&g_selection, std::vector<std::string>(line.positional.begin() + 1, line.positional.end()));
    g_toStdout = OptionGiven(line, OPT_STDOUT) != 0;
    g_written.clear();
    // With --stdout the files go through a fresh private folder: nothing to overwrite,
    // and standard output carries only the files' bytes.
    if (g_toStdout && (OptionGiven(line, OPT_DIRECTORY) || OptionGiven(line, OPT_OVERWRITE)))
        return UsageError("extract", "--stdout writes no files: -C and --overwrite do not go with it");
    if (g_toStdout && ConsoleVerbose())
        return UsageError("extract", "--stdout and -v cannot be used together");
    if (g_toStdout) ConsoleSetQuiet(1);
    g_run = ExtractRun{OVERWRITE_NEVER, 0, 0, 0, 0, ARQ_EXIT_OK, 0};
    const int code = TakeOverwriteMode(line);
    if (code != ARQ_EXIT_OK) return code;
    if (OptionGiven(line, OPT_DIRECTORY, destination)) {
        if (destination->empty()) return UsageError("extract", "-C needs a folder");
        if (destination->size() > ARCHIVE_DEST_MAX) {
            return UsageError("extract", "-C: the folder's name is longer than " +
                                             std::to_string(ARCHIVE_DEST_MAX) + " bytes");
        }
    }
    return ARQ_EXIT_OK;
}

// The entry filter: entries not named on the command line are passed over.
int ChooseEntry(EntryDescriptor* desc) {
    if (SelectionChooses(&g_selection, desc->name)) {
        g_chosenName = desc->name;
        return 1;
    }
    g_run.doneBefore += desc->uncompressed_size;
    return 0;
}

void Note(int code) { g_run.code = ExitCombine(g_run.code, code); }

void EntryFailed(EntryDescriptor* desc, int32_t result) {
    const std::string name = ShownName(desc->name);
    if (result == ERR_BAD_DATA && desc->checksum_state == CHECKSUM_MISMATCH) {
        Complain("%s: failed: its data does not match its checksum", name.c_str());
        Note(ARQ_EXIT_DAMAGED);
    } else if (result == ERR_BAD_DATA) {
        Complain("%s: failed: damaged data", name.c_str());
        Note(ARQ_EXIT_DAMAGED);
    } else if (result == ERR_NO_MEMORY) {
        Complain("%s: failed: not enough memory", name.c_str());
        Note(ARQ_EXIT_NO_MEMORY);
    } else if (g_run.damaged && !(desc->flags & ENTRY_SPANNED)) {
        Complain("%s: failed: its data in the archive is damaged or cut short", name.c_str());
        Note(ARQ_EXIT_DAMAGED);
    } else {
        // The engine says only that a file operation failed; what stands on the disk
        // now tells which. A file that is there was opened (or was there and could not
        // be opened for writing); one that is not could not be created.
        const std::string folder = FolderPart(desc->name);
        const std::string asked = folder.empty() ? std::string(".") : folder;
        const bool there = PathExists(desc->name);
        if (there && DriveLooksFull(folder)) {
            Complain("%s: failed: no room on the drive", name.c_str());
            Note(ARQ_EXIT_NO_ROOM);
        } else if (desc->flags & ENTRY_SPANNED) {
            Complain("%s: failed: its pieces cannot be read from the disks", name.c_str());
            Note(ARQ_EXIT_IO);
        } else if (!there && !PathIsFolder(asked)) {
            Complain("%s: failed: its folder cannot be made", name.c_str());
            Note(ARQ_EXIT_IO);
        } else if (!there && PlatAccess(asked.c_str(), ARQ_ACCESS_WRITE) != 0) {
            Complain("%s: failed: no permission to create files in its folder", name.c_str());
            Note(ARQ_EXIT_IO);
        } else if (!there) {
            Complain("%s: failed: the file cannot be created in its folder", name.c_str());
            Note(ARQ_EXIT_IO);
        } else if (PlatAccess(desc->name, ARQ_ACCESS_WRITE) != 0) {
            Complain("%s: failed: no permission to write the file", name.c_str());
            Note(ARQ_EXIT_IO);
        } else {
            Complain("%s: failed: read or write error", name.c_str());
            Note(ARQ_EXIT_IO);
        }
    }
}

// The event handler: tells the person what became of every entry, keeps the run's
// counts and exit code, and answers the engine's requests for disks.
int ReportExtractEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (desc != nullptr && PlatInterrupted()) {
        desc->status = STATUS_CANCEL;
        g_run.cancelled = 1;
    }
    GuardNoteEvent(desc, event);
    switch (event) {
        case EVT_PROGRESS:
            ProgressShow(g_run.doneBefore + static_cast<uint32_t>(argument), desc->name);
            break;
        case EVT_ENTRY_DONE:
            g_run.written++;
            g_run.doneBefore += desc->uncompressed_size;
            if (g_toStdout) {
                g_written.push_back(desc->name);
            } else {
                FolderTimesWritten(desc->name, g_chosenName.c_str());
            }
            ProgressShow(g_run.doneBefore, desc->name);
            Tell("%s", ShownName(desc->name).c_str());
            break;
        case EVT_UNSAFE_NAME:
            Complain("%s: refused: the name would write outside the destination folder or to a device",
                     ShownName(desc->name).c_str());
            Note(ARQ_EXIT_REFUSED);
            break;
        case EVT_OUTPUT_IS_ARCHIVE:
            Complain("%s: refused: it is the archive being read", ShownName(desc->name).c_str());
            Note(ARQ_EXIT_REFUSED);
            break;
        case EVT_NO_EXTRACT:
            Complain("%s: skipped: marked not to be extracted", ShownName(desc->name).c_str());
            Note(ARQ_EXIT_SKIPPED);
            break;
        case EVT_UNKNOWN_METHOD:
            Complain("%s: skipped: unknown storage method %d", ShownName(desc->name).c_str(), desc->method);
            Note(ARQ_EXIT_SKIPPED);
            break;
        case EVT_DISK_FULL:
            Complain("%s: skipped: no room on drive %c: for its %s", ShownName(desc->name).c_str(),
                     argument >= 0 && argument < DRIVE_LETTER_COUNT ? static_cast<char>('A' + argument) : '?',
                     HumanSize(desc->uncompressed_size).c_str());
            Note(ARQ_EXIT_NO_ROOM);
            break;
        case EVT_NO_MEMORY:
            Complain("%s: skipped: not enough memory", ShownName(desc->name).c_str());
            Note(ARQ_EXIT_NO_MEMORY);
            break;
        case EVT_ENTRY_FAILED:
            EntryFailed(desc, argument);
            break;
        case EVT_TEMP_FAILED:
            Complain("%s: failed: no temporary file can be made to collect its pieces",
                     ShownName(desc->name).c_str());
            Note(ARQ_EXIT_IO);
            break;
        case EVT_INSERT_VOLUME:
            DisksInsert(desc, argument);
            break;
        case EVT_CANCELLED:
            if (!g_run.cancelled) DisksGaveUp();
            break;
        default:
            break;
    }
    return 0;
}

// The overwrite query: 1 to replace the file at desc->name.
// Replace: the file is moved aside first, and comes back if the new one is not written whole.
int Replace(EntryDescriptor* desc) {
    if (GuardPrepareReplace(desc->name)) return 1;
    Note(ARQ_EXIT_IO);
    g_run.kept++;
    g_run.doneBefore += desc->uncompressed_size;
    return 0;
}

int AskOverwrite(EntryDescriptor* desc, int32_t, int32_t) {
    const std::string name = ShownName(desc->name);
    // Another disk of the set being read: the engine knows only the one in the drive.
    if (DisksIsVolume(desc->name)) {
        Complain("%s: refused: it is the archive being read", name.c_str());
        Note(ARQ_EXIT_REFUSED);
        g_run.doneBefore += desc->uncompressed_size;
        return 0;
    }
    if (g_run.overwrite == OVERWRITE_ALWAYS) return Replace(desc);
    if (g_run.overwrite == OVERWRITE_ASK) {
        const std::string prompt = "Replace " + name + "? [y]es, [n]o, [A]ll, [N]one: ";
        for (;;) {
            std::string answer;
            if (!AskLine(prompt.c_str(), &answer)) {
                // No more answers: nothing more is replaced.
                g_run.overwrite = OVERWRITE_NEVER;
                if (PlatInterrupted()) {
                    desc->status = STATUS_CANCEL;
                    g_run.cancelled = 1;
                }
                break;
            }
            if (answer == "y" || answer == "Y" || answer == "yes") return Replace(desc);
            if (answer == "A" || answer == "a" || answer == "all") {
                g_run.overwrite = OVERWRITE_ALWAYS;
                return Replace(desc);
            }
            if (answer == "n" || answer == "no") break;
            if (answer == "N" || answer == "none") {
                g_run.overwrite = OVERWRITE_NEVER;
                break;
            }
        }
    }
    g_run.kept++;
    g_run.doneBefore += desc->uncompressed_size;
    if (g_run.overwrite == OVERWRITE_UNASKED) {
        Complain("%s: exists, kept (no terminal to ask: choose with --overwrite)", name.c_str());
        Note(ARQ_EXIT_KEPT);
    } else {
        Tell("%s: exists, kept", name.c_str());
    }
    return 0;
}

// Makes the destination folder and its parents when missing. 1 when it is a folder.
int PrepareDestination(const std::string& folder) {
    if (PathExists(folder)) return PathIsFolder(folder);
    std::string probe = folder;
    const char last = probe[probe.size() - 1];
    if (last != '/' && last != '\\' && last != ':') probe += '\\';
    probe += 'X';
    CreateDirectories(probe.c_str());
    return PathIsFolder(folder);
}

// Readies the place the files go: refused for a spanned set whose other disks cannot
// be asked for; the destination folder made; with --stdout, a private folder.
// ARQ_EXIT_OK, or the exit code after a message.
int PrepareOutput(const ArchiveInput& input, const ArchiveSurvey& survey, std::string* destination) {
    if (survey.spanned && !DisksCanChange(input.named)) {
        Complain(
            "%s: the first disk of a spanned set; name the folders of all its disks with --volumes, or "
            "extract it from a removable drive",
            input.named.c_str());
        return ARQ_EXIT_NOT_FOUND;
    }
    if (!destination->empty() && !PrepareDestination(*destination)) {
        Complain("%s: cannot be made a folder to extract into", destination->c_str());
        return ARQ_EXIT_IO;
    }
    if (g_toStdout && !StdoutSinkBegin(destination)) return ARQ_EXIT_IO;
    return ARQ_EXIT_OK;
}

// The engine's walk with arq's overwrite query and entry filter, then what settles the
// files it wrote: the replaced ones, and the folders' times. ExtractArchiveFrom's result.
int RunExtraction(const ArchiveInput& input, const std::string& destination, const ArchiveSurvey& survey) {
    SetOverwriteQuery(AskOverwrite);
    SetEntryFilter(ChooseEntry);
    GuardReset();
    FolderTimesBegin();
    ProgressBegin(survey.complete ? survey.total : 0);
    const int rc = ExtractArchiveFrom(input.path.c_str(), destination.c_str(), input.start);
    ProgressEnd();
    // Every output file is closed now.
    GuardSettle();
    // Last: every file that goes in or out of a folder changes the folder's time.
    const int untimed = FolderTimesSettle();
    if (untimed > 0 && !g_toStdout) {
        Complain("warning: %d folder%s kept the time of extraction: the time cannot be set", untimed,
                 untimed == 1 ? "" : "s");
    }
    ReleaseEntryBuffers();
    SetEntryFilter(nullptr);
    SetOverwriteQuery(nullptr);
    return rc;
}

// The run's last words: why the walk ended short of the end, when it did, and the
// summary. The exit code.
int ReportExtraction(const ArchiveInput& input, const ArchiveSurvey& survey, int rc) {
    if (rc < 0) {
        Complain("%s: cannot be opened", input.path.c_str());
        return ExitCombine(g_run.code, ARQ_EXIT_IO);
    }
    const std::string shown = DisksShownName(input.path);
    const int walk = ExtractWalkResult();
    if (g_run.cancelled || PlatInterrupted() || DisksOutcome() == ARQ_EXIT_CANCELLED) {
        Complain("cancelled; the files written so far stay");
        Note(ARQ_EXIT_CANCELLED);
    } else if (DisksOutcome() != ARQ_EXIT_OK) {
        Note(DisksOutcome()); // the missing disk has been named already
    } else if (!survey.complete && !survey.spanned && !survey.problem.empty()) {
        // Also an archive whose end record is cut short, which the engine's walk takes
        // for the end.
        Complain("%s: damaged: %s", shown.c_str(), survey.problem.c_str());
        Note(ARQ_EXIT_DAMAGED);
    } else if (walk != ERR_END_OF_ARCHIVE) {
        Complain("%s: damaged: the walk ended before the end-of-archive record (error %d)", shown.c_str(),
                 walk);
        Note(ARQ_EXIT_DAMAGED);
    }
    std::string summary =
        std::to_string(g_run.written) + (g_run.written == 1 ? " file" : " files") + " written";
    if (g_run.kept > 0) summary += ", " + std::to_string(g_run.kept) + " kept";
    Say("%s: %s", shown.c_str(), summary.c_str());
    return g_run.code;
}

} // namespace

int CommandExtract(const std::vector<std::string>& args) {
    CommandLine line;
    int code = ARQ_EXIT_OK;
    if (!CommandLineRead("extract", args, kExtractOptions, sizeof kExtractOptions / sizeof kExtractOptions[0],
                         &line, &code))
        return code;
    if (NamesForReading("extract", OPT_CODEPAGE, &line) != ARQ_EXIT_OK) return ARQ_EXIT_USAGE;
    std::string destination;
    code = TakeExtractOptions(line, &destination);
    if (code != ARQ_EXIT_OK) return code;

    EventScope events(ReportExtractEvent);
    ArchiveInput input;
    ArchiveSurvey survey;
    code = ArchiveOpen(line.positional[0], line.list, &input, &survey);
    if (code != ARQ_EXIT_OK) return code;
    // The engine's walk opens the archive again.
    ArchiveClose(&input);
    g_run.damaged = !survey.complete && !survey.spanned;
    code = PrepareOutput(input, survey, &destination);
    if (code != ARQ_EXIT_OK) return code;
    const int rc = RunExtraction(input, destination, survey);
    events.End();
    if (g_toStdout) {
        if (!StdoutSinkEmit(g_written)) Note(ARQ_EXIT_IO);
        StdoutSinkEnd(destination);
    }
    Note(SelectionReport(g_selection));
    return ReportExtraction(input, survey, rc);
}
