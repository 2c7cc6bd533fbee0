// Every result code and event code of the archive engine, with its meaning.
//
// Results: 0 or a positive value (a slot number, a count, an offset) is success;
// the negative values below are failures, passed up with `if (rc < 0) return rc;`.
// Events are delivered to the handler registered in EVENT_SLOT_MAIN together with an
// EntryDescriptor and a signed 32-bit argument.
#pragma once

// ---- Result codes -----------------------------------------------------------
enum {
    ERR_IO = -1,              // a file or volume operation failed
    ERR_NO_MEMORY = -3,       // an allocation failed, after the retries with smaller buffers
    ERR_NOT_FOUND = -4,       // the archive does not exist, or a file to search cannot be opened
    ERR_BAD_ARCHIVE = -5,     // no readable first entry; a 4-byte signature search found nothing
    ERR_BAD_HEADER = -6,      // wrong entry signature, name over 260 bytes, unreadable 33-byte block
    ERR_BAD_HANDLE = -8,      // slot number outside 0..19 or slot in the wrong state
    ERR_VERSION = -9,         // the entry needs a newer engine than ENGINE_VERSION
    ERR_END_OF_ARCHIVE = -10, // the end-of-archive record was read
    ERR_BAD_ARGUMENT = -14,   // null or empty argument, flags without a mode, unknown handler slot
    ERR_NO_SLOT = -17,        // all 20 file slots are open or reserved
    ERR_CANCELLED = -30,      // a handler set STATUS_CANCEL, or a volume change was given up
    ERR_DISK_FULL = -33,      // the output drive has less free space than the entry needs
    ERR_BAD_DATA = -40,       // a Crushed stream is invalid, or its input ended before its compressed size;
                              // or the entry's bytes do not give the checksum its header carries
};

// ---- Event codes --------------------------------------------------------------
enum {
    EVT_PROGRESS = 3,         // bytes of the entry written so far
    EVT_ENTRY_BEGIN = 5,      // a Stored copy starts
    EVT_ENTRY_DONE = 7,       // the entry was written completely
    EVT_UNKNOWN_METHOD = 8,   // method neither Stored nor Crushed; entry skipped
    EVT_CANCELLED = 30,       // a volume change or a spanned copy was given up
    EVT_INSERT_VOLUME = 40,   // argument: 1-based number of the disk wanted
    EVT_COPY_PROGRESS = 43,   // bytes of a spanned piece copied so far
    EVT_TEMP_NAME = 45,       // scratch descriptor's name: temporary path, may be changed
    EVT_SEARCH_PROGRESS = 50, // after every chunk of a signature search
    EVT_ARCHIVE_TOTAL = 54,   // null descriptor; argument: total uncompressed size
    EVT_NO_MEMORY = -3,       // no copy buffer; entry skipped
    EVT_TEMP_FAILED = -15,    // the temporary file of a spanned entry cannot be created
    EVT_NO_EXTRACT = -29,     // the entry carries ENTRY_NO_EXTRACT; entry skipped
    EVT_DISK_FULL = -33,      // argument: index of the output drive (0 = A)
    EVT_ENTRY_FAILED = -41,   // the entry was not extracted; argument: the result code (ERR_BAD_DATA,
                              // ERR_IO for a short copy or write or an output file that cannot be
                              // opened, ERR_NO_MEMORY); raised once per entry, never with EVT_ENTRY_DONE
    EVT_UNSAFE_NAME = -42,    // the stored name would write outside the destination or to a device,
                              // or through a folder that is a link leading out of it; the entry is
                              // skipped and nothing is created
    EVT_OUTPUT_IS_ARCHIVE = -45, // the output path names the archive being read (or its volume);
                                 // the entry is skipped and the archive left as it is
};

// A handler writes this into a descriptor's status word to stop the engine.
enum { STATUS_CANCEL = 30 };
