// arq's command-line reading: the conventions every subcommand shares, from bundled
// short options to the end of an option's list.
#include "tools/arq/options.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

enum { HELP, QUIET, VERBOSE, DIRECTORY, OVERWRITE, VOLUMES };

const OptionSpec kSpecs[] = {
    {"help", 'h', OPTION_FLAG, HELP},          {"quiet", 'q', OPTION_FLAG, QUIET},
    {"verbose", 'v', OPTION_FLAG, VERBOSE},    {"directory", 'C', OPTION_VALUE, DIRECTORY},
    {"overwrite", 0, OPTION_VALUE, OVERWRITE}, {"volumes", 0, OPTION_LIST, VOLUMES},
};

using Options = std::vector<std::pair<int, std::string>>;
using Words = std::vector<std::string>;

struct LineCase {
    Words args;
    const char* error; // a part of the reason, or nullptr when the line is read
    Options options;
    Words positional;
    Words list;
};

TEST(OptionsTest, ReadsTheSharedConventions) {
    const LineCase cases[] = {
        {{"-qC", "out", "a.arq"}, nullptr, {{QUIET, ""}, {DIRECTORY, "out"}}, {"a.arq"}, {}},
        {{"-COUT", "-h"}, nullptr, {{DIRECTORY, "OUT"}, {HELP, ""}}, {}, {}},
        {{"--overwrite=never", "--overwrite", "ask"},
         nullptr,
         {{OVERWRITE, "never"}, {OVERWRITE, "ask"}},
         {},
         {}},
        {{"--volumes", "A", "B", "-q", "x.arq"},
         nullptr,
         {{VOLUMES, ""}, {QUIET, ""}},
         {"x.arq"},
         {"A", "B"}},
        {{"--volumes", "A", "--", "-q", "-"}, nullptr, {{VOLUMES, ""}}, {"-q", "-"}, {"A"}},
        {{"-", "--directory="}, nullptr, {{DIRECTORY, ""}}, {"-"}, {}},
        {{"--bogus"}, "unknown option '--bogus'", {}, {}, {}},
        {{"a.arq", "--overwrite"}, "option '--overwrite' needs a value", {}, {}, {}},
        {{"--quiet=yes"}, "option '--quiet' takes no value", {}, {}, {}},
        {{"-qx"}, "unknown option '-x'", {}, {}, {}},
        {{"-C"}, "option '-C' needs a value", {}, {}, {}},
        {{"-q", "--verbose"}, "cannot be used together", {}, {}, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        CommandLine line;
        std::string error;
        const int read = ParseCommandLine(c.args, kSpecs, sizeof kSpecs / sizeof kSpecs[0], &line, &error);
        if (c.error != nullptr) {
            EXPECT_EQ(read, 0);
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        ASSERT_EQ(read, 1) << error;
        Options options;
        for (const ParsedOption& option : line.options)
            options.emplace_back(option.id, option.value);
        EXPECT_EQ(options, c.options);
        EXPECT_EQ(line.positional, c.positional);
        EXPECT_EQ(line.list, c.list);
    }
}

struct SizeCase {
    const char* text;
    int result;
    uint32_t size;
};

TEST(OptionsTest, ReadsSizesInAnyLetterCase) {
    const SizeCase cases[] = {
        {"100000", 1, 100000},
        {"720k", 1, 720 * 1024},
        {"1440KiB", 1, 1440 * 1024},
        {"2mB", 1, 2 * 1024 * 1024},
        {"1g", 1, 1024u * 1024 * 1024},
        {"4294967295", 1, 0xFFFFFFFFu},
        {"4G", SIZE_TOO_LARGE, 0},
        {"12Q", 0, 0},
        {"k", 0, 0},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t size = 0;
        EXPECT_EQ(ParseSize(c.text, &size), c.result);
        if (c.result == 1) {
            EXPECT_EQ(size, c.size);
        }
    }
}

} // namespace
