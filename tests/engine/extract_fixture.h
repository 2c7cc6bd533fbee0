// A clean start for extraction tests, an event recorder, and archives built with our
// writer (Stored, Crushed, hand-picked fields and raw names).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "crushed/decoder.h"
#include "crushed/crushed.h"
#include "engine/extract.h"
#include "engine/engine.h"
#include "engine/spanned.h"
#include "engine/writer.h"
#include "engine_fixture.h"

// ---- Events -------------------------------------------------------------------------

struct Ev {
    int32_t code;
    int32_t argument;
    bool operator==(const Ev& other) const { return code == other.code && argument == other.argument; }
};
inline void PrintTo(const Ev& ev, std::ostream* out) { *out << "(" << ev.code << ", " << ev.argument << ")"; }
typedef std::vector<Ev> Evs;

// Crushed progress: one event before every 4096-byte chunk of an entry of size bytes.
inline Evs CrushedProgress(uint32_t size) {
    Evs out;
    for (uint32_t done = 0; done < size; done += 4096)
        out.push_back({EVT_PROGRESS, static_cast<int32_t>(done)});
    return out;
}

inline Evs Join(std::initializer_list<Evs> parts) {
    Evs out;
    for (const Evs& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// ---- Archives -----------------------------------------------------------------------

enum { TEST_MTIME = 1234567890 }; // 2009-02-13 23:31:30 UTC

struct EntrySpec {
    std::string name;
    Bytes data;
    int method = METHOD_STORED; // METHOD_CRUSHED goes through our encoder; others store data as is
    bool rawName = false;       // name bytes as given (no upper-casing, '/' kept)
    uint16_t mode = WRITER_MODE_FILE;
    uint32_t mtime = TEST_MTIME;
    uint8_t flags = WRITER_FLAGS;
    uint8_t nameCase = WRITER_NAME_CASE;
    // Applied to the header after the fields above (sizes included) have been set.
    std::function<void(EntryHeaderFields*)> change;
};

inline EntrySpec Stored(const std::string& name, const Bytes& data) {
    EntrySpec entry;
    entry.name = name;
    entry.data = data;
    return entry;
}
inline EntrySpec Crushed(const std::string& name, const Bytes& data) {
    EntrySpec entry = Stored(name, data);
    entry.method = METHOD_CRUSHED;
    return entry;
}

// The Crushed stream of data at the fast level.
inline Bytes CrushedStream(const Bytes& data) {
    CrushedBuffer out = {};
    EXPECT_EQ(
        CrushedEncodeToBuffer(data.data(), static_cast<uint32_t>(data.size()), CRUSHED_LEVEL_FAST, &out), 0);
    Bytes stream(out.data, out.data + out.size);
    CrushedBufferFree(&out);
    return stream;
}

inline void PutEntry(ArchiveWriter* writer, const EntrySpec& entry) {
    EntryHeaderFields header;
    const uint32_t size = static_cast<uint32_t>(entry.data.size());
    if (entry.rawName) {
        EntryHeaderDefaults(&header, "X", size);
        EntryHeaderSetName(&header, reinterpret_cast<const uint8_t*>(entry.name.data()),
                           static_cast<uint32_t>(entry.name.size()));
    } else {
        EXPECT_EQ(EntryHeaderDefaults(&header, entry.name.c_str(), size), 0) << entry.name;
    }
    header.block.mode = entry.mode;
    header.block.mtime = entry.mtime;
    header.block.flags = entry.flags;
    header.block.name_case = entry.nameCase;
    Bytes payload = entry.data;
    if (entry.method == METHOD_CRUSHED) {
        payload = CrushedStream(entry.data);
        header.block.compressed_size = static_cast<uint32_t>(payload.size());
    }
    header.block.method = static_cast<uint8_t>(entry.method);
    if (entry.change) entry.change(&header);
    EXPECT_EQ(WriterPutEntry(writer, &header, payload.data(), static_cast<uint32_t>(payload.size())), 0);
}

// A plain archive: the entries, then the end-of-archive record.
inline Bytes PlainArchive(const std::vector<EntrySpec>& entries) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    for (const EntrySpec& entry : entries)
        PutEntry(&writer, entry);
    WriterPutEnd(&writer, nullptr, 0);
    return out;
}

// A self-extracting program's file: a stand-in image without signatures, the archive
// header record (total = the sum of the sizes), then the plain archive.
inline Bytes SelfExtractingFile(const std::vector<EntrySpec>& entries, const char* destination = nullptr,
                                size_t imageSize = 5000) {
    Bytes out(imageSize);
    for (size_t i = 0; i < imageSize; i++)
        out[i] = static_cast<uint8_t>("MZ\x90\x00 image "[i % 10]);
    uint32_t total = 0;
    for (const EntrySpec& entry : entries)
        total += static_cast<uint32_t>(entry.data.size());
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    ArchiveHeaderFields header;
    EXPECT_EQ(ArchiveHeaderDefaults(&header, total, destination, "made by the tests"), 0);
    WriterPutArchiveHeader(&writer, &header);
    const Bytes archive = PlainArchive(entries);
    out.insert(out.end(), archive.begin(), archive.end());
    return out;
}

// Text that compresses well, different for every seed.
inline Bytes TextData(size_t size, uint32_t seed = 1) {
    static const char* const words[] = {"slide ",  "show ",   "player ", "archive ", "engine ",
                                        "window ", "Tarnby ", "volume ", "entry ",   "\r\n"};
    Bytes out;
    uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = words[(state >> 16) % 10];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(size);
    return out;
}

// Bytes that do not compress.
inline Bytes RandomData(size_t size, uint32_t seed = 7) {
    Bytes out(size);
    uint32_t state = seed;
    for (size_t i = 0; i < size; i++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        out[i] = static_cast<uint8_t>(state);
    }
    return out;
}

// ---- Fixture ----------------------------------------------------------------------

class ExtractTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ExtractResetState();
        DecoderResetState();
        SpannedResetState();
        s_current = this;
        m_out = m_scratch.file("OUT");
        std::filesystem::create_directory(m_out);
    }
    void TearDown() override {
        s_current = nullptr;
        DecoderResetState();
        ExtractResetState();
        SpannedResetState();
        EngineTest::TearDown();
    }

    // The handler for SetEventHandler and ExtractSelf: records every event, keeps the
    // output path of every EVT_ENTRY_DONE, then calls m_onEvent.
    static int Record(EntryDescriptor* desc, int32_t code, int32_t argument) {
        ExtractTest* self = s_current;
        self->m_events.push_back({code, argument});
        if (code == EVT_ENTRY_DONE && desc != nullptr) self->m_done.push_back(desc->name);
        if (code != EVT_ARCHIVE_TOTAL && code != EVT_SEARCH_PROGRESS && code != EVT_PROGRESS &&
            desc != nullptr)
            self->m_names.push_back(desc->name);
        if (self->m_onEvent) self->m_onEvent(desc, code, argument);
        return 0;
    }

    // Writes the archive to the scratch folder and extracts it into dest (default:
    // the OUT folder) with the recorder registered. Returns ExtractArchive's result.
    int Extract(const Bytes& archive, const std::string* dest = nullptr) {
        const std::string path = Put("TEST.ARQ", archive);
        SetEventHandler(EVENT_SLOT_MAIN, Record);
        const int result = ExtractArchive(path.c_str(), dest != nullptr ? dest->c_str() : m_out.c_str());
        SetEventHandler(EVENT_SLOT_MAIN, nullptr);
        DecoderRelease(); // the decoder keeps its table for later entries
        return result;
    }

    // The events without the signature searches.
    Evs EntryEvents() const {
        Evs out;
        for (const Ev& ev : m_events) {
            if (ev.code != EVT_SEARCH_PROGRESS) out.push_back(ev);
        }
        return out;
    }

    // Output path of a stored name as the engine composes it, and the same file for
    // the test to read.
    std::string Joined(const std::string& stored) const { return m_out + "\\" + stored; }
    std::string OutFile(const std::string& relative) const {
        std::filesystem::path path(m_out);
        size_t start = 0;
        for (size_t i = 0; i <= relative.size(); i++) {
            if (i == relative.size() || relative[i] == '\\') {
                path /= relative.substr(start, i - start);
                start = i + 1;
            }
        }
        return path.string();
    }
    bool OutExists(const std::string& relative) const { return std::filesystem::exists(OutFile(relative)); }

    // Every file and folder under root, relative, with '/' between components.
    static std::set<std::string> Tree(const std::filesystem::path& root) {
        std::set<std::string> out;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) break;
            out.insert(it->path().lexically_relative(root).generic_string());
        }
        return out;
    }

    std::string m_out;
    Evs m_events;
    std::vector<std::string> m_done;  // output paths of EVT_ENTRY_DONE
    std::vector<std::string> m_names; // descriptor names of every entry event but progress
    std::function<void(EntryDescriptor*, int32_t, int32_t)> m_onEvent;

    static inline ExtractTest* s_current = nullptr;
};

// Sets STATUS_CANCEL on the first event with this code (and argument, when not -1).
inline std::function<void(EntryDescriptor*, int32_t, int32_t)> CancelAt(int32_t code, int32_t argument = -1) {
    return [code, argument](EntryDescriptor* desc, int32_t event, int32_t value) {
        if (event == code && (argument == -1 || value == argument) && desc != nullptr)
            desc->status = STATUS_CANCEL;
    };
}
