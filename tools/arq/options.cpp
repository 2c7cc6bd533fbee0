// Command-line reading for the subcommands.
#include "tools/arq/options.h"

#include <cstdint>

#include "fileio/paths.h"

namespace {

const OptionSpec* FindLong(const OptionSpec* specs, int count, const std::string& name) {
    for (int i = 0; i < count; i++) {
        if (name == specs[i].long_name) return &specs[i];
    }
    return nullptr;
}

const OptionSpec* FindShort(const OptionSpec* specs, int count, char name) {
    for (int i = 0; i < count; i++) {
        if (specs[i].short_name != 0 && specs[i].short_name == name) return &specs[i];
    }
    return nullptr;
}

// A lone "-" is an argument (a name), not an option.
bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// Where the reading of one command line stands. An option that takes its value from
// the next argument moves at on past it.
struct OptionScan {
    const std::vector<std::string>* args;
    const OptionSpec* specs;
    int spec_count;
    size_t at;       // the argument at hand
    bool collecting; // the last option was a list option: what follows is its list
    CommandLine* out;
    std::string* error;
};

// A long option at hand: "--name", or "--name=value"; one that takes a value and has
// none takes the next argument. 1, or 0 with the reason in *scan->error.
int ReadLongOption(OptionScan* scan) {
    const std::vector<std::string>& args = *scan->args;
    std::string name = args[scan->at].substr(2);
    std::string value;
    bool hasValue = false;
    const size_t equals = name.find('=');
    if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
        hasValue = true;
    }
    const OptionSpec* found = FindLong(scan->specs, scan->spec_count, name);
    if (found == nullptr) {
        *scan->error = "unknown option '--" + name + "'";
        return 0;
    }
    ParsedOption parsed = {found->id, std::string()};
    if (found->kind == OPTION_VALUE) {
        if (!hasValue) {
            if (scan->at + 1 >= args.size()) {
                *scan->error = "option '--" + name + "' needs a value";
                return 0;
            }
            value = args[++scan->at];
        }
        parsed.value = value;
    } else if (hasValue) {
        *scan->error = "option '--" + name + "' takes no value";
        return 0;
    }
    if (found->kind == OPTION_LIST) scan->collecting = true;
    scan->out->options.push_back(parsed);
    return 1;
}

// The short options at hand, possibly bundled: "-qv", "-CDIR", "-C DIR". An option
// that takes a value ends the bundle. 1, or 0 with the reason in *scan->error.
int ReadShortOptions(OptionScan* scan) {
    const std::vector<std::string>& args = *scan->args;
    const std::string& arg = args[scan->at];
    for (size_t j = 1; j < arg.size(); j++) {
        const OptionSpec* found = FindShort(scan->specs, scan->spec_count, arg[j]);
        if (found == nullptr) {
            *scan->error = std::string("unknown option '-") + arg[j] + "'";
            return 0;
        }
        ParsedOption parsed = {found->id, std::string()};
        if (found->kind == OPTION_VALUE) {
            if (j + 1 < arg.size()) {
                parsed.value = arg.substr(j + 1);
            } else if (scan->at + 1 < args.size()) {
                parsed.value = args[++scan->at];
            } else {
                *scan->error = std::string("option '-") + arg[j] + "' needs a value";
                return 0;
            }
            scan->out->options.push_back(parsed);
            return 1;
        }
        if (found->kind == OPTION_LIST) scan->collecting = true;
        scan->out->options.push_back(parsed);
    }
    return 1;
}

// Every command takes both; asked for less and more output at once, it cannot do both.
bool QuietWithVerbose(const CommandLine& line, const OptionSpec* specs, int specCount) {
    const OptionSpec* quiet = FindLong(specs, specCount, "quiet");
    const OptionSpec* verbose = FindLong(specs, specCount, "verbose");
    return quiet != nullptr && verbose != nullptr && OptionGiven(line, quiet->id) &&
           OptionGiven(line, verbose->id);
}

} // namespace

int ParseCommandLine(const std::vector<std::string>& args, const OptionSpec* specs, int specCount,
                     CommandLine* out, std::string* error) {
    OptionScan scan = {&args, specs, specCount, 0, false, out, error};
    bool optionsEnded = false;
    for (; scan.at < args.size(); scan.at++) {
        const std::string& arg = args[scan.at];
        if (optionsEnded || !LooksLikeOption(arg)) {
            if (scan.collecting && !optionsEnded) {
                out->list.push_back(arg);
            } else {
                out->positional.push_back(arg);
            }
            continue;
        }
        scan.collecting = false;
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const int read = arg[1] == '-' ? ReadLongOption(&scan) : ReadShortOptions(&scan);
        if (!read) return 0;
    }
    if (QuietWithVerbose(*out, specs, specCount)) {
        *error = "-q (--quiet) and -v (--verbose) cannot be used together";
        return 0;
    }
    return 1;
}

int OptionGiven(const CommandLine& line, int id, std::string* value) {
    int given = 0;
    for (const ParsedOption& option : line.options) {
        if (option.id != id) continue;
        given = 1;
        if (value != nullptr) *value = option.value;
    }
    return given;
}

int ParseSize(const std::string& text, uint32_t* size) {
    size_t i = 0;
    uint64_t value = 0;
    int tooLarge = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        // Kept below the limit's tenfold so that the sum cannot wrap, however long.
        if (value > SIZE_MAX_BYTES) {
            tooLarge = 1;
            value = SIZE_MAX_BYTES + 1;
        }
        i++;
    }
    if (i == 0) return 0;
    std::string unit;
    for (; i < text.size(); i++)
        unit += static_cast<char>(CharUpperAZ(text[i]));
    uint64_t scale = 1;
    if (unit == "" || unit == "B") {
        scale = 1;
    } else if (unit == "K" || unit == "KB" || unit == "KIB") {
        scale = 1024;
    } else if (unit == "M" || unit == "MB" || unit == "MIB") {
        scale = 1024 * 1024;
    } else if (unit == "G" || unit == "GB" || unit == "GIB") {
        scale = 1024 * 1024 * 1024;
    } else {
        return 0;
    }
    value *= scale;
    if (tooLarge || value > SIZE_MAX_BYTES) return SIZE_TOO_LARGE;
    *size = static_cast<uint32_t>(value);
    return 1;
}
