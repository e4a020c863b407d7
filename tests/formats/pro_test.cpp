#include <gtest/gtest.h>

#include <cstring>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

constexpr size_t kTrackBytes = 5120;

Bytes MakePro(unsigned tracks) { return test::MakeSectorDumpBytes(tracks, 5, 1024); }

TEST(Pro, FullDiskReadsWithSectorNineOnTrackZeroAndWritesBackIdentically) {
    const Bytes image = MakePro(160);
    ASSERT_EQ(image.size(), 819200u);
    TZX_Disk disk;
    disk.StatusMessage = "before";
    ASSERT_TRUE(disk.ParsePRO(image));
    EXPECT_EQ(disk.StatusMessage, "before");
    EXPECT_EQ(disk.TrackCount, 0) << "the reader does not count tracks";
    EXPECT_EQ(disk.CountTracks(), 160);
    for (unsigned k : {0u, 1u, 2u, 99u, 159u}) {
        TTrack& t = *disk.Track(k);
        ASSERT_EQ(t.CountSectors(), 5) << k;
        for (unsigned s = 0; s < 5; ++s) {
            const TSectorSlot& slot = *t.Sector(s);
            EXPECT_EQ(slot.SectorNo, k == 0 && s == 4 ? 9 : s + 1);
            EXPECT_EQ(slot.Cylinder, k / 2);
            EXPECT_EQ(slot.Head, k % 2);
            EXPECT_EQ(slot.SizeCode, 3);
            EXPECT_EQ(slot.DataLength, 1024);
            EXPECT_EQ(slot.DataCrcOk, kFlagSet);
            EXPECT_EQ(0, std::memcmp(slot.Data.data(), &image[k * kTrackBytes + s * 1024], 1024));
        }
    }
    Bytes out;
    ASSERT_TRUE(disk.BuildPRO(out));
    EXPECT_EQ(out, image);
    EXPECT_EQ(disk.StatusMessage, "before");
}

TEST(Pro, TrackZeroMustHoldSectorNine) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParsePRO(MakePro(4)));
    disk.Track(0)->Sector(4)->SectorNo = 5;  // a Korvet-style track 0: 1..5
    Bytes out{7};
    EXPECT_FALSE(disk.BuildPRO(out));
    EXPECT_EQ(disk.StatusMessage, "Not Profi CPM disk format! Sector (T-0 / S-9) not found!");
    EXPECT_EQ(out, Bytes{7});

    ASSERT_TRUE(disk.ParsePRO(MakePro(4)));
    disk.Track(1)->Sector(4)->SectorNo = 9;
    EXPECT_FALSE(disk.BuildPRO(out));
    EXPECT_EQ(disk.StatusMessage, "Not Profi CPM disk format! Sector (T-1 / S-5) not found!");
}

TEST(Pro, WriterChecksSizeAndSkipsNothing) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParsePRO(MakePro(2)));
    disk.Track(0)->Sector(2)->SizeCode = 1;
    disk.Track(0)->Sector(0)->SizeCode = 1;
    Bytes out;
    EXPECT_FALSE(disk.BuildPRO(out));
    EXPECT_EQ(disk.StatusMessage, "Not Profi CPM disk format! Bad sector size! (T-0 / S-1: 256 байт)");

    ASSERT_TRUE(disk.ParsePRO(MakePro(6)));
    disk.Track(3)->Clear();
    ASSERT_EQ(disk.CountTracks(), 5);
    EXPECT_FALSE(disk.BuildPRO(out));
    EXPECT_EQ(disk.StatusMessage, "Not Profi CPM disk format! Sector (T-3 / S-1) not found!");

    // Only the first five slots are searched; an ID without data is written as zeros, said to be lost.
    ASSERT_TRUE(disk.ParsePRO(MakePro(1)));
    test::SwapSlots(disk.Track(0)->Sectors[1], disk.Track(0)->Sectors[5]);
    EXPECT_FALSE(disk.BuildPRO(out));
    EXPECT_EQ(disk.StatusMessage, "Not Profi CPM disk format! Sector (T-0 / S-2) not found!");
    test::SwapSlots(disk.Track(0)->Sectors[1], disk.Track(0)->Sectors[5]);
    disk.Track(0)->Sector(1)->DataLength = 0;
    ASSERT_TRUE(disk.BuildPRO(out));
    Bytes expected = MakePro(1);
    std::fill_n(expected.begin() + 1024, 1024, uint8_t{0});
    EXPECT_EQ(out, expected);
    EXPECT_EQ(disk.WriteLosses.Count(LossKind::kIdsWithoutData), 1u);
}

TEST(Pro, MissingFileLeavesDiskAndMessageAlone) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParsePRO(MakePro(2)));
    disk.StatusMessage = "kept";
    test::TempDir dir;
    EXPECT_FALSE(disk.LoadPRO(""));
    EXPECT_FALSE(disk.LoadPRO(dir / "absent.pro"));
    EXPECT_EQ(disk.StatusMessage, "kept");
    EXPECT_EQ(disk.CountTracks(), 2);
}

}  // namespace
}  // namespace tarvex
