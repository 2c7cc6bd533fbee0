// Archives for tests, built in memory with our writer.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "engine/writer.h"
#include "support/scratch.h"

struct StoredFile {
    std::string name;
    Bytes data;
};

// A plain archive: the files as Stored entries, then the end-of-archive record.
inline Bytes BuildArchive(const std::vector<StoredFile>& files) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    for (const StoredFile& file : files) {
        EntryHeaderFields header;
        EntryHeaderDefaults(&header, file.name.c_str(), static_cast<uint32_t>(file.data.size()));
        WriterPutEntry(&writer, &header, file.data.data(), static_cast<uint32_t>(file.data.size()));
    }
    WriterPutEnd(&writer, nullptr, 0);
    return out;
}

// A self-extracting program's file: a stand-in program image (no signature in it),
// the archive header record, then the archive.
inline Bytes BuildSelfExtracting(size_t imageSize, const std::vector<StoredFile>& files,
                                 const char* destination = nullptr) {
    Bytes out(imageSize);
    for (size_t i = 0; i < imageSize; i++)
        out[i] = static_cast<uint8_t>("MZ\x90\x00program"[i % 11]);
    uint32_t total = 0;
    for (const StoredFile& file : files)
        total += static_cast<uint32_t>(file.data.size());
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ArchiveHeaderFields header;
    ArchiveHeaderDefaults(&header, total, destination, nullptr);
    WriterPutArchiveHeader(&writer, &header);
    const Bytes archive = BuildArchive(files);
    out.insert(out.end(), archive.begin(), archive.end());
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes TextBytes(const char* text) { return Bytes(text, text + std::strlen(text)); }
