// Outside checks of our streams: LHA decoders read them as -lh4- data.
//
// A stream is wrapped in a minimal level-0 LHA archive (one member, its CRC-16 over
// the original bytes), written to a scratch folder, and handed to `lhasa` and, where
// installed, to 7-Zip. A program that cannot be run at all (not installed, or a build
// whose command processor cannot start it) counts as missing, and the tests skip.
#pragma once

#include <cstdint>
#include <string>

#include "support/scratch.h"

// CRC-16/ARC (polynomial 0x8005 reflected, start 0), the CRC of LHA headers.
uint16_t LhaCrc16(const Bytes& data);

// A level-0 archive of one member: header, data, end mark. method is five characters
// such as "-lh4-" or "-lh0-".
Bytes LhaArchive(const std::string& name, const char* method, const Bytes& data, const Bytes& original);

class LhaOracle {
public:
    explicit LhaOracle(const ScratchDir& scratch) : m_scratch(scratch) {}

    // Whether the program runs here: it must pass a stored archive.
    bool LhasaRuns();
    bool SevenZipRuns();

    // lhasa's printed member (`lhasa pq`); false when lhasa reported a failure.
    bool LhasaPrint(const Bytes& archive, Bytes* printed);
    // The archive's CRC test passes (`lhasa t`, `7z t`).
    bool LhasaTest(const Bytes& archive);
    bool SevenZipTest(const Bytes& archive);

private:
    std::string WriteArchive(const Bytes& archive);
    int Run(const std::string& command);
    bool Probe(int* known, bool (LhaOracle::*test)(const Bytes&));

    const ScratchDir& m_scratch;
    int m_files = 0;
    int m_lhasa = -1; // -1 not probed yet, 0 missing, 1 runs
    int m_sevenZip = -1;
};
