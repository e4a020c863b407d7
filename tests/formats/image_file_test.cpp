#include "formats/image_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formats/byte_reader.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;

size_t EntriesIn(const std::filesystem::path& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(ImageFile, AtomicSaveReplacesWholeFilesAndLeavesNoTemporaries) {
    TempDir dir;
    const std::string target = dir / "disk.trd";
    WriteFile(target, Bytes(10000, 0xAA));
    SaveFileAtomic(target, Bytes(10, 0x55));
    EXPECT_EQ(ReadFile(target), Bytes(10, 0x55));
    SaveFileAtomic(target, {});
    EXPECT_TRUE(ReadFile(target).empty());
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ImageFile, SaveIntoAMissingFolderFailsWithTheSystemsReason) {
    TempDir dir;
    const std::string target = (dir.path() / "missing" / "disk.trd").string();
    try {
        SaveFileAtomic(target, Bytes(4, 1));
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_THAT(e.what(), HasSubstr("No such file or directory"));
        EXPECT_THAT(e.what(), HasSubstr(target));
    }
}

TEST(ImageFile, ReadingAFolderOrAMissingFileIsAnError) {
    TempDir dir;
    EXPECT_THROW(ReadWholeFile(dir.path().string()), IoError);
    EXPECT_THROW(ReadWholeFile(dir / "nothing"), IoError);
    EXPECT_FALSE(FileExists(dir.path().string()));
    EXPECT_FALSE(FileExists(""));
}

TEST(ImageFile, ReadersGivenNoFileReturnFalseWithoutAMessage) {
    TempDir dir;
    TZX_Disk disk;
    disk.StatusMessage = "untouched";
    EXPECT_FALSE(disk.LoadTRD(""));
    EXPECT_FALSE(disk.LoadTRD(dir / "none.trd"));
    EXPECT_FALSE(disk.LoadPRO(dir / "none.pro"));
    EXPECT_FALSE(disk.LoadKDI(dir.path().string()));
    EXPECT_EQ(disk.StatusMessage, "untouched");
}

TEST(ImageFile, FailingWriterLeavesAnExistingFileUntouched) {
    TempDir dir;
    const std::string target = dir / "keep.trd";
    const Bytes original(4096, 0x11);
    WriteFile(target, original);
    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadTRD(target));
    disk.Track(0)->Sector(3)->SectorNo = 40;
    EXPECT_FALSE(disk.SaveTRD(target));
    EXPECT_EQ(ReadFile(target), original);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(ByteReader, StopsAtTheEndWithTheStreamReadError) {
    const Bytes bytes{1, 2, 3, 4, 5, 6, 7};
    ByteReader in(bytes);
    EXPECT_EQ(in.U8(), 1);
    EXPECT_EQ(in.U16(), 0x0302);
    EXPECT_EQ(in.U32(), 0x07060504u);
    EXPECT_TRUE(in.AtEnd());
    try {
        in.U8();
        FAIL();
    } catch (const StreamReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    ByteReader again(bytes);
    uint8_t buffer[8];
    EXPECT_THROW(again.Read(buffer, 8), StreamReadError);
    EXPECT_EQ(again.Position(), 0u) << "a failed read consumes nothing";
    EXPECT_THROW(again.Seek(8), StreamReadError);
    EXPECT_THROW(again.Skip(SIZE_MAX), StreamReadError);
}

}  // namespace
}  // namespace tarvex
