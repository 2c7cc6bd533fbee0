// Help texts and usage errors.
#pragma once

#include <string>

// The help of a subcommand ("create", ...), or of arq as a whole for an empty or
// unknown name, on standard output. Returns ARQ_EXIT_OK.
int PrintHelp(const std::string& command);

// "arq list: <message>" and a pointer to the help, on standard error. Returns
// ARQ_EXIT_USAGE.
int UsageError(const std::string& command, const std::string& message);

// The version line.
const char* ArqVersion();
