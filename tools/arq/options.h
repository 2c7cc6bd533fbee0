// Reading a subcommand's command line.
//
// The conventions of the common archivers: long options "--name" with their value
// as the next argument or after '=' ("--overwrite=never"); short options "-C DIR",
// "-CDIR", flags bundled as "-qv"; "--" ends the options. An option that takes a
// list ("--volumes DIR...") takes every following argument up to the next option.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum OptionKind {
    OPTION_FLAG,  // no value
    OPTION_VALUE, // one value
    OPTION_LIST,  // the arguments that follow it, up to the next option
};

struct OptionSpec {
    const char* long_name; // without the dashes
    char short_name;       // 0: none
    OptionKind kind;
    int id;
};

struct ParsedOption {
    int id;
    std::string value; // for OPTION_VALUE
};

struct CommandLine {
    std::vector<ParsedOption> options;   // in the order given
    std::vector<std::string> positional; // the other arguments, in order
    std::vector<std::string> list;       // what OPTION_LIST options took, in order
};

// Reads args[0..count-1] (the arguments behind the subcommand's name). 1 when they
// follow the specs; otherwise 0, with a one-line reason in *error.
int ParseCommandLine(const std::vector<std::string>& args, const OptionSpec* specs, int specCount,
                     CommandLine* out, std::string* error);

// 1 when the option was given; the value of its last occurrence in *value.
int OptionGiven(const CommandLine& line, int id, std::string* value = nullptr);

// A size for people: digits with an optional K, M or G (1024, 1024 K, 1024 M), also
// written KB/KiB, in any letter case: "1440K", "720k", "100000". 1 for a size; 0
// when the text is no such size; SIZE_TOO_LARGE when it is one but does not fit the
// 32 bits of the format's size fields (above SIZE_MAX_BYTES).
enum { SIZE_TOO_LARGE = -1 };
const uint64_t SIZE_MAX_BYTES = 0xFFFFFFFFull;
int ParseSize(const std::string& text, uint32_t* size);
