// Small questions about paths, asked through the platform layer.
//
// Paths are taken as the person wrote them: '/' and '\' both separate folders, and
// "X:" at the start names a drive.
#pragma once

#include <cstdint>
#include <string>

#include "tools/arq/options.h"

// The engine reads and seeks with signed 32-bit positions: neither a file to be stored
// nor an archive file may reach 2 GiB.
const uint64_t ARQ_FILE_MAX = 0x7FFFFFFF;

// The mode PlatAccess asks for to read a file ...
const int ARQ_ACCESS_READ = 4;
// ... and to write one, or to create files in a folder.
const int ARQ_ACCESS_WRITE = 2;

bool PathExists(const std::string& path);
bool PathIsFolder(const std::string& path);
// Where the text behind the last '/', '\\' (or, with drive, ':') among path's first end
// bytes starts; 0 when there is none. Double-byte characters are stepped over whole.
size_t AfterLastSeparator(const std::string& path, size_t end, bool drive);
// The folder part of a path with its separator ("a/b/" of "a/b/c"); empty for a bare name.
std::string FolderPart(const std::string& path);
// What follows the folder part.
std::string NamePart(const std::string& path);
// 1 when the drive holding the folder has so little room left that a write failed for
// want of it; 0 when there is room, or the drive does not answer.
int DriveLooksFull(const std::string& folder);

// ---- Code pages of names -----------------------------------------------------------
//
// Stored names are in an ANSI code page, which the archive does not record: the
// reader names the one the writer used, with --codepage on both sides (1252 when
// neither says otherwise). Windows converts names itself, so there the code page is
// the system's own and --codepage may only name that one.

// The code page the --codepage option (optionId) names, when given, else the ANSI
// code page in force. 0 after a usage message when the value is none of 1252, 932,
// 936, 949 and 950, or one this system cannot switch to. Leaves the code page in force
// as it was.
unsigned ChooseCodePage(const std::string& command, const CommandLine& line, int optionId);
// For list, test and extract: puts the code page the option chooses in force, so that
// the engine reads double-byte names in it, and has names converted between it and the
// host's, so that extracted files carry the host's names; converts the names on the
// command line (arguments, lists and option values) to it. ARQ_EXIT_OK or the exit
// code after a message.
int NamesForReading(const std::string& command, int optionId, CommandLine* line);
