// The exit codes of arq, each with the one kind of trouble it stands for.
//
// Scripts tell outcomes apart by these numbers, so they never change meaning. When a
// run meets several kinds of trouble (a refused name, then a damaged entry), it ends
// with the gravest: 0 to 10 are ordered from the mildest to the gravest, and the codes
// added later are placed among them by ExitRank.
#pragma once

enum ArqExit {
    ARQ_EXIT_OK = 0,
    // An entry was skipped: unknown method, or marked not to be extracted; for arq
    // create, some files were not archived (unreadable, a link to nothing or to a
    // folder it lies in, not a regular file), each named in a warning.
    ARQ_EXIT_SKIPPED = 1,
    ARQ_EXIT_USAGE = 2,         // bad command line, or an option this system cannot carry out
    ARQ_EXIT_REFUSED = 3,       // an entry's name would write outside the destination or to a device
    ARQ_EXIT_NOT_FOUND = 4,     // a file, folder or disk that was named is not there
    ARQ_EXIT_NOT_ARCHIVE = 5,   // the file holds no archive
    ARQ_EXIT_NO_ROOM = 6,       // the drive has no room for what is to be written
    ARQ_EXIT_IO = 7,            // a file could not be read, created or written
    ARQ_EXIT_NO_MEMORY = 8,     // not enough memory
    ARQ_EXIT_DAMAGED = 9,       // the archive or an entry is damaged or cut short
    ARQ_EXIT_CANCELLED = 10,    // stopped by Ctrl+C, or a disk prompt was given up
    ARQ_EXIT_KEPT = 11,         // existing files were kept: no terminal to ask and no --overwrite given
    ARQ_EXIT_NOT_REPLACED = 12, // the archive (for show: the program) to write exists and is no
                                // archive (no program) or no regular file: it is left as it is
};

// How grave a code is: its place in this list, mildest first.
inline int ExitRank(int code) {
    static const int ORDER[] = {
        ARQ_EXIT_OK,        ARQ_EXIT_SKIPPED,     ARQ_EXIT_KEPT,        ARQ_EXIT_USAGE, ARQ_EXIT_REFUSED,
        ARQ_EXIT_NOT_FOUND, ARQ_EXIT_NOT_ARCHIVE, ARQ_EXIT_NO_ROOM,     ARQ_EXIT_IO,    ARQ_EXIT_NO_MEMORY,
        ARQ_EXIT_DAMAGED,   ARQ_EXIT_CANCELLED,   ARQ_EXIT_NOT_REPLACED};
    for (int rank = 0; rank < static_cast<int>(sizeof ORDER / sizeof ORDER[0]); ++rank) {
        if (ORDER[rank] == code) return rank;
    }
    return 0;
}

// The code a run ends with after one more kind of trouble.
inline int ExitCombine(int sofar, int code) { return ExitRank(code) > ExitRank(sofar) ? code : sofar; }
