// arq list: every entry of an archive with its fields, then the totals.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/platform.h"
#include "tools/arq/archive_input.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
#include "tools/arq/event_scope.h"
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

// What the walk chose and the command prints.
struct Listing {
    bool names_only = false; // --names: one name a line, printed as the walk goes
    bool utc = false;
    Selection selection;
    std::vector<ListRow> rows;
    uint64_t packed = 0;
    uint64_t size = 0;
    uint32_t entries = 0;
};

// Walks the archive, prints the chosen entries' names or keeps their rows, and counts
// them; the exit code so far, and what stopped the walk short of the end if anything,
// go to *code and *problem.
void ListEntries(ArchiveInput* input, Listing* listing, std::string* problem, int* code) {
    EntryDescriptor desc;
    WalkBegin(input, &desc);
    for (;;) {
        const WalkStep step = WalkNext(input, &desc, problem, code);
        if (step != WALK_ENTRY) break;
        if (SelectionChooses(&listing->selection, desc.name)) {
            if (listing->names_only) {
                std::printf("%s\n", ShownName(desc.name).c_str());
            } else {
                listing->rows.push_back(MakeRow(desc, listing->utc));
            }
            listing->packed += desc.compressed_size;
            listing->size += desc.uncompressed_size;
            listing->entries++;
        }
        if (!WalkSkipData(input, &desc, problem, code)) break;
    }
    input->slot = desc.input_slot;
}

// The heading, the rows and the totals (nothing more with --names).
void PrintListing(const Listing& listing) {
    if (listing.names_only) return;
    const bool checksums = PrintRows(listing.rows, listing.utc);
    const std::string entries =
        std::to_string(listing.entries) + (listing.entries == 1 ? " entry" : " entries");
    std::printf("%-9s %10s %10s %6s  %19s  %6s  %5s %3s  %s%s\n", "", std::to_string(listing.packed).c_str(),
                std::to_string(listing.size).c_str(), FormatRatio(listing.packed, listing.size).c_str(), "",
                "", "", "", checksums ? "          " : "", entries.c_str());
}

} // namespace

int CommandList(const std::vector<std::string>& args) {
    CommandLine line;
    int code = ARQ_EXIT_OK;
    if (!CommandLineRead("list", args, kListOptions, sizeof kListOptions / sizeof kListOptions[0], &line,
                         &code))
        return code;
    if (NamesForReading("list", OPT_CODEPAGE, &line) != ARQ_EXIT_OK) return ARQ_EXIT_USAGE;
    if (line.positional.empty()) return UsageError("list", "no archive named");
    Listing listing;
    listing.names_only = OptionGiven(line, OPT_NAMES) != 0;
    listing.utc = OptionGiven(line, OPT_UTC) != 0;
    SelectionSet(&listing.selection,
                 std::vector<std::string>(line.positional.begin() + 1, line.positional.end()));

    EventScope events(OnListEvent);
    ArchiveInput input;
    code = ArchiveOpen(line.positional[0], line.list, &input, nullptr);
    if (code != ARQ_EXIT_OK) return code;
    std::string problem;
    ListEntries(&input, &listing, &problem, &code);
    PrintListing(listing);
    std::fflush(stdout);
    ArchiveClose(&input);
    events.End();
    const std::string shown = DisksShownName(input.path);
    if (!problem.empty()) {
        Complain("%s: %s%s", shown.c_str(), code == ARQ_EXIT_DAMAGED ? "damaged: " : "", problem.c_str());
        return code;
    }
    return ExitCombine(code, SelectionReport(listing.selection));
}
