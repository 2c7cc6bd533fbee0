// A clean start for every fileio test: an empty slot table, the path switch and
// counter at their start values, no forced allocation failures, the platform's
// drive map as at program start, code page 1252.
#pragma once

#include <gtest/gtest.h>

#include "fileio/memory.h"
#include "fileio/paths.h"
#include "fileio/slots.h"
#include "platform/platform.h"

class FileioTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileResetSlots();
        PathResetState();
        MemReset();
        PlatResetControls();
        PlatSetCodePage(1252);
        m_liveBlocks = MemLiveBlocks();
    }
    void TearDown() override {
        FileResetSlots();
        MemReset();
        PlatResetControls();
        PlatSetCodePage(1252);
        PathResetState();
    }
    // Blocks obtained since SetUp and not freed.
    long LeakedBlocks() const { return MemLiveBlocks() - m_liveBlocks; }

private:
    long m_liveBlocks = 0;
};

// The same, under the double-byte code page 932; skipped where it cannot be had
// (Windows not started in that code page).
class FileioCodePage932Test : public FileioTest {
protected:
    void SetUp() override {
        FileioTest::SetUp();
        if (!PlatSetCodePage(932)) GTEST_SKIP() << "ANSI code page 932 not available";
    }
};

// Cases whose bytes of 0x80 and above must be single-byte characters.
class FileioCodePage1252Test : public FileioTest {
protected:
    void SetUp() override {
        FileioTest::SetUp();
        if (PlatCodePage() != 1252) GTEST_SKIP() << "ANSI code page is not 1252";
    }
};
