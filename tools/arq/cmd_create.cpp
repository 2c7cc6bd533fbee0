// arq create: a new archive, or a spanned set, from files and folders.
#include "crushed/crushed.h"
#include "engine/engine.h"
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
#include "tools/arq/text.h"

namespace {

enum {
    OPT_HELP,
    OPT_STORED,
    OPT_FAST,
    OPT_BEST,
    OPT_VOLUME_SIZE,
    OPT_NO_CHECKSUM,
    OPT_QUIET,
    OPT_VERBOSE,
    OPT_DIRECTORY,
    OPT_KEEP_CASE,
    OPT_CODEPAGE,
};

const OptionSpec kCreateOptions[] = {
    {"help", 'h', OPTION_FLAG, OPT_HELP},
    {"stored", 0, OPTION_FLAG, OPT_STORED},
    {"fast", 0, OPTION_FLAG, OPT_FAST},
    {"best", 0, OPTION_FLAG, OPT_BEST},
    {"volume-size", 0, OPTION_VALUE, OPT_VOLUME_SIZE},
    {"no-checksum", 0, OPTION_FLAG, OPT_NO_CHECKSUM},
    {"quiet", 'q', OPTION_FLAG, OPT_QUIET},
    {"verbose", 'v', OPTION_FLAG, OPT_VERBOSE},
    {"directory", 'C', OPTION_VALUE, OPT_DIRECTORY},
    {"keep-case", 0, OPTION_FLAG, OPT_KEEP_CASE},
    {"codepage", 0, OPTION_VALUE, OPT_CODEPAGE},
};

// What arq create was asked to do.
struct CreateJob {
    int level;            // OUTPUT_STORED or a CRUSHED_LEVEL_
    uint32_t volume_size; // 0: a plain archive
    int checksums;        // 0: --no-checksum
    CollectOptions collect;
    std::string archive;
    std::vector<std::string> paths; // what to store
};

// --volume-size, 0 when it is not given. ARQ_EXIT_OK, or the exit code after a message.
int ReadVolumeSize(const CommandLine& line, uint32_t* volumeSize) {
    *volumeSize = 0;
    std::string sizeText;
    if (!OptionGiven(line, OPT_VOLUME_SIZE, &sizeText)) return ARQ_EXIT_OK;
    const int parsed = ParseSize(sizeText, volumeSize);
    if (parsed == SIZE_TOO_LARGE) {
        return UsageError("create", "--volume-size: '" + sizeText + "' is too large (at most " +
                                        std::to_string(SIZE_MAX_BYTES) + " bytes)");
    }
    if (!parsed || *volumeSize == 0) {
        return UsageError("create",
                          "--volume-size: '" + sizeText + "' is no size (bytes, or a number with K, M or G)");
    }
    return ARQ_EXIT_OK;
}

// The job the options and arguments ask for. ARQ_EXIT_OK, or the exit code after a
// message.
int ReadCreateJob(const CommandLine& line, CreateJob* job) {
    job->level = OutputChosenLevel(line, OPT_STORED, OPT_FAST, OPT_BEST);
    if (job->level < 0) return UsageError("create", "choose one of --stored, --fast and --best");
    const int code = ReadVolumeSize(line, &job->volume_size);
    if (code != ARQ_EXIT_OK) return code;
    job->checksums = OptionGiven(line, OPT_NO_CHECKSUM) ? 0 : 1;
    job->collect.keep_case = OptionGiven(line, OPT_KEEP_CASE);
    if (OptionGiven(line, OPT_DIRECTORY, &job->collect.directory) && job->collect.directory.empty()) {
        return UsageError("create", "-C needs a folder");
    }
    job->collect.code_page = ChooseCodePage("create", line, OPT_CODEPAGE);
    if (job->collect.code_page == 0) return ARQ_EXIT_USAGE;
    if (line.positional.empty()) return UsageError("create", "no archive named");
    // The archive is written under a temporary name and renamed into place, which a
    // stream cannot be; "./-" names a file called "-".
    if (line.positional[0] == "-") {
        return UsageError("create", "cannot write the archive to standard output ('-'); name a file");
    }
    if (line.positional.size() < 2) return UsageError("create", "no files named to store");
    job->archive = line.positional[0];
    job->paths.assign(line.positional.begin() + 1, line.positional.end());
    return ARQ_EXIT_OK;
}

// Writes the files into the archive, or the spanned set, under the bar over total
// bytes. ARQ_EXIT_OK, or the exit code after a message with nothing left behind.
int WriteArchive(const CreateJob& job, const std::vector<InputFile>& files, uint64_t total,
                 uint64_t* packedTotal, int32_t* volumes) {
    ArchiveOutput out;
    int code = OutputStart(&out, job.archive, job.volume_size);
    if (code != ARQ_EXIT_OK) return code;
    out.checksums = job.checksums;
    ProgressBegin(total);
    code = OutputPutFiles(&out, files, job.level, packedTotal);
    if (code != ARQ_EXIT_OK) {
        ProgressEnd();
        OutputAbandon(&out);
        return code;
    }
    code = OutputFinish(&out, volumes);
    ProgressEnd();
    return code;
}

// Where the summary says the files went: ARCHIVE, or the disks' folders of a set.
std::string WrittenWhere(const CreateJob& job, int32_t volumes) {
    if (job.volume_size == 0) return job.archive;
    std::string where =
        std::to_string(volumes) + " volume" + (volumes == 1 ? "" : "s") + " in " + job.archive + ".1";
    if (volumes > 1) where += " to " + job.archive + "." + std::to_string(volumes);
    return where;
}

} // namespace

int CommandCreate(const std::vector<std::string>& args) {
    CommandLine line;
    int code = ARQ_EXIT_OK;
    if (!CommandLineRead("create", args, kCreateOptions, sizeof kCreateOptions / sizeof kCreateOptions[0],
                         &line, &code))
        return code;
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    CreateJob job = {};
    code = ReadCreateJob(line, &job);
    if (code != ARQ_EXIT_OK) return code;
    // A spanned set is written to the disks' folders, never to ARCHIVE itself.
    if (job.volume_size == 0) code = OutputMayReplace(job.archive, OUTPUT_ARCHIVE);
    if (code != ARQ_EXIT_OK) return code;
    std::vector<InputFile> files;
    int skipped = 0;
    code = CollectInputs(job.paths, job.archive, job.collect, &files, &skipped);
    if (code != ARQ_EXIT_OK) return code;
    if (files.empty()) {
        // An empty archive would only replace whatever ARCHIVE held with nothing.
        Complain("nothing to store; %s was not written", job.archive.c_str());
        return ARQ_EXIT_USAGE;
    }

    uint64_t total = 0;
    for (const InputFile& file : files)
        total += file.size;
    uint64_t packedTotal = 0;
    int32_t volumes = 0;
    code = WriteArchive(job, files, total, &packedTotal, &volumes);
    if (code != ARQ_EXIT_OK) return code;
    Say("%s: %u file%s, %s packed to %s (%s)", WrittenWhere(job, volumes).c_str(),
        static_cast<unsigned>(files.size()), files.size() == 1 ? "" : "s", HumanSize(total).c_str(),
        HumanSize(packedTotal).c_str(), FormatRatio(packedTotal, total).c_str());
    if (skipped) {
        Complain("%s: %d file%s or folder%s not archived (see above)", job.archive.c_str(), skipped,
                 skipped == 1 ? "" : "s", skipped == 1 ? "" : "s");
        return ARQ_EXIT_SKIPPED;
    }
    return ARQ_EXIT_OK;
}
