#include "formats/td0.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "lzh/lzh.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

// ---- Building TD0 images by hand -------------------------------------------------------------

Bytes Header(const char* signature, uint8_t version, uint8_t stepping = 0x00, bool goodCrc = true) {
    Bytes h = {
        static_cast<uint8_t>(signature[0]), static_cast<uint8_t>(signature[1]), 0, 0, version, 0, 3, stepping, 0, 2};
    const uint16_t crc = TZX_Disk::Crc16TD0(h.data(), h.size());
    PutU16(h, goodCrc ? crc : static_cast<uint16_t>(crc ^ 0x0101));
    return h;
}

Bytes Image(Bytes header, const Bytes& body) {
    if (header[0] == 't' && header[1] == 'd')
        LzhEncode(body, header);
    else
        header.insert(header.end(), body.begin(), body.end());
    return header;
}

Bytes CommentBlock(const Bytes& text, const uint8_t date[6]) {
    Bytes b;
    PutU16(b, 0);
    PutU16(b, static_cast<uint16_t>(text.size()));
    PutBytes(b, date, 6);
    PutBytes(b, text.data(), text.size());
    return b;
}

void PutTrackRecord(Bytes& b, uint8_t sectors, uint8_t cylinder, uint8_t head) {
    b.insert(b.end(), {sectors, cylinder, head, 0});
}

// A sector record followed by its data block: the method byte and the coded bytes.
void PutSector(Bytes& b, uint8_t r, uint8_t n, uint8_t flags, const Bytes& block, uint8_t c = 0, uint8_t h = 0) {
    b.insert(b.end(), {c, h, r, n, flags, 0});
    if (flags & 0x30) return;
    PutU16(b, static_cast<uint16_t>(block.size()));
    b.insert(b.end(), block.begin(), block.end());
}

Bytes RawBlock(size_t n, uint8_t seed) {
    Bytes b{0};
    for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(seed + i * 7));
    return b;
}

const Bytes kEnd = {0xFF, 0, 0, 0};

std::tm Moment(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// A disk of a few tracks with mixed sector sizes, a CRC error and comment lines.
void FillSampleDisk(TZX_Disk& disk) {
    disk.Clear();
    for (unsigned k : {0u, 1u, 2u, 7u}) {
        TTrack& t = *disk.Track(k);
        t.Used = kFlagSet;
        for (unsigned s = 0; s < 5; ++s) {
            TSectorSlot& slot = *t.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(k / 2);
            slot.Head = static_cast<uint8_t>(k % 2);
            slot.SectorNo = static_cast<uint8_t>(s + 1);
            slot.SizeCode = static_cast<uint8_t>(s % 4);
            slot.DataCrcOk = (k == 2 && s == 3) ? 0 : kFlagSet;
            slot.DataLength = static_cast<uint16_t>(128 << slot.SizeCode);
            uint8_t* data = disk.ReserveData(slot, slot.DataLength);
            for (unsigned i = 0; i < slot.DataLength; ++i) data[i] = static_cast<uint8_t>(i * (s + 3) + k);
        }
    }
    disk.Comment = {"Первая строка", "", "second line"};
}

void ExpectSameSectors(TZX_Disk& a, TZX_Disk& b) {
    ASSERT_EQ(a.CountTracks(), b.CountTracks());
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& ta = *a.Track(k);
        TTrack& tb = *b.Track(k);
        ASSERT_EQ(ta.Used, tb.Used) << k;
        ASSERT_EQ(ta.CountSectors(), tb.CountSectors()) << k;
        for (unsigned s = 0; s < kMaxSectors; ++s) {
            const TSectorSlot& x = *ta.Sector(s);
            const TSectorSlot& y = *tb.Sector(s);
            if (!x.Used) continue;
            EXPECT_EQ(x.Cylinder, y.Cylinder);
            EXPECT_EQ(x.Head, y.Head);
            EXPECT_EQ(x.SectorNo, y.SectorNo);
            EXPECT_EQ(x.SizeCode, y.SizeCode);
            EXPECT_EQ(x.DataCrcOk, y.DataCrcOk) << k << "/" << s;
            EXPECT_EQ(x.DataLength, y.DataLength);
            EXPECT_EQ(0, std::memcmp(x.Data.data(), y.Data.data(), x.DataLength)) << k << "/" << s;
        }
    }
}

// ---- Checksum and header ---------------------------------------------------------------------

TEST(Td0, TeleDiskCrcOfTheNineDigits) {
    const char* digits = "123456789";
    EXPECT_EQ(TZX_Disk::Crc16TD0(reinterpret_cast<const uint8_t*>(digits), 9), 0x0FB3);
    EXPECT_EQ(TZX_Disk::Crc16TD0(nullptr, 0), 0);
}

TEST(Td0, WriterHeadersPlainAndCompressed) {
    TZX_Disk disk;
    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2014, 3, 7, 9, 5, 2)));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12),
              (Bytes{0x54, 0x44, 0x00, 0x00, 0x15, 0x00, 0x03, 0x80, 0x00, 0x02, 0x90, 0x66}));
    ASSERT_TRUE(BuildTD0At(disk, out, true, Moment(2014, 3, 7, 9, 5, 2)));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 12),
              (Bytes{0x74, 0x64, 0x00, 0x00, 0x15, 0x00, 0x03, 0x80, 0x00, 0x02, 0xA8, 0x01}));
}

TEST(Td0, HeaderSaysHighDensityOnlyForTracksPastADoubleDensityRotation) {
    // 12 x 512 (6144 bytes) still fits one rotation at 250 kbit/s; 13 x 512 does not.
    for (unsigned sectors : {12u, 13u, 18u}) {
        TZX_Disk disk;
        TTrack& track = *disk.Track(5);
        track.Used = kFlagSet;
        for (unsigned i = 0; i < sectors; ++i) {
            TSectorSlot& slot = *track.Sector(i);
            slot.Used = slot.DataCrcOk = kFlagSet;
            slot.SectorNo = static_cast<uint8_t>(i + 1);
            slot.SizeCode = 2;
            slot.DataLength = 512;
        }
        Bytes out;
        ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2014, 3, 7, 9, 5, 2)));
        const bool high = sectors > 12;
        EXPECT_EQ(out[5], high ? 2 : 0) << sectors;  // data rate: 500 or 250 kbit/s
        EXPECT_EQ(out[6], high ? 4 : 3) << sectors;  // drive type: 1.44 MB or 720 KB
        EXPECT_EQ(TZX_Disk::Crc16TD0(out.data(), 10), out[10] | out[11] << 8);
        TZX_Disk back;
        ASSERT_TRUE(back.ParseTD0(out)) << back.StatusMessage;
        EXPECT_EQ(back.Track(5)->CountSectors(), sectors);
    }
}

TEST(Td0, CompressedBodyIsTheCodeOfThePlainOneAndTwoZeroBytes) {
    TZX_Disk disk;
    FillSampleDisk(disk);
    Bytes plain, packed;
    ASSERT_TRUE(BuildTD0At(disk, plain, false, Moment(2014, 3, 7, 9, 5, 2)));
    ASSERT_TRUE(BuildTD0At(disk, packed, true, Moment(2014, 3, 7, 9, 5, 2)));
    Bytes expected(packed.begin(), packed.begin() + 12);
    LzhEncode(ByteSpan(plain).subspan(12), expected);
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(packed, expected);
}

TEST(Td0, HeaderChecksComeInTheirOrder) {
    TZX_Disk disk;
    auto message = [&](const Bytes& image) {
        disk.StatusMessage = "unchanged";
        EXPECT_FALSE(disk.ParseTD0(image));
        return disk.StatusMessage;
    };
    EXPECT_EQ(message(Image(Header("XD", 21), kEnd)), "No TD0 file.");
    EXPECT_EQ(message(Image(Header("TD", 9), kEnd)), "Version TD0 not allowed.");
    EXPECT_EQ(message(Image(Header("TD", 22), kEnd)), "Version TD0 not allowed.");
    EXPECT_EQ(message(Image(Header("TD", 9, 0, false), kEnd)), "Version TD0 not allowed.")
        << "the version is tested before the CRC";
    EXPECT_EQ(message(Image(Header("TD", 21, 0, false), kEnd)), "TD0 header CRC error.");
    EXPECT_EQ(message(Image(Header("td", 19, 0, false), kEnd)), "TD0 header CRC error.")
        << "the CRC is tested before the compression version";
    EXPECT_EQ(message(Image(Header("td", 19), kEnd)), "OLD compression not allowed.");

    // Any letter case passes the signature test; only "td" means compressed.
    Bytes mixed = Header("tD", 10);
    mixed.insert(mixed.end(), kEnd.begin(), kEnd.end());
    EXPECT_TRUE(disk.ParseTD0(mixed));
    EXPECT_THROW(disk.ParseTD0(Bytes(11, 'T')), StreamReadError);
}

TEST(Td0, HeaderAloneIsAnEmptyDisk) {
    TZX_Disk disk;
    disk.Track(5)->Used = kFlagSet;
    disk.StatusMessage = "before";
    ASSERT_TRUE(disk.ParseTD0(Header("TD", 21)));
    EXPECT_EQ(disk.CountTracks(), 0);
    disk.TrackCount = 0;
    ASSERT_TRUE(disk.ParseTD0(Header("TD", 21)));
    EXPECT_EQ(disk.TrackCount, 1) << "highest cylinder 0 and head 0";
    EXPECT_EQ(disk.StatusMessage, "before") << "no comment block, no date text";
}

// ---- Comment block ---------------------------------------------------------------------------

TEST(Td0, CommentBlockOfAnEmptyCommentAndOfOneLine) {
    TZX_Disk disk;
    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2014, 3, 7, 9, 5, 2)));
    const Bytes empty(out.begin() + 12, out.begin() + 22);
    EXPECT_EQ(Bytes(empty.begin() + 2, empty.end()), (Bytes{0, 0, 114, 3, 7, 9, 5, 2}));
    EXPECT_EQ(empty[0] | empty[1] << 8, TZX_Disk::Crc16TD0(empty.data() + 2, 8));
    EXPECT_EQ(Bytes(out.begin() + 22, out.end()), kEnd) << "then the end marker, no tracks";

    disk.Comment = {"ABC"};
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2014, 3, 7, 9, 5, 2)));
    const Bytes block(out.begin() + 12, out.begin() + 28);
    EXPECT_EQ(Bytes(block.begin() + 2, block.end()), (Bytes{6, 0, 114, 3, 7, 9, 5, 2, 0x41, 0x42, 0x43, 0, 0, 0}));
    EXPECT_EQ(block[0] | block[1] << 8, TZX_Disk::Crc16TD0(block.data() + 2, 14));
}

TEST(Td0, WriterSkipsEmptyLinesAndDropsWhatPassesTheTextLimit) {
    TZX_Disk disk;
    disk.Comment = {"", std::string(1000, 'a'), "", "0123456789abcdef", "tail"};  // 1001 + 17 > 1016
    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2020, 1, 1, 0, 0, 0)));
    EXPECT_EQ(out[14] | out[15] << 8, 1003);
    ASSERT_TRUE(disk.ParseTD0(out));
    EXPECT_EQ(disk.Comment, (std::vector<std::string>{std::string(1000, 'a')}));

    disk.Comment = {"", ""};
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2020, 1, 1, 0, 0, 0)));
    EXPECT_EQ(out[14] | out[15] << 8, 2) << "lines present but all empty: just the two closing zeros";
}

TEST(Td0, ReaderSplitsLinesAndReportsTheCreationDate) {
    const uint8_t date[6] = {114, 3, 7, 9, 5, 2};
    const Bytes text = {'o', 'n', 'e', 0, 0, 0xCF, 0xF0, 0xE8, 0, 'l', 'a', 's', 't'};
    Bytes body = CommentBlock(text, date);
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21, 0x80), body)));
    EXPECT_EQ(disk.StatusMessage, "Создан: 7.3.2014 9:5:2");
    EXPECT_EQ(disk.Comment, (std::vector<std::string>{"one", "При", "last"}));
    EXPECT_EQ(TD0CreationText(99, 12, 31, 23, 59, 0), "Создан: 31.12.1999 23:59:0");
}

TEST(Td0, CreationDateReadsInEnglishUnderAnEnglishLocale) {
    const test::ScopedLocale english(test::kEnglishLocale);
    const uint8_t date[6] = {98, 9, 18, 21, 55, 20};
    Bytes body = CommentBlock({'x', 0}, date);
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21, 0x80), body)));
    EXPECT_EQ(disk.StatusMessage, "Created: 18.9.1998 21:55:20");
}

TEST(Td0, OverlongCommentIsCutAndTheTracksStillRead) {
    const uint8_t date[6] = {100, 1, 1, 0, 0, 0};
    Bytes text(2980, 'x');
    text.push_back(0);
    for (int i = 0; i < 40; ++i) text.push_back('y');  // crosses the 2991st byte
    text.push_back(0);
    for (int i = 0; i < 10; ++i) text.push_back('z');  // wholly past it
    Bytes body = CommentBlock(text, date);
    PutTrackRecord(body, 1, 0, 0);
    PutSector(body, 1, 1, 0, RawBlock(256, 9));
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21, 0x80), body)));
    ASSERT_EQ(disk.Comment.size(), 2u);
    EXPECT_EQ(disk.Comment[0], std::string(2980, 'x'));
    EXPECT_EQ(disk.Comment[1], std::string(10, 'y')) << "kept up to byte 2991";
    EXPECT_EQ(disk.Track(0)->Sector(0)->Data[1], 16);
}

// ---- Track and sector records ----------------------------------------------------------------

TEST(Td0, EncodingMethodsAndFlagsFillTheSlots) {
    Bytes body;
    PutTrackRecord(body, 4, 3, 1);
    PutSector(body, 1, 1, 0, {1, 3, 0, 0xE5, 0xF6}, 3, 1);
    Bytes runs = {2, 0, 3, 'a', 'b', 'c', 1, 100, 0x11, 0x22, 0, 250};
    for (int i = 0; i < 250; ++i) runs.push_back(static_cast<uint8_t>(i));
    PutSector(body, 2, 0, 0, runs, 3, 1);
    PutSector(body, 3, 6, 0x20, {}, 3, 1);  // an ID without data, odd size code
    PutSector(body, 4, 1, 0x02, RawBlock(256, 5), 3, 1);
    PutTrackRecord(body, 2, 0, 0);
    PutSector(body, 9, 1, 0x10, {});
    PutSector(body, 8, 1, 0, RawBlock(256, 6));
    body.insert(body.end(), kEnd.begin(), kEnd.end());

    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21), body)));
    EXPECT_EQ(disk.TrackCount, 8) << "(highest cylinder 3 + 1) x (highest head 1 + 1)";
    EXPECT_EQ(disk.CountTracks(), 2);
    TTrack& t = *disk.Track(7);
    EXPECT_EQ(t.CountSectors(), 4);

    const TSectorSlot& pattern = *t.Sector(0);
    EXPECT_EQ(pattern.DataLength, 256);
    EXPECT_EQ(Bytes(pattern.Data.begin(), pattern.Data.begin() + 8), (Bytes{0xE5, 0xF6, 0xE5, 0xF6, 0xE5, 0xF6, 0, 0}));
    EXPECT_EQ(pattern.DataCrcOk, kFlagSet);

    const TSectorSlot& blocks = *t.Sector(1);
    EXPECT_EQ(blocks.DataLength, 453) << "more than the nominal 128 bytes are kept";
    EXPECT_EQ(Bytes(blocks.Data.begin(), blocks.Data.begin() + 5), (Bytes{'a', 'b', 'c', 0x11, 0x22}));
    EXPECT_EQ(blocks.Data[202], 0x22);
    EXPECT_EQ(blocks.Data[203], 0);
    EXPECT_EQ(blocks.Data[452], 249);

    const TSectorSlot& idOnly = *t.Sector(2);
    EXPECT_EQ(idOnly.Used, kFlagSet);
    EXPECT_EQ(idOnly.SectorNo, 3);
    EXPECT_EQ(idOnly.SizeCode, 6);
    EXPECT_EQ(idOnly.DataLength, 0);

    const TSectorSlot& crcError = *t.Sector(3);
    EXPECT_EQ(crcError.DataCrcOk, 0);
    EXPECT_EQ(crcError.Data[1], 12);

    EXPECT_EQ(disk.Track(0)->Sector(0)->DataLength, 0);
    EXPECT_EQ(disk.Track(0)->Sector(1)->SectorNo, 8) << "the record after an ID-only one is in step";
    EXPECT_EQ(disk.Track(0)->Sector(1)->Data[2], 20);
}

// A TR-DOS disk as TeleDisk saves one whose track 0 also holds an ID it could not read a size for:
// sixteen 256-byte sectors, then a record with size code 247 and flags 0 that has no data block, then
// the following tracks.
Bytes TrdosImageWithIdOnlyTail() {
    Bytes body;
    for (uint8_t k = 0; k < 4; ++k) {
        PutTrackRecord(body, k == 0 ? 17 : 16, k / 2, k % 2);
        for (uint8_t r = 1; r <= 16; ++r)
            PutSector(body, r, 1, 0, RawBlock(256, static_cast<uint8_t>(k * 16 + r)), k / 2);
        if (k == 0) body.insert(body.end(), {164, 66, 247, 247, 0x00, 0});
    }
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    return Image(Header("TD", 21), body);
}

TEST(Td0, SizeCodesOfEightAndMoreHaveNoDataBlock) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(TrdosImageWithIdOnlyTail())) << disk.StatusMessage;
    EXPECT_EQ(disk.CountTracks(), 4);
    ASSERT_EQ(disk.Track(0)->CountSectors(), 17);
    const TSectorSlot& idOnly = *disk.Track(0)->Sector(16);
    EXPECT_EQ(idOnly.Cylinder, 164);
    EXPECT_EQ(idOnly.Head, 66);
    EXPECT_EQ(idOnly.SectorNo, 247);
    EXPECT_EQ(idOnly.SizeCode, 247);
    EXPECT_EQ(idOnly.DataLength, 0);
    for (unsigned k = 1; k < 4; ++k) {
        ASSERT_EQ(disk.Track(k)->CountSectors(), 16) << k;
        const TSectorSlot& last = *disk.Track(k)->Sector(15);
        EXPECT_EQ(last.SectorNo, 16);
        EXPECT_EQ(last.Data[1], static_cast<uint8_t>(k * 16 + 16 + 7)) << "track " << k << " read in step";
    }

    // Size code 7 (16 KB) still has its block; 8 has none whatever the flags.
    Bytes body;
    PutTrackRecord(body, 3, 0, 0);
    PutSector(body, 1, 7, 0, RawBlock(300, 1));
    body.insert(body.end(), {0, 0, 2, 8, 0x02, 0});
    PutSector(body, 3, 1, 0, RawBlock(256, 3));
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21), body))) << disk.StatusMessage;
    const TTrack& t = *disk.Track(0);
    EXPECT_EQ(t.Sectors[0].DataLength, 16384) << "the nominal size";
    EXPECT_EQ(t.Sectors[0].Data[299], static_cast<uint8_t>(1 + 299 * 7));
    EXPECT_EQ(t.Sectors[1].DataLength, 0);
    EXPECT_EQ(t.Sectors[1].DataCrcOk, 0);
    EXPECT_EQ(t.Sectors[2].Data[0], 3);
}

TEST(Td0, WriterKeepsIdsWithoutDataAndNeverWritesASizeItCannotHold) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(TrdosImageWithIdOnlyTail()));
    TTrack& t = *disk.Track(1);
    t.Sectors[3].DataLength = 0;  // an ID without data, also carrying a CRC error
    t.Sectors[3].DataCrcOk = 0;
    std::fill(t.Sectors[3].Data.begin(), t.Sectors[3].Data.end(), uint8_t{0});
    t.Sectors[4].SizeCode = 9;  // data with a size code TeleDisk keeps no data for
    t.Sectors[5].SizeCode = 5;  // 4 KB: what the slot holds, then zeros

    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2001, 2, 3, 4, 5, 6)));
    // Track 0: 16 records of 9 + 256 bytes, then the ID-only one.
    const size_t idOnly = 12 + 10 + 4 + 16 * (9 + 256);
    EXPECT_EQ(Bytes(out.begin() + idOnly, out.begin() + idOnly + 6), (Bytes{164, 66, 247, 247, 0x20, 0}));
    EXPECT_EQ(Bytes(out.begin() + idOnly + 6, out.begin() + idOnly + 9), (Bytes{16, 0, 1}))
        << "the next track record follows at once";
    const size_t crcErrorIdOnly = idOnly + 6 + 4 + 3 * (9 + 256);
    EXPECT_EQ(out[crcErrorIdOnly + 2], 4);
    EXPECT_EQ(out[crcErrorIdOnly + 4], 0x22);

    TZX_Disk back;
    ASSERT_TRUE(back.ParseTD0(out)) << back.StatusMessage;
    const TTrack& b = *back.Track(1);
    EXPECT_EQ(back.Track(0)->CountSectors(), 17);
    EXPECT_EQ(back.Track(0)->Sectors[16].DataLength, 0);
    EXPECT_EQ(b.Sectors[3].DataLength, 0) << "not turned into a good sector of zeros";
    EXPECT_EQ(b.Sectors[3].DataCrcOk, 0);
    EXPECT_EQ(b.Sectors[4].SizeCode, 9);
    EXPECT_EQ(b.Sectors[4].DataLength, 0);
    EXPECT_EQ(b.Sectors[5].DataLength, 4096);
    EXPECT_EQ(0, std::memcmp(b.Sectors[5].Data.data(), t.Sectors[5].Data.data(), 256));
    EXPECT_TRUE(std::all_of(b.Sectors[5].Data.begin() + 256, b.Sectors[5].Data.end(), [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(disk.WriteLosses.Count(LossKind::kSectorBytes), 256u) << "the data of the size code 9 sector";
    EXPECT_EQ(b.Sectors[6].SectorNo, 7);
    EXPECT_EQ(0, std::memcmp(b.Sectors[6].Data.data(), t.Sectors[6].Data.data(), 256));
}

TEST(Td0, IdOnlySectorsSurviveFdiAndTheCommandLine) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    test::TempDir dir;
    const std::string td0 = dir / "idonly.td0";
    test::WriteFile(td0, TrdosImageWithIdOnlyTail());
    TZX_Disk source;
    ASSERT_TRUE(source.LoadTD0(td0));

    const test::CommandResult info = test::RunCli({"info", td0});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("T000 c00 h0 17 x  256:"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find(" 16 247/N247?\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("sector sizes: 64 x 256, 1 x N247\n"), std::string::npos) << info.out;

    for (const char* format : {"fdi", "td0"}) {
        SCOPED_TRACE(format);
        const test::CommandResult convert =
            test::RunCli({"convert", "--to", format, "-o", dir / format, "-q", td0});
        ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
        TZX_Disk back;
        const std::string out = dir / (std::string(format) + "/idonly." + format);
        ASSERT_TRUE(std::string(format) == "fdi" ? back.LoadFDI(out) : back.LoadTD0(out)) << back.StatusMessage;
        ASSERT_EQ(back.Track(0)->CountSectors(), 17);
        EXPECT_EQ(back.Track(0)->Sectors[16].SizeCode, 247);
        EXPECT_EQ(back.Track(0)->Sectors[16].DataLength, 0);
        for (unsigned k = 0; k < 4; ++k)
            for (unsigned s = 0; s < 16; ++s)
                ASSERT_EQ(0, std::memcmp(back.Track(k)->Sectors[s].Data.data(),
                                         source.Track(k)->Sectors[s].Data.data(), 256)) << k << "/" << s;
    }
}

// A track whose third record is a data field TeleDisk found with no ID before it (flag 0x40).
Bytes ImageWithIdlessDataFields(uint8_t idlessBlockMethod) {
    Bytes body;
    for (uint8_t k = 0; k < 2; ++k) {
        PutTrackRecord(body, 4, 0, k);
        PutSector(body, 1, 2, 0, RawBlock(512, 1), 0, k);
        PutSector(body, 2, 2, 0, RawBlock(512, 2), 0, k);
        const Bytes idless = idlessBlockMethod == 0 ? RawBlock(512, 0x77) : Bytes{1, 0, 1, 0xE5, 0xE5};
        PutSector(body, 118, 2, 0x40, idless, 0, k);
        PutSector(body, 3, 2, 0, RawBlock(512, 3), 0, k);
    }
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    return Image(Header("TD", 21), body);
}

TEST(Td0, DataFieldsWithoutAnIdAreKeptInPlaceAndWrittenAgain) {
    for (uint8_t method : {0, 1}) {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseTD0(ImageWithIdlessDataFields(method))) << disk.StatusMessage;
        for (unsigned k = 0; k < 2; ++k) {
            const TTrack& t = *disk.Track(k);
            EXPECT_EQ(t.Sectors[0].SectorNo, 1);
            EXPECT_EQ(t.Sectors[1].SectorNo, 2);
            EXPECT_EQ(t.Sectors[2].SectorNo, 118) << "the record keeps its place";
            EXPECT_TRUE(t.Sectors[2].IdMissing);
            EXPECT_EQ(t.Sectors[2].DataLength, 512);
            EXPECT_EQ(t.Sectors[2].Data[0], method == 0 ? 0x77 : 0xE5);
            EXPECT_EQ(t.Sectors[3].SectorNo, 3);
            EXPECT_FALSE(t.Sectors[3].IdMissing);
            EXPECT_EQ(t.Sectors[3].Data[1], 10);
        }
        Bytes out;
        ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2001, 2, 3, 4, 5, 6)));
        EXPECT_TRUE(disk.WriteLosses.Empty()) << disk.WriteLosses.Text();
        TZX_Disk back;
        ASSERT_TRUE(back.ParseTD0(out));
        test::ExpectSameDisk(disk, back);
        EXPECT_TRUE(back.Track(1)->Sectors[2].IdMissing);
    }

    // The record's block is checked like any other.
    Bytes bad;
    PutTrackRecord(bad, 1, 0, 0);
    PutSector(bad, 118, 2, 0x40, {9});
    TZX_Disk disk;
    EXPECT_FALSE(disk.ParseTD0(Image(Header("TD", 21), bad)));
    EXPECT_EQ(disk.StatusMessage, "TD0 format error!");
}

TEST(Td0, RealImagesWithDataFieldsWithoutAnIdAgreeOnEveryKeptSector) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    const auto path = [](const char* name) { return (test::CorpusDir() / "td0" / name).string(); };
    TZX_Disk advanced, normal;
    ASSERT_TRUE(advanced.LoadTD0(path("ecat2-216adv.td0"))) << advanced.StatusMessage;
    ASSERT_TRUE(normal.LoadTD0(path("ecat2-216norm.td0"))) << normal.StatusMessage;
    EXPECT_EQ(normal.CountTracks(), 160u);
    for (unsigned k = 0; k < 160; ++k) {
        ASSERT_EQ(normal.Track(k)->CountSectors(), 19) << k;
        const TSectorSlot* idless = normal.FindSector(k, 118);
        ASSERT_NE(idless, nullptr) << k;
        EXPECT_TRUE(idless->IdMissing) << k;
        for (unsigned r = 1; r <= 18; ++r) {
            const TSectorSlot* a = normal.FindSector(k, r);
            const TSectorSlot* b = advanced.FindSector(k, r);
            ASSERT_TRUE(a && b && !a->IdMissing && a->DataLength == 512 && b->DataLength == 512) << k << " " << r;
            EXPECT_EQ(0, std::memcmp(a->Data.data(), b->Data.data(), 512)) << k << " " << r;
        }
    }

    const test::CommandResult info = test::RunCli({"info", path("ecat2-216adv.td0")});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("  beyond plain sectors: 160 data fields without an ID (tracks 0-159)\n"),
              std::string::npos)
        << info.out;
}

TEST(Td0, BadRecordsGiveTheirMessages) {
    auto parse = [](const Bytes& records) {
        TZX_Disk disk;
        disk.StatusMessage.clear();
        Bytes body = records;
        body.insert(body.end(), kEnd.begin(), kEnd.end());
        EXPECT_FALSE(disk.ParseTD0(Image(Header("TD", 21), body)));
        return disk.StatusMessage;
    };
    Bytes b;
    PutTrackRecord(b, 1, 0, 2);
    EXPECT_EQ(parse(b), "Bad disk parameter!");
    b.clear();
    PutTrackRecord(b, 1, 128, 0);
    EXPECT_EQ(parse(b), "Bad disk parameter!");
    b.clear();
    PutTrackRecord(b, 65, 0, 0);
    EXPECT_EQ(parse(b), "Bad disk parameter!");

    auto oneSector = [](uint8_t n, const Bytes& block) {
        Bytes r;
        PutTrackRecord(r, 1, 0, 0);
        PutSector(r, 1, n, 0, block);
        return r;
    };
    EXPECT_EQ(parse(oneSector(1, {7})), "TD0 format error!") << "unknown method";
    EXPECT_EQ(parse(oneSector(1, {})), "TD0 format error!") << "no room for the method byte";
    EXPECT_EQ(parse(oneSector(1, {2, 0, 1, 'a', 5, 0})), "TD0 format error!") << "unknown run type";
    EXPECT_EQ(parse(oneSector(1, {1, 0x00, 0x80, 1, 2})), "Sector Size Error!") << "2 x 32768 > 65535";
    Bytes runs{2};
    for (int r = 0; r < 129; ++r) runs.insert(runs.end(), {1, 255, 1, 2});  // 129 x 510 > 65535
    EXPECT_EQ(parse(oneSector(1, runs)), "Sector Size Error!");

    b = oneSector(1, RawBlock(256, 0));
    b[10] = 0x06;  // D = 262: one byte more than the block and the end marker hold
    b[11] = 0x01;
    EXPECT_EQ(parse(b), "Size Error!");
}

TEST(Td0, SizeCodesAboveThreeKeepTheirNominalSize) {
    Bytes body;
    PutTrackRecord(body, 2, 0, 0);
    PutSector(body, 1, 4, 0, RawBlock(1024, 1));  // nominal 2048
    PutSector(body, 2, 7, 0, {1, 10, 0, 0xAB, 0xCD});  // nominal 16384, the largest with a data block
    body.insert(body.end(), kEnd.begin(), kEnd.end());
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21), body)));
    EXPECT_EQ(disk.Track(0)->Sector(0)->DataLength, 2048);
    EXPECT_EQ(disk.Track(0)->Sector(1)->DataLength, 16384);

    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2001, 2, 3, 4, 5, 6)));
    TZX_Disk back;
    ASSERT_TRUE(back.ParseTD0(out));
    EXPECT_EQ(back.Track(0)->Sector(0)->SizeCode, 4);
    EXPECT_EQ(back.Track(0)->Sector(0)->DataLength, 2048);
    EXPECT_TRUE(back.WriteLosses.Empty());
    EXPECT_EQ(back.Track(0)->Sector(1)->Data[19], 0xCD);
}

TEST(Td0, RepeatedTrackRecordWritesTheTrackAgainFromSlotZero) {
    Bytes body;
    PutTrackRecord(body, 2, 1, 0);
    PutSector(body, 1, 1, 0, RawBlock(256, 1));
    PutSector(body, 2, 1, 0, RawBlock(256, 2));
    PutTrackRecord(body, 1, 1, 0);
    PutSector(body, 7, 1, 0, RawBlock(256, 3));
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTD0(Image(Header("TD", 21), body))) << "the data may end at a track boundary";
    EXPECT_EQ(disk.Track(2)->Sector(0)->SectorNo, 7);
    EXPECT_EQ(disk.Track(2)->Sector(1)->SectorNo, 2);
    EXPECT_EQ(disk.TrackCount, 2);
}

// ---- Writing and reading back ----------------------------------------------------------------

TEST(Td0, WrittenDiskReadsBackWithCrcErrorsCommentAndDate) {
    for (bool compress : {false, true}) {
        TZX_Disk disk;
        FillSampleDisk(disk);
        Bytes out;
        ASSERT_TRUE(BuildTD0At(disk, out, compress, Moment(2014, 3, 7, 9, 5, 2)));
        TZX_Disk back;
        ASSERT_TRUE(back.ParseTD0(out)) << back.StatusMessage;
        EXPECT_EQ(back.TrackCount, 8) << "(highest cylinder 3 + 1) x 2 sides";
        ExpectSameSectors(disk, back);
        EXPECT_EQ(back.Track(2)->Sector(3)->DataCrcOk, 0) << "flag 0x02 carries the CRC error";
        EXPECT_EQ(back.Comment, (std::vector<std::string>{"Первая строка", "second line"}));
        EXPECT_EQ(back.StatusMessage, "Создан: 7.3.2014 9:5:2");
    }
}

TEST(Td0, WriterRecordBytes) {
    TZX_Disk disk;
    FillSampleDisk(disk);
    disk.Comment.clear();
    Bytes out;
    ASSERT_TRUE(BuildTD0At(disk, out, false, Moment(2014, 3, 7, 9, 5, 2)));
    ByteReader in(out);
    in.Skip(22);
    const ByteSpan track = in.Take(4);
    EXPECT_EQ(Bytes(track.begin(), track.begin() + 3), (Bytes{5, 0, 0}));
    EXPECT_EQ(track[3], static_cast<uint8_t>(TZX_Disk::Crc16TD0(track.data(), 3)));
    const ByteSpan sector = in.Take(9);
    EXPECT_EQ(Bytes(sector.begin(), sector.begin() + 5), (Bytes{0, 0, 1, 0, 0}));
    EXPECT_EQ(sector[5], static_cast<uint8_t>(TZX_Disk::Crc16TD0(disk.Track(0)->Sector(0)->Data.data(), 128)));
    EXPECT_EQ(sector[6] | sector[7] << 8, 129);
    EXPECT_EQ(sector[8], 0) << "raw method";
    // Track 2 sector 4 has the CRC error: its flags byte is 0x02 and its data block is still there.
    size_t pos = 22;
    for (unsigned k : {0u, 1u}) {
        pos += 4;
        for (unsigned s = 0; s < 5; ++s) pos += 9 + (128u << disk.Track(k)->Sector(s)->SizeCode);
    }
    pos += 4;
    for (unsigned s = 0; s < 3; ++s) pos += 9 + (128u << s % 4);
    EXPECT_EQ(out[pos + 2], 4);
    EXPECT_EQ(out[pos + 4], 0x02);
    EXPECT_EQ(out[pos + 6] | out[pos + 7] << 8, 1025);
}

TEST(Td0, SaveAndLoadFilesAndTheCommandLineShowsCommentAndDate) {
    test::TempDir dir;
    TZX_Disk disk;
    FillSampleDisk(disk);
    const std::string plain = dir / "plain.td0";
    const std::string packed = dir / "packed.td0";
    ASSERT_TRUE(disk.SaveTD0(plain));
    ASSERT_TRUE(disk.SaveTD0(packed, true));
    EXPECT_EQ(test::ReadFile(plain)[0], 'T');
    EXPECT_EQ(test::ReadFile(packed)[0], 't');
    for (const std::string& file : {plain, packed}) {
        TZX_Disk back;
        ASSERT_TRUE(back.LoadTD0(file));
        ExpectSameSectors(disk, back);
        EXPECT_EQ(back.StatusMessage.rfind("Создан: ", 0), 0u) << back.StatusMessage;
        const test::CommandResult info = test::RunCli({"info", file});
        EXPECT_EQ(info.exitCode, 0) << info.err;
        EXPECT_NE(info.out.find("Первая строка"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("Создан: "), std::string::npos) << info.out;
    }

    TZX_Disk cleared;
    cleared.Track(3)->Used = kFlagSet;
    EXPECT_THROW(cleared.LoadTD0(dir / "missing.td0"), IoError);
    EXPECT_EQ(cleared.CountTracks(), 0) << "the disk is cleared before the file is opened";
    EXPECT_THROW(cleared.LoadTD0(""), IoError);
}

// ---- Damaged input ---------------------------------------------------------------------------

// Every outcome allowed for damaged bytes: true, false with a known message, or the stream read error.
void ExpectGracefulParse(TZX_Disk& disk, const Bytes& image) {
    static const std::vector<std::string> kMessages = {
        "No TD0 file.", "Version TD0 not allowed.", "TD0 header CRC error.", "OLD compression not allowed.",
        "Bad disk parameter!", "Size Error!", "Sector Size Error!", "TD0 format error!"};
    try {
        disk.StatusMessage.clear();
        if (!disk.ParseTD0(image)) {
            EXPECT_NE(std::find(kMessages.begin(), kMessages.end(), disk.StatusMessage), kMessages.end())
                << disk.StatusMessage;
        }
    } catch (const StreamReadError&) {
    }
}

TEST(Td0, TruncatedFlippedAndRandomImagesNeverCrash) {
    TZX_Disk source;
    FillSampleDisk(source);
    for (bool compress : {false, true}) {
        Bytes image;
        ASSERT_TRUE(BuildTD0At(source, image, compress, Moment(2014, 3, 7, 9, 5, 2)));
        TZX_Disk disk;
        for (size_t n = 0; n < image.size(); n += compress ? 7 : 23) {
            ExpectGracefulParse(disk, Bytes(image.begin(), image.begin() + n));
        }
        uint32_t state = 99;
        for (int round = 0; round < 300; ++round) {
            Bytes damaged = image;
            for (int flips = 0; flips < 1 + round % 4; ++flips) {
                state = state * 1664525u + 1013904223u;
                const size_t at = 12 + (state >> 8) % (damaged.size() - 12);
                damaged[at] ^= static_cast<uint8_t>(1u << (state >> 29));
            }
            ExpectGracefulParse(disk, damaged);
        }
        for (int round = 0; round < 100; ++round) {
            Bytes random = Header(compress ? "td" : "TD", 21, round % 2 ? 0x80 : 0);
            for (int i = 0; i < 50 + round * 20; ++i) {
                state = state * 1664525u + 1013904223u;
                random.push_back(static_cast<uint8_t>(state >> 24));
            }
            ExpectGracefulParse(disk, random);
        }
    }
}

}  // namespace
}  // namespace tarvex
