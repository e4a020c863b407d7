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
    disk.ReadLosses.Add(LossKind::kMissingSectors, 3);
    TTrack& t = *disk.Track(7);
    t.Used = kFlagSet;
    t.RawValid = 1;
    t.RawLength = 100;
    t.RateKbps = 500;
    disk.ReserveRaw(t, 100, true)[0] = 0x4E;
    TSectorSlot& slot = *t.Sector(63);
    slot.Used = slot.DeletedData = slot.IdMissing = slot.IdCrcError = kFlagSet;
    slot.Copies = 3;
    disk.ReserveData(slot, kSectorDataBytes)[kSectorDataBytes - 1] = 9;
    ASSERT_EQ(disk.CountTracks(), 1u);

    disk.Clear();
    EXPECT_EQ(disk.CountTracks(), 0u);
    EXPECT_EQ(disk.TrackCount, 0);
    EXPECT_TRUE(disk.Comment.empty());
    EXPECT_TRUE(disk.ReadLosses.Empty());
    EXPECT_EQ(disk.StatusMessage, "previous");
    EXPECT_EQ(t.Used, 0);
    EXPECT_EQ(t.RawValid, 0);
    EXPECT_EQ(t.RawLength, 0);
    EXPECT_EQ(t.RateKbps, 0);
    EXPECT_EQ(t.RawData.size(), 0u) << "the raw track's room went with the store's";
    EXPECT_EQ(t.RawMarks.size(), 0u);
    EXPECT_TRUE(slot.Used == 0 && slot.DeletedData == 0 && slot.IdMissing == 0 && slot.IdCrcError == 0 &&
                slot.Copies == 0 && slot.Data.size() == 0);
    EXPECT_EQ(t.Index, 7);
}

// Room a slot or raw track is given after a Clear reads zeros, whatever an earlier image left in the
// store, except where the reader asked for room it fills itself.
TEST(ZxDisk, RoomGivenAfterAClearIsBlank) {
    TZX_Disk disk;
    for (int round = 0; round < 3; ++round) {
        for (unsigned k = 0; k < kMaxTracks; k += 3) {
            TTrack& t = *disk.Track(k);
            ASSERT_EQ(t.Index, k);
            ASSERT_TRUE(t.Used == 0 && t.SectorCount == 0 && t.RawValid == 0 && t.RawLength == 0) << k;
            const uint8_t* raw = disk.ReserveRaw(t, 6250 + k, true);
            ASSERT_TRUE(std::all_of(raw, raw + 6250 + k, [](uint8_t b) { return b == 0; })) << k;
            std::fill_n(t.RawData.begin(), t.RawData.size(), uint8_t{0xEE});
            for (unsigned s = 0; s < kMaxSectors; s += 7) {
                TSectorSlot& slot = *t.Sector(s);
                ASSERT_TRUE(slot.Used == 0 && slot.SectorNo == 0 && slot.DataLength == 0 && slot.Data.size() == 0);
                const size_t bytes = 128u << ((k + s) % 7);
                const uint8_t* data = disk.ReserveData(slot, bytes);
                ASSERT_TRUE(std::all_of(data, data + bytes, [](uint8_t b) { return b == 0; })) << k << " " << s;
                slot.Data.fill(0xEE);
                slot.Used = kFlagSet;
                slot.SectorNo = 1;
            }
        }
        disk.Clear();
    }
    // A run's tail comes zeroed however its room was written before; the head is the taker's.
    TZX_Disk runs;
    for (size_t round = 0; round < 3; ++round) {
        const size_t runBytes = 640 * 1024 - 100 * round, zeroFrom = 1000 * round;
        uint8_t* run = runs.ReserveRunZeroedFrom(runBytes, zeroFrom);
        ASSERT_TRUE(std::all_of(run + zeroFrom, run + runBytes, [](uint8_t b) { return b == 0; })) << round;
        std::fill_n(run, runBytes, uint8_t{0xEE});
        runs.Clear();
    }
}

// A slot given more room keeps its bytes; a copy of a slot from another disk carries every field.
TEST(ZxDisk, ASlotGrowsKeepingItsBytesAndCopiesWhole) {
    TZX_Disk disk, other;
    TSectorSlot& slot = *disk.Track(4)->Sector(2);
    uint8_t* small = disk.ReserveData(slot, 256);
    for (unsigned i = 0; i < 256; ++i) small[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(disk.ReserveData(slot, 100), small) << "room enough: the place stays";
    const uint8_t* large = disk.ReserveData(slot, 4096);
    for (unsigned i = 0; i < 256; ++i) ASSERT_EQ(large[i], static_cast<uint8_t>(i));
    EXPECT_TRUE(std::all_of(large + 256, large + 4096, [](uint8_t b) { return b == 0; }));
    slot = {.Used = kFlagSet, .SectorNo = 9, .SizeCode = 2, .DataLength = 512};
    slot.DeletedData = kFlagSet;
    slot.Copies = 2;
    TSectorSlot& copy = *other.Track(0)->Sector(0);
    other.CopySector(copy, slot);
    EXPECT_TRUE(copy.Used && copy.SectorNo == 9 && copy.SizeCode == 2 && copy.DataLength == 512 && copy.DeletedData &&
                copy.Copies == 2);
    EXPECT_TRUE(copy.Data == slot.Data);
    EXPECT_NE(copy.Data.data(), slot.Data.data());
}

TEST(ZxDisk, CountsUsedSlotsAndTracksWithGaps) {
    TZX_Disk disk;
    TTrack& t = *disk.Track(0);
    t.Sector(0)->Used = kFlagSet;
    t.Sector(2)->Used = 1;  // any non-zero value counts
    t.Sector(63)->Used = kFlagSet;
    EXPECT_EQ(t.UsedSectorCount(), 3);
    EXPECT_EQ(t.SectorCount, 0) << "counted, not stored";
    EXPECT_EQ(t.CountSectors(), 3);
    EXPECT_EQ(t.SectorCount, 3);
    disk.Track(0)->Used = kFlagSet;
    disk.Track(165)->Used = kFlagSet;
    disk.Track(255)->Used = kFlagSet;
    EXPECT_EQ(disk.CountTracks(), 3u);
}

TEST(ZxDisk, OutOfRangeAccessGivesNothing) {
    TZX_Disk disk;
    EXPECT_EQ(disk.Track(256), nullptr);
    EXPECT_EQ(disk.Track(1000), nullptr);
    EXPECT_NE(disk.Track(255), nullptr);
    EXPECT_EQ(disk.Track(0)->Sector(64), nullptr);
    EXPECT_EQ(disk.FindSector(256, 1), nullptr);

    TTrack& t = *disk.Track(0);
    t.Sector(63)->Used = kFlagSet;
    t.ClearSector(64);
    EXPECT_EQ(t.Sector(63)->Used, kFlagSet);
    t.ClearSector(63);
    EXPECT_EQ(t.Sector(63)->Used, 0);
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
    EXPECT_EQ(reused.ReadLosses.Text(), fresh.ReadLosses.Text());
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        SCOPED_TRACE("track " + std::to_string(k));
        const TTrack& a = *fresh.Track(k);
        const TTrack& b = *reused.Track(k);
        ASSERT_EQ(b.Index, a.Index);
        ASSERT_EQ(b.Used, a.Used);
        ASSERT_EQ(b.SectorCount, a.SectorCount);
        ASSERT_EQ(b.RawValid, a.RawValid);
        ASSERT_EQ(b.RawLength, a.RawLength);
        ASSERT_EQ(b.RateKbps, a.RateKbps);
        ASSERT_TRUE(b.Encoding == a.Encoding);
        ASSERT_TRUE(std::equal(a.RawData.begin(), a.RawData.begin() + a.RawLength, b.RawData.begin()));
        for (unsigned s = 0; s < kMaxSectors; ++s) {
            const TSectorSlot& x = *a.Sector(s);
            const TSectorSlot& y = *b.Sector(s);
            ASSERT_TRUE(x.Used == y.Used && x.Cylinder == y.Cylinder && x.Head == y.Head && x.SectorNo == y.SectorNo &&
                        x.SizeCode == y.SizeCode && x.DataCrcOk == y.DataCrcOk && x.DataLength == y.DataLength &&
                        x.DeletedData == y.DeletedData && x.IdMissing == y.IdMissing &&
                        x.IdCrcError == y.IdCrcError && x.Copies == y.Copies && x.Data == y.Data)
                << "slot " << s;
        }
    }
}

// Every track used, 24 slots of mixed sizes, some with bad data CRCs, deleted-data marks or without data,
// and a comment: an image of it leaves marks all over a disk that reads it.
void FillEveryTrack(TZX_Disk& disk) {
    constexpr uint8_t kSizeCodes[] = {0, 1, 2, 3, 6};
    disk.Comment = {"every track", "every slot"};
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& t = *disk.Track(k);
        t.Used = kFlagSet;
        for (unsigned s = 0; s < 24; ++s) {
            TSectorSlot& slot = *t.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(k / 2);
            slot.Head = static_cast<uint8_t>(k % 2);
            slot.SectorNo = static_cast<uint8_t>(s + 1);
            slot.SizeCode = kSizeCodes[(k + s) % std::size(kSizeCodes)];
            slot.DataCrcOk = (k * 7 + s) % 5 ? kFlagSet : 0;
            slot.DataLength = slot.SizeCode > 3 ? 0 : static_cast<uint16_t>(128u << slot.SizeCode);
            slot.DeletedData = (k + s) % 11 ? 0 : kFlagSet;
            uint8_t* data = disk.ReserveData(slot, slot.DataLength);
            for (unsigned i = 0; i < slot.DataLength; ++i) data[i] = static_cast<uint8_t>(k * 31 + s * 7 + i);
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
        ExpectSameImages(fresh, reused);
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
        // An edit past what a reader fills: Clear still brings the track back.
        reused.ReserveData(*reused.Track(1)->Sector(kMaxSectors - 1), kSectorDataBytes)[kSectorDataBytes - 1] = 0x77;
        reused.ReserveRaw(*reused.Track(1), 10, true)[0] = 0x4E;
    }
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
