#include "lha_oracle.h"

#include <cstdlib>

uint16_t LhaCrc16(const Bytes& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

static void PutLittle(Bytes& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Level-0 header: size of the rest (from the method on, without the two leading
// bytes), checksum of those bytes, method, packed and original sizes, DOS time and
// date, attribute, level 0, name length and name, CRC-16 of the original.
Bytes LhaArchive(const std::string& name, const char* method, const Bytes& data, const Bytes& original) {
    Bytes rest(method, method + 5);
    PutLittle(rest, static_cast<uint32_t>(data.size()), 4);
    PutLittle(rest, static_cast<uint32_t>(original.size()), 4);
    PutLittle(rest, 0x58210000, 4); // 2024-01-01 00:00:00
    rest.push_back(0x20);           // archive attribute
    rest.push_back(0);              // header level
    rest.push_back(static_cast<uint8_t>(name.size()));
    rest.insert(rest.end(), name.begin(), name.end());
    PutLittle(rest, LhaCrc16(original), 2);

    uint8_t sum = 0;
    for (uint8_t byte : rest)
        sum = static_cast<uint8_t>(sum + byte);
    Bytes archive;
    archive.reserve(2 + rest.size() + data.size() + 1);
    archive.push_back(static_cast<uint8_t>(rest.size()));
    archive.push_back(sum);
    archive.insert(archive.end(), rest.begin(), rest.end());
    archive.insert(archive.end(), data.begin(), data.end());
    archive.push_back(0); // end of archive
    return archive;
}

std::string LhaOracle::WriteArchive(const Bytes& archive) {
    std::string path = m_scratch.file("oracle" + std::to_string(m_files++) + ".lzh");
    WriteFileBytes(path, archive);
    return path;
}

// Through the C runtime's command processor, so that a missing program is only a
// failed command. Output goes to a file in the scratch folder, not to the test log.
int LhaOracle::Run(const std::string& command) {
    std::string log = m_scratch.file("oracle.log");
    std::string line = command + " > \"" + log + "\" 2>&1";
    return std::system(line.c_str());
}

bool LhaOracle::LhasaPrint(const Bytes& archive, Bytes* printed) {
    std::string path = WriteArchive(archive);
    std::string out = m_scratch.file("printed.bin");
    std::string line = "lhasa pq \"" + path + "\" > \"" + out + "\"";
    if (std::system(line.c_str()) != 0) return false;
    *printed = ReadFileBytes(out);
    return true;
}

bool LhaOracle::LhasaTest(const Bytes& archive) {
    return Run("lhasa t \"" + WriteArchive(archive) + "\"") == 0;
}

bool LhaOracle::SevenZipTest(const Bytes& archive) {
    return Run("7z t \"" + WriteArchive(archive) + "\"") == 0;
}

bool LhaOracle::Probe(int* known, bool (LhaOracle::*test)(const Bytes&)) {
    if (*known < 0) {
        Bytes hello = {'h', 'e', 'l', 'l', 'o', '\n'};
        *known = (this->*test)(LhaArchive("PROBE.TXT", "-lh0-", hello, hello)) ? 1 : 0;
    }
    return *known == 1;
}

bool LhaOracle::LhasaRuns() { return Probe(&m_lhasa, &LhaOracle::LhasaTest); }
bool LhaOracle::SevenZipRuns() { return Probe(&m_sevenZip, &LhaOracle::SevenZipTest); }
