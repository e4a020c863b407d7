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
    EXPECT_EQ(disk.StatusMessage, "Not TR-DOS disk format! Bad sector size! (T-1 / S-1: 512 байт)");
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
        slot.DataLength = 256;
        disk.ReserveData(slot, 256);
        slot.Data.fill(static_cast<uint8_t>(order[s]));
    }
    TSectorSlot& twin = *disk.Track(0)->Sector(16);
    twin.SectorNo = 5;
    twin.SizeCode = 1;
    twin.DataLength = 256;
    disk.ReserveData(twin, 256);
    twin.Data.fill(0xEE);
    Bytes out;
    ASSERT_TRUE(disk.BuildTRD(out));
    ASSERT_EQ(out.size(), 4096u);
    for (unsigned r = 1; r <= 16; ++r) EXPECT_EQ(out[(r - 1) * 256 + 17], r);
}

}  // namespace
}  // namespace tarvex
