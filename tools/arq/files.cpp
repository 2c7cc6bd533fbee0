// Path questions for arq.
#include "tools/arq/files.h"

#include <cstdint>

#include "engine/engine.h"
#include "platform/platform.h"
#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"
#include "tools/arq/help.h"

namespace {

// A write fails for want of room only when less than one of the writer's buffers
// was left; a drive with more free space than that failed for another reason.
const uint64_t NO_ROOM_THRESHOLD = WRITER_COPY_BUFFER;

// A name from the command line in the code page in force; false after a message.
bool ArgumentInCodePage(const std::string& command, std::string* text) {
    std::string converted(text->size() + 1, '\0');
    const int length =
        PlatNameFromHost(text->c_str(), &converted[0], static_cast<uint32_t>(converted.size()));
    if (length < 0) {
        UsageError(command, "'" + *text + "': code page " + std::to_string(PlatCodePage()) +
                                " cannot hold this name (see --codepage)");
        return false;
    }
    converted.resize(static_cast<size_t>(length));
    *text = converted;
    return true;
}

} // namespace

bool PathExists(const std::string& path) {
    PlatStatInfo info;
    return PlatStat(path.c_str(), &info) == 0;
}

bool PathIsFolder(const std::string& path) {
    PlatStatInfo info;
    return PlatStat(path.c_str(), &info) == 0 && (info.mode & PLAT_MODE_FOLDER) != 0;
}

size_t AfterLastSeparator(const std::string& path, size_t end, bool drive) {
    // Forward, a character at a time: in a double-byte code page the second byte of a
    // character may be the byte of '\\' (0x5C) without being a separator.
    size_t after = 0;
    for (size_t at = 0; at < end; at++) {
        const char c = path[at];
        if (c == '/' || c == '\\' || (drive && c == ':')) {
            after = at + 1;
        } else if (PlatIsLeadByte(static_cast<unsigned char>(c)) && at + 1 < end) {
            at++;
        }
    }
    return after;
}

std::string FolderPart(const std::string& path) {
    return path.substr(0, AfterLastSeparator(path, path.size(), true));
}

std::string NamePart(const std::string& path) { return path.substr(FolderPart(path).size()); }

int DriveLooksFull(const std::string& folder) {
    uint64_t freeBytes = 0;
    const std::string asked = folder.empty() ? std::string(".") : folder;
    return PlatDiskFreeBytes(asked.c_str(), &freeBytes) && freeBytes < NO_ROOM_THRESHOLD ? 1 : 0;
}

unsigned ChooseCodePage(const std::string& command, const CommandLine& line, int optionId) {
    const unsigned before = PlatCodePage();
    std::string value;
    if (!OptionGiven(line, optionId, &value)) return before;
    unsigned codePage = 0;
    for (char c : value) {
        if (c < '0' || c > '9' || codePage > 100000) {
            codePage = 0;
            break;
        }
        codePage = codePage * 10 + static_cast<unsigned>(c - '0');
    }
    if (codePage != 1252 && codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950) {
        UsageError(command, "--codepage takes 1252, 932, 936, 949 or 950, not '" + value + "'");
        return 0;
    }
    const int possible = PlatSetCodePage(codePage);
    PlatSetCodePage(before);
    if (!possible) {
        UsageError(command, "--codepage " + value + ": names on this system are in code page " +
                                std::to_string(before));
        return 0;
    }
    return codePage;
}

int NamesForReading(const std::string& command, int optionId, CommandLine* line) {
    const unsigned codePage = ChooseCodePage(command, *line, optionId);
    if (codePage == 0) return ARQ_EXIT_USAGE;
    PlatSetCodePage(codePage);
    PlatSetNameConversion(1);
    for (std::string& text : line->positional) {
        if (!ArgumentInCodePage(command, &text)) return ARQ_EXIT_USAGE;
    }
    for (std::string& text : line->list) {
        if (!ArgumentInCodePage(command, &text)) return ARQ_EXIT_USAGE;
    }
    for (ParsedOption& option : line->options) {
        if (!ArgumentInCodePage(command, &option.value)) return ARQ_EXIT_USAGE;
    }
    return ARQ_EXIT_OK;
}
