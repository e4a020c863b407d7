#include <gtest/gtest.h>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;

TEST(Trd, FullDiskReadsAndWritesBackIdentically) {
    const Bytes image = MakeTrdBytes(160);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(image));
    EXPECT_EQ(disk.CountTracks(), 160);
    for (unsigned k : {0u, 1u, 77u, 159u}) {
        TTrack& t = *disk.Track(k);
        EXPECT_EQ(t.CountSectors(), 16);
        EXPECT_EQ(t.RawLength, 0);
        for (unsigned s = 0; s < 16; ++s) {
            const TSectorSlot& slot = *t.Sector(s);
            EXPECT_EQ(slot.SectorNo, s + 1);
            EXPECT_EQ(slot.Cylinder, k / 2);
            EXPECT_EQ(slot.Head, 0) << "both sides carry head 0";
            EXPECT_EQ(slot.SizeCode, 1);
            EXPECT_EQ(slot.DataLength, 256);
            EXPECT_EQ(slot.DataCrcOk, kFlagSet);
            EXPECT_EQ(0, std::memcmp(slot.Data.data(), &image[k * 4096 + s * 256], 256));
        }
        EXPECT_EQ(t.Sector(16)->Used, 0);
    }
    Bytes out;
    ASSERT_TRUE(disk.BuildTRD(out));
    EXPECT_EQ(out, image);
}

TEST(Trd, TrackCountRoundsWithHalvesToEven) {
    TZX_Disk disk;
    Bytes image = MakeTrdBytes(5);
    image.resize(image.size() + 100);
    ASSERT_TRUE(disk.ParseTRD(image));
    EXPECT_EQ(disk.CountTracks(), 5) << "the last 100 bytes are ignored";

    image = MakeTrdBytes(4);
    image.resize(image.size() + 2048);
    ASSERT_TRUE(disk.ParseTRD(image));
    EXPECT_EQ(disk.CountTracks(), 4);

    image = MakeTrdBytes(5);
    image.resize(image.size() + 2048);
    EXPECT_THROW(disk.ParseTRD(image), StreamReadError) << "5.5 rounds to 6, past the end of the file";
    EXPECT_EQ(disk.CountTracks(), 6) << "the tracks read so far stay; track 5 was being filled";
    EXPECT_EQ(disk.Track(4)->Used, kFlagSet);
}

TEST(Trd, EmptyFileGivesEmptyDiskAndEmptyImage) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD({}));
    EXPECT_EQ(disk.CountTracks(), 0);
    Bytes out{1, 2, 3};
    ASSERT_TRUE(disk.BuildTRD(out));
    EXPECT_TRUE(out.empty());
}

TEST(Trd, MoreTracksThanTheModelHoldsAreRefused) {
    TZX_Disk disk;
    disk.StatusMessage = "";
    Bytes image = MakeTrdBytes(166);
    image.resize(image.size() + 2047);
    EXPECT_TRUE(disk.ParseTRD(image)) << "166.49 tracks round to 166";
    image = MakeTrdBytes(167);
    EXPECT_FALSE(disk.ParseTRD(image));
    EXPECT_NE(disk.StatusMessage.find("167"), std::string::npos) << disk.StatusMessage;
    EXPECT_NE(disk.StatusMessage.find("166"), std::string::npos) << disk.StatusMessage;
}

TEST(Trd, WriterReportsTheFirstMissingSectorOrBadSize) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(MakeTrdBytes(4)));
    disk.Track(1)->Used = 0;  // an unused track below the count is still written
    disk.Track(2)->Sector(6)->SectorNo = 99;
    Bytes out;
    EXPECT_FALSE(disk.BuildTRD(out));
    EXPECT_EQ(disk.StatusMessage, "Not TR-DOS disk format! Sector (T-2 / S-7) not found!");

    ASSERT_TRUE(disk.ParseTRD(MakeTrdBytes(2)));
    disk.Track(1)->Sector(0)->SizeCode = 2;
    EXPECT_FALSE(disk.BuildTRD(out));
    EXPECT_EQ(disk.StatusMessage, "Not TR-DOS disk format! Bad sector size!");
}

TEST(Trd, OneSidedDiskFailsAtTrackOne) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(MakeTrdBytes(4)));
    for (unsigned k : {1u, 3u}) disk.Track(k)->Clear();
    Bytes out;
    EXPECT_FALSE(disk.BuildTRD(out));
    EXPECT_EQ(disk.StatusMessage, "Not TR-DOS disk format! Sector (T-1 / S-1) not found!");
}

TEST(Trd, WriterTakesSectorsByNumberAndTheFirstOfTwins) {
    TZX_Disk disk;
    disk.Track(0)->Used = kFlagSet;
    // Interleaved physical order 1, 9, 2, 10, ... with sector 5 twice (the second copy in slot 16).
    const unsigned order[16] = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};
    for (unsigned s = 0; s < 16; ++s) {
        TSectorSlot& slot = *disk.Track(0)->Sector(s);
        slot.SectorNo = static_cast<uint8_t>(order[s]);
        slot.SizeCode = 1;
        slot.Data.fill(static_cast<uint8_t>(order[s]));
    }
    TSectorSlot& twin = *disk.Track(0)->Sector(16);
    twin.SectorNo = 5;
    twin.SizeCode = 1;
    twin.Data.fill(0xEE);
    Bytes out;
    ASSERT_TRUE(disk.BuildTRD(out));
    ASSERT_EQ(out.size(), 4096u);
    for (unsigned r = 1; r <= 16; ++r) EXPECT_EQ(out[(r - 1) * 256 + 17], r);
}

}  // namespace
}  // namespace tarvex
