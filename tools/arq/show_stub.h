// The launcher program at the front of a self-running show, and the player behind it,
// as arq show checks them.
//
// Format notes (the parts of a Windows program's headers that are read here):
//
//   offset 0            "MZ"                     the old-style header
//   offset 0x3C         4 bytes: P               where the new header starts
//   P                   "PE\0\0"
//   P + 4               2 bytes: machine         0x14C for a 32-bit x86 program, 0x8664
//                                                for a 64-bit one
//   P + 20              2 bytes: size of the optional header
//   P + 22              2 bytes: characteristics (0x0002 runnable image, 0x2000 library)
//   P + 24              the optional header: 2 bytes magic, 0x10B for PE32
//   P + 24 + 92         4 bytes: count of data directories
//   P + 24 + 96 + 8*i   data directory i: 4 bytes position, 4 bytes size
//
// Directory 4 is the certificate table of a code signature: its position is a file
// offset, and a program that carries a signature has a non-zero size there.
//
// The engine finds the archive by searching the whole file from its first byte for the
// record signatures, so the program must hold neither; and the search stops after
// SIGNATURE_SEARCH_LIMIT bytes, so the archive header record and the first entry's
// signature behind it must lie within them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

enum {
    STUB_DOS_HEADER_SIZE = 0x40,
    STUB_NEW_HEADER_POINTER = PE_HEADER_OFFSET_AT,
    STUB_MACHINE_OFFSET = 4,
    STUB_OPTIONAL_SIZE_OFFSET = 20,
    STUB_CHARACTERISTICS_OFFSET = 22,
    STUB_OPTIONAL_OFFSET = 24,
    STUB_MACHINE_I386 = 0x14C,
    STUB_MAGIC_PE32 = PE32_MAGIC,
    STUB_EXECUTABLE_IMAGE = 0x0002,
    STUB_LIBRARY = 0x2000,
    // Within the PE32 optional header.
    STUB_CHECKSUM_OFFSET = 64,
    STUB_DIRECTORY_COUNT_OFFSET = PE32_DIRECTORIES_AT - 4,
    STUB_DIRECTORIES_OFFSET = PE32_DIRECTORIES_AT,
    STUB_DIRECTORY_SIZE = PE_DIRECTORY_SIZE,
    STUB_CERTIFICATE_DIRECTORY = PE_CERTIFICATE_DIRECTORY,
    // A player may also be a 64-bit program, for shows made for 64-bit Windows.
    PROGRAM_MACHINE_X86_64 = 0x8664,
};

// How far into a file its PE header is looked for. Real programs have it within the
// first few hundred bytes; the bound keeps a large file from being read far for it.
const uint32_t PROGRAM_HEADER_REACH = 1u << 20;
// Windows runs a program only by a name with this ending, in any letter case.
const char PROGRAM_NAME_ENDING[] = ".exe";

// The last byte of the file at which the launcher's search still sees the whole of
// both signatures: the archive header record (12 bytes, no destination or comment)
// starts behind the program, and the first entry's 4-byte signature behind it.
const uint32_t STUB_SIZE_MAX = SIGNATURE_SEARCH_LIMIT - ARCHIVE_HEADER_MIN_SIZE - SIGNATURE_SIZE;
static_assert(STUB_SIZE_MAX == 3999984, "4,000,000 bytes less the header record and a signature");

struct StubReport {
    int is_signed;           // the program carries a code signature (a certificate table)
    uint32_t directory_at;   // where its certificate directory entry stands, when signed
    uint32_t certificate_at; // where the table starts (a file offset), when signed
};

// Whether the bytes, a file's first ones, start as every Windows program's file does:
// with the "MZ" of the old-style header. The launcher's own file does, so a file that
// does is read as a self-extracting program. Fewer than two bytes start no program.
bool StartsWithMzHeader(const uint8_t* bytes, uint32_t size);

// Why these bytes cannot stand in front of a show ("not a 32-bit Windows program:
// ..."), or empty when they can. Fills *report for a program that can.
std::string StubProblem(const uint8_t* bytes, uint32_t size, StubReport* report);

// Why the file is no Windows program that a PC starts ("not a Windows program: ..."):
// it must be an i386 or x86-64 image marked runnable, not a library. Empty when it is
// one. Only the headers are read, and none beyond PROGRAM_HEADER_REACH; a file that
// cannot be read is none.
std::string ProgramFileProblem(const std::string& path);

// Takes a signed program's signature off, as signing tools do: the certificate table
// goes (a launcher reads its archive only from the bytes in front of it), and so do
// its directory entry and the header checksum, which covered the signed file.
void StubRemoveSignature(std::vector<uint8_t>* bytes, const StubReport& report);

// Offset of the first record signature (either kind) in the bytes, or -1.
int64_t FindRecordSignature(const uint8_t* bytes, uint32_t size);
