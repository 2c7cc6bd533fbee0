// Where a program's signed bytes end.
//
// A code signature covers the program's file up to its certificate table, not the
// table itself: bytes hidden inside a stretched table leave the signature good. A
// self-extracting program therefore takes its archive only from the bytes before the
// table.
#pragma once

#include <cstdint>

// Format notes: the PE header's offset is the 32-bit value at 0x3C; there stand
// "PE\0\0", the 20-byte file header and the optional header, whose first two bytes
// tell PE32 (0x10B) from PE32+ (0x20B). Its data directories (8 bytes each: where,
// how large) follow 96 or 112 bytes into it, counted by the 32-bit value just before
// them; directory 4 is the certificate table, and its "where" is a file offset.
enum {
    PE_HEADER_OFFSET_AT = 0x3C,
    PE_FILE_HEADER_SIZE = 20,
    PE_OPTIONAL_SIZE_AT = 16, // in the file header: the optional header's size, 16 bits
    PE32_MAGIC = 0x10B,
    PE32_PLUS_MAGIC = 0x20B,
    PE32_DIRECTORIES_AT = 96, // in the optional header
    PE32_PLUS_DIRECTORIES_AT = 112,
    PE_DIRECTORY_SIZE = 8,
    PE_CERTIFICATE_DIRECTORY = 4,
    SIGNED_END_NONE = -1, // no certificate table: every byte counts
};

// The offset of the certificate table of the program in the slot, or SIGNED_END_NONE
// for a file that is no PE image or carries no table. A table said to begin past the
// end of the file bounds nothing. The slot's position is the same afterwards.
int32_t ProgramSignedEnd(int slot);

// Whether count bytes from position lie before end (a ProgramSignedEnd result).
bool WithinSignedBytes(int32_t end, int32_t position, uint32_t count);
