// arq create's writing side where memory runs short: a file whose Crushed stream
// cannot be held is stored, as a 32-bit program's address space forces for large
// files that pack badly, instead of failing the whole archive.
#include "tools/arq/archive_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "crushed/crushed.h"
#include "engine/archive.h"
#include "fileio/memory.h"
#include "tests/support/scratch.h"
#include "tools/arq/exit_codes.h"

namespace {

const uint32_t FILE_BYTES = 1u << 20;

struct MemoryCase {
    const char* what;
    bool random;     // bytes that do not pack, else text that does
    size_t failFrom; // MemFailFrom
    int method;
};

TEST(ArchiveOutputTest, StreamWithoutMemoryIsStored) {
    const MemoryCase cases[] = {
        // The file itself fits; the stream's buffer, doubled past the file's size, does not.
        {"random bytes, no memory past the file's size", true, FILE_BYTES + 1, METHOD_STORED},
        {"text, no memory past the file's size", false, FILE_BYTES + 1, METHOD_CRUSHED},
        {"random bytes, memory enough", true, 0, METHOD_STORED},
    };
    for (const MemoryCase& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        Bytes bytes(FILE_BYTES);
        std::mt19937 random(7);
        for (uint32_t i = 0; i < FILE_BYTES; i++)
            bytes[i] =
                c.random ? static_cast<uint8_t>(random()) : static_cast<uint8_t>("slide text "[i % 11]);
        const std::string source = dir.file("deck.bin");
        WriteFileBytes(source, bytes);
        InputFile file;
        file.source = source;
        file.stored = "DECK.BIN";
        file.size = FILE_BYTES;
        file.mtime = 0;
        file.executable = 0;

        ArchiveOutput out;
        ASSERT_EQ(OutputStart(&out, dir.file("show.arq"), 0), ARQ_EXIT_OK);
        MemFailFrom(c.failFrom);
        int method = -1;
        uint32_t packed = 0;
        const int rc = OutputPutFile(&out, file, CRUSHED_LEVEL_FAST, &method, &packed);
        MemReset();
        ASSERT_EQ(rc, ARQ_EXIT_OK);
        EXPECT_EQ(method, c.method);
        int32_t volumes = 0;
        ASSERT_EQ(OutputFinish(&out, &volumes), ARQ_EXIT_OK);
        // A Stored entry holds the file's bytes as they are.
        const Bytes archive = ReadFileBytes(dir.file("show.arq"));
        const bool verbatim =
            std::search(archive.begin(), archive.end(), bytes.begin(), bytes.end()) != archive.end();
        EXPECT_EQ(verbatim, c.method == METHOD_STORED);
    }
}

} // namespace
