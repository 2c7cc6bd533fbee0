// Checking the launcher program that arq show puts in front of a show.
#include "tools/arq/show_stub.h"

#include <cstdio>
#include <cstring>

namespace {

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

} // namespace

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
    const std::string notProgram = "not a 32-bit Windows program: ";
    if (size < STUB_DOS_HEADER_SIZE || bytes[0] != 'M' || bytes[1] != 'Z')
        return notProgram + "it does not start with an MZ header";
    // Every field read below is checked to lie within the file first.
    const uint32_t pe = GetLE32(bytes + STUB_NEW_HEADER_POINTER);
    const uint64_t optional = static_cast<uint64_t>(pe) + STUB_OPTIONAL_OFFSET;
    if (optional + 2 > size) return notProgram + "its PE header lies outside the file";
    if (std::memcmp(bytes + pe, "PE\0\0", 4) != 0)
        return notProgram + "no PE signature where its MZ header points";
    const uint32_t machine = GetLE16(bytes + pe + STUB_MACHINE_OFFSET);
    if (machine != STUB_MACHINE_I386)
        return notProgram + "its machine is " + Hex(machine) + ", not " + Hex(STUB_MACHINE_I386) + " (i386)";
    const uint32_t magic = GetLE16(bytes + optional);
    if (magic != STUB_MAGIC_PE32)
        return notProgram + "its optional header magic is " + Hex(magic) + ", not " + Hex(STUB_MAGIC_PE32) +
               " (PE32)";
    const uint32_t characteristics = GetLE16(bytes + pe + STUB_CHARACTERISTICS_OFFSET);
    if (!(characteristics & STUB_EXECUTABLE_IMAGE) || (characteristics & STUB_LIBRARY))
        return notProgram + "it is marked as a library or as no runnable image";

    // A certificate table, when the headers have room for its directory entry.
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

void StubRemoveSignature(std::vector<uint8_t>* bytes, const StubReport& report) {
    if (!report.is_signed) return;
    const uint32_t pe = GetLE32(bytes->data() + STUB_NEW_HEADER_POINTER);
    const size_t checksum = static_cast<size_t>(pe) + STUB_OPTIONAL_OFFSET + STUB_CHECKSUM_OFFSET;
    // StubProblem found the directory entry within the headers, which hold the checksum.
    std::memset(bytes->data() + report.directory_at, 0, STUB_DIRECTORY_SIZE);
    std::memset(bytes->data() + checksum, 0, 4);
    if (report.certificate_at < bytes->size()) bytes->resize(report.certificate_at);
}
