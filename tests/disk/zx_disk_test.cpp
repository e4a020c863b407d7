#include "disk/zx_disk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tarvex {
namespace {

TEST(ZxDisk, ClearEmptiesTracksAndCommentButKeepsStatus) {
    TZX_Disk disk;
    disk.StatusMessage = "previous";
    disk.Comment = {"a", "b"};
    TTrack& t = *disk.Track(7);
    t.Used = kFlagSet;
    t.RawValid = 1;
    t.RawLength = 100;
    t.RawData[0] = 0x4E;
    t.RawData[kRawClearedBytes] = 0x55;
    t.Sector(3)->Used = kFlagSet;
    t.Sector(3)->Data[1099] = 9;
    ASSERT_EQ(disk.CountTracks(), 1);

    disk.Clear();
    EXPECT_EQ(disk.CountTracks(), 0);
    EXPECT_EQ(disk.TrackCount, 0);
    EXPECT_TRUE(disk.Comment.empty());
    EXPECT_EQ(disk.StatusMessage, "previous");
    EXPECT_EQ(t.Used, 0);
    EXPECT_EQ(t.RawValid, 0);
    EXPECT_EQ(t.RawLength, 0);
    EXPECT_EQ(t.RawData[0], 0);
    EXPECT_EQ(t.RawData[kRawClearedBytes], 0x55) << "only the first 6500 raw bytes are zeroed";
    EXPECT_EQ(t.Sector(3)->Used, 0);
    EXPECT_EQ(t.Sector(3)->Data[1099], 0);
    EXPECT_EQ(t.Index, 7);
}

TEST(ZxDisk, CountsUsedSlotsAndTracksWithGaps) {
    TZX_Disk disk;
    TTrack& t = *disk.Track(0);
    t.Sector(0)->Used = kFlagSet;
    t.Sector(2)->Used = 1;  // any non-zero value counts
    EXPECT_EQ(t.CountSectors(), 2);
    EXPECT_EQ(t.SectorCount, 2);
    disk.Track(0)->Used = kFlagSet;
    disk.Track(165)->Used = kFlagSet;
    EXPECT_EQ(disk.CountTracks(), 2);
}

TEST(ZxDisk, OutOfRangeAccessGivesNothing) {
    TZX_Disk disk;
    EXPECT_EQ(disk.Track(166), nullptr);
    EXPECT_EQ(disk.Track(255), nullptr);
    EXPECT_NE(disk.Track(165), nullptr);
    EXPECT_EQ(disk.Track(0)->Sector(20), nullptr);
    EXPECT_EQ(disk.FindSector(166, 1), nullptr);

    TTrack& t = *disk.Track(0);
    t.Sector(19)->Used = kFlagSet;
    t.ClearSector(20);
    EXPECT_EQ(t.Sector(19)->Used, kFlagSet);
    t.ClearSector(19);
    EXPECT_EQ(t.Sector(19)->Used, 0);
}

TEST(ZxDisk, FindSectorReturnsFirstMatchUsedOrNot) {
    TZX_Disk disk;
    EXPECT_EQ(disk.FindSector(3, 0), disk.Track(3)->Sector(0)) << "an empty slot's number is 0";
    disk.Track(3)->Sector(4)->SectorNo = 5;
    disk.Track(3)->Sector(9)->SectorNo = 5;
    EXPECT_EQ(disk.FindSector(3, 5), disk.Track(3)->Sector(4));
    EXPECT_EQ(disk.FindSector(3, 6), nullptr);
}

TEST(ZxDisk, Crc16MatchesTheCcittFalseCheckValues) {
    const char* check = "123456789";
    EXPECT_EQ(TZX_Disk::Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
    const uint8_t id[] = {0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x01, 0x01};
    EXPECT_EQ(TZX_Disk::Crc16(id, sizeof id), 0xFA0C);
    EXPECT_EQ(TZX_Disk::Crc16(id, 0), 0xFFFF);
}

TEST(ZxDisk, Crc16EqualsTheBitwiseDefinitionOnRandomData) {
    auto bitwise = [](const Bytes& data) {
        uint16_t reg = 0xFFFF;
        for (uint8_t b : data) {
            reg ^= static_cast<uint16_t>(b << 8);
            for (int i = 0; i < 8; ++i) reg = static_cast<uint16_t>(reg & 0x8000 ? (reg << 1) ^ 0x1021 : reg << 1);
        }
        return reg;
    };
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        Bytes data(rng() % 1100);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        ASSERT_EQ(TZX_Disk::Crc16(data.data(), data.size()), bitwise(data)) << data.size();
    }
}

TEST(ZxDisk, ObserverHearsEveryClear) {
    struct Counter : DiskObserver {
        int clears = 0;
        void DiskCleared() override { ++clears; }
    } counter;
    TZX_Disk disk;
    disk.SetObserver(&counter);
    disk.Clear();
    disk.Clear();
    EXPECT_EQ(counter.clears, 2);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(5, 2), 2);
    EXPECT_EQ(RoundHalfEven(7, 2), 4);
    EXPECT_EQ(RoundHalfEven(10, 4), 2);
    EXPECT_EQ(RoundHalfEven(11, 4), 3);
    EXPECT_EQ(RoundHalfEven(9, 4), 2);
    EXPECT_EQ(RoundHalfEven(0, 3), 0);
    EXPECT_EQ(RoundHalfEven(200, 3), 67);
}

}  // namespace
}  // namespace tarvex
