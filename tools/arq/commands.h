// The subcommands of arq. Each takes the arguments behind its name and returns the
// process's exit code (exit_codes.h).
#pragma once

#include <string>
#include <vector>

int CommandCreate(const std::vector<std::string>& args);
int CommandList(const std::vector<std::string>& args);
int CommandTest(const std::vector<std::string>& args);
int CommandExtract(const std::vector<std::string>& args);
int CommandShow(const std::vector<std::string>& args);
