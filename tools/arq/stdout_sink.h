// arq extract --stdout: the chosen entries are written through the engine into a
// private folder, then copied to standard output in archive order, and removed.
#pragma once

#include <string>
#include <vector>

// Makes the private folder (under the temporary folder). 1, or 0 after a message.
int StdoutSinkBegin(std::string* folder);
// Copies each file to standard output. 1, or 0 after a message.
int StdoutSinkEmit(const std::vector<std::string>& files);
// Removes the folder and everything the extraction left in it.
void StdoutSinkEnd(const std::string& folder);
