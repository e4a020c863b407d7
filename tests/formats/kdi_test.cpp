#include <gtest/gtest.h>

#include <cstring>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

constexpr size_t kTrackBytes = 5120;

Bytes MakeKdi(unsigned tracks) { return test::MakeSectorDumpBytes(tracks, 5, 1024); }

TEST(Kdi, FullDiskReadsAsEightHundredSectorsAndWritesBackIdentically) {
    const Bytes image = MakeKdi(160);
    ASSERT_EQ(image.size(), 819200u);
    TZX_Disk disk;
    disk.StatusMessage = "before";
    ASSERT_TRUE(disk.ParseKDI(image));
    EXPECT_EQ(disk.StatusMessage, "before");
    EXPECT_EQ(disk.CountTracks(), 160);
    unsigned slots = 0;
    for (unsigned k = 0; k < kMaxTracks; ++k) slots += disk.Track(k)->CountSectors();
    EXPECT_EQ(slots, 800u);
    for (unsigned k : {0u, 1u, 77u, 159u}) {
        for (unsigned s = 0; s < 5; ++s) {
            const TSectorSlot& slot = *disk.Track(k)->Sector(s);
            EXPECT_EQ(slot.SectorNo, s + 1) << "track 0 has no exception here";
            EXPECT_EQ(slot.Cylinder, k / 2);
            EXPECT_EQ(slot.Head, k % 2);
            EXPECT_EQ(slot.SizeCode, 3);
            EXPECT_EQ(slot.DataLength, 1024);
            EXPECT_EQ(slot.DataCrcOk, kFlagSet);
            EXPECT_EQ(0, std::memcmp(slot.Data.data(), &image[k * kTrackBytes + s * 1024], 1024));
        }
    }
    Bytes out;
    ASSERT_TRUE(disk.BuildKDI(out));
    EXPECT_EQ(out, image);
}

TEST(Kdi, MissingSectorIsNamedByModelTrack) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseKDI(MakeKdi(6)));
    disk.Track(3)->Sector(3)->SectorNo = 6;  // cylinder 1, side 1 lacks sector 4
    Bytes out;
    EXPECT_FALSE(disk.BuildKDI(out));
    EXPECT_EQ(disk.StatusMessage, "Not Korvet format! Sector (T-3 / S-4) not found!");

    ASSERT_TRUE(disk.ParseKDI(MakeKdi(6)));
    for (unsigned k : {1u, 3u}) disk.Track(k)->Clear();  // one-sided: used tracks on even indices
    EXPECT_FALSE(disk.BuildKDI(out));
    EXPECT_EQ(disk.StatusMessage, "Not Korvet format! Sector (T-1 / S-1) not found!");
}

TEST(Kdi, TrdosDiskFailsOnSectorSize) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(2)));
    Bytes out;
    EXPECT_FALSE(disk.BuildKDI(out));
    EXPECT_EQ(disk.StatusMessage, "Not Korvet format! Bad sector size! (T-0 / S-1: 256 байт)");
}

TEST(Kdi, SectorsAreWrittenInNumberOrderAndOthersLeftOut) {
    TZX_Disk disk;
    TTrack& t = *disk.Track(0);
    t.Used = kFlagSet;
    for (unsigned s = 0; s < 6; ++s) {
        TSectorSlot& slot = *t.Sector(s);
        slot.SectorNo = static_cast<uint8_t>(s < 5 ? 5 - s : 7);  // 5 4 3 2 1, then a sector 7
        slot.SizeCode = 3;
        slot.DataLength = 1024;
        disk.ReserveData(slot, 1024);
        slot.Data.fill(slot.SectorNo);
    }
    Bytes out;
    ASSERT_TRUE(disk.BuildKDI(out));
    ASSERT_EQ(out.size(), kTrackBytes);
    for (unsigned r = 1; r <= 5; ++r) EXPECT_EQ(out[(r - 1) * 1024 + 1023], r);
}

}  // namespace
}  // namespace tarvex
