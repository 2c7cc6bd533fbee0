// A clean decoder for every test, and a harness that decodes a stream the way the
// engine does: from a real file opened in a slot, in chunks of 4096 bytes through one
// buffer, with EVT_PROGRESS recorded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "crushed/bitinput.h"
#include "crushed/decoder.h"
#include "decoder_streams.h"
#include "engine/descriptor.h"
#include "engine/events.h"
#include "fileio/memory.h"
#include "fileio/slots.h"
#include "lha_oracle.h"
#include "support/scratch.h"

// What one entry's decoding gave.
struct EntryRun {
    int resetResult = 0;
    int result = 0;                // the first negative DecodeChunk result, or 0
    Bytes output;                  // the bytes of the chunks that succeeded
    std::vector<int32_t> progress; // EVT_PROGRESS arguments in order
    int32_t consumed = -1;         // input position after the entry, from the entry's start
    int nextByte = -2;             // the byte after that position, or -1 at end of file
};

// Bytes before and after the entry in its file, as other records would be.
static const Bytes kLeadBytes = {'L', 'E', 'A', 'D', 0x67, 0x57, 0x04, 0x01, 0xFF};
static const Bytes kTrailBytes = {0xA5, 'N', 'E', 'X', 'T'};

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        DecoderResetState();
        FileResetSlots();
        MemReset();
        EventsReset();
        s_events.clear();
        m_liveBlocks = MemLiveBlocks();
    }
    void TearDown() override {
        DecoderResetState();
        FileResetSlots();
        MemReset();
        EventsReset();
        EXPECT_EQ(MemLiveBlocks(), m_liveBlocks) << "blocks leaked";
    }

    struct Event {
        EntryDescriptor* descriptor;
        int32_t code;
        int32_t argument;
    };
    static inline std::vector<Event> s_events;
    static int RecordEvent(EntryDescriptor* descriptor, int32_t code, int32_t argument) {
        s_events.push_back({descriptor, code, argument});
        return 0;
    }

    // Writes lead bytes, the stream (cut to fileStreamBytes when given) and, when not
    // cut, trail bytes to a file, and opens it with the slot on the stream's first byte.
    int OpenStream(const Bytes& stream, size_t fileStreamBytes = SIZE_MAX) {
        Bytes file = kLeadBytes;
        size_t kept = std::min(fileStreamBytes, stream.size());
        file.insert(file.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(kept));
        if (fileStreamBytes == SIZE_MAX) file.insert(file.end(), kTrailBytes.begin(), kTrailBytes.end());
        std::string path = m_scratch.file("entry" + std::to_string(m_files++) + ".bin");
        WriteFileBytes(path, file);
        int slot = FileOpen(path.c_str(), FILE_READ);
        EXPECT_GE(slot, 0);
        EXPECT_EQ(FileSeek(slot, static_cast<int32_t>(kLeadBytes.size()), FILE_SEEK_START),
                  static_cast<int32_t>(kLeadBytes.size()));
        return slot;
    }

    // Decodes an entry as the engine's extraction loop does. compressedSize defaults to
    // the stream's size.
    EntryRun DecodeEntry(const Bytes& stream, uint32_t uncompressedSize, int64_t compressedSize = -1,
                         size_t fileStreamBytes = SIZE_MAX) {
        EntryRun run;
        int slot = OpenStream(stream, fileStreamBytes);
        SetEventHandler(EVENT_SLOT_MAIN, RecordEvent);
        s_events.clear();
        EntryDescriptor descriptor = {};
        InputSlot = slot;
        CompressedLeft =
            compressedSize < 0 ? static_cast<uint32_t>(stream.size()) : static_cast<uint32_t>(compressedSize);
        BytesWritten = 0;
        run.resetResult = DecoderReset();
        // The window is not cleared by the engine; a recognisable filler shows reads of it.
        std::vector<uint8_t> window(CRUSHED_WINDOW_SIZE, 0xCC);
        uint32_t left = uncompressedSize;
        while (run.resetResult == 0 && left > 0) {
            uint32_t n = std::min<uint32_t>(left, CRUSHED_WINDOW_SIZE);
            int rc = DecodeChunk(&descriptor, n, window.data());
            if (rc < 0) {
                run.result = rc;
                break;
            }
            run.output.insert(run.output.end(), window.begin(), window.begin() + n);
            BytesWritten += n;
            left -= n;
        }
        for (const Event& e : s_events) {
            EXPECT_EQ(e.descriptor, &descriptor);
            if (e.code == EVT_PROGRESS) run.progress.push_back(e.argument);
        }
        run.consumed = FileTell(slot) - static_cast<int32_t>(kLeadBytes.size());
        run.nextByte = FileGetByte(slot);
        FileClose(slot);
        return run;
    }

    // Checks a well-formed entry: every byte as expected, the input standing exactly
    // behind the stream, the next record's first byte untouched. Unless the stream uses
    // what only this format defines (incomplete codes, 14 or 15 position lengths, a block
    // count of 0), an LHA decoder must read it as -lh4- data the same way, where one runs.
    enum Peer { kPeerCheck, kFormatOnly };
    void ExpectDecodes(const Bytes& stream, const Bytes& expected, Peer peer = kPeerCheck) {
        EntryRun run = DecodeEntry(stream, static_cast<uint32_t>(expected.size()));
        ASSERT_EQ(run.resetResult, 0);
        ASSERT_EQ(run.result, 0);
        ASSERT_EQ(run.output.size(), expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            ASSERT_EQ(run.output[i], expected[i]) << "at byte " << i;
        }
        EXPECT_EQ(run.consumed, static_cast<int32_t>(stream.size()));
        EXPECT_EQ(run.nextByte, kTrailBytes[0]);
        EXPECT_EQ(CompressedLeft, 0u);

        LhaOracle oracle(m_scratch);
        if (peer == kPeerCheck && oracle.LhasaRuns()) {
            Bytes printed;
            EXPECT_TRUE(oracle.LhasaPrint(LhaArchive("PEER.BIN", "-lh4-", stream, expected), &printed));
            EXPECT_TRUE(printed == expected) << "lhasa reads the stream otherwise";
        }
    }

    ScratchDir m_scratch;

private:
    long m_liveBlocks = 0;
    int m_files = 0;
};
