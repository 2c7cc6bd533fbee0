// A listing of an archive's entries through the reading operations: find the first
// entry, then ReadEntryHeader and a seek over the data, until a negative result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedEntry {
    std::string name;
    int32_t method;
    uint32_t compressed_size;
    uint32_t uncompressed_size;
    int32_t extra_count;
};

struct Listing {
    int open_result; // FileOpen's slot, or its failure
    int32_t start;   // where the walk began (FindEntrySignature, 0 when it found nothing)
    std::vector<ListedEntry> entries;
    int end_result; // ReadEntryHeader's result that ended the walk
};

Listing ListArchive(const std::string& path);
