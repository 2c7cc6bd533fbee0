// Small questions about paths, asked through the platform layer.
//
// Paths are taken as the person wrote them: '/' and '\' both separate folders, and
// "X:" at the start names a drive.
#pragma once

#include <cstdint>
#include <string>

// The engine reads and seeks with signed 32-bit positions: neither a file to be stored
// nor an archive file may reach 2 GiB.
const uint64_t ARQ_FILE_MAX = 0x7FFFFFFF;

// Bits of the stat-layout mode that PlatStat reports.
const uint32_t ARQ_MODE_REGULAR = 0x8000;
const uint32_t ARQ_MODE_OWNER_EXECUTE = 0100;

bool PathExists(const std::string& path);
bool PathIsFolder(const std::string& path);
// The folder part of a path with its separator ("a/b/" of "a/b/c"); empty for a bare name.
std::string FolderPart(const std::string& path);
// What follows the folder part.
std::string NamePart(const std::string& path);
// 1 when the drive holding the folder has so little room left that a write failed for
// want of it; 0 when there is room, or the drive does not answer.
int DriveLooksFull(const std::string& folder);
