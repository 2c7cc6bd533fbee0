// The writing side of arq create and arq show: a plain archive under a temporary name, renamed
// into place when it is complete; for a spanned set, that archive spread over the
// disks' folders (ARCHIVE.1/NAME, ARCHIVE.2/NAME, ...), each volume also written
// under a temporary name first. On every failure, and on Ctrl+C, whatever was
// written is removed again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tools/arq/compression_level.h"
#include "tools/arq/input_tree.h"

struct ArchiveOutput {
    std::string named_path; // ARCHIVE as named, for the messages about the whole run
    std::string final_path; // ARCHIVE, or the file it leads to when it is a link
    std::string temp_path;  // the plain archive while it is written
    uint32_t volume_size;   // 0: a plain archive
    ArchiveWriter writer;
    WriterSink file_sink; // the writer's own sink, which GuardedSink wraps
    void* file_context;
    int32_t sink_failed;   // a write to the archive failed (as opposed to a read of a file)
    uint64_t done_before;  // input bytes of the files already stored, for the bar
    int32_t streaming;     // the bar follows the bytes written (a Stored copy)
    uint32_t stream_start; // writer.bytes_written when the data being streamed began
    const char* current;   // name of the file at hand as the host spells it, for the bar
    int32_t checksums;     // 1: every entry carries a checksum field (the default); 0: --no-checksum
    // Spanned sets.
    std::vector<std::string> volume_temps;   // volume files under their temporary names
    std::vector<std::string> volume_folders; // the disks' folders, ARCHIVE.1 first
    std::vector<int> folder_made;            // 1 for each folder this run created
    int32_t complete;                        // the volumes are in place: keep the folders
    int32_t replaced_mode;                   // permission bits of the file replaced, -1 when none
};

// Creates the temporary archive beside ARCHIVE (beside the file it leads to, when
// ARCHIVE is a link: that file is the one replaced, with its mode kept), with checksums
// on. ARQ_EXIT_OK or the exit code after a message.
int OutputStart(ArchiveOutput* out, const std::string& archive, uint32_t volumeSize);
// The start of a self-extracting file: the program image (imageSize bytes, copied
// unchanged) and an archive header record with the given total and neither
// destination nor comment. Called before the first OutputPutFile. ARQ_EXIT_OK or the
// exit code after a message; on failure the caller calls OutputAbandon.
int OutputPutImage(ArchiveOutput* out, const uint8_t* image, uint32_t imageSize, uint32_t total);
// Stores one file at level (OUTPUT_STORED or a CRUSHED_LEVEL_), with its CRC-32 in a
// checksum field unless out->checksums is 0. A time the format cannot hold (before
// 1901-12-13 20:45:52 or after 2038-01-19 03:14:07 UTC) is stored as the nearest one
// it can, with a warning. *method receives the method used. ARQ_EXIT_OK or the exit
// code after a message; on failure the caller calls OutputAbandon.
int OutputPutFile(ArchiveOutput* out, const InputFile& file, int level, int* method, uint32_t* packed);
// Stores the files in turn with OutputPutFile, a line for each in verbose mode, and adds
// their packed sizes to *packedTotal. Ctrl+C between two files stops it. ARQ_EXIT_OK or
// the exit code after a message; on failure the caller calls OutputAbandon.
int OutputPutFiles(ArchiveOutput* out, const std::vector<InputFile>& files, int level, uint64_t* packedTotal);
// Writes the end record and puts the archive (or the volumes) in place. *volumes
// receives the number of volumes (1 for a plain archive). ARQ_EXIT_OK or the exit
// code after a message; nothing is left behind on failure.
int OutputFinish(ArchiveOutput* out, int32_t* volumes);
// Removes everything written so far.
void OutputAbandon(ArchiveOutput* out);
