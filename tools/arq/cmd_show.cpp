// arq show: a self-running show, the launcher program with an archive behind it that
// holds the show and its player.
//
// The file is laid out as the launcher reads it:
//
//   launcher program, copied unchanged
//   archive header record: total of the two files' sizes, no destination, no comment
//   entry: the show     mode 100666  \  our writer's versions, name-case code and flags;
//   entry: the player   mode 100777  /  the name is the file's own, upper-cased; a
//                                       checksum field unless --no-checksum
//   end-of-archive record, the last bytes of the file
//
// The launcher takes the first entry for the show and the second for the player, so
// the order is fixed. Everything is decided before the first byte is written, and the
// same inputs always give the same bytes: the times come from the files, never from
// the clock, so that a show can be built again and compared.
#include "engine/engine.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/archive_output.h"
#include "tools/arq/commands.h"
#include "tools/arq/compression_level.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/help.h"
#include "tools/arq/input_tree.h"
#include "tools/arq/options.h"
#include "tools/arq/output_replace.h"
#include "tools/arq/show_stub.h"
#include "tools/arq/text.h"

namespace {

enum {
    OPT_HELP,
    OPT_STUB,
    OPT_STORED,
    OPT_FAST,
    OPT_BEST,
    OPT_NO_CHECKSUM,
    OPT_CODEPAGE,
    OPT_QUIET,
    OPT_VERBOSE
};

const OptionSpec kShowOptions[] = {
    {"help", 'h', OPTION_FLAG, OPT_HELP},        {"stub", 0, OPTION_VALUE, OPT_STUB},
    {"stored", 0, OPTION_FLAG, OPT_STORED},      {"fast", 0, OPTION_FLAG, OPT_FAST},
    {"best", 0, OPTION_FLAG, OPT_BEST},          {"no-checksum", 0, OPTION_FLAG, OPT_NO_CHECKSUM},
    {"codepage", 0, OPTION_VALUE, OPT_CODEPAGE}, {"quiet", 'q', OPTION_FLAG, OPT_QUIET},
    {"verbose", 'v', OPTION_FLAG, OPT_VERBOSE},
};

// The launcher's file name, looked for near arq when --stub is not given.
const char SHOW_STUB_NAME[] = "Vardok.exe";
// Room for the running program's path.
const uint32_t MODULE_PATH_SIZE = 1024;

// A file named on the command line, and the role it plays in messages.
struct ShowInput {
    const char* role; // "launcher", "show", "player"
    std::string path;
    PlatStatInfo info;
};

// The named file exists, is a regular file and can be opened for reading.
// ARQ_EXIT_OK, or the exit code after a message.
int CheckReadable(ShowInput* input) {
    const char* path = input->path.c_str();
    if (PlatStat(path, &input->info) != 0) {
        Complain("%s: no such file (the %s)", path, input->role);
        return ARQ_EXIT_NOT_FOUND;
    }
    if (!(input->info.mode & PLAT_MODE_FILE)) {
        Complain("%s: not a file (the %s must be one)", path, input->role);
        return ARQ_EXIT_USAGE;
    }
    const int slot = FileOpen(path, FILE_READ);
    if (slot < 0) {
        Complain("%s: cannot be read (the %s)", path, input->role);
        return ARQ_EXIT_IO;
    }
    FileClose(slot);
    return ARQ_EXIT_OK;
}

// The launcher for when --stub is not given: beside the running arq, as in a build
// folder or the unpacked Windows zip, or where an install puts it, ARQ_LAUNCHER_FOLDER
// from arq's own folder (/usr/share/vardok for /usr/bin/arq). Empty after a message
// naming both places when neither holds it.
std::string StubNearArq() {
    char module[MODULE_PATH_SIZE];
    const uint32_t length = PlatModuleFileName(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) {
        Complain("no launcher program: arq cannot tell where it is itself; name the launcher with --stub");
        return std::string();
    }
    const std::string folder = FolderPart(module);
    const std::string places[] = {folder + SHOW_STUB_NAME,
                                  folder + ARQ_LAUNCHER_FOLDER + "/" + SHOW_STUB_NAME};
    for (const std::string& path : places) {
        if (PathExists(path)) return path;
    }
    Complain("no launcher program: neither %s nor %s is there; name the launcher with --stub",
             ShownHostName(places[0]).c_str(), ShownHostName(places[1]).c_str());
    return std::string();
}

// The launcher starts the player as a program. A show that is one, with a player that
// is none, was most likely named in the player's place.
int CheckPlayer(const ShowInput& show, const ShowInput& player) {
    const std::string problem = ProgramFileProblem(player.path);
    if (problem.empty()) return ARQ_EXIT_OK;
    if (ProgramFileProblem(show.path).empty()) {
        Complain(
            "%s: %s (the player must be one); the show %s is one, so the two look swapped (the show comes "
            "first, then the player)",
            player.path.c_str(), problem.c_str(), show.path.c_str());
    } else {
        Complain("%s: %s (the player must be one)", player.path.c_str(), problem.c_str());
    }
    return ARQ_EXIT_USAGE;
}

// The launcher's bytes in memory. ARQ_EXIT_OK, or the exit code after a message.
int ReadStub(const ShowInput& stub, std::vector<uint8_t>* bytes) {
    // Checked before reading: a larger program is refused whatever it holds.
    if (stub.info.size > STUB_SIZE_MAX) {
        Complain(
            "%s: %s bytes, more than %u: the launcher searches only the first %d bytes of its file for "
            "the archive behind it",
            stub.path.c_str(), std::to_string(stub.info.size).c_str(), STUB_SIZE_MAX, SIGNATURE_SEARCH_LIMIT);
        return ARQ_EXIT_USAGE;
    }
    bytes->resize(static_cast<size_t>(stub.info.size));
    const int32_t size = static_cast<int32_t>(stub.info.size);
    const int slot = FileOpen(stub.path.c_str(), FILE_READ);
    const int32_t got = slot < 0 ? -1 : FileRead(slot, bytes->data(), size);
    if (slot >= 0) FileClose(slot);
    if (got != size) {
        Complain("%s: cannot be read (the launcher)", stub.path.c_str());
        return ARQ_EXIT_IO;
    }
    return ARQ_EXIT_OK;
}

// The checks that need the launcher's bytes. ARQ_EXIT_OK, or the exit code after a
// message. A signed launcher's signature is taken off (*unsigned then says so): a show
// must be signed as a whole, and the launcher would not read an archive behind its
// certificate table.
int CheckStub(const ShowInput& stub, std::vector<uint8_t>* bytes, int* unsigned_) {
    StubReport report = {0, 0, 0};
    const std::string problem = StubProblem(bytes->data(), static_cast<uint32_t>(bytes->size()), &report);
    if (!problem.empty()) {
        Complain("%s: %s", stub.path.c_str(), problem.c_str());
        return ARQ_EXIT_USAGE;
    }
    StubRemoveSignature(bytes, report);
    *unsigned_ = report.is_signed;
    const uint32_t size = static_cast<uint32_t>(bytes->size());
    const int64_t found = FindRecordSignature(bytes->data(), size);
    if (found >= 0) {
        Complain(
            "%s: holds a record signature (67 57 04 0%u) at offset %s, where the launcher would look for "
            "its archive",
            stub.path.c_str(), static_cast<unsigned>((*bytes)[static_cast<size_t>(found) + 3]),
            std::to_string(found).c_str());
        return ARQ_EXIT_USAGE;
    }
    return ARQ_EXIT_OK;
}

// The archive header record for this total holds no signature but its own: the
// launcher searches for the first entry's signature from the start of the file, and
// a total whose bytes read 67 57 04 01 would be found first. (No signature can span
// the program's last bytes and the record's first: the record starts with a whole
// one, and the program holds none.)
bool TotalReadsAsSignature(uint32_t total) {
    std::vector<uint8_t> record;
    ArchiveWriter writer;
    WriterToMemory(&writer, &record);
    ArchiveHeaderFields header;
    ArchiveHeaderDefaults(&header, total, nullptr, nullptr);
    WriterPutArchiveHeader(&writer, &header);
    WriterFinish(&writer);
    return record.size() > 1 &&
           FindRecordSignature(record.data() + 1, static_cast<uint32_t>(record.size() - 1)) >= 0;
}

// The entry for the show or the player: the file's own name in the code page the
// launcher's machine extracts with, upper-cased, its size and time, and the mode the
// launcher's archives carry. ARQ_EXIT_OK, or the exit code after a message.
int EntryFor(const ShowInput& input, uint16_t mode, unsigned codePage, InputFile* file) {
    file->source = input.path;
    const std::string problem = StoredNameOf(NamePart(input.path), codePage, 0, file);
    if (!problem.empty()) {
        Complain("%s: cannot be stored: %s", input.path.c_str(), problem.c_str());
        return ARQ_EXIT_USAGE;
    }
    file->size = input.info.size;
    file->mtime = input.info.mtime;
    file->executable = (input.info.mode & PLAT_MODE_OWNER_EXECUTE) ? 1 : 0;
    file->mode = mode; // whatever the file's own mode and name say
    return ARQ_EXIT_OK;
}

// The stored names differ and the sizes fit the format and the launcher. ARQ_EXIT_OK, or the
// exit code after a message.
int CheckEntries(const InputFile& show, const InputFile& player, uint64_t stubSize, int checksums,
                 uint32_t* total) {
    // The launcher extracts both into one folder: the player would replace the show.
    if (show.stored == player.stored) {
        Complain("%s and %s would both be stored as %s", show.source.c_str(), player.source.c_str(),
                 ShownHostName(show.shown).c_str());
        return ARQ_EXIT_USAGE;
    }
    // The largest file the show can become (both entries Stored) must stay within what
    // the engine's signed 32-bit offsets reach; the total then fits the header's
    // field and the event argument that carries it.
    const uint64_t largest = stubSize + ARCHIVE_HEADER_MIN_SIZE + ENTRY_FIXED_SIZE + show.stored.size() +
                             show.size + ENTRY_FIXED_SIZE + player.stored.size() + player.size +
                             ENTRY_FIXED_SIZE + (checksums ? 2 * EXTRA_CHECKSUM_FIELD_SIZE : 0);
    if (largest > ARQ_FILE_MAX) {
        Complain(
            "%s and %s: too large together: the show could grow to %s bytes, past %s, the largest file the "
            "engine reads",
            show.source.c_str(), player.source.c_str(), std::to_string(largest).c_str(),
            std::to_string(ARQ_FILE_MAX).c_str());
        return ARQ_EXIT_USAGE;
    }
    *total = static_cast<uint32_t>(show.size + player.size);
    if (TotalReadsAsSignature(*total)) {
        Complain(
            "%s and %s: together %u bytes, a total whose bytes read as an entry header's signature; the "
            "launcher would misread the archive (make either file a byte longer or shorter)",
            show.source.c_str(), player.source.c_str(), *total);
        return ARQ_EXIT_USAGE;
    }
    return ARQ_EXIT_OK;
}

// Whether two names are equal when ASCII letters are compared without regard to case.
bool SameIgnoringCase(const std::string& first, const std::string& second) {
    if (first.size() != second.size()) return false;
    for (size_t i = 0; i < first.size(); i++) {
        if (CharUpperAZ(first[i]) != CharUpperAZ(second[i])) return false;
    }
    return true;
}

// Writing over an input would destroy it when the finished show is renamed into place.
// Two names that differ in letter case alone are one file on Windows, and on the
// stand-in too, which follows Windows there; the message says so, since on a system
// that tells case apart they look like two files.
int CheckOutput(const std::string& output, const ShowInput* inputs, int count) {
    for (int i = 0; i < count; i++) {
        const char* input = inputs[i].path.c_str();
        if (!PlatSameFile(output.c_str(), input)) continue;
        const std::string outputName = NamePart(output);
        const std::string inputName = NamePart(inputs[i].path);
        if (outputName != inputName && SameIgnoringCase(outputName, inputName) &&
            !PlatIsLink(output.c_str()) && !PlatIsLink(input)) {
            Complain(
                "%s: names the same file as the %s %s on Windows, where letter case does not tell names "
                "apart; name another file for the show",
                output.c_str(), inputs[i].role, input);
        } else {
            Complain("%s: is the %s %s itself; name another file for the show", output.c_str(),
                     inputs[i].role, input);
        }
        return ARQ_EXIT_USAGE;
    }
    return ARQ_EXIT_OK;
}

// Whether Windows would run a file by this name.
bool RunnableName(const std::string& path) {
    const std::string name = NamePart(path);
    const std::string ending = PROGRAM_NAME_ENDING;
    return name.size() >= ending.size() && SameIgnoringCase(name.substr(name.size() - ending.size()), ending);
}

// What arq show was asked to make.
struct ShowJob {
    int level;          // OUTPUT_STORED or a CRUSHED_LEVEL_
    int checksums;      // 0: --no-checksum
    unsigned code_page; // of the stored names
    std::string output;
    ShowInput inputs[3]; // the launcher, the show and the player, in the order of the file
};

// The job the options and arguments ask for, with every input there and readable.
// ARQ_EXIT_OK, or the exit code after a message.
int ReadShowJob(const CommandLine& line, ShowJob* job) {
    job->level = OutputChosenLevel(line, OPT_STORED, OPT_FAST, OPT_BEST);
    if (job->level < 0) return UsageError("show", "choose one of --stored, --fast and --best");
    if (line.positional.size() != 3) {
        return UsageError("show", line.positional.size() < 3 ? "name the output, the show and the player"
                                                             : "takes one output, one show and one player");
    }
    job->output = line.positional[0];
    job->code_page = ChooseCodePage("show", line, OPT_CODEPAGE);
    if (job->code_page == 0) return ARQ_EXIT_USAGE;
    job->checksums = OptionGiven(line, OPT_NO_CHECKSUM) ? 0 : 1;

    job->inputs[0] = {"launcher", std::string(), {}};
    job->inputs[1] = {"show", line.positional[1], {}};
    job->inputs[2] = {"player", line.positional[2], {}};
    ShowInput& stub = job->inputs[0];
    if (!OptionGiven(line, OPT_STUB, &stub.path)) {
        stub.path = StubNearArq();
        if (stub.path.empty()) return ARQ_EXIT_NOT_FOUND;
    }
    for (ShowInput& input : job->inputs) {
        const int code = CheckReadable(&input);
        if (code != ARQ_EXIT_OK) return code;
    }
    return ARQ_EXIT_OK;
}

// Everything the show is made of, decided before its first byte is written.
struct ShowParts {
    std::vector<InputFile> entries; // the show, then the player
    uint32_t total;                 // their sizes together, for the archive header record
    std::vector<uint8_t> image;     // the launcher's bytes, its signature taken off
    int unsigned_;                  // the launcher was signed
};

// The entries, and the launcher's bytes, once every check of the inputs and the output
// has passed. ARQ_EXIT_OK, or the exit code after a message.
int PrepareShow(const ShowJob& job, ShowParts* parts) {
    const ShowInput& stub = job.inputs[0];
    parts->entries.resize(2);
    InputFile& show = parts->entries[0];
    InputFile& player = parts->entries[1];
    int code = CheckPlayer(job.inputs[1], job.inputs[2]);
    if (code == ARQ_EXIT_OK) code = EntryFor(job.inputs[1], WRITER_MODE_FILE, job.code_page, &show);
    if (code == ARQ_EXIT_OK) code = EntryFor(job.inputs[2], WRITER_MODE_EXECUTABLE, job.code_page, &player);
    if (code != ARQ_EXIT_OK) return code;
    parts->total = 0;
    code = CheckEntries(show, player, stub.info.size, job.checksums, &parts->total);
    if (code == ARQ_EXIT_OK) code = CheckOutput(job.output, job.inputs, 3);
    if (code == ARQ_EXIT_OK) code = OutputMayReplace(job.output, OUTPUT_PROGRAM);
    if (code == ARQ_EXIT_OK) code = ReadStub(stub, &parts->image);
    parts->unsigned_ = 0;
    if (code == ARQ_EXIT_OK) code = CheckStub(stub, &parts->image, &parts->unsigned_);
    return code;
}

// What the show will work with, but not as the user may expect.
void WarnAboutShow(const ShowJob& job, const ShowParts& parts) {
    if (parts.unsigned_) {
        Complain(
            "warning: %s carries a code signature, which cannot cover a show behind it: it was taken off; "
            "sign the finished %s instead (see arq show --help)",
            job.inputs[0].path.c_str(), job.output.c_str());
    }
    if (!RunnableName(job.output)) {
        Complain(
            "warning: %s: Windows runs a program only by a name that ends in %s; rename the show before it "
            "is started",
            job.output.c_str(), PROGRAM_NAME_ENDING);
    }
}

// Writes the launcher and the archive behind it under the bar. ARQ_EXIT_OK, or the exit
// code after a message with nothing left behind.
int WriteShow(const ShowJob& job, const ShowParts& parts, uint64_t* packedTotal) {
    ArchiveOutput out;
    int code = OutputStart(&out, job.output, 0);
    if (code != ARQ_EXIT_OK) return code;
    out.checksums = job.checksums;
    ProgressBegin(parts.total);
    code = OutputPutImage(&out, parts.image.data(), static_cast<uint32_t>(parts.image.size()), parts.total);
    if (code == ARQ_EXIT_OK) code = OutputPutFiles(&out, parts.entries, job.level, packedTotal);
    if (code != ARQ_EXIT_OK) {
        ProgressEnd();
        OutputAbandon(&out);
        return code;
    }
    int32_t volumes = 0;
    code = OutputFinish(&out, &volumes);
    ProgressEnd();
    return code;
}

} // namespace

int CommandShow(const std::vector<std::string>& args) {
    CommandLine line;
    int code = ARQ_EXIT_OK;
    if (!CommandLineRead("show", args, kShowOptions, sizeof kShowOptions / sizeof kShowOptions[0], &line,
                         &code))
        return code;
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    ShowJob job = {};
    code = ReadShowJob(line, &job);
    if (code != ARQ_EXIT_OK) return code;
    ShowParts parts = {};
    code = PrepareShow(job, &parts);
    if (code != ARQ_EXIT_OK) return code;
    WarnAboutShow(job, parts);
    uint64_t packedTotal = 0;
    code = WriteShow(job, parts, &packedTotal);
    if (code != ARQ_EXIT_OK) return code;
    Say("%s: %s and %s, %s packed to %s, behind a launcher of %s", job.output.c_str(),
        ShownHostName(parts.entries[0].shown).c_str(), ShownHostName(parts.entries[1].shown).c_str(),
        HumanSize(parts.total).c_str(), HumanSize(packedTotal).c_str(),
        HumanSize(parts.image.size()).c_str());
    return ARQ_EXIT_OK;
}
