// Opening an archive for reading and walking its entries, for list and test, and the
// survey that extract makes before it starts.
//
// An archive is found the way the engine finds it: a name that does not exist and
// has no extension gets ".arq"; a ".arq" file must start with an entry header record;
// any other file (a self-extracting program) is searched for the first one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

struct ArchiveInput {
    std::string named; // the archive as the engine is to find it (on a mapped drive when
                       // read from folders), before ".arq" is added: messages name it
    std::string path;  // the file opened, as the engine is to open it
    int32_t slot;      // the engine's file slot; -1 when closed
    int32_t start;     // offset of the first entry header record
    // Where a program's signed bytes end (its certificate table), SIGNED_END_NONE for
    // an archive or an unsigned program: the launcher reads nothing from there on.
    int32_t signed_end;
};

// What the headers read ahead of a walk tell of an archive (SurveyArchive).
struct ArchiveSurvey {
    uint64_t total;      // the entries' unpacked sizes, for the bar: exact when complete
    int complete;        // 1 when the end record was reached without another disk
    int spanned;         // 1 when the set goes on on another disk
    std::string problem; // otherwise what is wrong, when anything is
};

// Opens the archive named on the command line for list, test and extract, ready to
// be walked from its first record on the first disk: decides where its disks come
// from (DisksPrepare, with the folders --volumes names), finds and opens it, checks
// that its first record can be read, asks for the first disk when a later one was
// named, and surveys it when survey is not null. ARQ_EXIT_OK, or the exit code after
// a message: not found, not an archive, damaged (a first record that starts right but
// cannot be read), cancelled.
int ArchiveOpen(const std::string& name, const std::vector<std::string>& folders, ArchiveInput* input,
                ArchiveSurvey* survey);
void ArchiveClose(ArchiveInput* input);

// A descriptor for a walk from the archive's first record.
void WalkBegin(const ArchiveInput* input, EntryDescriptor* desc);

// The outcome of one step of a walk.
enum WalkStep {
    WALK_ENTRY, // an entry header was read; the input stands on its data
    WALK_END,   // the end-of-archive record was read
    WALK_STOP,  // the walk cannot go on; the reason is in *problem, the exit code in *code
};

// Reads the next entry header record into desc (whose input_slot is the archive's).
WalkStep WalkNext(ArchiveInput* input, EntryDescriptor* desc, std::string* problem, int* code);

// Moves the input past the data of the entry just read: within the file when the
// entry is whole on this disk, else across disks through the engine (the event
// handler then answers EVT_INSERT_VOLUME). 1 when the input stands on the next
// record; 0 with the reason and exit code otherwise.
int WalkSkipData(ArchiveInput* input, EntryDescriptor* desc, std::string* problem, int* code);

// Bytes in the file held by a slot (the current disk's volume), or -1.
int32_t SlotFileSize(int slot);

// "Stored", "Crushed", or "method N".
std::string MethodName(int method);

// Reads the entry headers from the archive's start up to the end record, without
// following an entry onto another disk, and sums their unpacked sizes. The input is
// put back at the start.
void SurveyArchive(ArchiveInput* input, ArchiveSurvey* survey);
