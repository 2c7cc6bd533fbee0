// The Crushed codec on the corpus that bench/crushed_corpus.sh makes from named files:
// our encoder at both levels (speed and ratio), our decoder reading the stream from a
// file slot as extraction does, and, side by side on the same streams wrapped as
// -lh4- archives, `lhasa t`, `lhasa pq` and `7z t` (whole processes, timed by the
// wall clock; the *_start rows time the same commands on a one-byte archive, the
// cost of starting the program).
//
// Then, unless VARDOK_GZIP_RUNS is 0, a table of whole-process CPU times (user +
// system, medians of VARDOK_GZIP_RUNS runs, default 9, the commands taken in turn):
// `arq test` of an archive made by `arq create --fast` of each corpus file (every
// entry's CRC-32 checked), against `libdeflate-gunzip -c` and `gzip -dc` of a gzip
// file of the same bytes made by zlib at level 6 with a 4 KiB window (windowBits 12,
// our window's size; gzip checks its CRC-32 too), and the ratios; last, the same for
// the whole corpus ten times over as one file, where starting a program counts for little.
//
//   VARDOK_CODEC_CORPUS=DIR crushed_bench      (default: a fresh corpus in a scratch folder)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// ---- Whole-process CPU time against gzip's decoders --------------------------------

// The CPU time (user + system, seconds) of one run of a program with its output thrown
// away, or a negative number when it cannot be run or fails. The benchmark is built
// for Linux only, so it waits for its child itself: a shell in between would be timed too.
double ChildCpuSeconds(const std::vector<std::string>& command) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        std::FILE* null = std::fopen("/dev/null", "w");
        if (null != nullptr) {
            dup2(fileno(null), 1);
            dup2(fileno(null), 2);
        }
        std::vector<char*> args;
        for (const std::string& a : command)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// arq beside this program (both land in the build's bin folder).
std::string ArqProgram() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("arq") : (self.parent_path() / "arq").string();
}

// The medians of one sample's three commands (ms), or false when it cannot be run.
bool CompareSample(const std::string& name, const Bytes& bytes, int runs, bool libdeflate,
                   double medians[3]) {
    const std::string arq = ArqProgram();
    const std::string folder = Scratch().file("gzip-" + name);
    std::filesystem::create_directories(folder);
    const std::string data = folder + "/" + name;
    WriteFileBytes(data, bytes);
    const std::string gz = data + ".gz";
    const std::string archive = folder + "/fast.arq";
    const std::string make =
        "python3 -c \"import sys, zlib; c = zlib.compressobj(6, zlib.DEFLATED, 16 + 12, 9); "
        "sys.stdout.buffer.write(c.compress(open(sys.argv[1], 'rb').read()) + c.flush())\" \"" + data +
        "\" > \"" + gz + "\"";
    if (std::system(make.c_str()) != 0 ||
        ChildCpuSeconds({arq, "create", "--fast", "-q", archive, "-C", folder, name}) < 0) {
        std::printf("%-16s cannot be prepared\n", name.c_str());
        return false;
    }
    std::vector<double> times[3];
    for (int run = 0; run < runs; run++) {
        const double ours = ChildCpuSeconds({arq, "test", "-q", archive});
        const double libd = libdeflate ? ChildCpuSeconds({"libdeflate-gunzip", "-c", gz}) : 0;
        const double gzip = ChildCpuSeconds({"gzip", "-dc", gz});
        if (ours < 0 || libd < 0 || gzip < 0) {
            std::printf("%-16s a command failed\n", name.c_str());
            return false;
        }
        times[0].push_back(ours);
        times[1].push_back(libd);
        times[2].push_back(gzip);
    }
    for (int i = 0; i < 3; i++)
        medians[i] = Median(times[i]) * 1e3;
    return true;
}

void PrintComparison(const char* name, const double ms[3], size_t bytes) {
    std::printf("%-16s %10.2f %10.2f %10.2f %10.2f %10.2f", name, ms[0], ms[1], ms[2],
                ms[1] > 0 ? ms[0] / ms[1] : 0, ms[2] > 0 ? ms[0] / ms[2] : 0);
    if (bytes > 0) std::printf(" %10zu", bytes);
    std::printf("\n");
}

// Each corpus file, their sum, and the whole corpus ten times over as one file: at a
// few megabytes each file's time is a third the start of a program, which the large
// sample leaves out of account.
void CompareWithGzip() {
    const char* given = std::getenv("VARDOK_GZIP_RUNS");
    const int runs = given != nullptr ? std::atoi(given) : 9;
    if (runs <= 0) return;
    const bool libdeflate = Runs("command -v libdeflate-gunzip");
    if (!Runs("command -v python3") || !Runs("command -v gzip")) {
        std::printf("\nNo comparison with gzip: python3 or gzip is missing.\n");
        return;
    }
    std::printf("\nWhole-process CPU time, median of %d runs taken in turn (ms)\n", runs);
    std::printf("%-16s %10s %10s %10s %10s %10s %10s\n", "file", "arq test", "libdeflate", "gzip -dc",
                "arq/libd", "arq/gzip", "bytes");
    double sums[3] = {0, 0, 0};
    Bytes corpus;
    for (const CorpusFile& file : Files()) {
        if (file.name == "start") continue;
        corpus.insert(corpus.end(), file.data.begin(), file.data.end());
        double medians[3];
        if (!CompareSample(file.name, file.data, runs, libdeflate, medians)) continue;
        for (int i = 0; i < 3; i++)
            sums[i] += medians[i];
        PrintComparison(file.name.c_str(), medians, file.data.size());
    }
    PrintComparison("all", sums, 0);
    Bytes tenfold;
    for (int i = 0; i < 10; i++)
        tenfold.insert(tenfold.end(), corpus.begin(), corpus.end());
    double medians[3];
    if (CompareSample("corpus-x10", tenfold, runs, libdeflate, medians))
        PrintComparison("corpus-x10", medians, tenfold.size());
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CompareWithGzip();
    return 0;
}
