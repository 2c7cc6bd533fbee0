// A clean start for every engine test: empty slot table and handler slots, the name
// switch on, no forced allocation failures, the stand-in's controls as at start, and
// a scratch folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/events.h"
#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"
#include "support/scratch.h"

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileResetSlots();
        PathResetState();
        MemReset();
        EventsReset();
        PlatResetControls();
        m_liveBlocks = MemLiveBlocks();
    }
    void TearDown() override {
        FileResetSlots();
        MemReset();
        EventsReset();
        PlatResetControls();
        PathResetState();
    }
    // Blocks obtained since SetUp and not freed.
    long LeakedBlocks() const { return MemLiveBlocks() - m_liveBlocks; }
    // Slots left open or reserved.
    static int BusySlots() {
        int busy = 0;
        for (int slot = 0; slot < FILE_SLOT_COUNT; slot++) {
            if (FileGetSlot(slot) != nullptr) busy++;
        }
        return busy;
    }
    // Writes bytes to a file of the scratch folder and returns its path.
    std::string Put(const std::string& name, const Bytes& bytes) {
        const std::string path = m_scratch.file(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    ScratchDir m_scratch;

private:
    long m_liveBlocks = 0;
};
