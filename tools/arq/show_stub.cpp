// Checking the launcher program that arq show puts in front of a show, and its player.
#include "tools/arq/show_stub.h"

#include <cstdio>
#include <cstring>

#include "fileio/slots.h"

namespace {

// The old-style header's first two bytes, "MZ".
const uint8_t PROGRAM_MAGIC[] = {'M', 'Z'};

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// What the launcher's and the player's checks read from a program's headers.
struct ImageHeaders {
    uint32_t pe; // where "PE\0\0" stands
    uint32_t machine;
    uint32_t characteristics;
    uint32_t magic; // the optional header's
};

// Why the bytes, a file's start, hold no PE image's headers, or empty after filling
// *headers. Every field read is checked to lie within the bytes first.
std::string HeaderProblem(const uint8_t* bytes, uint32_t size, ImageHeaders* headers) {
    if (size < STUB_DOS_HEADER_SIZE || !StartsWithMzHeader(bytes, size))
        return "it does not start with an MZ header";
    const uint32_t pe = GetLE32(bytes + STUB_NEW_HEADER_POINTER);
    const uint64_t optional = static_cast<uint64_t>(pe) + STUB_OPTIONAL_OFFSET;
    if (optional + 2 > size) return "its PE header lies outside the file";
    if (std::memcmp(bytes + pe, "PE\0\0", 4) != 0) return "no PE signature where its MZ header points";
    headers->pe = pe;
    headers->machine = GetLE16(bytes + pe + STUB_MACHINE_OFFSET);
    headers->characteristics = GetLE16(bytes + pe + STUB_CHARACTERISTICS_OFFSET);
    headers->magic = GetLE16(bytes + optional);
    return std::string();
}

// Windows starts an image only when it is marked runnable, and never a library.
std::string KindProblem(const ImageHeaders& headers) {
    if (!(headers.characteristics & STUB_EXECUTABLE_IMAGE) || (headers.characteristics & STUB_LIBRARY))
        return "it is marked as a library or as no runnable image";
    return std::string();
}

// ProgramFileProblem's judgement of the file's first size bytes, which reach past its
// PE header's fixed fields whenever the file does.
std::string ProgramProblem(const uint8_t* bytes, uint32_t size) {
    ImageHeaders headers;
    std::string problem = HeaderProblem(bytes, size, &headers);
    if (problem.empty() && headers.machine != STUB_MACHINE_I386 &&
        headers.machine != PROGRAM_MACHINE_X86_64) {
        problem = "its machine is " + Hex(headers.machine) + ", not " + Hex(STUB_MACHINE_I386) +
                  " (i386) or " + Hex(PROGRAM_MACHINE_X86_64) + " (x86-64)";
    }
    if (problem.empty()) problem = KindProblem(headers);
    return problem.empty() ? problem : "not a Windows program: " + problem;
}

// The bytes of the open file up to the end of its PE header's fixed fields, or as many
// as it has. *far is set instead when its MZ header points further than
// PROGRAM_HEADER_REACH into a file that reaches that far.
std::vector<uint8_t> ReadHeaders(int slot, bool* far) {
    std::vector<uint8_t> bytes(STUB_DOS_HEADER_SIZE);
    int32_t got = FileRead(slot, bytes.data(), STUB_DOS_HEADER_SIZE);
    *far = false;
    if (got == STUB_DOS_HEADER_SIZE && StartsWithMzHeader(bytes.data(), STUB_DOS_HEADER_SIZE)) {
        const uint64_t end =
            static_cast<uint64_t>(GetLE32(bytes.data() + STUB_NEW_HEADER_POINTER)) + STUB_OPTIONAL_OFFSET + 2;
        if (end > PROGRAM_HEADER_REACH) {
            // A file past 2 GiB, whose end the slot cannot tell, reaches anywhere.
            const int32_t fileSize = FileSeek(slot, 0, FILE_SEEK_END);
            *far = fileSize < 0 || static_cast<uint64_t>(fileSize) >= end;
        } else if (end > static_cast<uint64_t>(got)) {
            bytes.resize(static_cast<size_t>(end));
            got += FileRead(slot, bytes.data() + got, static_cast<int32_t>(end) - got);
        }
    }
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

} // namespace

bool StartsWithMzHeader(const uint8_t* bytes, uint32_t size) {
    return size >= sizeof PROGRAM_MAGIC && std::memcmp(bytes, PROGRAM_MAGIC, sizeof PROGRAM_MAGIC) == 0;
}

// The one place that names the record signatures: the program must hold neither.
int64_t FindRecordSignature(const uint8_t* bytes, uint32_t size) {
    const uint8_t* const signatures[] = {EntrySignature(), ArchiveSignature()};
    for (uint32_t at = 0; at + SIGNATURE_SIZE <= size; at++) {
        // Both signatures share their first three bytes.
        if (bytes[at] != signatures[0][0]) continue;
        for (const uint8_t* signature : signatures) {
            if (std::memcmp(bytes + at, signature, SIGNATURE_SIZE) == 0) return at;
        }
    }
    return -1;
}

std::string StubProblem(const uint8_t* bytes, uint32_t size, StubReport* report) {
    ImageHeaders headers;
    std::string problem = HeaderProblem(bytes, size, &headers);
    if (problem.empty() && headers.machine != STUB_MACHINE_I386)
        problem = "its machine is " + Hex(headers.machine) + ", not " + Hex(STUB_MACHINE_I386) + " (i386)";
    if (problem.empty() && headers.magic != STUB_MAGIC_PE32) {
        problem = "its optional header magic is " + Hex(headers.magic) + ", not " + Hex(STUB_MAGIC_PE32) +
                  " (PE32)";
    }
    if (problem.empty()) problem = KindProblem(headers);
    if (!problem.empty()) return "not a 32-bit Windows program: " + problem;

    // A certificate table, when the headers have room for its directory entry.
    const uint32_t pe = headers.pe;
    const uint64_t optional = static_cast<uint64_t>(pe) + STUB_OPTIONAL_OFFSET;
    report->is_signed = 0;
    const uint32_t optionalSize = GetLE16(bytes + pe + STUB_OPTIONAL_SIZE_OFFSET);
    const uint64_t directory =
        optional + STUB_DIRECTORIES_OFFSET + STUB_CERTIFICATE_DIRECTORY * STUB_DIRECTORY_SIZE;
    const uint64_t directoriesEnd = directory + STUB_DIRECTORY_SIZE;
    if (directoriesEnd <= optional + optionalSize && directoriesEnd <= size &&
        GetLE32(bytes + optional + STUB_DIRECTORY_COUNT_OFFSET) > STUB_CERTIFICATE_DIRECTORY) {
        report->is_signed = GetLE32(bytes + directory + 4) != 0;
        report->directory_at = static_cast<uint32_t>(directory);
        report->certificate_at = GetLE32(bytes + directory);
    }
    return std::string();
}

std::string ProgramFileProblem(const std::string& path) {
    const int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) return "not a Windows program: it cannot be read";
    bool far = false;
    const std::vector<uint8_t> bytes = ReadHeaders(slot, &far);
    FileClose(slot);
    if (far) {
        return "not a Windows program: its PE header lies further than " +
               std::to_string(PROGRAM_HEADER_REACH) + " bytes into the file";
    }
    return ProgramProblem(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void StubRemoveSignature(std::vector<uint8_t>* bytes, const StubReport& report) {
    if (!report.is_signed) return;
    const uint32_t pe = GetLE32(bytes->data() + STUB_NEW_HEADER_POINTER);
    const size_t checksum = static_cast<size_t>(pe) + STUB_OPTIONAL_OFFSET + STUB_CHECKSUM_OFFSET;
    // StubProblem found the directory entry within the headers, which hold the checksum.
    std::memset(bytes->data() + report.directory_at, 0, STUB_DIRECTORY_SIZE);
    std::memset(bytes->data() + checksum, 0, 4);
    if (report.certificate_at < bytes->size()) bytes->resize(report.certificate_at);
}
