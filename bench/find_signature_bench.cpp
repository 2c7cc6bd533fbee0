// FindSignature over a 4,000,000-byte file on disk, chunked reads included: the cost
// of finding the archive in a self-extracting program whose archive starts at the
// end of the search range.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "engine/archive.h"
#include "engine/search.h"
#include "fileio/slots.h"
#include "support/scratch.h"

namespace {

enum { kFileSize = SIGNATURE_SEARCH_LIMIT };

enum Filler { kRandom, kZeros, kFirstByteOnly };

// The file, with the entry signature in its last four bytes.
Bytes MakeFile(Filler filler) {
    const uint8_t* signature = EntrySignature();
    Bytes bytes(kFileSize, 0);
    if (filler == kRandom) {
        std::mt19937 random(12345);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        // Random data may hold the signature by chance; make sure it does not.
        for (size_t i = 0; i + 1 < bytes.size(); i++) {
            if (bytes[i] == signature[0] && bytes[i + 1] == signature[1]) bytes[i + 1] = 0;
        }
    } else if (filler == kFirstByteOnly) {
        // Every byte starts a match that fails at once: the slowest case for the scan.
        std::memset(bytes.data(), signature[0], bytes.size());
    }
    std::memcpy(bytes.data() + kFileSize - SIGNATURE_SIZE, signature, SIGNATURE_SIZE);
    return bytes;
}

void BM_FindSignature(benchmark::State& state) {
    ScratchDir scratch;
    const std::string path = scratch.file("program.exe");
    WriteFileBytes(path, MakeFile(static_cast<Filler>(state.range(0))));
    const int slot = FileOpen(path.c_str(), FILE_READ);
    if (slot < 0) {
        state.SkipWithError("cannot open the file");
        return;
    }
    for (auto _ : state) {
        const int32_t found = FindSignature(slot, EntrySignature(), SIGNATURE_SIZE, SIGNATURE_SEARCH_LIMIT);
        if (found != kFileSize - SIGNATURE_SIZE) {
            state.SkipWithError("signature not found where it was put");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
    FileClose(slot);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileSize);
}

BENCHMARK(BM_FindSignature)->Arg(kRandom)->Arg(kZeros)->Arg(kFirstByteOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
