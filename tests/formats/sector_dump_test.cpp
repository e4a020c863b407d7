#include "formats/sector_dump.h"

#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace tarvex
