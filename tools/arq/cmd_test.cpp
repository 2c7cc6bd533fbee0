// arq test: decodes every entry without writing anything.
//
// An entry is intact when its data decodes without error, the decoder takes exactly
// the packed bytes the header counts (no more: the next record starts there; no
// fewer: nothing is left over), its sizes agree with its method, and, when its header
// carries a checksum field, the bytes it decodes to give that CRC-32. Without the
// field a changed byte that still decodes goes unnoticed. The engine's VerifyEntry
// reads or decodes the data, first collecting a spanned entry's pieces from the disks
// into a temporary file, which it removes again.
#include <cstdio>

#include "engine/engine.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/archive_input.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
#include "tools/arq/event_scope.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/files.h"
#include "tools/arq/help.h"
#include "tools/arq/options.h"
#include "tools/arq/text.h"
#include "tools/arq/volumes.h"

namespace {

enum { OPT_HELP, OPT_VOLUMES, OPT_QUIET, OPT_VERBOSE, OPT_CODEPAGE };

const OptionSpec kTestOptions[] = {
    {"help", 'h', OPTION_FLAG, OPT_HELP},        {"volumes", 0, OPTION_LIST, OPT_VOLUMES},
    {"quiet", 'q', OPTION_FLAG, OPT_QUIET},      {"verbose", 'v', OPTION_FLAG, OPT_VERBOSE},
    {"codepage", 0, OPTION_VALUE, OPT_CODEPAGE},
};

// Process-wide, not thread-safe: the handler needs them.
uint64_t g_doneBefore = 0;
std::string g_currentName;
int g_tempFailed = 0; // EVT_TEMP_FAILED came: a spanned entry had no temporary file

int OnTestEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (desc != nullptr && PlatInterrupted()) desc->status = STATUS_CANCEL;
    if (event == EVT_PROGRESS)
        ProgressShow(g_doneBefore + static_cast<uint32_t>(argument), g_currentName.c_str());
    // A Stored entry's progress comes a megabyte at a time: the bar is brought up to its end.
    if (event == EVT_ENTRY_DONE && desc != nullptr)
        ProgressShow(g_doneBefore + desc->uncompressed_size, g_currentName.c_str());
    if (event == EVT_TEMP_FAILED) g_tempFailed = 1;
    if (event == EVT_INSERT_VOLUME) DisksInsert(desc, argument);
    if (event == EVT_CANCELLED) DisksGaveUp();
    return 0;
}

// Bytes behind an entry's data that the decoder may read on into, when the file holds
// them: a stream cut short then runs on over the next record rather than over zeros,
// and is told invalid or cut short as arq test has always told it.
const uint32_t TEST_LOOKAHEAD = 8;

// The reason given when an entry's bytes do not give its checksum, or empty.
std::string ChecksumProblem(const EntryDescriptor* desc, uint32_t found) {
    if (desc->checksum_state == CHECKSUM_NONE || found == desc->checksum) return std::string();
    char text[96];
    std::snprintf(text, sizeof text, "its data does not match its checksum (CRC-32 %08X stored, %08X found)",
                  static_cast<unsigned>(desc->checksum), static_cast<unsigned>(found));
    return text;
}

// Why a Crushed entry is not intact, from what VerifyEntry found; empty when it is.
//
// Past the bytes it is given the decoder reads zero bits, so a stream cut short can
// still decode to the full size without an error: the bits it used tell. A sound
// stream uses its packed bytes to the last one, which holds fewer than 8 bits of
// padding. Without a lookahead the bytes it never fetched are what is left over.
std::string CrushedProblem(const EntryDescriptor* desc, int result, const VerifyReport& report,
                           uint32_t lookahead) {
    if (result == ERR_NO_MEMORY) return "not enough memory to decode it";
    const char* cutShort = "its packed data ends before the file is complete";
    const uint64_t packedBits = static_cast<uint64_t>(desc->compressed_size) * 8;
    const uint64_t givenBits = packedBits + static_cast<uint64_t>(lookahead) * 8;
    if (report.input_ended || report.bits_used > givenBits) return cutShort;
    if (result < 0 && desc->checksum_state != CHECKSUM_MISMATCH) return "its packed data is invalid";
    if (report.bits_used > packedBits) return cutShort;
    const uint64_t leftOver = lookahead != 0 ? (packedBits - report.bits_used) / 8 : report.bytes_unread;
    if (leftOver != 0) return std::to_string(leftOver) + " bytes of its packed data are left over";
    return ChecksumProblem(desc, report.checksum);
}

// Why a Stored entry is not intact, from what VerifyEntry found; empty when it is.
std::string StoredProblem(const EntryDescriptor* desc, int result, const VerifyReport& report) {
    if (result == ERR_NO_MEMORY) return "not enough memory to read it";
    if (result == ERR_IO) return "its data is cut short";
    if (result == ERR_BAD_DATA && desc->checksum_state != CHECKSUM_MISMATCH)
        return "a Stored entry whose two sizes differ";
    return ChecksumProblem(desc, report.checksum);
}

// Why an entry that VerifyEntry checked is not intact; empty when it is, or when the
// check was cancelled (the caller tells that).
std::string DataProblem(const EntryDescriptor* desc, int result, const VerifyReport& report,
                        uint32_t lookahead) {
    if (desc->status == STATUS_CANCEL) return std::string();
    if (desc->method == METHOD_CRUSHED) return CrushedProblem(desc, result, report, lookahead);
    return StoredProblem(desc, result, report);
}

struct TestTally {
    uint32_t entries;
    uint32_t damaged;
    uint32_t skipped;
};

// How the walk goes on after an entry's data was checked.
enum TestStep {
    TEST_REPORT, // the entry gets its line: *damage, empty when intact; the walk goes on when *walkOn
    TEST_STOP,   // the walk ends here without a line for the entry; *problem and *code say why
    TEST_AGAIN,  // the walk begins again at the first disk's start, this entry among the rest
};

// Checks a spanned entry, whose pieces are first collected from the disks.
TestStep CheckSpanned(EntryDescriptor* desc, std::string* damage, int* walkOn, std::string* problem,
                      int* code) {
    VerifyReport report;
    const int result = VerifyEntry(desc, 0, &report);
    if (report.checked) {
        *damage = DataProblem(desc, result, report, 0);
        return TEST_REPORT;
    }
    if (result == ERR_CANCELLED || DisksOutcome() != ARQ_EXIT_OK) {
        const int outcome = DisksOutcome() != ARQ_EXIT_OK ? DisksOutcome() : ARQ_EXIT_CANCELLED;
        // A folder that lacked the disk has been named already.
        if (outcome == ARQ_EXIT_CANCELLED) *problem = "cancelled: the next disk was not given";
        *code = ExitCombine(*code, outcome);
        return TEST_STOP;
    }
    // The walk began at a later disk: the engine went back to the first.
    if (result == 0 && !g_tempFailed) return TEST_AGAIN;
    *damage = g_tempFailed ? "no temporary file can be made to collect its pieces"
                           : "its pieces cannot be collected from the disks";
    *walkOn = FileGetSlot(desc->input_slot) != nullptr;
    return TEST_REPORT;
}

// Checks an entry whose data lies whole in the file open now.
TestStep CheckInFile(EntryDescriptor* desc, std::string* damage, int* walkOn) {
    const int32_t dataStart = FileTell(desc->input_slot);
    const int32_t size = SlotFileSize(desc->input_slot);
    if (dataStart < 0 || size < 0 || desc->compressed_size > static_cast<uint32_t>(size - dataStart)) {
        *damage = "its data runs past the end of the file";
        *walkOn = 0;
        return TEST_REPORT;
    }
    const uint32_t behind = static_cast<uint32_t>(size - dataStart) - desc->compressed_size;
    const uint32_t lookahead = behind >= TEST_LOOKAHEAD ? TEST_LOOKAHEAD : 0;
    VerifyReport report;
    const int result = VerifyEntry(desc, lookahead, &report);
    *damage = DataProblem(desc, result, report, lookahead);
    return TEST_REPORT;
}

// Tests the entry whose header was just read and leaves the input on the next record.
// 1 when the walk can go on; 0 with *problem and *code when it cannot.
int TestEntry(ArchiveInput* input, EntryDescriptor* desc, TestTally* tally, std::string* problem, int* code) {
    const std::string archive = DisksShownName(input->named);
    const std::string name = ShownName(desc->name);
    g_currentName = desc->name;
    tally->entries++;
    g_tempFailed = 0;
    if (desc->method != METHOD_STORED && desc->method != METHOD_CRUSHED) {
        Complain("%s: %s: skipped: unknown storage method %d", archive.c_str(), name.c_str(), desc->method);
        tally->skipped++;
        *code = ExitCombine(*code, ARQ_EXIT_SKIPPED);
        return WalkSkipData(input, desc, problem, code);
    }
    const bool spanned = (desc->flags & ENTRY_SPANNED) != 0;
    if (spanned && !DisksCanChange(input->path)) return WalkSkipData(input, desc, problem, code);

    const uint32_t entrySize = desc->uncompressed_size;
    std::string damage;
    int walkOn = 1;
    const TestStep step =
        spanned ? CheckSpanned(desc, &damage, &walkOn, problem, code) : CheckInFile(desc, &damage, &walkOn);
    if (step == TEST_STOP) return 0;
    if (step == TEST_AGAIN) {
        tally->entries--;
        return 1;
    }
    g_doneBefore += entrySize;
    if (desc->status == STATUS_CANCEL || PlatInterrupted()) {
        *code = ExitCombine(*code, ARQ_EXIT_CANCELLED);
        return 0;
    }
    if (damage.empty()) {
        Tell("OK       %s", name.c_str());
        return 1;
    }
    Complain("%s: %s: damaged: %s", archive.c_str(), name.c_str(), damage.c_str());
    tally->damaged++;
    *code = ExitCombine(*code, ARQ_EXIT_DAMAGED);
    // Where the damage leaves no next record to go on to, the entry's line is all.
    return walkOn;
}

// Tests every entry from the archive's first record on; the exit code so far, and what
// stopped the walk short of the end if anything, go to *code and *problem.
void TestEntries(ArchiveInput* input, TestTally* tally, std::string* problem, int* code) {
    EntryDescriptor desc;
    WalkBegin(input, &desc);
    g_doneBefore = 0;
    while (WalkNext(input, &desc, problem, code) == WALK_ENTRY) {
        if (!TestEntry(input, &desc, tally, problem, code)) break;
    }
    input->slot = desc.input_slot;
}

} // namespace

int CommandTest(const std::vector<std::string>& args) {
    CommandLine line;
    int code = ARQ_EXIT_OK;
    if (!CommandLineRead("test", args, kTestOptions, sizeof kTestOptions / sizeof kTestOptions[0], &line,
                         &code))
        return code;
    if (NamesForReading("test", OPT_CODEPAGE, &line) != ARQ_EXIT_OK) return ARQ_EXIT_USAGE;
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    if (line.positional.size() != 1) {
        return UsageError("test",
                          line.positional.empty() ? "no archive named" : "only one archive can be tested");
    }

    EventScope events(OnTestEvent);
    ArchiveInput input;
    ArchiveSurvey survey;
    code = ArchiveOpen(line.positional[0], line.list, &input, &survey);
    if (code != ARQ_EXIT_OK) return code;
    ProgressBegin(survey.complete ? survey.total : 0);
    TestTally tally = {0, 0, 0};
    std::string problem;
    TestEntries(&input, &tally, &problem, &code);
    ProgressEnd();
    ArchiveClose(&input);
    ReleaseEntryBuffers();
    events.End();

    const std::string shown = DisksShownName(input.named);
    if (PlatInterrupted()) {
        Complain("cancelled");
        code = ExitCombine(code, ARQ_EXIT_CANCELLED);
    } else if (!problem.empty()) {
        Complain("%s: %s%s", shown.c_str(), code == ARQ_EXIT_DAMAGED ? "damaged: " : "", problem.c_str());
    }
    if (code == ARQ_EXIT_OK) {
        Say("%s: all %u entr%s intact", shown.c_str(), tally.entries, tally.entries == 1 ? "y" : "ies");
    } else {
        Say("%s: %u of %u entr%s damaged, %u skipped", shown.c_str(), tally.damaged, tally.entries,
            tally.entries == 1 ? "y" : "ies", tally.skipped);
    }
    return code;
}
