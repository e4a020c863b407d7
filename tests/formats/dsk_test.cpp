// The DSK reader and writer: the real images of the sample corpus (two copy-protected CPC disks among them)
// held against a plain walk of their blocks written here, small images
// built in the tests for every rule of the reader, and the writer's images read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// ---- a plain walk of a DSK file ---------------------------------------------------------------

struct ListedSector {
    uint8_t c, h, r, n, st1, st2;
    Bytes stored;
};

struct ListedTrack {
    unsigned index;  // cylinder * 2 + side
    std::vector<ListedSector> sectors;
};

unsigned Le16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }

// Every formatted track of the file, by its place in the file.
std::vector<ListedTrack> ListTracks(const Bytes& file) {
    const bool extended = std::memcmp(file.data(), "EXTENDED", 8) == 0;
    const unsigned cylinders = file[0x30], sides = file[0x31];
    std::vector<ListedTrack> tracks;
    size_t at = 256;
    for (unsigned i = 0; i < cylinders * sides; ++i) {
        const size_t size = extended ? file[0x34 + i] * 256u : Le16(file, 0x32);
        if (size == 0) continue;
        ListedTrack t{(i / sides) * 2 + i % sides, {}};
        size_t data = at + 256;
        for (unsigned s = 0; s < file[at + 0x15]; ++s) {
            const uint8_t* e = &file[at + 0x18 + 8 * s];
            const size_t length = extended ? Le16(file, at + 0x18 + 8 * s + 6) : 128u << file[at + 0x14];
            t.sectors.push_back(
                {e[0], e[1], e[2], e[3], e[4], e[5], Bytes(file.begin() + data, file.begin() + data + length)});
            data += length;
        }
        tracks.push_back(std::move(t));
        at += size;
    }
    return tracks;
}

// What the model must hold for a listed sector: nothing for an ID without a data field, the first copy of
// a weak sector, otherwise the bytes as stored.
Bytes ExpectedData(const ListedSector& s, bool extended) {
    if (s.stored.empty() || (s.st2 & 0x01)) return {};
    const size_t size = 128u << s.n;
    if (extended && s.n <= 7 && s.stored.size() >= 2 * size && s.stored.size() % size == 0)
        return Bytes(s.stored.begin(), s.stored.begin() + size);
    return s.stored;
}

void ExpectDiskHoldsFile(const TZX_Disk& disk, const Bytes& file) {
    const bool extended = std::memcmp(file.data(), "EXTENDED", 8) == 0;
    std::vector<bool> listed(kMaxTracks);
    for (const ListedTrack& t : ListTracks(file)) {
        listed[t.index] = true;
        const TTrack& track = *disk.Track(t.index);
        ASSERT_TRUE(track.Used) << "track " << t.index;
        for (unsigned k = 0; k < kMaxSectors; ++k) {
            const TSectorSlot& slot = *track.Sector(k);
            SCOPED_TRACE("track " + std::to_string(t.index) + " slot " + std::to_string(k));
            ASSERT_EQ(slot.Used != 0, k < t.sectors.size());
            if (!slot.Used) continue;
            const ListedSector& s = t.sectors[k];
            EXPECT_EQ(slot.Cylinder, s.c);
            EXPECT_EQ(slot.Head, s.h);
            EXPECT_EQ(slot.SectorNo, s.r);
            EXPECT_EQ(slot.SizeCode, s.n);
            const Bytes data = ExpectedData(s, extended);
            ASSERT_EQ(slot.DataLength, data.size());
            EXPECT_TRUE(std::equal(data.begin(), data.end(), slot.Data.begin()));
            EXPECT_EQ(slot.DataCrcOk == 0, (s.st1 & 0x20) || (s.st2 & 0x20));
        }
    }
    for (unsigned k = 0; k < kMaxTracks; ++k)
        if (!listed[k]) {
            EXPECT_FALSE(disk.Track(k)->Used) << "track " << k;
        }
}

std::vector<fs::path> RealImages() { return test::CorpusFiles("dsk"); }

TEST(DskRealImages, EverySectorIsWhatTheFileHolds) {
    for (const fs::path& image : RealImages()) {
        SCOPED_TRACE(image.filename().string());
        const Bytes file = test::ReadFile(image);
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseDSK(file)) << disk.StatusMessage;
        ExpectDiskHoldsFile(disk, file);
    }
}

TEST(DskRealImages, ProtectedCpcDisksKeepWhatMakesThemSpecial) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadDSK((test::CorpusDir() / "dsk" / "cpccore-afterburner.dsk").string())) << disk.StatusMessage;
    // The weak sector 0x48 on cylinder 0, stored as three reads with a CRC error: the first read is kept.
    const TSectorSlot& weak = *disk.Track(0)->Sector(7);
    EXPECT_EQ(weak.SectorNo, 0x48);
    EXPECT_EQ(weak.DataLength, 512);
    EXPECT_EQ(weak.DataCrcOk, 0);
    // Deleted-data sectors (cylinder 3 on) read as ordinary good data; unformatted tracks stay absent.
    EXPECT_EQ(disk.Track(6)->Sector(0)->DataLength, 1024);
    EXPECT_NE(disk.Track(6)->Sector(0)->DataCrcOk, 0);
    EXPECT_FALSE(disk.Track(36)->Used);
    EXPECT_TRUE(disk.Track(38)->Used);
    EXPECT_FALSE(disk.Track(1)->Used) << "a one-sided image keeps its tracks on side 0";

    ASSERT_TRUE(disk.LoadDSK((test::CorpusDir() / "dsk" / "cpccore-apb.dsk").string())) << disk.StatusMessage;
    // Cylinder 25: sixteen sectors of size codes 0 to 15, each stored in 128 bytes, the last in 185.
    TTrack& odd = *disk.Track(50);
    ASSERT_EQ(odd.CountSectors(), 16);
    for (unsigned k = 0; k < 16; ++k) {
        EXPECT_EQ(odd.Sectors[k].SizeCode, k);
        EXPECT_EQ(odd.Sectors[k].DataLength, k == 15 ? 185 : 128);
        EXPECT_EQ(odd.Sectors[k].DataCrcOk == 0, k > 0) << k;
    }
    EXPECT_EQ(disk.CountTracks(), 40) << "the offset table after the last track is no track";
}

TEST(DskRealImages, WrittenAgainAndThroughUdiTheSectorsStay) {
    for (const fs::path& image : RealImages()) {
        SCOPED_TRACE(image.filename().string());
        TZX_Disk disk, again;
        ASSERT_TRUE(disk.ParseDSK(test::ReadFile(image)));
        Bytes dsk;
        ASSERT_TRUE(disk.BuildDSK(dsk)) << disk.StatusMessage;
        ASSERT_TRUE(again.ParseDSK(dsk)) << again.StatusMessage;
        test::ExpectSameDisk(disk, again);
        // Through UDI for the disks whose sectors fit an MFM track.
        if (image.filename() == "cpccore-apb.dsk") continue;
        Bytes udi;
        TZX_Disk viaUdi, back;
        ASSERT_TRUE(disk.BuildUDI(udi)) << disk.StatusMessage;
        ASSERT_TRUE(viaUdi.ParseUDI(udi));
        ASSERT_TRUE(viaUdi.BuildDSK(dsk));
        ASSERT_TRUE(back.ParseDSK(dsk));
        test::ExpectSameSectors(disk, back);
    }
}

// ---- small images built here -----------------------------------------------------------------

struct SectorSpec {
    uint8_t c = 0, h = 0, r = 1, n = 1, st1 = 0, st2 = 0;
    Bytes stored;
};

struct TrackLayout {
    std::vector<SectorSpec> sectors;
    uint8_t infoCylinder = 0;  // what the information block claims
    bool formatted = true;
    std::string signature = "Track-Info\r\n";
};

Bytes TrackBlock(const TrackLayout& t, bool extended, size_t standardBytes = 0) {
    Bytes block(256, 0);
    std::memcpy(block.data(), t.signature.data(), t.signature.size());
    block[0x10] = t.infoCylinder;
    block[0x14] = t.sectors.empty() ? 0 : t.sectors[0].n;
    block[0x15] = static_cast<uint8_t>(t.sectors.size());
    for (size_t s = 0; s < t.sectors.size() && 0x18 + 8 * s + 8 <= 256; ++s) {
        const SectorSpec& x = t.sectors[s];
        const uint8_t e[8] = {x.c, x.h, x.r, x.n, x.st1, x.st2, static_cast<uint8_t>(x.stored.size()),
                              static_cast<uint8_t>(x.stored.size() >> 8)};
        std::memcpy(&block[0x18 + 8 * s], e, extended ? 8 : 6);
    }
    for (const SectorSpec& x : t.sectors) block.insert(block.end(), x.stored.begin(), x.stored.end());
    block.resize(extended ? (block.size() + 255) / 256 * 256 : standardBytes, 0);
    return block;
}

// An extended image of cylinders x sides tracks, in file order.
Bytes ExtendedImage(unsigned cylinders, unsigned sides, const std::vector<TrackLayout>& tracks) {
    Bytes image(256, 0);
    const char* sig = "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
    std::memcpy(image.data(), sig, std::strlen(sig));
    image[0x30] = static_cast<uint8_t>(cylinders);
    image[0x31] = static_cast<uint8_t>(sides);
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (!tracks[i].formatted) continue;
        const Bytes block = TrackBlock(tracks[i], true);
        image[0x34 + i] = static_cast<uint8_t>(block.size() / 256);
        image.insert(image.end(), block.begin(), block.end());
    }
    return image;
}

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

TEST(DskReader, StandardImageSizesEverySectorByItsTrackAndPlacesOneSideOnEvenTracks) {
    TrackLayout t;
    t.sectors = {{.c = 0, .r = 0xC1, .n = 2, .stored = Pattern(512, 1)},
                 {.c = 0, .r = 0xC2, .n = 1, .stored = Pattern(512, 2)}};  // its own N says 256: still 512 stored
    TrackLayout u = t;
    u.sectors[0].c = u.sectors[1].c = 1;
    Bytes image(256, 0);
    std::memcpy(image.data(), "MV - CPCEMU Disk-File\r\nDisk-Info\r\n", 34);
    image[0x30] = 2;
    image[0x31] = 1;
    image[0x32] = 0x00;
    image[0x33] = 0x05;  // 1280 bytes per track
    for (const TrackLayout& layout : {t, u}) {
        const Bytes block = TrackBlock(layout, false, 1280);
        image.insert(image.end(), block.begin(), block.end());
    }
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseDSK(image)) << disk.StatusMessage;
    EXPECT_EQ(disk.CountTracks(), 2);
    ASSERT_TRUE(disk.Track(2)->Used);
    EXPECT_EQ(disk.Track(2)->Sector(1)->DataLength, 512);
    EXPECT_EQ(disk.Track(2)->Sector(1)->Data[0], Pattern(1, 2)[0]);
    EXPECT_EQ(disk.Track(2)->Sector(1)->Cylinder, 1);
    ExpectDiskHoldsFile(disk, image);
}

TEST(DskReader, ExtendedImageKeepsIdsCrcErrorsAndIdsWithoutDataAndPlacesTracksByTheirBlock) {
    std::vector<TrackLayout> tracks(4);
    tracks[0].sectors = {{.r = 1, .stored = Pattern(256, 1)},
                         {.r = 2, .st1 = 0x20, .st2 = 0x20, .stored = Pattern(256, 2)},
                         {.r = 3, .st1 = 0x01, .st2 = 0x01, .stored = {}},
                         {.c = 40, .h = 7, .r = 4, .n = 2, .st1 = 0, .st2 = 0x40, .stored = Pattern(512, 4)}};
    tracks[1].formatted = false;
    tracks[2].infoCylinder = 9;  // the block's place says cylinder 1, side 0
    tracks[2].sectors = {{.c = 1, .r = 1, .stored = Pattern(256, 9)}};
    tracks[3].sectors = {};  // formatted without sectors
    Bytes image = ExtendedImage(2, 2, tracks);
    const Bytes offsetInfo = {'O', 'f', 'f', 's', 'e', 't', '-', 'I', 'n', 'f', 'o', '\r', '\n', 1, 2, 3};
    image.insert(image.end(), offsetInfo.begin(), offsetInfo.end());

    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseDSK(image)) << disk.StatusMessage;
    const TTrack& t0 = *disk.Track(0);
    EXPECT_NE(t0.Sectors[0].DataCrcOk, 0);
    EXPECT_EQ(t0.Sectors[1].DataCrcOk, 0);
    EXPECT_EQ(t0.Sectors[1].DataLength, 256) << "the data as read is kept with its error";
    EXPECT_EQ(t0.Sectors[2].DataLength, 0);
    EXPECT_EQ(t0.Sectors[3].Cylinder, 40);
    EXPECT_EQ(t0.Sectors[3].Head, 7);
    EXPECT_NE(t0.Sectors[3].DataCrcOk, 0) << "deleted data reads as ordinary data";
    EXPECT_FALSE(disk.Track(1)->Used);
    EXPECT_TRUE(disk.Track(2)->Used);
    EXPECT_FALSE(disk.Track(18)->Used) << "not where the information block's cylinder byte points";
    EXPECT_TRUE(disk.Track(3)->Used);
    EXPECT_EQ(disk.Track(3)->CountSectors(), 0);
    ExpectDiskHoldsFile(disk, image);
}

TEST(DskReader, WeakSectorsKeepEveryReadAndLargeSectorsTheirBytes) {
    Bytes copies = Pattern(256, 1);
    const Bytes second = Pattern(256, 99);
    copies.insert(copies.end(), second.begin(), second.end());
    std::vector<TrackLayout> tracks(1);
    tracks[0].sectors = {{.r = 1, .n = 1, .st1 = 0x20, .st2 = 0x20, .stored = copies},
                         {.r = 2, .n = 4, .stored = Pattern(2048, 5)},
                         {.r = 3, .n = 1, .st2 = 0x40, .stored = Pattern(300, 3)},  // not a whole multiple: as stored
                         {.r = 4, .n = 5, .stored = Pattern(4096, 6)}};
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseDSK(ExtendedImage(1, 1, tracks))) << disk.StatusMessage;
    const TTrack& t = *disk.Track(0);
    EXPECT_EQ(t.Sectors[0].DataLength, 256);
    EXPECT_EQ(t.Sectors[0].CopyCount(), 2u);
    EXPECT_EQ(0, std::memcmp(t.Sectors[0].Copy(1), second.data(), 256));
    EXPECT_EQ(t.Sectors[1].DataLength, 2048);
    EXPECT_EQ(t.Sectors[2].DataLength, 300);
    EXPECT_TRUE(t.Sectors[2].DeletedData);
    EXPECT_EQ(t.Sectors[3].DataLength, 4096);
    EXPECT_EQ(0, std::memcmp(t.Sectors[3].Data.data(), Pattern(4096, 6).data(), 4096));
    Bytes again;
    ASSERT_TRUE(disk.BuildDSK(again));
    EXPECT_TRUE(disk.WriteLosses.Empty()) << disk.WriteLosses.Text();
    TZX_Disk back;
    ASSERT_TRUE(back.ParseDSK(again));
    test::ExpectSameDisk(disk, back);
    EXPECT_EQ(back.Track(0)->Sectors[0].CopyCount(), 2u);
    EXPECT_TRUE(back.Track(0)->Sectors[2].DeletedData);
}

TEST(DskReader, WhatTheModelCannotHoldIsRefusedNamingTheTrack) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    std::vector<TrackLayout> tracks(4);
    tracks[3].sectors.resize(29);
    ASSERT_TRUE(disk.ParseDSK(ExtendedImage(2, 2, tracks))) << disk.StatusMessage;
    tracks[3].sectors.resize(30);
    EXPECT_FALSE(disk.ParseDSK(ExtendedImage(2, 2, tracks)));
    EXPECT_EQ(disk.StatusMessage, "Track 3 (cylinder 1, side 1) of the DSK image lists 30 sectors, more than the 29 "
                                  "its information block holds!");
    {
        const tarvex::test::ScopedLocale russian(tarvex::test::kRussianLocale);  // values in their places
        EXPECT_FALSE(disk.ParseDSK(ExtendedImage(2, 2, tracks)));
        EXPECT_EQ(disk.StatusMessage, "Дорожка 3 (цилиндр 1, сторона 1) образа DSK: в списке секторов 30, больше "
                                      "29, которые вмещает блок описания дорожки!");
        EXPECT_FALSE(disk.ParseDSK(Bytes{'M', 'V', ' ', '-'}));
        EXPECT_EQ(disk.StatusMessage, "Это не образ DSK!");
    }

    // Cylinder 128 is past the model's 256 tracks; unformatted it costs nothing.
    std::vector<TrackLayout> many(129);
    many[128].formatted = false;
    EXPECT_TRUE(disk.ParseDSK(ExtendedImage(129, 1, many))) << "one side: cylinder 128 would be track 256";
    EXPECT_EQ(disk.CountTracks(), 128u);
    many[128].formatted = true;
    EXPECT_FALSE(disk.ParseDSK(ExtendedImage(129, 1, many)));
    EXPECT_THAT(disk.StatusMessage, HasSubstr("Track 256 (cylinder 128, side 0)"));
}

TEST(DskReader, DamagedImagesGetAReasonOrTheStreamReadError) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    EXPECT_FALSE(disk.ParseDSK(Bytes{'M', 'V', ' ', '-'}));
    EXPECT_EQ(disk.StatusMessage, "Not a DSK image!");
    EXPECT_FALSE(disk.ParseDSK(test::MakeTrdBytes(1)));
    EXPECT_EQ(disk.StatusMessage, "Not a DSK image!");

    std::vector<TrackLayout> tracks(2);
    tracks[1].sectors = {{.r = 1, .stored = Pattern(256, 1)}};
    const Bytes good = ExtendedImage(1, 2, tracks);
    EXPECT_THROW(disk.ParseDSK(Bytes(good.begin(), good.end() - 1)), StreamReadError) << "the last block cut short";
    EXPECT_THROW(disk.ParseDSK(Bytes(good.begin(), good.begin() + 100)), StreamReadError);

    Bytes threeSides = good;
    threeSides[0x31] = 3;
    EXPECT_FALSE(disk.ParseDSK(threeSides));
    EXPECT_EQ(disk.StatusMessage, "DSK image geometry error!");

    tracks[1].signature = "Track-Inf0\r\n";
    EXPECT_FALSE(disk.ParseDSK(ExtendedImage(1, 2, tracks)));
    EXPECT_EQ(disk.StatusMessage, "Track 1 (cylinder 0, side 1) of the DSK image has no track information block!");

    // A stored length larger than the block.
    tracks[1].signature = "Track-Info\r\n";
    Bytes overrun = ExtendedImage(1, 2, tracks);
    overrun[256 + 256 + 0x18 + 7] = 0x10;
    EXPECT_FALSE(disk.ParseDSK(overrun));
    EXPECT_THAT(disk.StatusMessage, HasSubstr("runs past its block"));
}

// ---- the writer ------------------------------------------------------------------------------

TEST(DskWriter, WritesAnExtendedImageWithStatusBytesForErrorsAndIdsWithoutData) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(3)));
    TTrack& t = *disk.Track(1);
    t.Sectors[2].DataCrcOk = 0;
    t.Sectors[5].DataLength = 0;
    Bytes image;
    ASSERT_TRUE(disk.BuildDSK(image));
    EXPECT_EQ(std::string(image.begin(), image.begin() + 34), "EXTENDED CPC DSK File\r\nDisk-Info\r\n");
    EXPECT_EQ(image[0x30], 2);
    EXPECT_EQ(image[0x31], 2);
    const std::vector<ListedTrack> listed = ListTracks(image);
    ASSERT_EQ(listed.size(), 3u) << "track 3 is unused: written unformatted";
    EXPECT_EQ(image[0x34 + 3], 0);
    EXPECT_EQ(image.size() % 256, 0u);
    const ListedSector& bad = listed[1].sectors[2];
    EXPECT_EQ(bad.st1, 0x20);
    EXPECT_EQ(bad.st2, 0x20);
    EXPECT_EQ(bad.stored.size(), 256u);
    const ListedSector& idOnly = listed[1].sectors[5];
    EXPECT_EQ(idOnly.st1, 0x01);
    EXPECT_EQ(idOnly.st2, 0x01);
    EXPECT_TRUE(idOnly.stored.empty());

    TZX_Disk back;
    ASSERT_TRUE(back.ParseDSK(image));
    test::ExpectSameDisk(disk, back);
}

TEST(DskWriter, OneSidedDiskIsWrittenWithOneSide) {
    TZX_Disk disk;
    for (unsigned k : {0u, 2u, 6u}) {
        TTrack& t = *disk.Track(k);
        t.Used = kFlagSet;
        t.Sectors[0] = TSectorSlot{.Used = kFlagSet, .Cylinder = static_cast<uint8_t>(k / 2), .SectorNo = 0xC1,
                                   .SizeCode = 2, .DataCrcOk = kFlagSet, .DataLength = 512};
        disk.ReserveData(t.Sectors[0], 512);
    }
    Bytes image;
    ASSERT_TRUE(disk.BuildDSK(image));
    EXPECT_EQ(image[0x30], 4);
    EXPECT_EQ(image[0x31], 1);
    EXPECT_EQ(image[0x34 + 2], 0) << "cylinder 2 unused";
    TZX_Disk back;
    ASSERT_TRUE(back.ParseDSK(image));
    test::ExpectSameDisk(disk, back);
}

TEST(DskWriter, DeletedDataMarksOfRawTracksAreKept) {
    // A UDI track whose second sector has the deleted-data mark: written as DSK, its status byte says so.
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(1)));
    disk.Track(0)->Sector(1)->DeletedData = kFlagSet;
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    disk.Track(0)->Sector(1)->DeletedData = 0;
    TZX_Disk fromUdi;
    ASSERT_TRUE(fromUdi.ParseUDI(udi));
    const TTrack& raw = *fromUdi.Track(0);
    unsigned deletedMarks = 0;
    for (unsigned i = 2; i < raw.RawLength; ++i)
        if (raw.RawData[i - 2] == kSyncA1 && raw.RawData[i - 1] == kSyncA1 && raw.RawData[i] == kDeletedDataMark)
            ++deletedMarks;
    ASSERT_EQ(deletedMarks, 1u) << "the raw track holds the mark";
    Bytes image;
    ASSERT_TRUE(fromUdi.BuildDSK(image));
    const std::vector<ListedTrack> listed = ListTracks(image);
    for (unsigned s = 0; s < 16; ++s) EXPECT_EQ(listed[0].sectors[s].st2, s == 1 ? 0x40 : 0x00) << s;
    // A disk without raw tracks has no deleted data.
    ASSERT_TRUE(disk.BuildDSK(image));
    const std::vector<ListedTrack> plain = ListTracks(image);
    for (const ListedSector& s : plain[0].sectors) EXPECT_EQ(s.st2, 0);
}

TEST(DskWriter, DataThatWouldReadBackAsWeakCopiesIsRefusedAndLeavesNoFile) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    TTrack& t = *disk.Track(4);
    t.Used = kFlagSet;
    t.Sectors[0] =
        TSectorSlot{.Used = kFlagSet, .SectorNo = 7, .SizeCode = 0, .DataCrcOk = kFlagSet, .DataLength = 256};
    disk.ReserveData(t.Sectors[0], 256);
    test::TempDir dir;
    EXPECT_FALSE(disk.SaveDSK(dir / "weak.dsk"));
    EXPECT_EQ(disk.StatusMessage,
              "Track 4 (cylinder 2, side 0): sector 7 holds 256 bytes, whole multiples of its size, which a DSK "
              "image keeps for a weak sector!");
    EXPECT_FALSE(fs::exists(dir / "weak.dsk"));
    test::WriteFile(dir / "old.dsk", Bytes{1, 2, 3});
    EXPECT_FALSE(disk.SaveDSK(dir / "old.dsk"));
    EXPECT_EQ(test::ReadFile(dir / "old.dsk"), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace tarvex
