#include "formats/sector_dump.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "test_locale.h"
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
        const bool builtOk = test::WithReason(BuildImageBytes(disk, format, false, built), builtWhy);
        const std::string path = dir / "disk.img";
        std::filesystem::remove(path);
        std::string why;
        ASSERT_EQ(test::WithReason(WriteImageFile(disk, format, path, false), why), builtOk);
        if (builtOk) {
            EXPECT_TRUE(test::ReadFile(path) == built);
        } else {
            EXPECT_EQ(why, builtWhy);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
    }
}

// What a sector dump writer makes of a disk, the plain way: for each sector of the file, the first slot
// of the first `perTrack` with its number, looked for one by one; its size must be `sizeCode`.
struct PlainDump {
    bool ok = true;
    std::pair<unsigned, unsigned> missing;  // track, sector
    bool badSize = false;
    Bytes image;
};
PlainDump PlainSectorDump(const TZX_Disk& disk, unsigned tracks, unsigned perTrack, uint8_t sizeCode,
                          uint16_t bytes, uint8_t (*number)(unsigned, unsigned)) {
    PlainDump d;
    for (unsigned t = 0; t < tracks; ++t)
        for (unsigned s = 0; s < perTrack; ++s) {
            const uint8_t r = number(t, s);
            const TSectorSlot* found = nullptr;
            for (unsigned i = 0; i < perTrack && !found; ++i)
                if (disk.Track(t)->Sector(i)->SectorNo == r) found = disk.Track(t)->Sector(i);
            if (!found) return d.ok = false, d.missing = {t, r}, d;
            if (found->SizeCode != sizeCode) return d.ok = false, d.badSize = true, d;
            const size_t held = std::min<size_t>(found->DataLength, bytes);
            d.image.insert(d.image.end(), found->Data.begin(), found->Data.begin() + held);
            d.image.insert(d.image.end(), bytes - held, uint8_t{0});  // an ID without data, a short read
        }
    return d;
}

// Tracks whose slots carry shuffled numbers, twins, numbers out of range and a wrong size now and then:
// the writers take the sectors, and refuse, as the plain search does.
TEST(BuildSectorDump, TakesTheSectorsThePlainSearchFinds) {
    std::mt19937 random(2026);
    struct Case {
        int format;
        unsigned perTrack;
        uint8_t sizeCode;
        uint16_t bytes;
        uint8_t (*number)(unsigned, unsigned);
    };
    const Case cases[] = {
        {kTRD, 16, 1, 256, [](unsigned, unsigned s) { return static_cast<uint8_t>(s + 1); }},
        {kPRO, 5, 3, 1024, [](unsigned t, unsigned s) { return static_cast<uint8_t>(t == 0 && s == 4 ? 9 : s + 1); }},
        {kKDI, 5, 3, 1024, [](unsigned, unsigned s) { return static_cast<uint8_t>(s + 1); }},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 300; ++round) {
            SCOPED_TRACE(std::string(Formats()[c.format].name) + " round " + std::to_string(round));
            TZX_Disk disk;
            const unsigned tracks = 1 + random() % 4;
            for (unsigned t = 0; t < tracks; ++t) {
                TTrack& track = *disk.Track(t);
                track.Used = kFlagSet;
                std::vector<uint8_t> numbers;
                for (unsigned s = 0; s < c.perTrack; ++s) numbers.push_back(c.number(t, s));
                std::shuffle(numbers.begin(), numbers.end(), random);
                for (unsigned i = 0; i < kMaxSectors; ++i) {
                    TSectorSlot& slot = *track.Sector(i);
                    slot.Used = kFlagSet;
                    slot.SectorNo = i < c.perTrack ? numbers[i] : static_cast<uint8_t>(random());
                    if (random() % 40 == 0) slot.SectorNo = numbers[random() % numbers.size()];  // a twin
                    if (random() % 200 == 0) slot.SectorNo = static_cast<uint8_t>(random());
                    slot.SizeCode = random() % 150 == 0 ? 2 : c.sizeCode;
                    slot.DataLength = random() % 50 == 0 ? static_cast<uint16_t>(random() % c.bytes) : c.bytes;
                    for (uint8_t& b : std::span(disk.ReserveData(slot, slot.DataLength), slot.DataLength))
                        b = static_cast<uint8_t>(random());
                }
            }
            const PlainDump plain = PlainSectorDump(disk, tracks, c.perTrack, c.sizeCode, c.bytes, c.number);
            Bytes built;
            std::string why;
            ASSERT_EQ(test::WithReason(BuildImageBytes(disk, c.format, false, built), why), plain.ok);
            if (plain.ok) {
                EXPECT_TRUE(built == plain.image);
            } else if (plain.badSize) {
                EXPECT_THAT(why, ::testing::HasSubstr("size"));
            } else {
                EXPECT_THAT(why, ::testing::HasSubstr("(T-" + std::to_string(plain.missing.first) + " / S-" +
                                                      std::to_string(plain.missing.second) + ")"));
            }
            ExpectGatheredAsBuilt(disk, &TZX_Disk::BuildTRD, &TZX_Disk::GatherTRD);
        }
    }
}

// A file of a sector dump format read into the disk (whole tracks go straight from the file into the
// slots) leaves the disk, the images and the refusals its bytes give when parsed in memory. One disk
// reads every file.
TEST(PlaceSectorDump, AFileReadIntoTheDiskIsItsBytesParsed) {
    test::TempDir dir;
    TZX_Disk reused;
    std::mt19937 random(14);
    for (const auto& [format, track] : {std::pair{kTRD, 4096u}, std::pair{kPRO, 5120u}, std::pair{kKDI, 5120u}}) {
        for (const size_t length : {size_t{1}, size_t{track - 1}, size_t{track}, size_t{track + 1}, size_t{3 * track},
                                    size_t{5 * track / 2}, size_t{7 * track / 2}, size_t{160 * track},
                                    size_t{256 * track}, size_t{257 * track}}) {
            SCOPED_TRACE(std::string(Formats()[format].name) + ", " + std::to_string(length) + " bytes");
            Bytes bytes(length);
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
            const std::string path = dir / (std::string("disk") + Formats()[format].extension);
            test::WriteFile(path, bytes);
            TZX_Disk fresh;
            std::string parsedWhy, readWhy;
            const bool parsed = test::WithReason(ReadImageBytes(fresh, path, bytes), parsedWhy);
            ASSERT_EQ(test::WithReason(ReadImageFile(reused, path), readWhy), parsed);
            EXPECT_EQ(readWhy, parsedWhy);
            if (!parsed) continue;
            test::ExpectSameDisk(fresh, reused);
            for (const int target : {kTRD, kPRO, kSCL, kFDI, kUDI}) {
                Bytes expected, actual;
                std::string expectedWhy, actualWhy;
                EXPECT_EQ(test::WithReason(BuildImageBytes(reused, target, false, actual), actualWhy),
                          test::WithReason(BuildImageBytes(fresh, target, false, expected), expectedWhy));
                EXPECT_TRUE(actual == expected) << Formats()[target].name;
                EXPECT_EQ(actualWhy, expectedWhy);
            }
        }
    }
}

TEST(PlaceSectorDump, OnlyFilesOfWholeTracksThatTheModelHoldsArePlaced) {
    TZX_Disk disk;
    WritablePieces places;
    for (const uint64_t length : {uint64_t{0}, uint64_t{1}, uint64_t{4095}, uint64_t{4097}, uint64_t{257 * 4096},
                                  uint64_t{1} << 40})
        EXPECT_FALSE(disk.PlaceTRD(length, places)) << length;
    ASSERT_TRUE(disk.PlaceTRD(256 * 4096, places));
    ASSERT_EQ(places.size(), 1u) << "the sectors lie side by side in file order";
    EXPECT_EQ(places[0].size(), 256u * 4096);
    EXPECT_EQ(disk.Track(255)->Sector(15)->Data.data(), places[0].data() + 256 * 4096 - 256);
    ASSERT_TRUE(disk.PlaceKDI(2 * 5120, places));
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].size(), 2u * 5120);
    EXPECT_EQ(disk.CountTracks(), 2u);
}

// Every track the file has a byte of is read: a last track cut short is filled up with zeros and its
// missing sectors are said to be lost; a file of less than a track, or of more tracks than the model
// holds, is refused naming why; a disk without tracks is not written.
TEST(ParseSectorDump, TracksAreTheFilesWholeAndCutShortOnes) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    struct Format {
        const char* name;
        bool (TZX_Disk::*parse)(ByteSpan);
        bool (TZX_Disk::*build)(Bytes&);
        size_t sectorBytes, sectorsPerTrack;
    };
    const Format formats[] = {{"TRD", &TZX_Disk::ParseTRD, &TZX_Disk::BuildTRD, 256, 16},
                              {"PRO", &TZX_Disk::ParsePRO, &TZX_Disk::BuildPRO, 1024, 5},
                              {"KDI", &TZX_Disk::ParseKDI, &TZX_Disk::BuildKDI, 1024, 5}};
    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        const size_t track = f.sectorBytes * f.sectorsPerTrack;
        TZX_Disk disk;
        const Bytes whole = test::MakeSectorDumpBytes(6, static_cast<unsigned>(f.sectorsPerTrack),
                                                      static_cast<unsigned>(f.sectorBytes));
        ASSERT_TRUE((disk.*f.parse)(whole));
        EXPECT_EQ(disk.CountTracks(), 6u);
        EXPECT_TRUE(disk.ReadLosses.Empty());

        // Five tracks, two whole sectors and part of a third: six tracks, the last padded with zeros.
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(5 * track + 2 * f.sectorBytes + 7));
        ASSERT_TRUE((disk.*f.parse)(cut));
        EXPECT_EQ(disk.CountTracks(), 6u);
        EXPECT_EQ(disk.ReadLosses.Count(LossKind::kMissingSectors), f.sectorsPerTrack - 2);
        EXPECT_EQ(disk.ReadLosses.Text(),
                  "dropped: " + std::to_string(f.sectorsPerTrack - 2) + " sectors missing from the file (track 5)");
        Bytes out;
        ASSERT_TRUE((disk.*f.build)(out));
        ASSERT_EQ(out.size(), 6 * track);
        EXPECT_TRUE(std::equal(cut.begin(), cut.end(), out.begin()));
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(cut.size()), out.end(), [](uint8_t b) { return b == 0; }));

        for (const size_t bytes : {size_t{0}, size_t{26}, track - 1}) {
            EXPECT_FALSE((disk.*f.parse)(Bytes(bytes, 0x33))) << bytes;
            EXPECT_EQ(disk.StatusMessage, std::string(f.name) + " image holds less than one track (" +
                                              std::to_string(bytes) + " bytes, a track has " + std::to_string(track) +
                                              ")!");
        }
        ASSERT_TRUE((disk.*f.parse)(Bytes(kMaxTracks * track, 1)));
        EXPECT_EQ(disk.CountTracks(), unsigned{kMaxTracks});
        EXPECT_FALSE((disk.*f.parse)(Bytes(kMaxTracks * track + 1, 1)));
        EXPECT_EQ(disk.StatusMessage, std::string(f.name) + " image has 257 tracks; at most 256 are supported!");

        disk.Clear();
        EXPECT_FALSE((disk.*f.build)(out)) << "a disk without tracks makes no image";
        EXPECT_EQ(disk.StatusMessage, "The disk has no tracks to write!");
    }
}

}  // namespace
}  // namespace tarvex

namespace tarvex {
namespace {

TEST(BuildSectorDump, UnformattedTracksPastTheLastSectorAreNoTracksOfTheDump) {
    const Bytes trd = test::MakeTrdBytes(160);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(trd));
    disk.Track(160)->Used = disk.Track(161)->Used = kFlagSet;  // a drive stepped on: nothing on them
    Bytes out;
    ASSERT_TRUE(disk.BuildTRD(out)) << disk.StatusMessage;
    EXPECT_EQ(out, trd);
    EXPECT_TRUE(disk.WriteLosses.Empty()) << disk.WriteLosses.Text();
}

}  // namespace
}  // namespace tarvex
