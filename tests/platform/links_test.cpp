// Links: telling a link from what it leads to, following every link of a path, and
// removing only the link.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform_fixture.h"

namespace {

namespace fs = std::filesystem;

class PlatformLinks : public PlatformTest {};

struct LinkCase {
    const char* path; // in the scratch folder
    int isLink;
    const char* resolvesTo; // "" when the path resolves to nothing
};

TEST_F(PlatformLinks, LinksAreToldApartFollowedAndRemovedAlone) {
    ScratchDir scratch;
    fs::create_directory(scratch.path() / "out");
    WriteText(scratch.file("out/victim.txt"), "victim");
    std::error_code ec;
    fs::create_symlink(scratch.file("out/victim.txt"), scratch.file("file.lnk"), ec);
    if (!ec) fs::create_directory_symlink(scratch.file("out"), scratch.file("dir.lnk"), ec);
    if (!ec) fs::create_symlink(scratch.file("gone"), scratch.file("dangling.lnk"), ec);
    if (ec) GTEST_SKIP() << "symbolic links cannot be made here";
    const LinkCase cases[] = {
        {"out/victim.txt", 0, "out/victim.txt"}, {"out", 0, "out"},
        {"file.lnk", 1, "out/victim.txt"},       {"dir.lnk", 1, "out"},
        {"dir.lnk/victim.txt", 0, "out/victim.txt"}, {"dangling.lnk", 1, ""},
        {"missing.txt", 0, ""},
    };
    for (const LinkCase& c : cases) {
        const std::string path = scratch.file(c.path);
        EXPECT_EQ(PlatIsLink(path.c_str()), c.isLink) << c.path;
        char resolved[1024];
        char direct[1024];
        const uint32_t length = PlatResolvePath(path.c_str(), resolved, sizeof resolved);
        if (c.resolvesTo[0] == '\0') {
            EXPECT_EQ(length, 0u) << c.path;
            continue;
        }
        // The same text whatever way led there, and a path the other calls take.
        ASSERT_EQ(std::strlen(resolved), length) << c.path;
        ASSERT_GT(PlatResolvePath(scratch.file(c.resolvesTo).c_str(), direct, sizeof direct), 0u);
        EXPECT_STREQ(resolved, direct) << c.path;
        EXPECT_EQ(PlatSameFile(resolved, scratch.file(c.resolvesTo).c_str()), 1) << c.path;
    }
    for (const LinkCase& c : cases)
        EXPECT_EQ(PlatRemoveLink(scratch.file(c.path).c_str()), c.isLink ? 0 : -1) << c.path;
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.file("file.lnk"))));
    EXPECT_EQ(ReadThroughPlatform(scratch.file("out/victim.txt")), "victim");
}

} // namespace
