// arq create: a new archive, or a spanned set, from files and folders.
#include "crushed/encoder.h"
#include "engine/archive.h"
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

} // namespace

int CommandCreate(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, kCreateOptions, sizeof kCreateOptions / sizeof kCreateOptions[0], &line,
                          &error)) {
        return UsageError("create", error);
    }
    if (OptionGiven(line, OPT_HELP)) return PrintHelp("create");
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    const int level = OutputChosenLevel(line, OPT_STORED, OPT_FAST, OPT_BEST);
    if (level < 0) return UsageError("create", "choose one of --stored, --fast and --best");
    uint32_t volumeSize = 0;
    std::string sizeText;
    if (OptionGiven(line, OPT_VOLUME_SIZE, &sizeText)) {
        const int parsed = ParseSize(sizeText, &volumeSize);
        if (parsed == SIZE_TOO_LARGE) {
            return UsageError("create", "--volume-size: '" + sizeText + "' is too large (at most " +
                                            std::to_string(SIZE_MAX_BYTES) + " bytes)");
        }
        if (!parsed || volumeSize == 0) {
            return UsageError(
                "create", "--volume-size: '" + sizeText + "' is no size (bytes, or a number with K, M or G)");
        }
    }
    CollectOptions collect;
    collect.keep_case = OptionGiven(line, OPT_KEEP_CASE);
    if (OptionGiven(line, OPT_DIRECTORY, &collect.directory) && collect.directory.empty()) {
        return UsageError("create", "-C needs a folder");
    }
    collect.code_page = ChooseCodePage("create", line, OPT_CODEPAGE);
    if (collect.code_page == 0) return ARQ_EXIT_USAGE;
    if (line.positional.empty()) return UsageError("create", "no archive named");
    // The archive is written under a temporary name and renamed into place, which a
    // stream cannot be; "./-" names a file called "-".
    if (line.positional[0] == "-") {
        return UsageError("create", "cannot write the archive to standard output ('-'); name a file");
    }
    if (line.positional.size() < 2) return UsageError("create", "no files named to store");

    const std::string archive = line.positional[0];
    const std::vector<std::string> paths(line.positional.begin() + 1, line.positional.end());
    // A spanned set is written to the disks' folders, never to ARCHIVE itself.
    int code = volumeSize == 0 ? OutputMayReplace(archive, OUTPUT_ARCHIVE) : ARQ_EXIT_OK;
    if (code != ARQ_EXIT_OK) return code;
    std::vector<InputFile> files;
    int skipped = 0;
    code = CollectInputs(paths, archive, collect, &files, &skipped);
    if (code != ARQ_EXIT_OK) return code;
    if (files.empty()) {
        // An empty archive would only replace whatever ARCHIVE held with nothing.
        Complain("nothing to store; %s was not written", archive.c_str());
        return ARQ_EXIT_USAGE;
    }

    ArchiveOutput out;
    code = OutputStart(&out, archive, volumeSize);
    if (code != ARQ_EXIT_OK) return code;
    if (OptionGiven(line, OPT_NO_CHECKSUM)) out.checksums = 0;
    uint64_t total = 0;
    for (const InputFile& file : files)
        total += file.size;
    ProgressBegin(total);
    uint64_t packedTotal = 0;
    for (const InputFile& file : files) {
        if (PlatInterrupted()) {
            ProgressEnd();
            OutputAbandon(&out);
            Complain("cancelled; %s was not written", archive.c_str());
            return ARQ_EXIT_CANCELLED;
        }
        int method = METHOD_STORED;
        uint32_t packed = 0;
        code = OutputPutFile(&out, file, level, &method, &packed);
        if (code != ARQ_EXIT_OK) {
            ProgressEnd();
            OutputAbandon(&out);
            return code;
        }
        packedTotal += packed;
        Tell("%-8s %10s %6s  %s", method == METHOD_CRUSHED ? "crushed" : "stored",
             std::to_string(file.size).c_str(), FormatRatio(packed, file.size).c_str(),
             ShownHostName(file.shown).c_str());
    }
    int32_t volumes = 0;
    code = OutputFinish(&out, &volumes);
    ProgressEnd();
    if (code != ARQ_EXIT_OK) return code;
    const std::string where =
        volumeSize == 0 ? archive
                        : std::to_string(volumes) + " volume" + (volumes == 1 ? "" : "s") + " in " + archive +
                              ".1" + (volumes > 1 ? " to " + archive + "." + std::to_string(volumes) : "");
    Say("%s: %u file%s, %s packed to %s (%s)", where.c_str(), static_cast<unsigned>(files.size()),
        files.size() == 1 ? "" : "s", HumanSize(total).c_str(), HumanSize(packedTotal).c_str(),
        FormatRatio(packedTotal, total).c_str());
    if (skipped) {
        Complain("%s: %d file%s or folder%s not archived (see above)", archive.c_str(), skipped,
                 skipped == 1 ? "" : "s", skipped == 1 ? "" : "s");
        return ARQ_EXIT_SKIPPED;
    }
    return ARQ_EXIT_OK;
}
