// The Crushed codec on the corpus that bench/crushed_corpus.sh makes from named files:
// our encoder at both levels (speed and ratio), our decoder reading the stream from a
// file slot as extraction does, and, side by side on the same streams wrapped as
// -lh4- archives, `lhasa t`, `lhasa pq` and `7z t` (whole processes, timed by the
// wall clock; the *_start rows time the same commands on a one-byte archive, the
// cost of starting the program).
//
//   VARDOK_CODEC_CORPUS=DIR crushed_bench      (default: a fresh corpus in a scratch folder)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "crushed/bitinput.h"
#include "crushed/crushed.h"
#include "crushed/decoder.h"
#include "engine/checksum.h"
#include "engine/descriptor.h"
#include "fileio/slots.h"
#include "support/scratch.h"
#include "tests/crushed/lha_oracle.h"

namespace {

struct CorpusFile {
    std::string name;
    Bytes data;
    Bytes stream[3];        // by level; [0] unused
    std::string archive[3]; // the stream as a one-member -lh4- archive
    std::string streamPath[3];
    uint32_t crc = 0; // CRC-32 of data
};

ScratchDir& Scratch() {
    static ScratchDir scratch;
    return scratch;
}

std::vector<CorpusFile>& Files() {
    static std::vector<CorpusFile> files;
    return files;
}

Bytes Encode(const Bytes& data, int level) {
    CrushedBuffer out = {};
    if (CrushedEncodeToBuffer(data.data(), static_cast<uint32_t>(data.size()), level, &out) != 0)
        return Bytes();
    Bytes stream(out.data, out.data + out.size);
    CrushedBufferFree(&out);
    return stream;
}

void BM_Encode(benchmark::State& state, const CorpusFile* file, int level) {
    uint32_t compressed = 0;
    for (auto _ : state) {
        CrushedSink sink = {nullptr, nullptr, 0};
        if (CrushedEncode(file->data.data(), static_cast<uint32_t>(file->data.size()), level, &sink) != 0) {
            state.SkipWithError("encoder failed");
            return;
        }
        compressed = sink.written;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file->data.size()));
    state.counters["size"] = static_cast<double>(compressed);
    state.counters["ratio_pct"] = 100.0 * compressed / static_cast<double>(file->data.size());
}

// Decodes the stream from a file slot into the 4096-byte window, as extraction does
// (without writing the output anywhere); with checksum, every chunk also goes through
// the CRC-32, as it does for an entry that carries a checksum field. Returns false
// when the bytes (or the CRC-32) differ.
bool DecodeOnce(int slot, const CorpusFile* file, int level, bool check, bool checksum = false) {
    FileSeek(slot, 0, FILE_SEEK_START);
    InputSlot = slot;
    CompressedLeft = static_cast<uint32_t>(file->stream[level].size());
    BytesWritten = 0;
    if (DecoderReset() != 0) return false;
    EntryDescriptor descriptor = {};
    uint8_t window[CRUSHED_WINDOW_SIZE];
    uint32_t crc = CHECKSUM_EMPTY;
    size_t size = file->data.size();
    for (size_t done = 0; done < size;) {
        uint32_t count = static_cast<uint32_t>(std::min<size_t>(size - done, CRUSHED_WINDOW_SIZE));
        if (DecodeChunk(&descriptor, count, window) != 0) return false;
        if (checksum) crc = ChecksumUpdate(crc, window, count);
        if (check &&
            !std::equal(window, window + count, file->data.begin() + static_cast<std::ptrdiff_t>(done))) {
            return false;
        }
        done += count;
        BytesWritten += count;
    }
    return !checksum || crc == file->crc;
}

// checksum: the decoder followed by the CRC-32 of every chunk, as extraction runs it
// for an entry with a checksum field.
void BM_Decode(benchmark::State& state, const CorpusFile* file, int level, bool checksum) {
    int slot = FileOpen(file->streamPath[level].c_str(), FILE_READ);
    if (slot < 0 || !DecodeOnce(slot, file, level, true, checksum)) {
        state.SkipWithError("our decoder did not give the input back");
        if (slot >= 0) FileClose(slot);
        return;
    }
    for (auto _ : state) {
        if (!DecodeOnce(slot, file, level, false, checksum)) state.SkipWithError("decoder failed");
    }
    FileClose(slot);
    DecoderRelease();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file->data.size()));
}

// A whole external process per iteration, timed by the wall clock.
void BM_Command(benchmark::State& state, std::string command, size_t bytes) {
    std::string line = command + " > /dev/null 2>&1";
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int rc = std::system(line.c_str());
        auto end = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError(("failed: " + command).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

bool Runs(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

std::string CorpusFolder() {
    if (const char* given = std::getenv("VARDOK_CODEC_CORPUS")) return given;
    std::string folder = Scratch().file("corpus");
    std::string line = std::string("bash \"") + CRUSHED_CORPUS_SCRIPT + "\" \"" + folder + "\" > /dev/null";
    if (std::system(line.c_str()) != 0) return "";
    return folder;
}

void RegisterAll() {
    std::string folder = CorpusFolder();
    std::vector<std::filesystem::path> paths;
    if (!folder.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    auto& files = Files();
    files.reserve(paths.size() + 1);
    for (const auto& path : paths) {
        CorpusFile file;
        file.name = path.filename().string();
        file.data = ReadFileBytes(path.string());
        file.crc = ChecksumUpdate(CHECKSUM_EMPTY, file.data.data(), static_cast<uint32_t>(file.data.size()));
        if (!file.data.empty()) files.push_back(file);
    }
    // A one-byte member: what starting each outside program costs.
    files.push_back(CorpusFile{"start", Bytes{'x'}, {}, {}, {}, 0});

    bool lhasa = Runs("lhasa --version") || Runs("command -v lhasa");
    bool sevenZip = Runs("command -v 7z");
    for (CorpusFile& file : files) {
        for (int level : {CRUSHED_LEVEL_FAST, CRUSHED_LEVEL_BEST}) {
            file.stream[level] = Encode(file.data, level);
            std::string base = Scratch().file(file.name + "." + std::to_string(level));
            file.streamPath[level] = base + ".crushed";
            WriteFileBytes(file.streamPath[level], file.stream[level]);
            file.archive[level] = base + ".lzh";
            WriteFileBytes(file.archive[level],
                           LhaArchive("DATA.BIN", "-lh4-", file.stream[level], file.data));
        }
    }
    for (const CorpusFile& file : files) {
        const CorpusFile* f = &file;
        if (file.name != "start") {
            benchmark::RegisterBenchmark(("encode_fast/" + file.name).c_str(), BM_Encode, f,
                                         CRUSHED_LEVEL_FAST);
            benchmark::RegisterBenchmark(("encode_best/" + file.name).c_str(), BM_Encode, f,
                                         CRUSHED_LEVEL_BEST);
            benchmark::RegisterBenchmark(("decode_ours/" + file.name).c_str(), BM_Decode, f,
                                         CRUSHED_LEVEL_BEST, false);
            benchmark::RegisterBenchmark(("decode_ours_crc32/" + file.name).c_str(), BM_Decode, f,
                                         CRUSHED_LEVEL_BEST, true);
        }
        const std::string& archive = file.archive[CRUSHED_LEVEL_BEST];
        size_t bytes = file.data.size();
        if (lhasa) {
            benchmark::RegisterBenchmark(("lhasa_t/" + file.name).c_str(), BM_Command,
                                         "lhasa t \"" + archive + "\"", bytes)
                ->UseManualTime();
            benchmark::RegisterBenchmark(("lhasa_pq/" + file.name).c_str(), BM_Command,
                                         "lhasa pq \"" + archive + "\"", bytes)
                ->UseManualTime();
        }
        if (sevenZip) {
            benchmark::RegisterBenchmark(("7z_t/" + file.name).c_str(), BM_Command,
                                         "7z t \"" + archive + "\"", bytes)
                ->UseManualTime();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
