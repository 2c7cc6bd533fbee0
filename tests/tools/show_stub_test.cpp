// The one test of a program's first bytes that arq shares between its readers.
#include "tools/arq/show_stub.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StartCase {
    std::string bytes;
    bool program;
};

TEST(ShowStubTest, ProgramStartIsMzInItsFirstTwoBytes) {
    const StartCase cases[] = {
        {"", false},   {"M", false},  {"MZ", true},   {"MZ\x90", true},
        {"mz", false}, {"ZM", false}, {" MZ", false}, {std::string("M\0Z", 3), false},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(StartsWithMzHeader(reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                     static_cast<uint32_t>(c.bytes.size())),
                  c.program);
    }
}

} // namespace
