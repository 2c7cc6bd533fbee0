// Links: telling a link from what it leads to, removing only the link, following
// every link of a path, and the creation mask.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform_fixture.h"

namespace {

class PlatformLinks : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        std::filesystem::create_directory(m_scratch.path() / "inside");
        std::filesystem::create_directory(m_scratch.path() / "outside");
        WriteText(m_scratch.file("outside/victim.txt"), "victim");
        std::error_code ec;
        std::filesystem::create_symlink(m_scratch.file("outside/victim.txt"), m_scratch.file("inside/file.lnk"),
                                        ec);
        if (!ec)
            std::filesystem::create_directory_symlink(m_scratch.file("outside"), m_scratch.file("inside/dir.lnk"),
                                                      ec);
        if (!ec) std::filesystem::create_symlink(m_scratch.file("gone"), m_scratch.file("inside/dangling.lnk"), ec);
        m_linked = !ec;
    }
    std::string File(const char* relative) const { return m_scratch.file(relative); }

    ScratchDir m_scratch;
    bool m_linked = false;
};

struct LinkCase {
    const char* path; // relative to the scratch folder
    const char* description;
    int isLink;
    const char* resolvesTo; // relative; "" when the path resolves to nothing
};

const LinkCase kLinks[] = {
    {"outside/victim.txt", "a plain file", 0, "outside/victim.txt"},
    {"outside", "a plain folder", 0, "outside"},
    {"inside/file.lnk", "a link to a file", 1, "outside/victim.txt"},
    {"inside/dir.lnk", "a link to a folder", 1, "outside"},
    {"inside/dir.lnk/victim.txt", "a file behind a folder link", 0, "outside/victim.txt"},
    {"inside/dangling.lnk", "a link that leads nowhere", 1, ""},
    {"inside/missing.txt", "nothing at all", 0, ""},
};

TEST_F(PlatformLinks, LinksAreToldApartAndFollowed) {
    if (!m_linked) GTEST_SKIP() << "symbolic links cannot be made here";
    char resolved[1024];
    ASSERT_GT(PlatResolvePath(File("").c_str(), resolved, sizeof resolved), 0u);
    for (const LinkCase& c : kLinks) {
        const std::string path = File(c.path);
        EXPECT_EQ(PlatIsLink(path.c_str()), c.isLink) << c.description;
        const uint32_t length = PlatResolvePath(path.c_str(), resolved, sizeof resolved);
        if (c.resolvesTo[0] == '\0') {
            EXPECT_EQ(length, 0u) << c.description;
            continue;
        }
        ASSERT_GT(length, 0u) << c.description;
        EXPECT_EQ(std::strlen(resolved), length) << c.description;
        // The resolved spelling names the very file, and is the same whatever way led there.
        EXPECT_EQ(PlatSameFile(resolved, File(c.resolvesTo).c_str()), 1) << c.description;
        char direct[1024];
        ASSERT_GT(PlatResolvePath(File(c.resolvesTo).c_str(), direct, sizeof direct), 0u);
        EXPECT_STREQ(resolved, direct) << c.description;
    }
    EXPECT_EQ(PlatResolvePath(File("outside").c_str(), resolved, 4), 0u) << "a buffer too small";
}

TEST_F(PlatformLinks, RemovingALinkLeavesWhatItLeadsTo) {
    if (!m_linked) GTEST_SKIP() << "symbolic links cannot be made here";
    const struct {
        const char* path;
        int result;
    } cases[] = {
        {"inside/file.lnk", 0},
        {"inside/dir.lnk", 0},
        {"inside/dangling.lnk", 0},
        {"outside/victim.txt", -1}, // no link: left alone
        {"outside", -1},
        {"inside/missing.txt", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlatRemoveLink(File(c.path).c_str()), c.result) << c.path;
        if (c.result == 0) {
            EXPECT_EQ(std::filesystem::symlink_status(File(c.path)).type(), std::filesystem::file_type::not_found)
                << c.path;
        }
    }
    EXPECT_EQ(ReadThroughPlatform(File("outside/victim.txt")), "victim");
    EXPECT_TRUE(std::filesystem::is_directory(File("outside")));
}

TEST_F(PlatformLinks, CreationMaskIsReadAndSet) {
    const int before = PlatCreationMask();
    EXPECT_GE(before, 0);
    EXPECT_LE(before, 0777);
    if (PlatSetCreationMask(077) < 0) GTEST_SKIP() << "no creation mask here";
    EXPECT_EQ(PlatCreationMask(), 077);
    EXPECT_EQ(PlatCreationMask(), 077) << "reading it leaves it as it was";
    EXPECT_EQ(PlatSetCreationMask(before), 077);
    EXPECT_EQ(PlatCreationMask(), before);
    EXPECT_EQ(PlatSetCreationMask(01000), -1) << "beyond the permission bits";
}

} // namespace
