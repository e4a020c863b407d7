// HFE images: real images read as an independent bit-level decoder reads them, round trips through HFE
// and UDI, the header and layout of what we write, revision-3 opcodes, and the refusals that name a track.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "mfm_test_decoder.h"
#include "test_locale.h"
#include "test_support.h"
#include "tracks/mfm_cells.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::CellOrder;
using test::FoundSector;
using test::MfmTrack;

constexpr size_t kBlock = 512;
constexpr size_t kRotation = 6250;

unsigned U16At(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8; }

// A side's stream out of an HFE file, by the layout of the format notes.
Bytes SideStream(const Bytes& file, unsigned cylinder, unsigned side) {
    const size_t list = U16At(file, 18) * kBlock;
    const size_t at = U16At(file, list + 4 * cylinder) * kBlock;
    const size_t length = U16At(file, list + 4 * cylinder + 2) / 2;
    Bytes stream;
    for (size_t i = 0; i < length; ++i) stream.push_back(file.at(at + (i / 256) * kBlock + side * 256 + i % 256));
    return stream;
}

// An HFE file around the given side streams (both sides of a cylinder of equal length).
Bytes MakeHfe(const std::vector<std::array<Bytes, 2>>& cylinders, unsigned sides, const char* signature = "HXCPICFE",
              uint8_t encoding = 0) {
    Bytes file(2 * kBlock, 0xFF);
    std::memcpy(file.data(), signature, 8);
    file[8] = 0;
    file[9] = static_cast<uint8_t>(cylinders.size());
    file[10] = static_cast<uint8_t>(sides);
    file[11] = encoding;
    file[18] = 1;
    file[19] = 0;
    for (size_t c = 0; c < cylinders.size(); ++c) {
        const Bytes& s0 = cylinders[c][0];
        const size_t blocks = (2 * s0.size() + kBlock - 1) / kBlock;
        const size_t at = file.size();
        file[kBlock + 4 * c] = static_cast<uint8_t>(at / kBlock);
        file[kBlock + 4 * c + 1] = static_cast<uint8_t>(at / kBlock >> 8);
        file[kBlock + 4 * c + 2] = static_cast<uint8_t>(2 * s0.size());
        file[kBlock + 4 * c + 3] = static_cast<uint8_t>(2 * s0.size() >> 8);
        file.resize(at + blocks * kBlock, 0);
        for (size_t i = 0; i < s0.size(); ++i) {
            file[at + (i / 256) * kBlock + i % 256] = s0[i];
            file[at + (i / 256) * kBlock + 256 + i % 256] = cylinders[c][1].at(i);
        }
    }
    return file;
}

// A raw track laid out by hand: an index mark, then sectors of the given size codes with `dataBytes` bytes
// of data each.
MarkedTrack HandTrack(const std::vector<std::pair<uint8_t, size_t>>& sectors) {
    MarkedTrack t;
    auto run = [&](size_t n, uint8_t b, bool marked = false) {
        for (size_t i = 0; i < n; ++i) t.Append(b, marked);
    };
    auto crc = [&](size_t from) {
        const uint16_t v = TZX_Disk::Crc16(&t.bytes[from], t.bytes.size() - from);
        t.Append(static_cast<uint8_t>(v >> 8), false);
        t.Append(static_cast<uint8_t>(v), false);
    };
    run(60, 0x4E);
    run(12, 0);
    run(3, kSyncC2, true);
    t.Append(kIndexMark, false);
    run(40, 0x4E);
    uint8_t r = 1;
    for (auto [sizeCode, dataBytes] : sectors) {
        run(12, 0);
        size_t from = t.bytes.size();
        run(3, kSyncA1, true);
        for (uint8_t b : {kIdMark, uint8_t{0}, uint8_t{0}, r++, sizeCode}) t.Append(b, false);
        crc(from);
        run(22, 0x4E);
        run(12, 0);
        from = t.bytes.size();
        run(3, kSyncA1, true);
        t.Append(kDataMark, false);
        for (size_t i = 0; i < dataBytes; ++i) t.Append(static_cast<uint8_t>(i), false);
        crc(from);
        run(24, 0x4E);
    }
    t.PadTo(std::max(t.bytes.size(), kRotation), 0x4E);
    return t;
}

Bytes Cells(const MarkedTrack& t) {
    Bytes stream;
    EncodeMfmCells(t, stream);
    return stream;
}


struct KnownImage {
    const char* name;
    unsigned tracks, sides, sectorsPerTrack, sectorBytes;
    uint8_t firstId;
};
const KnownImage kKnownImages[] = {
    {"a5120emu-udos1715-pc1715.hfe", 160, 2, 16, 256, 1},
    {"cpccore-30ymd.hfe", 84, 2, 9, 512, 0xC1},
    {"ludo-oric.hfe", 21, 1, 17, 256, 1},
};

TEST(Hfe, RealImagesReadAsAnIndependentDecoderReadsThem) {
    TZX_Disk disk;
    for (const KnownImage& known : kKnownImages) {
        SCOPED_TRACE(known.name);
        const Bytes file = test::ReadFile(test::CorpusDir() / "hfe" / known.name);
        ASSERT_TRUE(disk.ParseHFE(file)) << disk.StatusMessage;
        EXPECT_EQ(disk.CountTracks(), known.tracks);
        const unsigned cylinders = file[9];
        for (unsigned c = 0; c < cylinders; ++c) {
            for (unsigned side = 0; side < known.sides; ++side) {
                const unsigned k = 2 * c + side;
                TTrack& track = *disk.Track(k);
                const std::vector<FoundSector> found =
                    MfmTrack(SideStream(file, c, side), CellOrder::kLsbFirst).Sectors();
                ASSERT_EQ(track.CountSectors(), found.size()) << "track " << k;
                ASSERT_EQ(found.size(), known.sectorsPerTrack) << "track " << k;
                // Sector numbers run from the image's first ID (two CPC tracks number theirs from 1).
                std::set<unsigned> numbers;
                for (const FoundSector& f : found) numbers.insert(f.r);
                ASSERT_EQ(numbers.size(), known.sectorsPerTrack) << "track " << k;
                EXPECT_TRUE(*numbers.begin() == known.firstId || *numbers.begin() == 1) << "track " << k;
                EXPECT_EQ(*numbers.rbegin() - *numbers.begin() + 1, known.sectorsPerTrack) << "track " << k;
                for (unsigned s = 0; s < found.size(); ++s) {
                    const TSectorSlot& slot = track.Sectors[s];
                    const FoundSector& f = found[s];
                    SCOPED_TRACE("track " + std::to_string(k) + " slot " + std::to_string(s));
                    test::ExpectSlotHoldsFound(slot, f);
                    EXPECT_EQ(f.c, c);
                    EXPECT_TRUE(f.hasData);
                    EXPECT_TRUE(f.dataCrcOk);
                    EXPECT_EQ(slot.DataLength, known.sectorBytes);
                }
            }
        }
    }
}

TEST(Hfe, RealImagesKeepSectorsAndRawTracksThroughHfeAndUdi) {
    TZX_Disk original, again, viaUdi;
    for (const KnownImage& known : kKnownImages) {
        SCOPED_TRACE(known.name);
        const Bytes file = test::ReadFile(test::CorpusDir() / "hfe" / known.name);
        ASSERT_TRUE(original.ParseHFE(file));
        Bytes hfe, hfeAgain, udi, hfeFromUdi;
        ASSERT_TRUE(original.BuildHFE(hfe)) << original.StatusMessage;
        EXPECT_EQ(hfe[10], known.sides);
        ASSERT_TRUE(again.ParseHFE(hfe)) << again.StatusMessage;
        ASSERT_TRUE(again.BuildHFE(hfeAgain));
        EXPECT_TRUE(hfeAgain == hfe) << "an HFE read and written again must not change";
        for (unsigned k = 0; k < kMaxTracks; ++k) {
            const TTrack& a = *original.Track(k);
            const TTrack& b = *again.Track(k);
            ASSERT_EQ(a.Used != 0, b.Used != 0) << k;
            if (!a.Used) continue;
            // The raw track comes back whole; one shorter than a rotation, or than the other side of its
            // cylinder, is made up with gap bytes.
            ASSERT_GE(b.RawLength, std::max<size_t>(a.RawLength, kRotation)) << k;
            ASSERT_LE(b.RawLength, std::max<size_t>(a.RawLength, kRotation) + 8) << k;
            ASSERT_TRUE(std::equal(a.RawData.begin(), a.RawData.begin() + a.RawLength, b.RawData.begin())) << k;
            EXPECT_TRUE(std::all_of(b.RawData.begin() + a.RawLength, b.RawData.begin() + b.RawLength, [](uint8_t x) {
                return x == kGapByte;
            })) << k;
        }
        test::ExpectSameDisk(original, again);

        ASSERT_TRUE(original.BuildUDI(udi));
        ASSERT_TRUE(viaUdi.ParseUDI(udi));
        ASSERT_TRUE(viaUdi.BuildHFE(hfeFromUdi)) << viaUdi.StatusMessage;
        ASSERT_TRUE(again.ParseHFE(hfeFromUdi)) << again.StatusMessage;
        test::ExpectSameSectors(original, again);
    }
}

TEST(Hfe, TrdosDiskIsWrittenAsDoubleDensityRotationsAndReadBackExactly) {
    TZX_Disk disk;
    const Bytes trd = test::MakeTrdBytes(160);
    ASSERT_TRUE(disk.ParseTRD(trd));
    Bytes hfe;
    ASSERT_TRUE(disk.BuildHFE(hfe));
    // 80 cylinders of 2 x 6250 raw bytes, 2 x 12500 stream bytes each in 49 blocks, after two blocks of
    // header and track list.
    ASSERT_EQ(hfe.size(), 2 * kBlock + 80 * 49 * kBlock);
    EXPECT_EQ(0, std::memcmp(hfe.data(), "HXCPICFE", 8));
    const Bytes header(hfe.begin() + 8, hfe.begin() + 26);
    const Bytes expected = {0, 80, 2, 0, 250, 0, 0x2C, 0x01, 7, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(header, expected);
    for (unsigned c = 0; c < 80; ++c) {
        EXPECT_EQ(U16At(hfe, kBlock + 4 * c), 2 + 49 * c) << c;
        EXPECT_EQ(U16At(hfe, kBlock + 4 * c + 2), 25000u) << c;
    }
    // The independent decoder finds every sector where the layout puts it.
    const std::vector<FoundSector> found = MfmTrack(SideStream(hfe, 7, 1), CellOrder::kLsbFirst).Sectors();
    ASSERT_EQ(found.size(), 16u);
    EXPECT_EQ(found[0].c, 7);
    EXPECT_EQ(found[0].h, 0);  // TR-DOS writes side 0 in every ID
    EXPECT_TRUE(found[15].dataCrcOk);
    EXPECT_TRUE(std::equal(found[15].data.begin(), found[15].data.end(), trd.begin() + 15 * 4096 + 15 * 256));

    TZX_Disk back;
    ASSERT_TRUE(back.ParseHFE(hfe)) << back.StatusMessage;
    Bytes trdAgain;
    ASSERT_TRUE(back.BuildTRD(trdAgain)) << back.StatusMessage;
    EXPECT_TRUE(trdAgain == trd);
}

TEST(Hfe, OneSidedDiskIsWrittenWithOneSideAndReadOntoItsEvenTracks) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(6)));
    for (unsigned k : {1u, 3u, 5u}) disk.Track(k)->Clear();
    Bytes hfe;
    ASSERT_TRUE(disk.BuildHFE(hfe));
    EXPECT_EQ(hfe[9], 3);
    EXPECT_EQ(hfe[10], 1);
    TZX_Disk back;
    ASSERT_TRUE(back.ParseHFE(hfe));
    EXPECT_EQ(back.CountTracks(), 3);
    test::ExpectSameSectors(disk, back);
    EXPECT_FALSE(back.Track(1)->Used);
}

TEST(Hfe, SectorsThatDoNotFitARotationAreRefusedNamingTheTrackAndLongRawTracksAreWrittenWhole) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    test::TempDir dir;
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    TTrack& crowded = *disk.Track(3);  // 18 sectors of 512 bytes: a high-density track
    for (unsigned s = 0; s < 18; ++s) {
        TSectorSlot& slot = crowded.Sectors[s];
        slot.Used = kFlagSet;
        slot.Cylinder = 1;
        slot.Head = 1;
        slot.SectorNo = static_cast<uint8_t>(s + 1);
        slot.SizeCode = 2;
        slot.DataCrcOk = kFlagSet;
        slot.DataLength = 512;
        std::fill_n(disk.ReserveData(slot, 512), 512, static_cast<uint8_t>(s));
    }
    // It is laid out at the length it needs and read back with every sector.
    Bytes long_;
    ASSERT_TRUE(disk.BuildHFE(long_)) << disk.StatusMessage;
    TZX_Disk read;
    ASSERT_TRUE(read.ParseHFE(long_)) << read.StatusMessage;
    test::ExpectSameSectors(disk, read);

    // A sector of 32 KB is laid out as its ID alone, its data told as lost.
    crowded.Sectors[17].SizeCode = 8;
    ASSERT_TRUE(disk.BuildHFE(long_)) << disk.StatusMessage;
    EXPECT_EQ(disk.WriteLosses.Count(LossKind::kSectorBytes), 512u);
    ASSERT_TRUE(read.ParseHFE(long_)) << read.StatusMessage;
    EXPECT_EQ(read.Track(3)->CountSectors(), crowded.CountSectors());
    EXPECT_EQ(read.Track(3)->Sector(17)->DataLength, 0);
    crowded.Sectors[17].SizeCode = 2;

    // A raw track longer than a rotation is written as long as it is, and read back whole.
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    Bytes built(kUdiTrackBytes), marks(kUdiMarkBytes);
    ASSERT_TRUE(disk.BuildRawTrack(2, built.data(), marks.data()));
    TTrack& raw = *disk.Track(2);
    raw.RawValid = 1;
    raw.RawLength = 12500;
    uint8_t* bytes = disk.ReserveRaw(raw, 12500, false);
    std::copy_n(built.begin(), 6250, bytes);  // two rotations' worth
    std::copy_n(built.begin(), 6250, bytes + 6250);
    Bytes hfe;
    ASSERT_TRUE(disk.BuildHFE(hfe)) << disk.StatusMessage;
    TZX_Disk back;
    ASSERT_TRUE(back.ParseHFE(hfe)) << back.StatusMessage;
    EXPECT_EQ(back.Track(2)->RawLength, 12500);
    EXPECT_EQ(back.Track(2)->RateKbps, 250) << "the image's declared rate";

    // A disk read at high density is written at it; a double-density track beside it is told as a loss.
    disk.Track(0)->RateKbps = 500;
    disk.Track(1)->RateKbps = 250;
    ASSERT_TRUE(disk.BuildHFE(hfe)) << disk.StatusMessage;
    EXPECT_EQ(hfe[12] | hfe[13] << 8, 500);
    EXPECT_EQ(disk.WriteLosses.Text(), "dropped: 1 tracks' data rate or encoding (track 1)");
}

TEST(Hfe, TracksTheModelCannotHoldAreRefusedNamingTheTrack) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    const Bytes blank = Cells(HandTrack({}));  // formatted, without sectors
    auto refused = [&](const std::vector<std::array<Bytes, 2>>& cylinders, unsigned sides) {
        EXPECT_FALSE(disk.ParseHFE(MakeHfe(cylinders, sides)));
        return disk.StatusMessage;
    };
    std::vector<std::pair<uint8_t, size_t>> many(65, {0, 128});
    const Bytes crowded = Cells(HandTrack(many));  // a long track: both sides of a cylinder have its length
    EXPECT_EQ(refused({{blank, blank}, {crowded, crowded}}, 2),
              "HFE image: track 2 (cylinder 1, side 0) holds 65 sectors, more than the 64 a track holds!");
    ASSERT_TRUE(disk.ParseHFE(MakeHfe({{Cells(HandTrack({{1, 256}, {4, 2048}})), blank}}, 2))) << disk.StatusMessage;
    EXPECT_EQ(disk.Track(0)->Sector(1)->DataLength, 2048) << "a 2 KB sector is kept whole";

    // Cylinder 128 lies past the model: refused when it holds sectors, left out with a note when not.
    std::vector<std::array<Bytes, 2>> cylinders(129, {blank, blank});
    cylinders[128][1] = Cells(HandTrack({{1, 256}}));
    EXPECT_EQ(refused(cylinders, 2),
              "HFE image: track 257 (cylinder 128, side 1) lies past the 256 tracks a disk holds!");
    cylinders[128][1] = blank;
    ASSERT_TRUE(disk.ParseHFE(MakeHfe(cylinders, 2))) << disk.StatusMessage;
    EXPECT_EQ(disk.CountTracks(), unsigned{kMaxTracks});
    EXPECT_EQ(disk.StatusMessage, "1 cylinders past the disk's 128 hold no sectors and are left out");
}

TEST(Hfe, TracksWithoutMfmAreReadAsEmptyWhateverTheHeaderSaysTheEncodingIs) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    const Bytes mfm = Cells(HandTrack({{1, 256}, {1, 256}}));
    Bytes fm(mfm.size(), 0x55);  // clock cells of 1 before zero data cells: FM, no MFM sync anywhere
    for (uint8_t encoding : {0x00, 0x02, 0xFF}) {
        SCOPED_TRACE(encoding);
        disk.StatusMessage.clear();
        ASSERT_TRUE(disk.ParseHFE(MakeHfe({{mfm, fm}, {fm, mfm}}, 2, "HXCPICFE", encoding))) << disk.StatusMessage;
        EXPECT_EQ(disk.Track(0)->CountSectors(), 2);
        EXPECT_EQ(disk.Track(3)->CountSectors(), 2);
        for (unsigned k : {1u, 2u}) {
            EXPECT_TRUE(disk.Track(k)->Used);
            EXPECT_EQ(disk.Track(k)->CountSectors(), 0);
            EXPECT_EQ(disk.Track(k)->RawLength, 0);
        }
        EXPECT_EQ(disk.StatusMessage, "tracks without MFM data, read as empty: 1 2");
    }
}

TEST(Hfe, VersionThreeOpcodesBetweenCellsLeaveTheSectorsAsTheyAre) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk plain, coded;
    const MarkedTrack track = HandTrack({{1, 256}, {1, 256}});
    const Bytes stream = Cells(track);
    ASSERT_TRUE(plain.ParseHFE(MakeHfe({{stream, stream}}, 2)));
    ASSERT_EQ(plain.Track(0)->CountSectors(), 2);

    // Inside the first sector's data: a no-op, an index position, a bit-rate change with its value, and one
    // stored byte split into 3 + 5 cells by two cell-skipping opcodes. The stream ends shorter by as many
    // bytes as were added, so that both sides keep one length.
    const size_t at = 2 * 250;  // the hand-made track's first data field runs from raw byte 176 to 431
    const uint8_t b = stream[at];
    ASSERT_NE(b >> 3 & 0x0F, 0x0F) << "the second part must not look like an opcode";
    const Bytes codes = {
        0x0F, 0x8F, 0x4F, 0x48, 0xCF, 3, static_cast<uint8_t>(b & 7), 0xCF, 5, static_cast<uint8_t>(b >> 3)};
    Bytes v3(stream.begin(), stream.begin() + at);
    v3.insert(v3.end(), codes.begin(), codes.end());
    v3.insert(v3.end(), stream.begin() + at + 1, stream.end() - (codes.size() - 1));
    ASSERT_EQ(v3.size(), stream.size());
    ASSERT_TRUE(coded.ParseHFE(MakeHfe({{v3, stream}}, 2, "HXCHFEV3"))) << coded.StatusMessage;
    test::ExpectSameSectors(plain, coded);
    EXPECT_TRUE(coded.Track(0)->Sectors[0].DataCrcOk);

    // The same bytes in a version-1 image are cells: the sector's data no longer matches its CRC.
    ASSERT_TRUE(coded.ParseHFE(MakeHfe({{v3, stream}}, 2)));
    EXPECT_FALSE(coded.Track(0)->Sectors[0].DataCrcOk);

    Bytes weak = stream;
    weak[at] = 0x2F;
    EXPECT_FALSE(coded.ParseHFE(MakeHfe({{stream, weak}}, 2, "HXCHFEV3")));
    EXPECT_EQ(coded.StatusMessage,
              "HFE image: track 1 (cylinder 0, side 1) holds weak (random) cells, which cannot be read!");
}

TEST(Hfe, HeadersThatAreNoHfeAndFilesCutShortAreRefused) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TZX_Disk disk;
    const Bytes blank = Cells(HandTrack({}));  // formatted, without sectors
    const Bytes good = MakeHfe({{blank, blank}}, 2);
    Bytes wrong = good;
    wrong[3] = 'X';
    EXPECT_FALSE(disk.ParseHFE(wrong));
    EXPECT_EQ(disk.StatusMessage, "No HFE format!");
    EXPECT_FALSE(disk.ParseHFE(Bytes{'H', 'X', 'C'}));
    EXPECT_EQ(disk.StatusMessage, "No HFE format!");
    for (uint8_t sides : {0, 3}) {
        Bytes odd = good;
        odd[10] = sides;
        EXPECT_FALSE(disk.ParseHFE(odd));
        EXPECT_EQ(disk.StatusMessage, "Error HFE format!");
    }
    EXPECT_THROW(disk.ParseHFE(Bytes(good.begin(), good.end() - 300)), StreamReadError);
    EXPECT_THROW(disk.ParseHFE(Bytes(good.begin(), good.begin() + 20)), StreamReadError);
}

TEST(Hfe, CommandLineConvertsToHfeAndInfoNamesEmptyTracks) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    test::TempDir dir;
    test::WriteFile(dir / "disk.trd", test::MakeTrdBytes(4));
    const auto convert = test::RunCli({"convert", "--to", "HFE", "-q", dir / "disk.trd"});
    ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
    const Bytes hfe = test::ReadFile(dir / "disk.hfe");
    EXPECT_EQ(0, std::memcmp(hfe.data(), "HXCPICFE", 8));

    const Bytes mfm = Cells(HandTrack({{1, 256}}));
    test::WriteFile(dir / "fm.hfe", MakeHfe({{mfm, Bytes(mfm.size(), 0x55)}}, 2));
    const auto info = test::RunCli({"info", dir / "disk.hfe", dir / "fm.hfe"});
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_NE(info.out.find("disk.hfe: HFE image\n  tracks: 4 (cylinders 2, sides 2), sectors: 64, raw tracks: 4"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("fm.hfe: HFE image\n  note: tracks without MFM data, read as empty: 1\n"),
              std::string::npos)
        << info.out;

    // An image the model cannot hold converts to nothing, and says which track is to blame.
    test::WriteFile(dir / "crowded.hfe",
                    MakeHfe({{Cells(HandTrack(std::vector<std::pair<uint8_t, size_t>>(65, {0, 128}))),
                              Cells(HandTrack(std::vector<std::pair<uint8_t, size_t>>(65, {0, 128})))}},
                            2));
    const auto refused = test::RunCli({"convert", "--to", "udi", "-q", dir / "crowded.hfe"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("Error open file! (HFE image: track 0 (cylinder 0, side 0) holds 65 sectors"),
              std::string::npos)
        << refused.out;
    EXPECT_FALSE(fs::exists(dir / "crowded.udi"));
}

}  // namespace
}  // namespace tarvex
