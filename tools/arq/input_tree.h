// The files that arq create is to store, found from the paths on its command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct InputFile {
    std::string source; // the path to read it from
    std::string stored; // its stored name: relative to the path given, '\' between folders
    uint64_t size;
    int64_t mtime;     // seconds since 1970-01-01 UTC
    int executable;    // the owner may run it
    uint16_t mode = 0; // stored mode when not 0; otherwise from the name and executable
};

// Every regular file the paths name: a file as itself, a folder with everything in
// it, in name order. The archive being written (at archivePath) is left out. Fails,
// with a message, on a path that does not exist, a name the format cannot carry
// (too long, holding ':' or '\', a device name of Windows), two files that would get
// the same stored name, or a file too large for the format. Other things in folders
// (devices, pipes) are passed over with a message, and *skipped says so. Returns
// ARQ_EXIT_OK or the exit code.
int CollectInputs(const std::vector<std::string>& paths, const std::string& archivePath,
                  std::vector<InputFile>* files, int* skipped);

// A stored name the engine would refuse to extract is refused when it is stored.
// The reason, or empty when the name is fine.
std::string StoredNameProblem(const std::string& stored);
