// arq list: every entry of an archive with its fields, then the totals.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/platform.h"
#include "tools/arq/archive_input.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/help.h"
#include "tools/arq/options.h"
#include "tools/arq/selection.h"
#include "tools/arq/text.h"
#include "tools/arq/volumes.h"

namespace {

enum { OPT_HELP, OPT_VOLUMES, OPT_QUIET, OPT_VERBOSE, OPT_UTC, OPT_NAMES, OPT_CODEPAGE };

// -q and -v are taken as by every command; a listing has no bar or summary to drop.
const OptionSpec kListOptions[] = {
    {"help", 'h', OPTION_FLAG, OPT_HELP},
    {"volumes", 0, OPTION_LIST, OPT_VOLUMES},
    {"quiet", 'q', OPTION_FLAG, OPT_QUIET},
    {"verbose", 'v', OPTION_FLAG, OPT_VERBOSE},
    {"utc", 0, OPTION_FLAG, OPT_UTC},
    {"names", 0, OPTION_FLAG, OPT_NAMES},
    {"codepage", 0, OPTION_VALUE, OPT_CODEPAGE},
};

int OnListEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (desc != nullptr && PlatInterrupted()) desc->status = STATUS_CANCEL;
    if (event == EVT_INSERT_VOLUME) DisksInsert(desc, argument);
    if (event == EVT_CANCELLED) DisksGaveUp();
    return 0;
}

// "02 --": the flags byte, then N for not to be extracted and S for spanned.
std::string FormatFlags(int flags) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %c%c", static_cast<unsigned>(flags) & 0xFFu,
                  (flags & ENTRY_NO_EXTRACT) ? 'N' : '-', (flags & ENTRY_SPANNED) ? 'S' : '-');
    return text;
}

// What a row shows of an entry, kept until the walk is over: the checksum column is
// shown only when some entry carries one, so that the listing of an archive without
// any stays as it has always been.
struct ListRow {
    std::string text_before; // method to volume
    std::string checksum;    // 8 hex digits, or empty
    std::string name;
};

ListRow MakeRow(const EntryDescriptor& desc, bool utc) {
    char text[160];
    std::snprintf(text, sizeof text, "%-9s %10u %10u %6s  %s  %s  %s %3u", MethodName(desc.method).c_str(),
                  desc.compressed_size, desc.uncompressed_size,
                  FormatRatio(desc.compressed_size, desc.uncompressed_size).c_str(),
                  (utc ? FormatUtc(desc.mtime) : FormatLocal(desc.mtime)).c_str(),
                  FormatMode(desc.mode).c_str(), FormatFlags(desc.flags).c_str(),
                  static_cast<unsigned>(desc.volume_info[0]));
    ListRow row = {text, std::string(), ShownName(desc.name)};
    if (desc.checksum_state != CHECKSUM_NONE) {
        char checksum[16];
        std::snprintf(checksum, sizeof checksum, "%08X", static_cast<unsigned>(desc.checksum));
        row.checksum = checksum;
    }
    return row;
}

// Width of the checksum column: 8 hex digits.
const int LIST_CHECKSUM_WIDTH = 8;

// Prints the heading and the rows; true when the checksum column is shown.
bool PrintRows(const std::vector<ListRow>& rows, bool utc) {
    bool checksums = false;
    for (const ListRow& row : rows)
        checksums = checksums || !row.checksum.empty();
    std::printf("%-9s %10s %10s %6s  %-19s  %-6s  %-5s %3s  %s%s\n", "Method", "Packed", "Size", "Ratio",
                utc ? "Modified (UTC)" : "Modified", "Mode", "Flags", "Vol", checksums ? "CRC-32    " : "",
                "Name");
    for (const ListRow& row : rows) {
        if (checksums) {
            std::printf("%s  %-*s  %s\n", row.text_before.c_str(), LIST_CHECKSUM_WIDTH,
                        row.checksum.empty() ? "-" : row.checksum.c_str(), row.name.c_str());
        } else {
            std::printf("%s  %s\n", row.text_before.c_str(), row.name.c_str());
        }
    }
    return checksums;
}

} // namespace

int CommandList(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, kListOptions, sizeof kListOptions / sizeof kListOptions[0], &line, &error)) {
        return UsageError("list", error);
    }
    if (OptionGiven(line, OPT_HELP)) return PrintHelp("list");
    if (NamesForReading("list", OPT_CODEPAGE, &line) != ARQ_EXIT_OK) return ARQ_EXIT_USAGE;
    if (line.positional.empty()) return UsageError("list", "no archive named");
    const bool utc = OptionGiven(line, OPT_UTC) != 0;
    const bool namesOnly = OptionGiven(line, OPT_NAMES) != 0;
    Selection selection;
    SelectionSet(&selection, std::vector<std::string>(line.positional.begin() + 1, line.positional.end()));

    std::string path;
    int code = DisksPrepare(line.positional[0], line.list, &path);
    if (code != ARQ_EXIT_OK) return code;
    SetEventHandler(EVENT_SLOT_MAIN, OnListEvent);
    ArchiveInput input;
    code = ArchiveOpen(path, &input);
    if (code != ARQ_EXIT_OK) {
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        return code;
    }

    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = input.slot;
    SpannedResetState();
    SpannedResetState();

    std::vector<ListRow> rows;
    uint64_t packed = 0;
    uint64_t size = 0;
    uint32_t entries = 0;
    std::string problem;
    code = ARQ_EXIT_OK;
    for (;;) {
        const WalkStep step = WalkNext(&input, &desc, &problem, &code);
        if (step == WALK_END) break;
        if (step == WALK_STOP) break;
        if (SelectionChooses(&selection, desc.name)) {
            if (namesOnly) {
                std::printf("%s\n", ShownName(desc.name).c_str());
            } else {
                rows.push_back(MakeRow(desc, utc));
            }
            packed += desc.compressed_size;
            size += desc.uncompressed_size;
            entries++;
        }
        if (!WalkSkipData(&input, &desc, &problem, &code)) break;
    }
    input.slot = desc.input_slot;
    if (!namesOnly) {
        const bool checksums = PrintRows(rows, utc);
        std::printf("%-9s %10s %10s %6s  %19s  %6s  %5s %3s  %s%s\n", "", std::to_string(packed).c_str(),
                    std::to_string(size).c_str(), FormatRatio(packed, size).c_str(), "", "", "", "",
                    checksums ? "          " : "",
                    (std::to_string(entries) + (entries == 1 ? " entry" : " entries")).c_str());
    }
    std::fflush(stdout);
    ArchiveClose(&input);
    SetEventHandler(EVENT_SLOT_MAIN, nullptr);
    const std::string shown = DisksShownName(input.path);
    if (!problem.empty()) {
        Complain("%s: %s%s", shown.c_str(), code == ARQ_EXIT_DAMAGED ? "damaged: " : "", problem.c_str());
        return code;
    }
    return ExitCombine(code, SelectionReport(selection));
}
