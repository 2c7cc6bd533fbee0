// Folder times for arq: the archive holds no folders, only files, so the times of the
// folders in the stored names travel in a folder-times field (EXTRA_ID_FOLDER_TIMES)
// on the first entry of each folder. arq create writes it; arq extract collects it
// during the walk and, once every file is written, gives each folder it wrote into
// the time the archive carries for it (writing a file changes its folder's time).
//
// Process-wide state (the folders of the one extraction), not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The field's bytes for a file's folder times, outermost first; empty for none. Times
// the format cannot hold are stored as the nearest it can.
std::vector<uint8_t> FolderTimesField(const std::vector<int64_t>& times);

// Starts collecting from the entry headers the engine reads (through its extra-field
// handler).
void FolderTimesBegin();
// An entry was written whole at outputPath, which ends with its stored name
// (normalised, '\\' between folders): the folders of that name get their times when
// the walk is over.
void FolderTimesWritten(const char* outputPath, const char* storedName);
// Sets the times and stops collecting. The number of folders whose time could not be
// set.
int FolderTimesSettle();
