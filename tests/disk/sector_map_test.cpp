#include "disk/sector_map.h"

#include <gtest/gtest.h>

#include "disk/zx_disk.h"
#include "test_support.h"

namespace tarvex {
namespace {

constexpr Rgb kFace{240, 240, 240};

TEST(SectorMap, ClearedDiskDrawsNothingInAnyCell) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    disk.Clear();
    for (int row = 0; row < kMapRows; ++row)
        for (int column = 0; column < kMapColumns; ++column) {
            const MapCell cell = SectorMapCell(disk, column, row);
            ASSERT_EQ(cell.tile, TileKind::kNone) << column << "," << row;
            ASSERT_EQ(cell.text, "");
        }
}

TEST(SectorMap, TrdReadShowsYellowHeadersAndSixteenGreenNumberedTiles) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(3)));
    for (int row = 0; row < 3; ++row) {
        const MapCell header = SectorMapCell(disk, 0, row);
        EXPECT_EQ(header.tile, TileKind::kHeaderSectors);
        EXPECT_EQ(TileFill(header.tile, kFace), kYellow);
        EXPECT_EQ(header.textColour, kBlack);
        EXPECT_EQ(header.text, TrackLabel(row));
        for (int column = 1; column <= 16; ++column) {
            const MapCell cell = SectorMapCell(disk, column, row);
            EXPECT_EQ(cell.tile, TileKind::kSectorGood);
            EXPECT_EQ(TileFill(cell.tile, kFace), kBrightGreen);
            EXPECT_EQ(cell.text, SectorLabel(static_cast<uint8_t>(column)));
        }
        for (int column = 17; column < kMapColumns; ++column)
            EXPECT_EQ(SectorMapCell(disk, column, row).tile, TileKind::kNone) << column;
    }
    EXPECT_EQ(SectorMapCell(disk, 0, 0).text, "T000");
    EXPECT_EQ(SectorMapCell(disk, 1, 0).text, "s01");
    EXPECT_EQ(SectorMapCell(disk, 16, 2).text, "s16");
    EXPECT_EQ(SectorMapCell(disk, 0, 3).tile, TileKind::kNone) << "the fourth track was never read";
}

TEST(SectorMap, SectorStatesPickTheirColoursInOrderNoDataFirst) {
    TZX_Disk disk;
    TTrack& t = *disk.Track(5);
    t.Used = kFlagSet;
    TSectorSlot& crc = *t.Sector(0);
    crc = {.Used = kFlagSet, .SectorNo = 1, .DataCrcOk = 0, .DataLength = 256};
    TSectorSlot& idOnly = *t.Sector(1);
    idOnly = {.Used = kFlagSet, .SectorNo = 2, .DataCrcOk = 0, .DataLength = 0};
    TSectorSlot& big = *t.Sector(2);
    big = {.Used = kFlagSet, .SectorNo = 123, .DataCrcOk = kFlagSet, .DataLength = 1024};

    EXPECT_EQ(TileFill(SectorMapCell(disk, 1, 5).tile, kFace), kRed);
    EXPECT_EQ(SectorMapCell(disk, 2, 5).tile, TileKind::kSectorNoData);
    EXPECT_EQ(TileFill(TileKind::kSectorNoData, kFace), kYellow);
    EXPECT_EQ(SectorMapCell(disk, 3, 5).text, "s123");
    EXPECT_EQ(SectorMapCell(disk, 3, 5).tile, TileKind::kSectorGood);

    t.RawLength = 6250;
    const MapCell header = SectorMapCell(disk, 0, 5);
    EXPECT_EQ(header.tile, TileKind::kHeaderRaw);
    EXPECT_EQ(TileFill(header.tile, kFace), kBlue);
    EXPECT_EQ(header.textColour, kWhite);
    EXPECT_EQ(header.text, "T005");

    disk.Track(165)->Used = kFlagSet;
    EXPECT_EQ(SectorMapCell(disk, 0, 165).text, "T165");
    EXPECT_EQ(SectorMapCell(disk, 0, kMaxTracks).tile, TileKind::kNone);
    EXPECT_EQ(SectorMapCell(disk, kMaxSectors + 1, 5).tile, TileKind::kNone);
}

TEST(SectorMap, DisabledSectorsGetPlainTilesWithoutText) {
    TZX_Disk disk;
    disk.Track(0)->Used = kFlagSet;
    *disk.Track(0)->Sector(0) = {.Used = kFlagSet, .SectorNo = 9, .DataCrcOk = kFlagSet, .DataLength = 256};
    disk.ShowDisabledSectors = true;
    EXPECT_EQ(SectorMapCell(disk, 2, 0).tile, TileKind::kSectorEmpty);
    EXPECT_EQ(SectorMapCell(disk, kMaxSectors, 0).tile, TileKind::kSectorEmpty);
    EXPECT_EQ(SectorMapCell(disk, kMaxSectors + 1, 0).tile, TileKind::kNone) << "columns past the slots stay blank";
    const MapCell absent = SectorMapCell(disk, 0, 1);
    EXPECT_EQ(absent.tile, TileKind::kHeaderAbsent);
    EXPECT_EQ(absent.text, "");
    EXPECT_EQ(TileFill(absent.tile, kFace), kFace);
    EXPECT_EQ(TileWidth(absent.tile), 50);
    EXPECT_EQ(TileWidth(TileKind::kSectorEmpty), 30);
    EXPECT_EQ(SectorMapCell(disk, 1, 0).text, "s09");
}

TEST(SectorMap, RowsAreTheDisksOwnTracksUnlessTheAbsentOnesAreAskedFor) {
    TZX_Disk disk;
    EXPECT_TRUE(MapTracks(disk).empty());
    for (const unsigned track : {0u, 2u, 4u, 165u}) disk.Track(track)->Used = kFlagSet;
    EXPECT_EQ(MapTracks(disk), (std::vector<int>{0, 2, 4, 165}));
    disk.ShowDisabledSectors = true;
    const std::vector<int> all = MapTracks(disk);
    ASSERT_EQ(all.size(), size_t{kMapRows});
    EXPECT_EQ(all[1], 1);
    EXPECT_EQ(all.back(), kMapRows - 1);
}

TEST(SectorMap, ColumnsAreTheClassicTwentyOrTheWidestTracksSlots) {
    TZX_Disk disk;
    EXPECT_EQ(MapSectorColumns(disk), 20);
    disk.Track(3)->Sector(40)->Used = kFlagSet;
    EXPECT_EQ(MapSectorColumns(disk), 20) << "a slot of an absent track widens nothing";
    disk.Track(3)->Used = kFlagSet;
    EXPECT_EQ(MapSectorColumns(disk), 41);
    disk.Track(5)->Used = kFlagSet;
    disk.Track(5)->Sector(kMaxSectors - 1)->Used = kFlagSet;
    EXPECT_EQ(MapSectorColumns(disk), kMaxSectors);
}

TEST(SectorMap, LabelsAndCentring) {
    EXPECT_EQ(TrackLabel(0), "T000");
    EXPECT_EQ(TrackLabel(42), "T042");
    const std::pair<uint8_t, const char*> labels[] = {{0, "s00"},    {7, "s07"},    {10, "s10"},  {99, "s99"},
                                                      {100, "s100"}, {193, "s193"}, {255, "s255"}};
    for (const auto& [number, label] : labels) EXPECT_EQ(SectorLabel(number), label) << int(number);
    EXPECT_EQ(MapColumnWidth(0), 50);
    EXPECT_EQ(MapColumnWidth(7), 30);
    EXPECT_EQ(CentredOffset(30, 21), 4) << "4.5 goes to the even neighbour";
    EXPECT_EQ(CentredOffset(30, 19), 6) << "5.5 goes to the even neighbour";
    EXPECT_EQ(CentredOffset(14, 9), 2);
    EXPECT_EQ(CentredOffset(30, 33), -2);
}

}  // namespace
}  // namespace tarvex
