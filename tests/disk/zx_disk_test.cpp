#include "disk/zx_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/td0.h"
#include "test_support.h"

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

TEST(ZxDisk, ANewDiskIsBlankInEveryByteButTheTrackNumbers) {
    for (int round = 0; round < 2; ++round) {  // the second disk may get the first one's memory
        TZX_Disk disk;
        for (unsigned k = 0; k < kMaxTracks; ++k) {
            TTrack& t = *disk.Track(k);
            ASSERT_EQ(t.Index, k);
            ASSERT_TRUE(t.Used == 0 && t.SectorCount == 0 && t.RawValid == 0 && t.RawLength == 0) << k;
            ASSERT_TRUE(std::all_of(t.RawData.begin(), t.RawData.end(), [](uint8_t b) { return b == 0; })) << k;
            for (const TSectorSlot& slot : t.Sectors)
                ASSERT_TRUE(slot.Used == 0 && slot.SectorNo == 0 && slot.DataLength == 0 &&
                            std::all_of(slot.Data.begin(), slot.Data.end(), [](uint8_t b) { return b == 0; }))
                    << k;
            t.RawData.fill(0xEE);
            for (TSectorSlot& slot : t.Sectors) slot.Data.fill(0xEE);
        }
    }
}

TEST(ZxDisk, CountsUsedSlotsAndTracksWithGaps) {
    TZX_Disk disk;
    TTrack& t = *disk.Track(0);
    t.Sector(0)->Used = kFlagSet;
    t.Sector(2)->Used = 1;  // any non-zero value counts
    EXPECT_EQ(t.UsedSectorCount(), 2);
    EXPECT_EQ(t.SectorCount, 0) << "counted, not stored";
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

// Every field a cleared track defines, and the whole of every slot: a disk reused from image to image
// (Clear resets only the tracks handed out for writing, and of a track handed out to a sector-dump
// reader only what it fills) must hold what a fresh disk holds.
void ExpectSameModel(const TZX_Disk& fresh, const TZX_Disk& reused) {
    EXPECT_EQ(reused.Comment, fresh.Comment);
    EXPECT_EQ(reused.SkippedIdlessSectors, fresh.SkippedIdlessSectors);
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        SCOPED_TRACE("track " + std::to_string(k));
        const TTrack& a = *fresh.Track(k);
        const TTrack& b = *reused.Track(k);
        ASSERT_EQ(b.Index, a.Index);
        ASSERT_EQ(b.Used, a.Used);
        ASSERT_EQ(b.SectorCount, a.SectorCount);
        ASSERT_EQ(b.RawValid, a.RawValid);
        ASSERT_EQ(b.RawLength, a.RawLength);
        ASSERT_TRUE(std::equal(a.RawData.begin(), a.RawData.begin() + kRawClearedBytes, b.RawData.begin()));
        for (unsigned s = 0; s < kMaxSectors; ++s) {
            const TSectorSlot& x = *a.Sector(s);
            const TSectorSlot& y = *b.Sector(s);
            ASSERT_TRUE(x.Used == y.Used && x.Cylinder == y.Cylinder && x.Head == y.Head && x.SectorNo == y.SectorNo &&
                        x.SizeCode == y.SizeCode && x.DataCrcOk == y.DataCrcOk && x.DataLength == y.DataLength &&
                        x.Data == y.Data)
                << "slot " << s;
        }
    }
}

// Every track used, all twenty slots of mixed sizes with data up to the slot's last byte, some with bad
// data CRCs or without data, and a comment: an image of it leaves marks all over a disk that reads it.
void FillEveryTrack(TZX_Disk& disk) {
    constexpr uint8_t kSizeCodes[] = {0, 1, 2, 3, 6};
    disk.Comment = {"every track", "every slot"};
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& t = *disk.Track(k);
        t.Used = kFlagSet;
        for (unsigned s = 0; s < kMaxSectors; ++s) {
            TSectorSlot& slot = *t.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(k / 2);
            slot.Head = static_cast<uint8_t>(k % 2);
            slot.SectorNo = static_cast<uint8_t>(s + 1);
            slot.SizeCode = kSizeCodes[(k + s) % std::size(kSizeCodes)];
            slot.DataCrcOk = (k * 7 + s) % 5 ? kFlagSet : 0;
            slot.DataLength = slot.SizeCode > 3 ? 0 : static_cast<uint16_t>(128u << slot.SizeCode);
            for (unsigned i = 0; i < slot.DataLength; ++i) slot.Data[i] = static_cast<uint8_t>(k * 31 + s * 7 + i);
        }
        t.CountSectors();
    }
}

// Every writer's bytes (or its refusal) from two disks that must hold the same sectors.
void ExpectSameImages(TZX_Disk& expected, TZX_Disk& actual) {
    using Build = bool (TZX_Disk::*)(Bytes&);
    const std::pair<const char*, Build> writers[] = {
        {"UDI", &TZX_Disk::BuildUDI}, {"TRD", &TZX_Disk::BuildTRD}, {"FDI", &TZX_Disk::BuildFDI},
        {"PRO", &TZX_Disk::BuildPRO}, {"SCL", &TZX_Disk::BuildSCL}, {"KDI", &TZX_Disk::BuildKDI},
        {"HFE", &TZX_Disk::BuildHFE}, {"DSK", &TZX_Disk::BuildDSK}};
    for (const auto& [name, build] : writers) {
        Bytes a, b;
        const bool builtA = (expected.*build)(a);
        ASSERT_EQ((actual.*build)(b), builtA) << name;
        EXPECT_TRUE(builtA ? a == b : expected.StatusMessage == actual.StatusMessage) << name;
    }
    for (const bool compress : {false, true}) {
        const std::tm when{.tm_sec = 20, .tm_min = 55, .tm_hour = 21, .tm_mday = 18, .tm_mon = 8, .tm_year = 98};
        Bytes a, b;
        ASSERT_EQ(BuildTD0At(actual, b, compress, when), BuildTD0At(expected, a, compress, when));
        EXPECT_TRUE(a == b) << "TD0";
    }
}

// A sector dump read the way a file of whole tracks is: its tracks placed, then its bytes copied where
// the disk says they go. `abandoned`: the places are left unfilled and the disk cleared instead.
template <bool (TZX_Disk::*place)(uint64_t, WritablePieces&)>
bool Placed(TZX_Disk& disk, ByteSpan bytes, bool abandoned = false) {
    WritablePieces places;
    if (!(disk.*place)(bytes.size(), places)) return false;
    if (abandoned) return disk.Clear(), true;
    for (std::span<uint8_t> piece : places) {
        std::memcpy(piece.data(), bytes.data(), piece.size());
        bytes = bytes.subspan(piece.size());
    }
    return bytes.empty();
}

TEST(ZxDisk, AReusedDiskReadsEveryImageAsAFreshOneDoes) {
    using Parse = std::function<bool(TZX_Disk&, ByteSpan)>;
    auto parser = [](bool (TZX_Disk::*parse)(ByteSpan)) -> Parse {
        return [parse](TZX_Disk& disk, ByteSpan bytes) { return (disk.*parse)(bytes); };
    };
    struct Image {
        const char* what;
        Parse parse;
        Bytes bytes;
    };
    std::vector<Image> images;
    {
        TZX_Disk full;
        FillEveryTrack(full);
        Bytes td0, fdi;
        ASSERT_TRUE(full.BuildTD0(td0, false));
        ASSERT_TRUE(full.BuildFDI(fdi));
        TZX_Disk trdos;
        ASSERT_TRUE(trdos.ParseTRD(test::MakeTrdBytes(160)));
        Bytes udi;
        ASSERT_TRUE(trdos.BuildUDI(udi));
        const auto placedTrd = [](TZX_Disk& d, ByteSpan b) { return Placed<&TZX_Disk::PlaceTRD>(d, b); };
        const auto placedPro = [](TZX_Disk& d, ByteSpan b) { return Placed<&TZX_Disk::PlacePRO>(d, b); };
        const auto placedKdi = [](TZX_Disk& d, ByteSpan b) { return Placed<&TZX_Disk::PlaceKDI>(d, b); };
        const Bytes kdi2 = test::MakeSectorDumpBytes(2, 5, 1024);
        const auto abandonedTrd = [kdi2](TZX_Disk& d, ByteSpan b) {
            return Placed<&TZX_Disk::PlaceTRD>(d, b, true) && d.ParseKDI(kdi2);
        };
        images = {
            {"TD0 of every track", parser(&TZX_Disk::ParseTD0), td0},
            {"TRD of 2 tracks", parser(&TZX_Disk::ParseTRD), test::MakeTrdBytes(2)},
            {"FDI of every track", parser(&TZX_Disk::ParseFDI), fdi},
            {"SCL of one file", parser(&TZX_Disk::ParseSCL), test::MakeSclBytes({{.name = "one", .sectors = 3}})},
            {"UDI of raw tracks", parser(&TZX_Disk::ParseUDI), udi},
            {"KDI of 3 tracks", parser(&TZX_Disk::ParseKDI), test::MakeSectorDumpBytes(3, 5, 1024)},
            {"TRD of 3 tracks", parser(&TZX_Disk::ParseTRD), test::MakeTrdBytes(3)},
            {"SCL of two files", parser(&TZX_Disk::ParseSCL),
             test::MakeSclBytes({{.name = "a", .sectors = 20}, {.name = "b", .sectors = 2}})},
            {"KDI of 2 tracks", parser(&TZX_Disk::ParseKDI), kdi2},
            {"TD0 again", parser(&TZX_Disk::ParseTD0), td0},
            {"UDI again", parser(&TZX_Disk::ParseUDI), udi},
            {"TRD of 1 track", parser(&TZX_Disk::ParseTRD), test::MakeTrdBytes(1)},
            {"TRD of 160 tracks placed", placedTrd, test::MakeTrdBytes(160)},
            {"TRD of 4 tracks placed", placedTrd, test::MakeTrdBytes(4, [](size_t i) { return uint8_t(i * 13); })},
            {"PRO of 6 tracks placed", placedPro, test::MakeSectorDumpBytes(6, 5, 1024)},
            {"KDI of 3 tracks placed", placedKdi, test::MakeSectorDumpBytes(3, 5, 1024)},
            {"TRD of 160 tracks placed and abandoned", abandonedTrd, test::MakeTrdBytes(160)},
            {"TD0 once more", parser(&TZX_Disk::ParseTD0), td0},
            {"TRD of 160 tracks placed after every track", placedTrd, test::MakeTrdBytes(160)},
            {"TRD of 2 tracks, last", parser(&TZX_Disk::ParseTRD), test::MakeTrdBytes(2)}};
    }
    TZX_Disk reused;
    for (const Image& image : images) {
        SCOPED_TRACE(image.what);
        TZX_Disk fresh;
        ASSERT_TRUE(image.parse(fresh, image.bytes)) << fresh.StatusMessage;
        ASSERT_TRUE(image.parse(reused, image.bytes)) << reused.StatusMessage;
        ExpectSameModel(fresh, reused);
        // The wide layout, every slot at its full size, holds the same sectors and writes the same images.
        TZX_Disk wide(SlotLayout::kWide);
        ASSERT_TRUE(image.parse(wide, image.bytes)) << wide.StatusMessage;
        ExpectSameModel(wide, reused);
        ExpectSameImages(wide, reused);
        // Writing reads the model only: whatever the writers make of it, the next image meets a disk that
        // Clear can still bring back to blank.
        Bytes out;
        reused.BuildUDI(out);
        reused.BuildTRD(out);
        reused.BuildTD0(out, false);
        reused.BuildFDI(out);
        reused.BuildPRO(out);
        reused.BuildSCL(out);
        reused.BuildKDI(out);
        // An edit past what a sector-dump reader fills, then a narrower claim on the same track: the
        // track stays one for Clear to reset whole.
        reused.Track(1)->Sector(kMaxSectors - 1)->Data[kSectorDataBytes - 1] = 0x77;
        reused.Track(1)->RawData[0] = 0x4E;
        reused.TrackWithin(1, 1, 1)->Sector(0)->Data[0] = 0x11;
    }
}

// Every byte a track's slots can be given reads zero, at the narrow size and at the full size; the disk is
// left cleared.
void ExpectBlankStorage(TZX_Disk& disk) {
    const auto zero = [](uint8_t b) { return b == 0; };
    for (const unsigned bytes : {unsigned{kNarrowSectorBytes}, unsigned{kSectorDataBytes}}) {
        disk.Clear();
        for (unsigned k = 0; k < kMaxTracks; ++k) {
            const TTrack& t = *disk.TrackWithin(k, kMaxSectors, bytes);
            for (unsigned s = 0; s < kMaxSectors; ++s)
                ASSERT_TRUE(std::all_of(t.Sector(s)->Data.begin(), t.Sector(s)->Data.end(), zero))
                    << "track " << k << " slot " << s << " at " << bytes << " bytes";
        }
    }
    disk.Clear();
}

// The bytes a refill leaves in place are only those it overwrites: neither the tracks after its last nor
// the slots' full-size place of a track it takes narrow keep anything of the image before, whether the
// refill is completed or abandoned.
TEST(ZxDisk, ARefillKeepsNoBytesItDoesNotOverwrite) {
    Bytes every;
    {
        TZX_Disk full;
        FillEveryTrack(full);
        ASSERT_TRUE(full.BuildFDI(every));
    }
    const Bytes small = test::MakeTrdBytes(4, [](size_t i) { return uint8_t(i * 5 + 1); });
    for (const bool abandoned : {false, true}) {
        SCOPED_TRACE(abandoned ? "abandoned" : "completed");
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(160)));
        ASSERT_TRUE(Placed<&TZX_Disk::PlaceTRD>(disk, small, abandoned));
        for (unsigned k = 0; k < 4 && !abandoned; ++k)
            EXPECT_TRUE(std::equal(disk.Track(k)->Sector(15)->Data.begin(),
                                   disk.Track(k)->Sector(15)->Data.begin() + 256, &small[k * 4096 + 15 * 256]));
        ExpectBlankStorage(disk);
        ASSERT_TRUE(disk.ParseKDI(test::MakeSectorDumpBytes(6, 5, 1024)));
        ASSERT_TRUE(Placed<&TZX_Disk::PlaceTRD>(disk, small, abandoned));
        ExpectBlankStorage(disk);
        ASSERT_TRUE(disk.ParseFDI(every));
        ASSERT_TRUE(Placed<&TZX_Disk::PlacePRO>(disk, test::MakeSectorDumpBytes(2, 5, 1024), abandoned));
        ExpectBlankStorage(disk);
    }
}

// A track read with narrow sectors and then handed out whole keeps its bytes where every slot has its
// full size; Clear then leaves nothing of either behind.
TEST(ZxDisk, ATrackOfNarrowSectorsHandedOutWholeKeepsItsBytes) {
    const Bytes trd = test::MakeTrdBytes(4);
    TZX_Disk disk;
    TZX_Disk wide(SlotLayout::kWide);
    ASSERT_TRUE(disk.ParseTRD(trd));
    ASSERT_TRUE(wide.ParseTRD(trd));
    for (TZX_Disk* d : {&disk, &wide}) {
        TTrack& t = *d->Track(2);
        t.Sector(3)->Data[kSectorDataBytes - 1] = 0x5A;
        t.Sector(kMaxSectors - 1)->Data[300] = 0xA5;
        d->TrackWithin(2, 1, 1)->Sector(0)->Data[255] ^= 0xFF;
    }
    ExpectSameModel(wide, disk);
    ExpectSameImages(wide, disk);
    EXPECT_EQ(disk.Track(2)->Sector(3)->Data[kSectorDataBytes - 1], 0x5A);
    EXPECT_TRUE(std::equal(&trd[2 * 4096 + 3 * 256], &trd[2 * 4096 + 4 * 256], disk.Track(2)->Sector(3)->Data.begin()));

    TZX_Disk fresh;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(1)));
    ASSERT_TRUE(fresh.ParseTRD(test::MakeTrdBytes(1)));
    ExpectSameModel(fresh, disk);
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
