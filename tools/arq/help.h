// Help texts and usage errors.
#pragma once

#include <string>
#include <vector>

#include "tools/arq/options.h"

// The help of a subcommand ("create", ...), or of arq as a whole for an empty or
// unknown name, on standard output. Returns ARQ_EXIT_OK.
int PrintHelp(const std::string& command);

// "arq list: <message>" and a pointer to the help, on standard error. Returns
// ARQ_EXIT_USAGE.
int UsageError(const std::string& command, const std::string& message);

// The opening every command shares: its arguments read by specs into *line, and
// --help (the option whose long name is "help") answered. 1 to go on; 0 when the command ends at once
// with *code: ARQ_EXIT_OK after the help, ARQ_EXIT_USAGE after a usage error.
int CommandLineRead(const std::string& command, const std::vector<std::string>& args, const OptionSpec* specs,
                    int specCount, CommandLine* line, int* code);

// The version line.
const char* ArqVersion();
