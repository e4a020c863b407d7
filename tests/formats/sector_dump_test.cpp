#include "formats/sector_dump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/format_table.h"
#include "test_support.h"

namespace tarvex {
namespace {

Bytes Joined(const ImagePieces& pieces) {
    Bytes all;
    for (ByteSpan piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

using Build = bool (TZX_Disk::*)(Bytes&);
using Gather = bool (TZX_Disk::*)(ImagePieces&);

// The runs a writer gathers make the image its builder makes, or both refuse with the same words.
void ExpectGatheredAsBuilt(TZX_Disk& disk, Build build, Gather gather) {
    Bytes built;
    const bool builtOk = (disk.*build)(built);
    const std::string builtWhy = disk.StatusMessage;
    disk.StatusMessage.clear();
    ImagePieces pieces;
    ASSERT_EQ((disk.*gather)(pieces), builtOk);
    if (builtOk)
        EXPECT_TRUE(Joined(pieces) == built);
    else
        EXPECT_EQ(disk.StatusMessage, builtWhy);
}

TEST(GatherSectorDump, ATrdosDiskReadFromATrdIsGatheredInRunsOfWholeTracks) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(160)));
    ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);
    ImagePieces pieces;
    ASSERT_TRUE(disk.GatherTRD(pieces));
    EXPECT_LE(pieces.size(), 160u) << "a track's sixteen sectors lie side by side";
}

// Sectors out of number order, a twin, slots at full size (a disk handed out whole), a disk of wider
// sectors, and the refusals.
TEST(GatherSectorDump, EqualsTheBuiltImageForEveryLayoutAndRefusesAlike) {
    {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(6)));
        test::SwapSlots(disk.Track(3)->Sectors[0], disk.Track(3)->Sectors[15]);
        test::SwapSlots(disk.Track(4)->Sectors[2], disk.Track(4)->Sectors[7]);
        TSectorSlot& twin = *disk.Track(5)->Sector(16);
        twin = *disk.Track(5)->Sector(4);
        twin.Data.fill(0xEE);
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);
    }
    {
        TZX_Disk disk(SlotLayout::kWide);
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);
    }
    {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseKDI(test::MakeSectorDumpBytes(5, 5, 1024)));
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildKDI, &TZX_Disk::GatherKDI);
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildPRO, &TZX_Disk::GatherPRO);
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);  // wrong size
    }
    {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(3)));
        disk.Track(2)->Sector(9)->SectorNo = 99;  // sector 10 of track 2 missing
        ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);
        ImagePieces pieces{ByteSpan()};
        EXPECT_FALSE(disk.GatherTRD(pieces));
        EXPECT_EQ(pieces.size(), 1u) << "a refusal leaves the caller's pieces alone";
    }
}

// Saving a sector dump takes the gathered runs: the file holds the built image, and a refusal gives the
// builder's words and leaves no file.
TEST(GatherSectorDump, ASavedDumpIsTheBuiltImage) {
    test::TempDir dir;
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(160)));
    for (const int format : {kTRD, kPRO, kKDI}) {
        SCOPED_TRACE(Formats()[format].name);
        Bytes built;
        std::string builtWhy;
        const bool builtOk = BuildImageBytes(disk, format, false, built, builtWhy);
        const std::string path = dir / "disk.img";
        std::filesystem::remove(path);
        std::string why;
        ASSERT_EQ(WriteImageFile(disk, format, path, false, why), builtOk);
        if (builtOk) {
            EXPECT_TRUE(test::ReadFile(path) == built);
        } else {
            EXPECT_EQ(why, builtWhy);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
    }
}

// A file of a sector dump format read into the disk (whole tracks go straight from the file into the
// slots) leaves the disk, the images and the refusals its bytes give when parsed in memory. One disk
// reads every file, after disks of narrow and of wide sectors.
TEST(PlaceSectorDump, AFileReadIntoTheDiskIsItsBytesParsed) {
    test::TempDir dir;
    TZX_Disk reused;
    std::mt19937 random(14);
    for (const auto& [format, track] : {std::pair{kTRD, 4096u}, std::pair{kPRO, 5120u}, std::pair{kKDI, 5120u}}) {
        for (const size_t length : {size_t{1}, size_t{track - 1}, size_t{track}, size_t{track + 1}, size_t{3 * track},
                                    size_t{5 * track / 2}, size_t{7 * track / 2}, size_t{160 * track},
                                    size_t{166 * track}, size_t{167 * track}}) {
            SCOPED_TRACE(std::string(Formats()[format].name) + ", " + std::to_string(length) + " bytes");
            Bytes bytes(length);
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
            const std::string path = dir / (std::string("disk") + Formats()[format].extension);
            test::WriteFile(path, bytes);
            TZX_Disk fresh;
            std::string parsedWhy, readWhy;
            const bool parsed = ReadImageBytes(fresh, path, bytes, parsedWhy);
            ASSERT_EQ(ReadImageFile(reused, path, readWhy), parsed);
            EXPECT_EQ(readWhy, parsedWhy);
            if (!parsed) continue;
            test::ExpectSameDisk(fresh, reused);
            for (const int target : {kTRD, kPRO, kSCL, kFDI, kUDI}) {
                Bytes expected, actual;
                std::string expectedWhy, actualWhy;
                EXPECT_EQ(BuildImageBytes(reused, target, false, actual, actualWhy),
                          BuildImageBytes(fresh, target, false, expected, expectedWhy));
                EXPECT_TRUE(actual == expected) << Formats()[target].name;
                EXPECT_EQ(actualWhy, expectedWhy);
            }
        }
    }
}

TEST(PlaceSectorDump, OnlyFilesOfWholeTracksThatTheModelHoldsArePlaced) {
    TZX_Disk disk;
    WritablePieces places;
    for (const uint64_t length : {uint64_t{0}, uint64_t{1}, uint64_t{4095}, uint64_t{4097}, uint64_t{167 * 4096},
                                  uint64_t{1} << 40})
        EXPECT_FALSE(disk.PlaceTRD(length, places)) << length;
    ASSERT_TRUE(disk.PlaceTRD(166 * 4096, places));
    size_t total = 0;
    for (std::span<uint8_t> place : places) total += place.size();
    EXPECT_EQ(total, 166u * 4096);
    EXPECT_LE(places.size(), 166u) << "a track's sixteen sectors lie side by side";
    ASSERT_TRUE(disk.PlaceKDI(2 * 5120, places));
    EXPECT_EQ(places.size(), 10u) << "sectors of 1024 bytes each have a place of their own";
    EXPECT_EQ(disk.CountTracks(), 2);
}

}  // namespace
}  // namespace tarvex
