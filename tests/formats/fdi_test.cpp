#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;

uint16_t U16At(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t U32At(const Bytes& b, size_t at) { return U16At(b, at) | (static_cast<uint32_t>(U16At(b, at + 2)) << 16); }

struct SectorHeader {
    uint8_t c = 0, h = 0, r = 1, n = 1, flags = 0x02;
    uint16_t offset = 0;
};
struct TrackHeader {
    uint32_t offset = 0;
    std::vector<SectorHeader> sectors;
};

// An FDI file as another program might write it: header, extra bytes, track headers, description, data.
Bytes MakeFdi(unsigned cylinders, unsigned heads, const std::vector<TrackHeader>& tracks, const Bytes& data,
              const char* signature = "FDI", unsigned extraBytes = 0) {
    Bytes f(signature, signature + 3);
    f.push_back(0);
    PutU16(f, static_cast<uint16_t>(cylinders));
    PutU16(f, static_cast<uint16_t>(heads));
    PutU16(f, 0);
    PutU16(f, 0);
    PutU16(f, static_cast<uint16_t>(extraBytes));
    f.resize(f.size() + extraBytes, 0xAA);
    for (const TrackHeader& t : tracks) {
        PutU32(f, t.offset);
        PutU16(f, 0);
        PutU8(f, static_cast<uint8_t>(t.sectors.size()));
        for (const SectorHeader& s : t.sectors) {
            for (uint8_t b : {s.c, s.h, s.r, s.n, s.flags}) PutU8(f, b);
            PutU16(f, s.offset);
        }
    }
    f[8] = static_cast<uint8_t>(f.size());
    f[9] = static_cast<uint8_t>(f.size() >> 8);
    f.insert(f.end(), {'h', 'i', 0});
    f[10] = static_cast<uint8_t>(f.size());
    f[11] = static_cast<uint8_t>(f.size() >> 8);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// One track of one 256-byte sector per cylinder and head, data 0x11 * (track + 1).
Bytes MakeSmallFdi(unsigned cylinders, unsigned heads) {
    std::vector<TrackHeader> tracks;
    Bytes data;
    for (unsigned t = 0; t < cylinders * heads; ++t) {
        tracks.push_back({static_cast<uint32_t>(data.size()), {{uint8_t(t / heads), uint8_t(t % heads), 1, 1, 2, 0}}});
        data.resize(data.size() + 256, static_cast<uint8_t>(0x11 * (t + 1)));
    }
    return MakeFdi(cylinders, heads, tracks, data);
}

TSectorSlot& PutSector(TZX_Disk& disk, unsigned track, unsigned slot, uint8_t number, uint8_t sizeCode) {
    disk.Track(track)->Used = kFlagSet;
    TSectorSlot& s = *disk.Track(track)->Sector(slot);
    s.Used = kFlagSet;
    s.SectorNo = number;
    s.SizeCode = sizeCode;
    s.DataCrcOk = kFlagSet;
    s.DataLength = static_cast<uint16_t>(std::min(128 << sizeCode, kSectorDataBytes));
    uint8_t* data = disk.ReserveData(s, s.DataLength);
    for (unsigned i = 0; i < s.DataLength; ++i) data[i] = static_cast<uint8_t>(i * 3 + number);
    return s;
}

TEST(Fdi, TrdosDiskIsWrittenWithTheStandardLayout) {
    const Bytes trd = MakeTrdBytes(160);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(trd));
    disk.StatusMessage = "before";
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    EXPECT_EQ(disk.StatusMessage, "before");
    ASSERT_EQ(fdi.size(), 674415u);
    EXPECT_EQ(Bytes(fdi.begin(), fdi.begin() + 14),
              (Bytes{0x46, 0x44, 0x49, 0x00, 0x50, 0x00, 0x02, 0x00, 0x6E, 0x4A, 0x6F, 0x4A, 0x00, 0x00}));
    EXPECT_EQ(fdi[19054], 0) << "an empty comment leaves only the terminating zero";
    for (unsigned k = 0; k < 160; ++k) {
        const size_t header = 14 + k * 119;
        ASSERT_EQ(U32At(fdi, header), k * 4096) << k;
        ASSERT_EQ(fdi[header + 6], 16);
        for (unsigned s = 0; s < 16; ++s) {
            const size_t sh = header + 7 + s * 7;
            ASSERT_EQ(Bytes(fdi.begin() + sh, fdi.begin() + sh + 5),
                      (Bytes{uint8_t(k / 2), 0, uint8_t(s + 1), 1, 0x02}));
            ASSERT_EQ(U16At(fdi, sh + 5), s * 256);
        }
    }
    EXPECT_TRUE(std::equal(trd.begin(), trd.end(), fdi.begin() + 19055));

    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    test::ExpectSameDisk(disk, back);
    Bytes again;
    ASSERT_TRUE(back.BuildFDI(again));
    EXPECT_EQ(again, fdi);
    ASSERT_TRUE(back.BuildTRD(again));
    EXPECT_EQ(again, trd);
}

TEST(Fdi, SignatureIsAcceptedInAnyLetterCase) {
    TZX_Disk disk;
    for (const char* sig : {"fdi", "Fdi", "fDI"}) {
        Bytes f = MakeSmallFdi(2, 2);
        std::memcpy(f.data(), sig, 3);
        ASSERT_TRUE(disk.ParseFDI(f)) << sig;
        EXPECT_EQ(disk.CountTracks(), 4);
        EXPECT_EQ(disk.Track(3)->Sector(0)->Data[255], 0x44);
    }
    Bytes f = MakeSmallFdi(1, 1);
    f[2] = 'X';
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "Not FDI file!");
}

TEST(Fdi, FlagsCarryTheCrcStateBothWays) {
    const std::pair<uint8_t, uint8_t> readCases[] = {
        {0x80, 0}, {0x40, 0}, {0x00, 0}, {0x20, kFlagSet}, {0x81, kFlagSet}};
    for (auto [flags, crcOk] : readCases) {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseFDI(MakeFdi(1, 1, {{0, {{0, 0, 1, 1, flags, 0}}}}, Bytes(256))));
        EXPECT_EQ(disk.Track(0)->Sector(0)->DataCrcOk, crcOk) << int(flags);
    }

    TZX_Disk disk;
    const std::tuple<uint8_t, bool, uint8_t> writeCases[] = {{3, true, 0x08}, {3, false, 0x00}, {0, true, 0x01},
                                                             {1, true, 0x02}, {2, true, 0x04},  {4, true, 0x10},
                                                             {5, true, 0x01}};
    unsigned slot = 0;
    for (auto [n, ok, flags] : writeCases) PutSector(disk, 0, slot++, 1, n).DataCrcOk = ok ? kFlagSet : 0;
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    slot = 0;
    for (auto [n, ok, flags] : writeCases) EXPECT_EQ(fdi[14 + 7 + 7 * slot++ + 4], flags) << int(n) << ok;
}

TEST(Fdi, CommentBecomesTheDescriptionText) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(MakeTrdBytes(2)));
    disk.Comment = {"abc"};
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    const size_t text = U16At(fdi, 8);
    EXPECT_EQ(text, 14u + 2 * 119);
    EXPECT_EQ(Bytes(fdi.begin() + text, fdi.begin() + text + 6), (Bytes{'a', 'b', 'c', '\r', '\n', 0}));
    EXPECT_EQ(U16At(fdi, 10), text + 6);
    EXPECT_EQ(fdi.size(), text + 6 + 2 * 4096);

    disk.Comment = {"Диск", std::string(40, 'x'), std::string(40, 'y')};
    ASSERT_TRUE(disk.BuildFDI(fdi));
    const Bytes expected = [] {
        Bytes b{0xC4, 0xE8, 0xF1, 0xEA, '\r', '\n'};
        b.resize(6 + 40, 'x');
        b.insert(b.end(), {'\r', '\n'});
        b.resize(63, 'y');
        b.push_back(0);
        return b;
    }();
    EXPECT_EQ(Bytes(fdi.begin() + text, fdi.begin() + text + 64), expected) << "Windows-1251, cut to 63 characters";
    EXPECT_EQ(U16At(fdi, 10), text + 64);

    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    EXPECT_EQ(back.Comment, (std::vector<std::string>{"Диск", std::string(40, 'x'), std::string(15, 'y')}))
        << "the description is read back as comment lines, the cut line as far as it goes";
    EXPECT_EQ(disk.WriteLosses.Count(LossKind::kComment), 1u);
    // A description of another program: its text up to the 0 byte, a lone LF also ending a line.
    const Bytes foreign{'d', 'i', 's', 'k', ' ', '1', '\n', 0xE7, 0xA5, 0, 'x'};
    std::copy(foreign.begin(), foreign.end(), fdi.begin() + static_cast<long>(text));
    ASSERT_TRUE(back.ParseFDI(fdi));
    EXPECT_EQ(back.Comment, (std::vector<std::string>{"disk 1", "зҐ"}));
}

TEST(Fdi, SingleHeadImageFillsTheEvenTracksAndKeepsThemAll) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseFDI(MakeSmallFdi(3, 1)));
    for (unsigned k = 0; k < 6; ++k) EXPECT_EQ(disk.Track(k)->Used != 0, k % 2 == 0) << k;
    EXPECT_EQ(disk.Track(4)->Sector(0)->Data[0], 0x33);

    // Three used tracks spread over three cylinders: all three cylinders are written.
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    EXPECT_EQ(U16At(fdi, 4), 3);
    EXPECT_EQ(U16At(fdi, 6), 2);
    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    for (unsigned k : {0u, 2u, 4u}) EXPECT_EQ(back.Track(k)->Sector(0)->Data[0], 0x11 * (k / 2 + 1));
    EXPECT_EQ(back.Track(1)->CountSectors(), 0);
}

TEST(Fdi, OddTrackCountSurvivesTheRoundTrip) {
    const Bytes trd = MakeTrdBytes(163);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(trd));
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    EXPECT_EQ(U16At(fdi, 4), 82);
    EXPECT_EQ(fdi[14 + 163 * 119 + 6], 0) << "the last cylinder's second side is written empty";
    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    EXPECT_EQ(back.CountTracks(), 163) << "that empty side is not taken as a track of the disk";
    Bytes out;
    ASSERT_TRUE(back.BuildTRD(out));
    EXPECT_EQ(out, trd);
    ASSERT_TRUE(back.BuildFDI(out));
    EXPECT_EQ(out, fdi);

    // An image whose last cylinder is empty on both sides keeps both tracks.
    ASSERT_TRUE(back.ParseFDI(MakeFdi(2, 2, {{0, {{}}}, {256, {{}}}, {512, {}}, {512, {}}}, Bytes(512))));
    EXPECT_EQ(back.CountTracks(), 4);
}

TEST(Fdi, MalformedHeadersFailInTheirOrder) {
    TZX_Disk disk;
    EXPECT_FALSE(disk.ParseFDI({}));
    EXPECT_EQ(disk.StatusMessage, "FDI file read error!");
    const Bytes small = MakeSmallFdi(1, 1);
    for (Bytes cut :
         {Bytes{'F'}, Bytes{'F', 'D'}, Bytes{'F', 'D', 'I', 0, 1, 0, 2}, Bytes(small.begin(), small.begin() + 13)})
        EXPECT_THROW(disk.ParseFDI(cut), StreamReadError) << cut.size();

    Bytes f = MakeSmallFdi(2, 2);  // 14 + 4 * 14 + 3 + 1024 bytes
    f[4] = 130;                    // 130 cylinders need 1820 bytes of track headers: too big for the file
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "FDI file size error!") << "the size check comes before the geometry check";
    f[4] = 129;
    f[6] = 0;
    f.resize(f.size() + 2000);
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "FDI image geometry error!");
    f[4] = 2;
    f[6] = 3;
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "FDI image geometry error!");

    f = MakeFdi(1, 2, {{0, {{}}}, {256, {{}}}}, Bytes(512), "FDI", 5);
    ASSERT_TRUE(disk.ParseFDI(f)) << "extra header bytes are skipped";
    EXPECT_EQ(disk.CountTracks(), 2);
    f[4] = 0;
    disk.StatusMessage = "kept";
    ASSERT_TRUE(disk.ParseFDI(f));
    EXPECT_EQ(disk.CountTracks(), 0);
    EXPECT_EQ(disk.StatusMessage, "kept");
}

TEST(Fdi, OffsetsPastTheEndAndTooManySectorsAreRefused) {
    const Bytes data(1024);
    TZX_Disk disk;
    Bytes f = MakeFdi(1, 2, {{0, {{}}}, {5000, {{}}}}, data);
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "FDI file size error!");
    EXPECT_EQ(disk.Track(0)->Used, kFlagSet) << "the tracks read before stay";
    EXPECT_EQ(disk.Track(1)->Used, 0);

    f = MakeFdi(1, 1, {{0, {{0, 0, 1, 1, 2, 4000}}}}, data);
    EXPECT_FALSE(disk.ParseFDI(f));
    EXPECT_EQ(disk.StatusMessage, "FDI file size error!");

    f = MakeFdi(1, 1, {{0, {{0, 0, 1, 3, 8, 100}}}}, data);  // 1024 bytes from inside the file run past its end
    EXPECT_THROW(disk.ParseFDI(f), StreamReadError);

    TrackHeader crowded;
    for (uint8_t r = 1; r <= 65; ++r) crowded.sectors.push_back({0, 0, r, 0, 1, 0});
    f = MakeFdi(1, 1, {crowded}, data);
    EXPECT_FALSE(disk.ParseFDI(f)) << "65 sector headers do not fit the 64 slots of a track";
    EXPECT_EQ(disk.StatusMessage, "FDI file size error!");
    crowded.sectors.pop_back();
    EXPECT_TRUE(disk.ParseFDI(MakeFdi(1, 1, {crowded}, data)));
    EXPECT_EQ(disk.Track(0)->CountSectors(), 64);
}

TEST(Fdi, LargeSectorsAreKeptWhole) {
    for (const uint8_t sizeCode : {4, 6, 8}) {
        SCOPED_TRACE(sizeCode);
        Bytes data(128u << sizeCode);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + sizeCode);
        TZX_Disk disk;
        const Bytes f = MakeFdi(1, 1, {{0, {{0, 0, 1, sizeCode, static_cast<uint8_t>(1u << std::min<int>(sizeCode, 5)), 0}}}}, data);
        ASSERT_TRUE(disk.ParseFDI(f));
        const TSectorSlot& big = *disk.Track(0)->Sector(0);
        EXPECT_EQ(big.SizeCode, sizeCode);
        ASSERT_EQ(big.DataLength, data.size());
        EXPECT_TRUE(std::equal(big.Data.begin(), big.Data.end(), data.begin()));
        Bytes out;
        ASSERT_TRUE(disk.BuildFDI(out));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.end() - static_cast<long>(data.size())));
    }
    TZX_Disk disk;
    EXPECT_FALSE(disk.ParseFDI(MakeFdi(1, 1, {{0, {{0, 0, 1, 9, 0x01, 0}}}}, Bytes(65536))));
    EXPECT_EQ(disk.StatusMessage, "FDI file size error!");
}

TEST(Fdi, IdsWithoutDataOfSizesPastEightTakeNoData) {
    // Written: an ID-only slot of size code 247 gets a header without the good-data bit and no bytes;
    // ID-only slots of real sizes keep their zeros of nominal size.
    TZX_Disk disk;
    PutSector(disk, 0, 0, 1, 1);
    TSectorSlot& idOnly = PutSector(disk, 0, 1, 247, 247);
    idOnly.DataLength = 0;
    idOnly.Data.fill(0);
    TSectorSlot& shortOfData = PutSector(disk, 0, 2, 3, 1);
    shortOfData.DataLength = 0;
    shortOfData.Data.fill(0);
    PutSector(disk, 0, 3, 4, 1);
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    const size_t headers = 14 + 7;
    EXPECT_EQ(Bytes(fdi.begin() + headers + 7, fdi.begin() + headers + 14), (Bytes{0, 0, 247, 247, 0, 0, 1}));
    EXPECT_EQ(Bytes(fdi.begin() + headers + 14, fdi.begin() + headers + 21), (Bytes{0, 0, 3, 1, 0x02, 0, 1}));
    EXPECT_EQ(fdi.size() - U16At(fdi, 10), 3 * 256u);
    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    const TTrack& t = *back.Track(0);
    EXPECT_EQ(t.Sectors[1].SizeCode, 247);
    EXPECT_EQ(t.Sectors[1].DataLength, 0);
    EXPECT_EQ(t.Sectors[2].DataLength, 256) << "an FDI sector of a real size always has its data";
    EXPECT_TRUE(std::equal(t.Sectors[3].Data.begin(), t.Sectors[3].Data.begin() + 256,
                           disk.Track(0)->Sectors[3].Data.begin()));

    // Read: such a header takes no data, even with an offset past the end of the file; with the
    // good-data bit it still claims more than a disk holds.
    const Bytes data(256, 0x5A);
    ASSERT_TRUE(back.ParseFDI(MakeFdi(1, 1, {{0, {{0, 0, 9, 9, 0x00, 9000}, {0, 0, 1, 1, 0x02, 0}}}}, data)));
    EXPECT_EQ(back.Track(0)->Sectors[0].DataLength, 0);
    EXPECT_EQ(back.Track(0)->Sectors[1].Data[255], 0x5A);
    EXPECT_FALSE(back.ParseFDI(MakeFdi(1, 1, {{0, {{0, 0, 9, 9, 0x01, 0}}}}, data)));
}

TEST(Fdi, WriterGrowsAsNeededAndPadsLargeSectors) {
    TZX_Disk disk;
    for (unsigned k = 0; k < kMaxTracks; ++k)
        for (unsigned s = 0; s < 12; ++s) PutSector(disk, k, s, static_cast<uint8_t>(s + 1), 5);
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    const size_t headers = 14 + kMaxTracks * (7 + 12 * 7) + 1;
    ASSERT_EQ(fdi.size(), headers + kMaxTracks * 12 * 4096u);
    const size_t last = fdi.size() - 4096;
    const TSectorSlot& slot = *disk.Track(165)->Sector(11);
    EXPECT_TRUE(std::equal(slot.Data.begin(), slot.Data.end(), fdi.begin() + last));
    EXPECT_TRUE(std::all_of(fdi.begin() + last + kSectorDataBytes, fdi.end(), [](uint8_t b) { return b == 0; }));
    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    test::ExpectSameDisk(disk, back);
}

TEST(Fdi, WriterRefusesWhatTheFormatCannotAddressAndLeavesNoFile) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    test::TempDir dir;
    const std::string path = dir / "out.fdi";
    TZX_Disk disk;
    for (unsigned s = 0; s < 17; ++s) PutSector(disk, 0, s, static_cast<uint8_t>(s + 1), 5);
    EXPECT_FALSE(disk.SaveFDI(path));
    EXPECT_EQ(disk.StatusMessage, "Track 0 holds more data than an FDI image can address!");
    EXPECT_FALSE(test::fs::exists(path));

    disk.Track(0)->ClearSector(16);
    ASSERT_TRUE(disk.SaveFDI(path)) << "16 sectors of 4 KB: the last starts at 61440";
    const Bytes saved = test::ReadFile(path);
    EXPECT_EQ(test::ReadFile(path), saved) << "the existing file stays as it was";

    // A sector of a size no track's offsets reach keeps its ID; its bytes are a loss.
    PutSector(disk, 3, 0, 7, 9);
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    EXPECT_EQ(disk.WriteLosses.Text(), "dropped: 8192 bytes of sectors longer than the format keeps (track 3)");
    TZX_Disk back;
    ASSERT_TRUE(back.ParseFDI(fdi));
    EXPECT_EQ(back.Track(3)->Sector(0)->SectorNo, 7);
    EXPECT_EQ(back.Track(3)->Sector(0)->DataLength, 0);
}

TEST(Fdi, WriterTakesUsedSlotsOfUsedTracksOnly) {
    TZX_Disk disk;
    PutSector(disk, 0, 0, 1, 1);
    PutSector(disk, 0, 2, 3, 1);
    PutSector(disk, 2, 0, 1, 1);
    disk.Track(2)->Used = 0;  // a track marked absent is written empty, whatever its slots hold
    PutSector(disk, 3, 0, 1, 0);
    Bytes fdi;
    ASSERT_TRUE(disk.BuildFDI(fdi));
    EXPECT_EQ(U16At(fdi, 4), 2);
    EXPECT_EQ(fdi[14 + 6], 2);
    EXPECT_EQ(fdi[14 + 7 + 7 + 2], 3) << "the slot after the empty one";
    EXPECT_EQ(U16At(fdi, 14 + 7 + 7 + 5), 256);
    const size_t track2 = 14 + 21 + 7;
    EXPECT_EQ(fdi[track2 + 6], 0);
    EXPECT_EQ(U32At(fdi, track2 + 7), 512u) << "track 3 starts after the data of track 0";
}

TEST(Fdi, CorpusImagesRewriteToTheSameDisk) {
    const auto files = test::CorpusFiles("fdi");
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        TZX_Disk disk;
        ASSERT_TRUE(disk.LoadFDI(file.string())) << disk.StatusMessage;
        EXPECT_GT(disk.CountTracks(), 150);
        Bytes fdi;
        ASSERT_TRUE(disk.BuildFDI(fdi));
        TZX_Disk back;
        ASSERT_TRUE(back.ParseFDI(fdi));
        test::ExpectSameDisk(disk, back);
        Bytes again;
        ASSERT_TRUE(back.BuildFDI(again));
        EXPECT_EQ(again, fdi);
    }
}

// Every damaged file gives true, one of the reader's messages or the stream read error.
void ExpectCleanOutcome(const Bytes& f) {
    static const std::set<std::string> messages = {"FDI file read error!", "Not FDI file!", "FDI file size error!",
                                                   "FDI image geometry error!"};
    static TZX_Disk disk, back;
    try {
        if (!disk.ParseFDI(f)) {
            EXPECT_EQ(messages.count(disk.StatusMessage), 1u) << disk.StatusMessage;
            return;
        }
    } catch (const StreamReadError&) {
        return;
    }
    // What was accepted writes out (or is refused with a message) and reads back.
    Bytes out;
    if (disk.BuildFDI(out)) {
        EXPECT_TRUE(back.ParseFDI(out));
    }
}

TEST(Fdi, DamagedFilesGiveAMessageOrTheStreamReadError) {
    TZX_Disk source;
    ASSERT_TRUE(source.ParseTRD(MakeTrdBytes(4)));
    PutSector(source, 5, 0, 9, 3).DataCrcOk = 0;
    Bytes good;
    ASSERT_TRUE(source.BuildFDI(good));
    for (size_t n = 0; n < good.size(); n += (n < 600 ? 1 : 97))
        ExpectCleanOutcome(Bytes(good.begin(), good.begin() + n));
    std::mt19937 rng(4);
    for (size_t bit = 0; bit < 600 * 8; ++bit) {
        Bytes flipped = good;
        flipped[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        ExpectCleanOutcome(flipped);
    }
    for (int i = 0; i < 300; ++i) {
        Bytes noise(rng() % 3000);
        for (auto& b : noise) b = static_cast<uint8_t>(rng());
        if (noise.size() >= 3 && i % 2) std::memcpy(noise.data(), "FDI", 3);
        ExpectCleanOutcome(noise);
    }
}

}  // namespace
}  // namespace tarvex
