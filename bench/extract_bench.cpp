// Extraction throughput: archives of 64 MiB (16 entries of 4 MiB), text and
// binaries, Stored and Crushed (also with checksum fields, "_crc32"), extracted by
// ExtractArchive into a scratch folder;
// side by side, `lhasa` extracting the same data from an .lzh archive of the same
// members (-lh0- for Stored, our Crushed streams as -lh4- for Crushed). lhasa is a
// whole process per iteration, timed by the wall clock like ours.
//
// The data comes from the codec corpus (bench/crushed_corpus.sh), repeated up to
// the size: text (licences, a manual page, C++ headers, Python modules) and
// binaries (Linux programs, Windows DLLs of Wine).
#include <benchmark/benchmark.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "crushed/crushed.h"
#include "crushed/decoder.h"
#include "engine/checksum.h"
#include "engine/extract.h"
#include "engine/writer.h"
#include "support/scratch.h"
#include "tests/crushed/lha_oracle.h"

namespace {

const size_t ENTRY_SIZE = 4u << 20;
const int ENTRY_COUNT = 16; // 64 MiB in all

ScratchDir& Scratch() {
    static ScratchDir scratch;
    return scratch;
}

// The corpus files of one kind joined, repeated up to size bytes.
Bytes Fill(const std::string& folder, std::initializer_list<const char*> files, size_t size) {
    Bytes joined;
    for (const char* name : files) {
        const Bytes part = ReadFileBytes(folder + "/" + name);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    Bytes out;
    if (joined.empty()) return out;
    out.reserve(size);
    while (out.size() < size)
        out.insert(out.end(), joined.begin(),
                   joined.begin() + static_cast<std::ptrdiff_t>(std::min(joined.size(), size - out.size())));
    return out;
}

Bytes Encode(const uint8_t* data, size_t size) {
    CrushedBuffer out = {};
    if (CrushedEncodeToBuffer(data, static_cast<uint32_t>(size), CRUSHED_LEVEL_FAST, &out) != 0)
        return Bytes();
    Bytes stream(out.data, out.data + out.size);
    CrushedBufferFree(&out);
    return stream;
}

struct BenchArchive {
    std::string label;
    std::string ours;  // our archive
    std::string lzh;   // the same members for lhasa
    std::string check; // one member's original bytes, to check both outputs once
    Bytes first;
    uint64_t packed = 0;
};

// Writes both archives of data split into ENTRY_COUNT members; with checksum, our
// entries carry a checksum field, which extraction then checks.
BenchArchive Build(const std::string& label, const Bytes& data, bool crushed, bool checksum = false) {
    BenchArchive result;
    result.label = label;
    result.ours = Scratch().file(label + ".arq");
    result.lzh = Scratch().file(label + ".lzh");
    ArchiveWriter writer;
    WriterCreateFile(&writer, result.ours.c_str());
    Bytes lzh;
    for (int i = 0; i < ENTRY_COUNT; i++) {
        const uint8_t* part = data.data() + static_cast<size_t>(i) * ENTRY_SIZE;
        const Bytes original(part, part + ENTRY_SIZE);
        const std::string name = "M" + std::to_string(100 + i) + ".DAT";
        EntryHeaderFields header;
        EntryHeaderDefaults(&header, name.c_str(), static_cast<uint32_t>(ENTRY_SIZE));
        if (checksum) EntryHeaderSetChecksum(&header, ChecksumUpdate(CHECKSUM_EMPTY, part, ENTRY_SIZE));
        Bytes member;
        if (crushed) {
            const Bytes stream = Encode(part, ENTRY_SIZE);
            header.block.method = METHOD_CRUSHED;
            header.block.compressed_size = static_cast<uint32_t>(stream.size());
            WriterPutEntry(&writer, &header, stream.data(), static_cast<uint32_t>(stream.size()));
            member = LhaArchive(name, "-lh4-", stream, original);
            result.packed += stream.size();
        } else {
            WriterPutEntry(&writer, &header, part, static_cast<uint32_t>(ENTRY_SIZE));
            member = LhaArchive(name, "-lh0-", original, original);
            result.packed += ENTRY_SIZE;
        }
        // Members follow each other; one zero byte ends the whole archive.
        lzh.insert(lzh.end(), member.begin(), member.end() - 1);
        if (i == 0) {
            result.check = name;
            result.first = original;
        }
    }
    lzh.push_back(0);
    WriterPutEnd(&writer, nullptr, 0);
    if (WriterFinish(&writer) != 0) result.ours.clear();
    WriteFileBytes(result.lzh, lzh);
    return result;
}

void BM_Ours(benchmark::State& state, const BenchArchive* archive) {
    const std::string out = Scratch().file("ours-" + archive->label);
    std::filesystem::create_directories(out);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = ExtractArchive(archive->ours.c_str(), out.c_str());
        const auto end = std::chrono::steady_clock::now();
        if (rc != 0 || ExtractWalkResult() != ERR_END_OF_ARCHIVE) {
            state.SkipWithError("extraction failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    DecoderRelease();
    if (ReadFileBytes(out + "/" + archive->check) != archive->first) state.SkipWithError("wrong output");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ENTRY_SIZE * ENTRY_COUNT));
    state.counters["archive_MiB"] = static_cast<double>(archive->packed) / (1 << 20);
}

void BM_Lhasa(benchmark::State& state, const BenchArchive* archive) {
    const std::string out = Scratch().file("lhasa-" + archive->label);
    std::filesystem::create_directories(out);
    // Options run together: extract, quiet, overwrite, into the folder.
    const std::string line = "lhasa xqfw=\"" + out + "\" \"" + archive->lzh + "\" > /dev/null 2>&1";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = std::system(line.c_str());
        const auto end = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError("lhasa failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    // lhasa writes the upper-case names of level-0 headers in lower case.
    std::string name = archive->check;
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ReadFileBytes(out + "/" + name) != archive->first) state.SkipWithError("wrong output");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ENTRY_SIZE * ENTRY_COUNT));
}

std::vector<BenchArchive>& Archives() {
    static std::vector<BenchArchive> archives;
    return archives;
}

void RegisterAll() {
    const std::string corpus = Scratch().file("corpus");
    const std::string line =
        std::string("bash \"") + CRUSHED_CORPUS_SCRIPT + "\" \"" + corpus + "\" > /dev/null 2>&1";
    if (std::system(line.c_str()) != 0) return;
    const size_t total = ENTRY_SIZE * ENTRY_COUNT;
    const Bytes text = Fill(corpus, {"text.txt", "source.txt"}, total);
    const Bytes binaries = Fill(corpus, {"elf.bin", "pe.bin"}, total);
    auto& archives = Archives();
    archives.reserve(6);
    for (const auto& kind :
         {std::make_pair(std::string("text"), &text), std::make_pair(std::string("bin"), &binaries)}) {
        if (kind.second->size() != total) continue;
        archives.push_back(Build(kind.first + "_stored", *kind.second, false));
        archives.push_back(Build(kind.first + "_crushed", *kind.second, true));
        archives.push_back(Build(kind.first + "_crushed_crc32", *kind.second, true, true));
    }
    const bool lhasa = std::system("command -v lhasa > /dev/null 2>&1") == 0;
    for (const BenchArchive& archive : archives) {
        if (archive.ours.empty()) continue;
        benchmark::RegisterBenchmark(("ours/" + archive.label).c_str(), BM_Ours, &archive)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        // lhasa reads the same members whether or not ours carry checksums.
        if (lhasa && archive.label.find("crc32") == std::string::npos) {
            benchmark::RegisterBenchmark(("lhasa/" + archive.label).c_str(), BM_Lhasa, &archive)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
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
