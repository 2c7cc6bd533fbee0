// Shared by the platform tests: every case starts and ends with the stand-in's
// controls as at program start, so no case sees another's drive map or code page.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { PlatResetControls(); }
    void TearDown() override { PlatResetControls(); }
};

// Drive index 3 is D:, free natively and in a fresh Wine prefix.
const int TEST_DRIVE = 3;

// The bytes of a file read through the platform layer; empty when it cannot be opened.
inline std::string ReadThroughPlatform(const std::string& path) {
    std::string text;
    PlatStream* stream = PlatOpen(path.c_str(), "rb");
    if (!stream) return text;
    for (int c = PlatGetByte(stream); c >= 0; c = PlatGetByte(stream))
        text.push_back(static_cast<char>(c));
    PlatClose(stream);
    return text;
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

inline bool CanOpen(const std::string& path) {
    PlatStream* stream = PlatOpen(path.c_str(), "rb");
    if (stream) PlatClose(stream);
    return stream != nullptr;
}

// The names in a folder as the platform lists them, sorted.
inline std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    int (*collect)(const char*, void*) = [](const char* name, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
        return 0;
    };
    if (PlatListFolder(folder.c_str(), collect, &names) != 0) names.push_back("<unreadable>");
    std::sort(names.begin(), names.end());
    return names;
}
