// OpenArchiveCheck on plain ".arq" files and self-extracting programs.
#include <gtest/gtest.h>

#include "archive_builder.h"
#include "engine/engine.h"
#include "engine_fixture.h"

namespace {

class OpenCheckTest : public EngineTest {
protected:
    int Check(const std::string& name) {
        const int result = OpenArchiveCheck(name.c_str());
        EXPECT_EQ(BusySlots(), 0) << name;
        EXPECT_EQ(LeakedBlocks(), 0) << name;
        return result;
    }
    const Bytes m_archive = BuildArchive({{"show.pps", Bytes(100, 's')}, {"play.exe", Bytes(50, 'p')}});
    const Bytes m_program = BuildSelfExtracting(20000, {{"show.pps", Bytes(100, 's')}});
};

TEST_F(OpenCheckTest, NameWithoutExtensionOpensTheArqFile) {
    Put("x.arq", m_archive);
    EXPECT_EQ(Check(m_scratch.file("x")), 0);
    EXPECT_EQ(Check(m_scratch.file("x  ")), 0); // trailing blanks go first
    EXPECT_EQ(Check(m_scratch.file("x.arq")), 0);
    EXPECT_EQ(Check(m_scratch.file("y")), ERR_NOT_FOUND);
}

TEST_F(OpenCheckTest, ArqExtensionIsComparedWithoutRegardToCase) {
    // An ".ARQ" file is read at offset 0 and not searched: junk in front is refused.
    Put("junk.ARQ", Concat({TextBytes("junk in front"), m_archive}));
    EXPECT_EQ(Check(m_scratch.file("junk.ARQ")), ERR_BAD_ARCHIVE);
    Put("good.ArQ", m_archive);
    EXPECT_EQ(Check(m_scratch.file("good.ArQ")), 0);
}

TEST_F(OpenCheckTest, ProgramsAreSearchedForTheFirstEntry) {
    Put("show.exe", m_program);
    EXPECT_EQ(Check(m_scratch.file("show.exe")), 0);
    // The same bytes under an ".arq" name are not searched.
    Put("show.arq", m_program);
    EXPECT_EQ(Check(m_scratch.file("show.arq")), ERR_BAD_ARCHIVE);
    // A program without an archive is read at offset 0.
    Put("plain.exe", Bytes(5000, 'M'));
    EXPECT_EQ(Check(m_scratch.file("plain.exe")), ERR_BAD_ARCHIVE);
    Put("empty.exe", {});
    EXPECT_EQ(Check(m_scratch.file("empty.exe")), ERR_BAD_ARCHIVE);
}

TEST_F(OpenCheckTest, ArchiveOfOnlyTheEndRecordIsReadable) {
    Put("empty.arq", BuildArchive({}));
    EXPECT_EQ(Check(m_scratch.file("empty.arq")), 0);
}

TEST_F(OpenCheckTest, UnreadableFirstRecordIsBadArchive) {
    Bytes tooNew = m_archive;
    tooNew[5] = 0x32; // version needed
    Put("new.arq", tooNew);
    EXPECT_EQ(Check(m_scratch.file("new.arq")), ERR_BAD_ARCHIVE);
    Put("cut.arq", Bytes(m_archive.begin(), m_archive.begin() + 30));
    EXPECT_EQ(Check(m_scratch.file("cut.arq")), ERR_BAD_ARCHIVE);
}

TEST_F(OpenCheckTest, ExtraBytesOfTheFirstRecordArePassedOver) {
    Bytes out;
    ArchiveWriter writer;
    WriterToMemory(&writer, &out);
    EntryHeaderFields header;
    EntryHeaderDefaults(&header, "a", 0);
    const uint8_t extra[5] = {1, 2, 3, 4, 5};
    EntryHeaderSetExtra(&header, extra, 5);
    WriterPutEntry(&writer, &header, nullptr, 0);
    WriterPutEnd(&writer, nullptr, 0);
    Put("extra.arq", out);
    EXPECT_EQ(Check(m_scratch.file("extra.arq")), 0);
}

TEST_F(OpenCheckTest, Arguments) {
    EXPECT_EQ(OpenArchiveCheck(nullptr), ERR_BAD_ARGUMENT);
    Put("x.arq", m_archive);
    MemFailFrom(1);
    EXPECT_EQ(Check(m_scratch.file("x")), ERR_NO_MEMORY);
}

TEST_F(OpenCheckTest, FileThatCannotBeOpenedIsBadHandle) {
    const std::string path = Put("x.arq", m_archive);
    for (int slot = 0; slot < FILE_SLOT_COUNT; slot++)
        ASSERT_EQ(FileReserveSlot(slot), 0);
    EXPECT_EQ(OpenArchiveCheck(path.c_str()), ERR_BAD_HANDLE);
    EXPECT_EQ(LeakedBlocks(), 0);
}

} // namespace
