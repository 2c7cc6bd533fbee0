// Command-line reading for the subcommands.
#include "tools/arq/options.h"

#include <cstdint>

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

} // namespace

int ParseCommandLine(const std::vector<std::string>& args, const OptionSpec* specs, int specCount,
                     CommandLine* out, std::string* error) {
    bool optionsEnded = false;
    bool collecting = false; // the last option was a list option
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        if (optionsEnded || !LooksLikeOption(arg)) {
            if (collecting && !optionsEnded) {
                out->list.push_back(arg);
            } else {
                out->positional.push_back(arg);
            }
            continue;
        }
        collecting = false;
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] == '-') {
            std::string name = arg.substr(2);
            std::string value;
            bool hasValue = false;
            const size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = name.substr(equals + 1);
                name = name.substr(0, equals);
                hasValue = true;
            }
            const OptionSpec* found = FindLong(specs, specCount, name);
            if (found == nullptr) {
                *error = "unknown option '--" + name + "'";
                return 0;
            }
            ParsedOption parsed = {found->id, std::string()};
            if (found->kind == OPTION_VALUE) {
                if (!hasValue) {
                    if (i + 1 >= args.size()) {
                        *error = "option '--" + name + "' needs a value";
                        return 0;
                    }
                    value = args[++i];
                }
                parsed.value = value;
            } else if (hasValue) {
                *error = "option '--" + name + "' takes no value";
                return 0;
            }
            if (found->kind == OPTION_LIST) collecting = true;
            out->options.push_back(parsed);
            continue;
        }
        // Short options, possibly bundled: "-qv", "-CDIR", "-C DIR".
        for (size_t j = 1; j < arg.size(); j++) {
            const OptionSpec* found = FindShort(specs, specCount, arg[j]);
            if (found == nullptr) {
                *error = std::string("unknown option '-") + arg[j] + "'";
                return 0;
            }
            ParsedOption parsed = {found->id, std::string()};
            if (found->kind == OPTION_VALUE) {
                if (j + 1 < arg.size()) {
                    parsed.value = arg.substr(j + 1);
                } else if (i + 1 < args.size()) {
                    parsed.value = args[++i];
                } else {
                    *error = std::string("option '-") + arg[j] + "' needs a value";
                    return 0;
                }
                out->options.push_back(parsed);
                break;
            }
            if (found->kind == OPTION_LIST) collecting = true;
            out->options.push_back(parsed);
        }
    }
    // Every command takes both; asked for less and more output at once, it cannot do both.
    const OptionSpec* quiet = FindLong(specs, specCount, "quiet");
    const OptionSpec* verbose = FindLong(specs, specCount, "verbose");
    if (quiet != nullptr && verbose != nullptr && OptionGiven(*out, quiet->id) &&
        OptionGiven(*out, verbose->id)) {
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
        unit += static_cast<char>(text[i] >= 'a' && text[i] <= 'z' ? text[i] - 32 : text[i]);
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
