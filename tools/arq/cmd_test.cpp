// arq test: decodes every entry without writing anything.
//
// An entry is intact when its data decodes without error, the decoder takes exactly
// the packed bytes the header counts (no more: the next record starts there; no
// fewer: nothing is left over), its sizes agree with its method, and, when its header
// carries a checksum field, the bytes it decodes to give that CRC-32. Without the
// field a changed byte that still decodes goes unnoticed. A spanned entry's pieces are first collected from
// the disks by the engine into a temporary file, which is removed again.
#include <cstdio>
#include <cstring>

#include "crushed/bitinput.h"
#include "crushed/crushed.h"
#include "engine/engine.h"
#include "engine/spanned.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "tools/arq/archive_input.h"
#include "tools/arq/commands.h"
#include "tools/arq/console.h"
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

// Stored data is read in pieces of this size.
const int32_t TEST_READ_BUFFER = 0x10000;
// Placeholder file name under the temporary folder: the engine collects a spanned
// entry's pieces in a temporary file beside the entry's output path.
const char TEST_OUTPUT_NAME[] = "ARQTEST";

// Process-wide, not thread-safe: the handler needs them.
uint64_t g_doneBefore = 0;
std::string g_currentName;
int g_tempFailed = 0; // EVT_TEMP_FAILED came: a spanned entry had no temporary file

int OnTestEvent(EntryDescriptor* desc, int32_t event, int32_t argument) {
    if (desc != nullptr && PlatInterrupted()) desc->status = STATUS_CANCEL;
    if (event == EVT_PROGRESS)
        ProgressShow(g_doneBefore + static_cast<uint32_t>(argument), g_currentName.c_str());
    if (event == EVT_TEMP_FAILED) g_tempFailed = 1;
    if (event == EVT_INSERT_VOLUME) DisksInsert(desc, argument);
    if (event == EVT_CANCELLED) DisksGaveUp();
    return 0;
}

// Bytes behind an entry's data that the decoder may read as well, so that the bits it
// takes can be counted: its bit buffer runs at most 32 bits and one spare byte ahead.
const uint32_t TEST_LOOKAHEAD = 8;

// The reason given when an entry's bytes do not give its checksum, or empty.
std::string ChecksumProblem(const EntryDescriptor* desc, uint32_t found) {
    if (desc->checksum_state == CHECKSUM_NONE || found == desc->checksum) return std::string();
    char text[96];
    std::snprintf(text, sizeof text, "its data does not match its checksum (CRC-32 %08X stored, %08X found)",
                  static_cast<unsigned>(desc->checksum), static_cast<unsigned>(found));
    return text;
}

// Decodes a Crushed entry from desc->input_slot. Empty when intact, else the reason.
//
// Beyond an entry's packed size the decoder reads zero bits, so a stream cut short
// can still decode to the full size without an error. When the file holds
// TEST_LOOKAHEAD bytes behind the data (the next record), they are handed to the
// decoder as if they were data; every byte it then fetches is real, and the bits it
// used are: bytes fetched * 8 - 32 (the bit buffer) - SpareBits. A sound stream uses
// its packed bytes to the last one, which holds fewer than 8 bits of padding.
std::string DecodeCrushed(EntryDescriptor* desc, uint32_t lookahead) {
    uint8_t* buffer = static_cast<uint8_t*>(MemAlloc(CRUSHED_WINDOW_SIZE));
    if (buffer == nullptr) return "not enough memory to decode it";
    const uint64_t given = static_cast<uint64_t>(desc->compressed_size) + lookahead;
    InputSlot = desc->input_slot;
    CompressedLeft = static_cast<uint32_t>(given);
    BytesWritten = 0;
    int rc = DecoderReset();
    uint32_t left = desc->uncompressed_size;
    uint32_t checksum = CHECKSUM_EMPTY;
    while (rc == 0 && left != 0 && desc->status != STATUS_CANCEL) {
        const uint32_t window = CRUSHED_WINDOW_SIZE;
        const uint32_t count = left < window ? left : window;
        rc = DecodeChunk(desc, count, buffer);
        if (rc == 0 && desc->checksum_state != CHECKSUM_NONE)
            checksum = ChecksumUpdate(checksum, buffer, count);
        BytesWritten += count;
        left -= count;
    }
    MemFree(buffer);
    if (desc->status == STATUS_CANCEL) return std::string();
    if (rc == ERR_NO_MEMORY) return "not enough memory to decode it";
    const char* cutShort = "its packed data ends before the file is complete";
    // The decoder tells both: the file ended, or the codes ran on past the bytes given.
    if (BitInputEnded() || BitInputOverrun()) return cutShort;
    if (rc < 0) return "its packed data is invalid";
    const uint64_t packedBits = static_cast<uint64_t>(desc->compressed_size) * 8;
    if (lookahead == TEST_LOOKAHEAD) {
        // Sound streams fetch at most 5 bytes past their end: the lookahead lasts.
        if (CompressedLeft == 0) return cutShort;
        const uint64_t fetched = given - CompressedLeft;
        const uint64_t usedBits = fetched * 8 - BIT_BUFFER_BITS - SpareBits;
        if (usedBits > packedBits) return cutShort;
        if (packedBits - usedBits >= 8)
            return std::to_string((packedBits - usedBits) / 8) + " bytes of its packed data are left over";
        return ChecksumProblem(desc, checksum);
    }
    if (CompressedLeft != 0)
        return std::to_string(CompressedLeft) + " bytes of its packed data are left over";
    return ChecksumProblem(desc, checksum);
}

// Reads a Stored entry's bytes from desc->input_slot.
std::string ReadStored(EntryDescriptor* desc) {
    if (desc->compressed_size != desc->uncompressed_size) return "a Stored entry whose two sizes differ";
    uint8_t* buffer = static_cast<uint8_t*>(MemAlloc(TEST_READ_BUFFER));
    if (buffer == nullptr) return "not enough memory to read it";
    uint32_t left = desc->uncompressed_size;
    uint32_t checksum = CHECKSUM_EMPTY;
    std::string problem;
    while (left != 0 && desc->status != STATUS_CANCEL) {
        const int32_t count =
            static_cast<int32_t>(left < static_cast<uint32_t>(TEST_READ_BUFFER) ? left : TEST_READ_BUFFER);
        if (FileRead(desc->input_slot, buffer, count) != count) {
            problem = "its data is cut short";
            break;
        }
        if (desc->checksum_state != CHECKSUM_NONE)
            checksum = ChecksumUpdate(checksum, buffer, static_cast<uint32_t>(count));
        left -= static_cast<uint32_t>(count);
        ProgressShow(g_doneBefore + (desc->uncompressed_size - left), g_currentName.c_str());
    }
    MemFree(buffer);
    if (problem.empty() && desc->status != STATUS_CANCEL) problem = ChecksumProblem(desc, checksum);
    return problem;
}

// lookahead: bytes behind the data that the decoder may read (see DecodeCrushed).
std::string CheckData(EntryDescriptor* desc, uint32_t lookahead) {
    if (desc->method == METHOD_CRUSHED) return DecodeCrushed(desc, lookahead);
    return ReadStored(desc);
}

// The output path the engine is told for a spanned entry: it only takes the folder.
void PointAtTempFolder(EntryDescriptor* desc) {
    char folder[PATH_MAX_LENGTH + 1];
    const uint32_t length = PlatTempFolder(folder, sizeof folder);
    if (length == 0 || length + sizeof TEST_OUTPUT_NAME > sizeof desc->name) {
        std::memcpy(desc->name, TEST_OUTPUT_NAME, sizeof TEST_OUTPUT_NAME);
    } else {
        std::memcpy(desc->name, folder, length);
        std::memcpy(desc->name + length, TEST_OUTPUT_NAME, sizeof TEST_OUTPUT_NAME);
    }
    desc->name_length = static_cast<int32_t>(std::strlen(desc->name));
}

struct TestTally {
    uint32_t entries;
    uint32_t damaged;
    uint32_t skipped;
};

// Tests the entry whose header was just read and leaves the input on the next record.
// 1 when the walk can go on; 0 with *problem and *code when it cannot.
int TestEntry(ArchiveInput* input, EntryDescriptor* desc, const std::string& archive, TestTally* tally,
              std::string* problem, int* code) {
    const std::string name = ShownName(desc->name);
    g_currentName = desc->name;
    tally->entries++;
    g_tempFailed = 0;
    if (desc->method != METHOD_STORED && desc->method != METHOD_CRUSHED) {
        Complain("%s: %s: skipped: unknown storage method %d", DisksShownName(archive).c_str(), name.c_str(),
                 desc->method);
        tally->skipped++;
        *code = ExitCombine(*code, ARQ_EXIT_SKIPPED);
        return WalkSkipData(input, desc, problem, code);
    }

    std::string damage;
    int walkOn = 1;
    if (desc->flags & ENTRY_SPANNED) {
        if (!DisksCanChange(input->path)) return WalkSkipData(input, desc, problem, code);
        const uint32_t entrySize = desc->uncompressed_size;
        char stored[sizeof desc->name];
        std::memcpy(stored, desc->name, sizeof stored);
        PointAtTempFolder(desc);
        SpannedEntry span;
        int result = 0;
        if (SpannedEntryBegin(desc, &span, &result)) {
            damage = CheckData(desc, 0);
            SpannedEntryEnd(desc, &span);
        } else if (result == ERR_CANCELLED || DisksOutcome() != ARQ_EXIT_OK) {
            const int outcome = DisksOutcome() != ARQ_EXIT_OK ? DisksOutcome() : ARQ_EXIT_CANCELLED;
            // A folder that lacked the disk has been named already.
            if (outcome == ARQ_EXIT_CANCELLED) *problem = "cancelled: the next disk was not given";
            *code = ExitCombine(*code, outcome);
            return 0;
        } else if (result == 0 && !g_tempFailed) {
            // The walk began at a later disk: the engine went back to the first, and
            // the walk goes on from its first record, this entry among them.
            tally->entries--;
            std::memcpy(desc->name, stored, sizeof stored);
            return 1;
        } else {
            damage = g_tempFailed ? "no temporary file can be made to collect its pieces"
                                  : "its pieces cannot be collected from the disks";
            walkOn = FileGetSlot(desc->input_slot) != nullptr;
        }
        std::memcpy(desc->name, stored, sizeof stored);
        g_doneBefore += entrySize;
    } else {
        const int32_t dataStart = FileTell(desc->input_slot);
        const int32_t size = SlotFileSize(desc->input_slot);
        if (dataStart < 0 || size < 0 || desc->compressed_size > static_cast<uint32_t>(size - dataStart)) {
            damage = "its data runs past the end of the file";
            walkOn = 0;
        } else {
            const uint32_t behind = static_cast<uint32_t>(size - dataStart) - desc->compressed_size;
            damage = CheckData(desc, behind >= TEST_LOOKAHEAD ? TEST_LOOKAHEAD : 0);
            FileSeek(desc->input_slot, dataStart + static_cast<int32_t>(desc->compressed_size),
                     FILE_SEEK_START);
        }
        g_doneBefore += desc->uncompressed_size;
    }
    if (desc->status == STATUS_CANCEL || PlatInterrupted()) {
        *code = ExitCombine(*code, ARQ_EXIT_CANCELLED);
        return 0;
    }
    if (!damage.empty()) {
        Complain("%s: %s: damaged: %s", DisksShownName(archive).c_str(), name.c_str(), damage.c_str());
        tally->damaged++;
        *code = ExitCombine(*code, ARQ_EXIT_DAMAGED);
        // Where the damage leaves no next record to go on to, the entry's line is all.
        if (!walkOn) return 0;
    } else {
        Tell("OK       %s", name.c_str());
    }
    return 1;
}

} // namespace

int CommandTest(const std::vector<std::string>& args) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(args, kTestOptions, sizeof kTestOptions / sizeof kTestOptions[0], &line, &error)) {
        return UsageError("test", error);
    }
    if (OptionGiven(line, OPT_HELP)) return PrintHelp("test");
    if (NamesForReading("test", OPT_CODEPAGE, &line) != ARQ_EXIT_OK) return ARQ_EXIT_USAGE;
    ConsoleSetQuiet(OptionGiven(line, OPT_QUIET));
    ConsoleSetVerbose(OptionGiven(line, OPT_VERBOSE));
    if (line.positional.size() != 1) {
        return UsageError("test",
                          line.positional.empty() ? "no archive named" : "only one archive can be tested");
    }

    std::string path;
    int code = DisksPrepare(line.positional[0], line.list, &path);
    if (code != ARQ_EXIT_OK) return code;
    SetEventHandler(EVENT_SLOT_MAIN, OnTestEvent);
    ArchiveInput input;
    code = ArchiveOpen(path, &input);
    if (code != ARQ_EXIT_OK) {
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        return code;
    }
    uint64_t total = 0;
    int spanned = 0;
    std::string surveyProblem;
    if (!SurveyArchive(&input, &total, &spanned, &surveyProblem)) total = 0;

    EntryDescriptor desc;
    std::memset(&desc, 0, sizeof desc);
    desc.input_slot = input.slot;
    SpannedResetState();
    g_doneBefore = 0;
    SpannedResetState();
    ProgressBegin(total);
    TestTally tally = {0, 0, 0};
    std::string problem;
    int walkCode = ARQ_EXIT_OK;
    for (;;) {
        const WalkStep step = WalkNext(&input, &desc, &problem, &walkCode);
        if (step != WALK_ENTRY) break;
        if (!TestEntry(&input, &desc, path, &tally, &problem, &walkCode)) break;
    }
    ProgressEnd();
    input.slot = desc.input_slot;
    ArchiveClose(&input);
    DecoderRelease();
    SetEventHandler(EVENT_SLOT_MAIN, nullptr);

    code = walkCode;
    const std::string shown = DisksShownName(path);
    if (PlatInterrupted()) {
        Complain("cancelled");
        code = ExitCombine(code, ARQ_EXIT_CANCELLED);
    } else if (!problem.empty()) {
        Complain("%s: %s%s", shown.c_str(), walkCode == ARQ_EXIT_DAMAGED ? "damaged: " : "", problem.c_str());
    }
    if (code == ARQ_EXIT_OK) {
        Say("%s: all %u entr%s intact", shown.c_str(), tally.entries, tally.entries == 1 ? "y" : "ies");
    } else {
        Say("%s: %u of %u entr%s damaged, %u skipped", shown.c_str(), tally.damaged, tally.entries,
            tally.entries == 1 ? "y" : "ies", tally.skipped);
    }
    return code;
}
