// Where the disks of a spanned archive come from.
//
// The engine reads every volume of a set under one path on a removable drive and,
// when it needs the next one, raises EVT_INSERT_VOLUME with the disk's number. arq
// answers in one of two ways:
//   - prompting: "Insert disk 2 ... and press Enter (q to give up)", read from
//     standard input, for a set read from a real removable drive;
//   - folders: the disks' folders were named with --volumes (or found beside the
//     archive as ARCHIVE.1, ARCHIVE.2, ...), and arq maps the archive's drive letter
//     (A: unless the name has another) to the folder of the disk asked for.
// Mapping a letter is a service of the platform's stand-in; where the system cannot
// do it, the folders way is refused with a clear message.
//
// Process-wide state (the one set being read), not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

// Decides how the disks come for the archive named on the command line and gives the
// path the engine is to open. With folders, or when the archive does not exist but
// NAME.1 does, the drive is mapped to the first folder and the path is "A:\NAME".
// ARQ_EXIT_OK, or the exit code after a message.
int DisksPrepare(const std::string& name, const std::vector<std::string>& folders, std::string* openPath);

// 1 when the engine can be given another disk for the archive at path: folders were
// named, or the path lies on a removable drive.
int DisksCanChange(const std::string& path);

// The answer to EVT_INSERT_VOLUME for disk (counted from 1). Writes STATUS_CANCEL
// into desc->status to give up.
void DisksInsert(EntryDescriptor* desc, int32_t disk);

// The archive opened at path starts on disk `volume` + 1, not on the first disk (a
// set is read from its first disk on, so that no entry is begun in the middle). Asks
// for disk 1 until its first record says volume 0, or fails: ARQ_EXIT_OK, or the exit
// code after a message.
int DisksStartAtFirst(const std::string& path, int volume);

// After EVT_CANCELLED: notes that the disk change was given up (the engine stops
// asking after ten tries).
void DisksGaveUp();

// The archive's name for messages: as named on the command line, not the mapped
// drive path the engine reads.
std::string DisksShownName(const std::string& openPath);

// 1 when path names the volume file of one of the set's disks (read from folders):
// extracting there would replace a disk still to be read.
int DisksIsVolume(const std::string& path);

// ARQ_EXIT_OK while every disk came; ARQ_EXIT_CANCELLED when the person gave up,
// ARQ_EXIT_NOT_FOUND when a named folder did not hold the disk wanted.
int DisksOutcome();
