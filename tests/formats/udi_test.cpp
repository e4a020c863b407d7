#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <random>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_support.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {
namespace {

// The checksum as the format defines it: one bit at a time, with an arithmetic right shift.
uint32_t BitwiseUdiCrc32(const uint8_t* data, size_t n) {
    uint32_t r = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        r ^= 0xFFFFFFFF ^ data[i];
        for (int k = 0; k < 8; ++k) {
            const bool low = r & 1;
            r = static_cast<uint32_t>(static_cast<int32_t>(r) >> 1);
            if (low) r ^= 0xEDB88320;
        }
        r ^= 0xFFFFFFFF;
    }
    return r;
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Sets the length field and the trailing CRC of a UDI image.
void Seal(Bytes& udi) {
    PutLe32(udi, 4, static_cast<uint32_t>(udi.size() - 4));
    PutLe32(udi, udi.size() - 4, TZX_Disk::Crc32(udi.data(), udi.size() - 4));
}

struct TrackRecord {
    Bytes raw;
    Bytes marks;  // ceil(raw / 8) bytes
    void Mark(size_t from, size_t n) {
        for (size_t p = from; p < from + n; ++p) marks[p / 8] |= static_cast<uint8_t>(1u << (p % 8));
    }
};

TrackRecord Record(size_t length) { return {Bytes(length, 0x4E), Bytes((length + 7) / 8, 0)}; }

Bytes PlainRecord(const TrackRecord& r) {
    Bytes record = {0, static_cast<uint8_t>(r.raw.size()), static_cast<uint8_t>(r.raw.size() >> 8)};
    record.insert(record.end(), r.raw.begin(), r.raw.end());
    record.insert(record.end(), r.marks.begin(), r.marks.end());
    return record;
}

// A record as the emulator that compresses them writes it: 0xF0, the stream's length less one, the type,
// the raw length, then the zlib stream of the raw bytes and the bitmap.
Bytes CompressedRecord(const TrackRecord& r, int level) {
    Bytes plain = r.raw;
    plain.insert(plain.end(), r.marks.begin(), r.marks.end());
    uLongf n = compressBound(static_cast<uLong>(plain.size()));
    Bytes z(n);
    EXPECT_EQ(compress2(z.data(), &n, plain.data(), static_cast<uLong>(plain.size()), level), Z_OK);
    z.resize(n);
    Bytes record = {0xF0, static_cast<uint8_t>(n - 1),        static_cast<uint8_t>((n - 1) >> 8),
                    0,    static_cast<uint8_t>(r.raw.size()), static_cast<uint8_t>(r.raw.size() >> 8)};
    record.insert(record.end(), z.begin(), z.end());
    return record;
}

// A UDI image of the given records with highest cylinder/side as given; length and CRC sealed.
Bytes SealedUdi(const std::vector<Bytes>& records, unsigned highestCylinder, unsigned highestSide) {
    const auto cylinder = static_cast<uint8_t>(highestCylinder), side = static_cast<uint8_t>(highestSide);
    Bytes udi = {'U', 'D', 'I', '!', 0, 0, 0, 0, 0, cylinder, side, 0, 0, 0, 0, 0};
    for (const Bytes& r : records) udi.insert(udi.end(), r.begin(), r.end());
    udi.resize(udi.size() + 4);
    Seal(udi);
    return udi;
}

Bytes MakeUdi(const std::vector<TrackRecord>& records, unsigned highestCylinder, unsigned highestSide) {
    std::vector<Bytes> plain;
    for (const TrackRecord& r : records) plain.push_back(PlainRecord(r));
    return SealedUdi(plain, highestCylinder, highestSide);
}

// Writes A1 A1 A1 FE C H R N + CRC at pos (the first sync byte) and returns the position after it.
size_t PutId(TrackRecord& r, size_t pos, uint8_t c, uint8_t h, uint8_t sector, uint8_t n) {
    const uint8_t field[8] = {0xA1, 0xA1, 0xA1, 0xFE, c, h, sector, n};
    std::memcpy(&r.raw[pos], field, 8);
    const uint16_t crc = TZX_Disk::Crc16(field, 8);
    r.raw[pos + 8] = static_cast<uint8_t>(crc >> 8);
    r.raw[pos + 9] = static_cast<uint8_t>(crc);
    r.Mark(pos, 3);
    return pos + 10;
}

// Writes A1 A1 A1 mark + data + CRC (complemented when bad) at pos; returns the position after it.
size_t PutData(TrackRecord& r, size_t pos, const Bytes& data, bool good = true, uint8_t mark = 0xFB) {
    r.raw[pos] = r.raw[pos + 1] = r.raw[pos + 2] = 0xA1;
    r.raw[pos + 3] = mark;
    std::copy(data.begin(), data.end(), r.raw.begin() + pos + 4);
    uint16_t crc = TZX_Disk::Crc16(&r.raw[pos], data.size() + 4);
    if (!good) crc = static_cast<uint16_t>(~crc);
    r.raw[pos + 4 + data.size()] = static_cast<uint8_t>(crc >> 8);
    r.raw[pos + 5 + data.size()] = static_cast<uint8_t>(crc);
    r.Mark(pos, 3);
    return pos + 6 + data.size();
}

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 3);
    return b;
}

TEST(Udi, Crc32IsTheFormatsOwnChecksum) {
    const char* digits = "123456789";
    EXPECT_EQ(TZX_Disk::Crc32(reinterpret_cast<const uint8_t*>(digits), 9), 0x1628D64Du);
    EXPECT_EQ(TZX_Disk::Crc32(nullptr, 0), 0xFFFFFFFFu);
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        Bytes data(rng() % 3000);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        ASSERT_EQ(TZX_Disk::Crc32(data.data(), data.size()), BitwiseUdiCrc32(data.data(), data.size())) << round;
    }
}

TEST(Udi, FullTrdosDiskWritesWholeCylindersAndReadsBack) {
    const Bytes trd = test::MakeTrdBytes(160);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(trd));
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    ASSERT_EQ(udi.size(), 1126580u);
    EXPECT_EQ(Bytes(udi.begin(), udi.begin() + 16),
              (Bytes{0x55, 0x44, 0x49, 0x21, 0xB0, 0x30, 0x11, 0x00, 0x00, 0x4F, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(udi[16], 0) << "MFM track";
    EXPECT_EQ(udi[17] | (udi[18] << 8), 6256);

    TZX_Disk back;
    back.Comment = {"stale"};
    back.StatusMessage = "kept";
    ASSERT_TRUE(back.ParseUDI(udi));
    EXPECT_EQ(back.StatusMessage, "kept");
    EXPECT_TRUE(back.Comment.empty());
    EXPECT_EQ(back.CountTracks(), 160);
    EXPECT_EQ(back.Track(159)->RawLength, 6256);
    EXPECT_EQ(back.Track(159)->RawValid, 1);
    Bytes again;
    ASSERT_TRUE(back.BuildTRD(again));
    EXPECT_EQ(again, trd);
    ASSERT_TRUE(back.BuildUDI(again));
    EXPECT_EQ(again, udi) << "written again, the layout-keeping build gives the same bytes";
}

TEST(Udi, OddTrackCountsAndSparseDisksKeepEveryTrack) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(3)));
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    EXPECT_EQ(udi.size(), 16 + 4 * 7041 + 4u);
    EXPECT_EQ(udi[9], 1) << "2 cylinders";
    ASSERT_TRUE(disk.ParseUDI(udi));
    EXPECT_EQ(disk.CountTracks(), 4);
    EXPECT_EQ(disk.Track(3)->CountSectors(), 0) << "the fourth record is unformatted";

    // Tracks 0 and 9 only: the image reaches the cylinder of track 9.
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(10)));
    for (unsigned k = 1; k < 9; ++k) disk.Track(k)->Clear();
    ASSERT_TRUE(disk.BuildUDI(udi));
    EXPECT_EQ(udi[9], 4) << "5 cylinders, though only 2 tracks are used";
    ASSERT_TRUE(disk.ParseUDI(udi));
    EXPECT_EQ(disk.Track(9)->CountSectors(), 16);

    disk.Clear();
    udi = {1, 2};
    EXPECT_FALSE(disk.BuildUDI(udi));
    EXPECT_EQ(disk.StatusMessage, "Cannot create UDI image! (на диске нет дорожек)");
    EXPECT_EQ(udi, (Bytes{1, 2}));

    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(2)));
    disk.Track(1)->Sector(3)->SizeCode = 6;
    EXPECT_TRUE(disk.BuildUDI(udi)) << "a track of an 8 KB sector goes as a longer record";
    // A sector of 32 KB has no data field a track holds: its ID goes alone, its data is told as lost.
    disk.Track(1)->Sector(3)->SizeCode = 8;
    ASSERT_TRUE(disk.BuildUDI(udi));
    EXPECT_EQ(disk.WriteLosses.Text(), "потеряно: байт секторов сверх того, что хранит формат: 256 (дорожка 1)");
    TZX_Disk back;
    ASSERT_TRUE(back.ParseUDI(udi));
    ASSERT_EQ(back.Track(1)->CountSectors(), 16);
    EXPECT_EQ(back.Track(1)->Sector(3)->SizeCode, 8);
    EXPECT_EQ(back.Track(1)->Sector(3)->DataLength, 0);
    EXPECT_EQ(back.Track(1)->Sector(4)->DataLength, 256) << "the sectors after it keep theirs";
}

TEST(Udi, ReaderChecksInOrder) {
    TZX_Disk disk;
    Bytes udi = MakeUdi({Record(100), Record(100)}, 0, 1);
    ASSERT_TRUE(disk.ParseUDI(udi));

    EXPECT_FALSE(disk.ParseUDI(Bytes(19, 0)));
    EXPECT_EQ(disk.StatusMessage, "Error UDI file! (байт: 19, меньше заголовка и его CRC)");
    Bytes twenty(20, 0);
    PutLe32(twenty, 16, TZX_Disk::Crc32(twenty.data(), 16));
    EXPECT_FALSE(disk.ParseUDI(twenty));
    EXPECT_EQ(disk.StatusMessage, "No UDI format!") << "20 bytes pass the size check, the CRC, then fail the signature";

    Bytes bad = udi;
    bad[0] = 'X';
    EXPECT_FALSE(disk.ParseUDI(bad));
    EXPECT_EQ(disk.StatusMessage, "UDI file CRC error!") << "the CRC is checked before the signature";
    Seal(bad);
    EXPECT_FALSE(disk.ParseUDI(bad));
    EXPECT_EQ(disk.StatusMessage, "No UDI format!");

    const std::pair<size_t, const char*> headerFaults[] = {
        {8, "Error UDI format! (неизвестная версия 1)"},
        {12, "Error UDI format! (расширенный заголовок длиной 1 байт не читается)"},
        {15, "Error UDI format! (расширенный заголовок длиной 16777216 байт не читается)"},
    };
    for (const auto& [at, message] : headerFaults) {
        bad = udi;
        bad[at] = 1;
        Seal(bad);
        EXPECT_FALSE(disk.ParseUDI(bad));
        EXPECT_EQ(disk.StatusMessage, message) << at;
    }
    bad = udi;
    PutLe32(bad, 4, static_cast<uint32_t>(udi.size()));
    PutLe32(bad, bad.size() - 4, TZX_Disk::Crc32(bad.data(), bad.size() - 4));
    EXPECT_FALSE(disk.ParseUDI(bad));
    EXPECT_EQ(disk.StatusMessage, "Error UDI file length! (по заголовку до CRC 252 байт, в файле 248)");

    bad = udi;
    bad[16 + 1 + 3 + 100 + 13 + 1] = 0xFF;  // the second record claims 0xFF64 bytes
    Seal(bad);
    EXPECT_FALSE(disk.ParseUDI(bad));
    EXPECT_EQ(disk.StatusMessage,
              "Error UDI file length! (дорожка 1 (цилиндр 0, сторона 1): байт дорожки: 65380, больше 113, оставшихся "
              "до CRC)");
    EXPECT_EQ(disk.Track(0)->Used, kFlagSet) << "the first record was read";

    // A bitmap cut short by the end of the file (the raw bytes still fit).
    bad = MakeUdi({Record(64)}, 0, 0);
    bad.erase(bad.end() - 4 - 8, bad.end() - 4);
    Seal(bad);
    EXPECT_THROW(disk.ParseUDI(bad), StreamReadError);
}

TEST(Udi, SectorScanFollowsTheClockMarks) {
    TrackRecord r = Record(1200);
    r.Mark(20, 3);
    r.raw[23] = 0xFC;
    size_t pos = PutId(r, 60, 5, 1, 3, 1);
    pos = PutData(r, pos + 20, Pattern(256, 1), true);
    pos = PutId(r, pos + 30, 5, 1, 4, 0);
    pos = PutData(r, pos + 20, Pattern(128, 2), false, 0xF8);  // bad CRC, deleted-data mark
    pos = PutId(r, pos + 30, 5, 1, 9, 0);                      // an ID without data,
    pos = PutId(r, pos + 30, 5, 1, 10, 0);                     // then an ID of its own
    pos = PutData(r, pos + 20, Pattern(128, 3));               // whose data is its own
    r.raw[pos + 30] = 0xFB;                                    // a data mark without sync is nothing
    pos = PutId(r, pos + 60, 5, 1, 11, 1);
    const size_t cutMark = pos + 20 + 3;
    pos = PutData(r, pos + 20, Bytes(256, 0x77));
    r.raw.resize(cutMark + 1 + 100);  // the last field runs into the end of the track
    r.marks.resize((r.raw.size() + 7) / 8);

    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseUDI(MakeUdi({r}, 0, 0)));
    TTrack& t = *disk.Track(0);
    ASSERT_EQ(t.CountSectors(), 5);
    EXPECT_EQ(t.Sector(0)->SectorNo, 3);
    EXPECT_EQ(t.Sector(0)->Cylinder, 5);
    EXPECT_EQ(t.Sector(0)->Head, 1);
    EXPECT_EQ(t.Sector(0)->DataLength, 256);
    EXPECT_EQ(t.Sector(0)->DataCrcOk, kFlagSet);
    EXPECT_EQ(0, std::memcmp(t.Sector(0)->Data.data(), Pattern(256, 1).data(), 256));
    EXPECT_EQ(t.Sector(1)->SectorNo, 4);
    EXPECT_EQ(t.Sector(1)->DataCrcOk, 0);
    EXPECT_EQ(t.Sector(1)->DataLength, 128);
    EXPECT_EQ(t.Sector(2)->SectorNo, 9);
    EXPECT_EQ(t.Sector(2)->DataLength, 0) << "the next ID came before a data field";
    EXPECT_EQ(t.Sector(3)->SectorNo, 10);
    EXPECT_EQ(t.Sector(3)->Data[0], 3);
    EXPECT_EQ(t.Sector(4)->SectorNo, 11);
    EXPECT_EQ(t.Sector(4)->DataLength, 100 - 3 + 1) << "L - i - 3 bytes, the last two taken as CRC";
    EXPECT_EQ(t.Sector(4)->DataCrcOk, 0);
    EXPECT_EQ(t.RawLength, r.raw.size());
    EXPECT_EQ(0, std::memcmp(t.RawData.data(), r.raw.data(), r.raw.size()));
}

TEST(Udi, BadSectorsComeBackBad) {
    TZX_Disk disk;
    for (uint8_t code = 0; code <= 3; ++code) {
        const unsigned count = code == 3 ? 5 : 8;
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(2)));
        for (unsigned k = 0; k < 2; ++k)
            for (unsigned s = 0; s < 16; ++s) {
                TSectorSlot& slot = *disk.Track(k)->Sector(s);
                if (s >= count) disk.Track(k)->ClearSector(s);
                slot.SizeCode = code;
                slot.DataLength = static_cast<uint16_t>(128u << code);
                slot.DataCrcOk = s % 2 ? 0 : kFlagSet;
            }
        Bytes udi;
        ASSERT_TRUE(disk.BuildUDI(udi));
        // Read (from scratch), then written again keeping the layout, then read once more.
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_TRUE(disk.ParseUDI(udi));
            for (unsigned s = 0; s < count; ++s) {
                const TSectorSlot& slot = *disk.Track(1)->Sector(s);
                ASSERT_EQ(slot.DataLength, 128u << code);
                EXPECT_EQ(slot.DataCrcOk, s % 2 ? 0 : kFlagSet)
                    << "size code " << int(code) << " sector " << s << " pass " << pass;
            }
            ASSERT_TRUE(disk.BuildUDI(udi));
        }
    }
}

// Every position in the track whose clock-mark bit is set, with the raw byte after each run of marks.
std::vector<std::pair<size_t, uint8_t>> AddressMarks(const TTrack& t, const Bytes& marks) {
    std::vector<std::pair<size_t, uint8_t>> found;
    for (size_t p = 0; p < t.RawLength; ++p) {
        const bool here = (marks[p / 8] >> (p % 8)) & 1;
        const bool next = p + 1 < t.RawLength && ((marks[(p + 1) / 8] >> ((p + 1) % 8)) & 1);
        if (here) found.emplace_back(p, t.RawData[p]);
        if (here && !next && p + 1 < t.RawLength) found.emplace_back(p + 1, t.RawData[p + 1]);
    }
    return found;
}

TEST(Udi, WrittenAgainAnImageKeepsItsAddressMarks) {
    TrackRecord r = Record(6256);
    r.raw[300] = r.raw[301] = r.raw[302] = 0xC2;
    r.Mark(300, 3);
    r.raw[303] = 0xFC;
    size_t pos = 400;
    for (uint8_t s = 1; s <= 5; ++s) {
        pos = PutId(r, pos + 7 * s, 0, 0, s, 2);
        pos = PutData(r, pos + 15 + s, Pattern(512, s), s != 4, s == 2 ? 0xF8 : 0xFB);
    }
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseUDI(MakeUdi({r, Record(0)}, 0, 1)));
    ASSERT_EQ(disk.Track(0)->CountSectors(), 5);
    EXPECT_EQ(disk.Track(1)->Used, kFlagSet);
    EXPECT_EQ(disk.Track(1)->RawLength, 0);
    disk.Track(0)->Sector(2)->Data[7] ^= 0xFF;  // a change to the model is carried into the image
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));

    TZX_Disk back;
    ASSERT_TRUE(back.ParseUDI(udi));
    const Bytes marks(udi.begin() + 16 + 3 + 6256, udi.begin() + 16 + 3 + 6256 + 782);
    const auto expected = AddressMarks(*disk.Track(0), r.marks);
    auto got = AddressMarks(*back.Track(0), marks);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, expected[i].first);
        // The first sync byte of a bad sector's data field is written as 0x14.
        EXPECT_TRUE(got[i].second == expected[i].second || (got[i].second == 0x14 && expected[i].second == 0xA1))
            << got[i].first << ": " << int(got[i].second);
    }
    for (unsigned s = 0; s < 5; ++s) {
        const TSectorSlot& a = *disk.Track(0)->Sector(s);
        const TSectorSlot& b = *back.Track(0)->Sector(s);
        EXPECT_EQ(a.SectorNo, b.SectorNo);
        EXPECT_EQ(a.DataCrcOk, b.DataCrcOk) << s;
        EXPECT_EQ(0, std::memcmp(a.Data.data(), b.Data.data(), 512));
    }
    // The empty record came back as a used track with only the preamble.
    const size_t second = 16 + 7041 + 3;
    EXPECT_EQ(udi[second + 95], 0xFC);
    EXPECT_EQ(back.Track(1)->CountSectors(), 0);
}

TEST(Udi, OneSidedImagesKeepTheirGeometry) {
    TZX_Disk source;
    ASSERT_TRUE(source.ParseTRD(test::MakeTrdBytes(1)));
    TrackRecord r = Record(6256);
    ASSERT_TRUE(source.BuildRawTrack(0, r.raw.data(), r.marks.data()));
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseUDI(MakeUdi({r, r, r}, 2, 0)));
    EXPECT_EQ(disk.CountTracks(), 3);
    for (unsigned k : {0u, 2u, 4u}) EXPECT_EQ(disk.Track(k)->CountSectors(), 16) << k;
    for (unsigned k : {1u, 3u}) EXPECT_EQ(disk.Track(k)->Used, 0) << k;
    Bytes out;
    EXPECT_FALSE(disk.BuildTRD(out));
    EXPECT_EQ(disk.StatusMessage, "Not TR-DOS disk format! Sector (T-1 / S-1) not found!");
    ASSERT_TRUE(disk.BuildUDI(out));
    EXPECT_EQ(out[9], 2) << "all three cylinders are written";
    EXPECT_EQ(out[10], 1);
}

// A UDI image of TR-DOS tracks (16 sectors each) in `records` records on two sides.
// TR-DOS tracks as records, track 2 with a bad sector.
std::vector<TrackRecord> TrdosRecords(unsigned count) {
    TZX_Disk source;
    EXPECT_TRUE(source.ParseTRD(test::MakeTrdBytes(count)));
    source.Track(2 % count)->Sector(3)->DataCrcOk = 0;
    std::vector<TrackRecord> records(count, Record(6256));
    for (unsigned k = 0; k < count; ++k) source.BuildRawTrack(k, records[k].raw.data(), records[k].marks.data());
    return records;
}

TEST(Udi, RealVariantsRead) {
    const auto four = TrdosRecords(4);
    Bytes reserved = MakeUdi(four, 1, 1), gap = reserved;
    reserved[11] = 1;  // as the emulator that defined the format writes it
    Seal(reserved);
    gap.insert(gap.end() - 4, 77, 0xE5);  // bytes between the last record and the CRC
    Seal(gap);
    const std::vector<TrackRecord> many(256, four[0]);
    const struct {
        const char* name;
        Bytes image;
        unsigned tracks;
    } variants[] = {
        {"reserved byte 1", reserved, 4},
        {"77 bytes before the CRC", gap, 4},
        // Stored, fast and best compression, and one record left plain among them.
        {"compressed",
         SealedUdi({CompressedRecord(four[0], 0), CompressedRecord(four[1], 1), PlainRecord(four[2]),
                    CompressedRecord(four[3], 9)},
                   1, 1),
         4},
        {"86 cylinders", MakeUdi({many.begin(), many.begin() + 172}, 85, 1), 172},
        {"128 cylinders", MakeUdi(many, 127, 1), 256},
        {"a real image of 86 cylinders", test::ReadFile(test::CorpusDir() / "udi" / "unrealng-beta128-empty.udi"), 172},
    };
    TZX_Disk plain;
    ASSERT_TRUE(plain.ParseUDI(MakeUdi(four, 1, 1)));
    for (const auto& v : variants) {
        TZX_Disk disk;
        ASSERT_TRUE(disk.ParseUDI(v.image)) << v.name << ": " << disk.StatusMessage;
        EXPECT_EQ(disk.CountTracks(), v.tracks) << v.name;
        EXPECT_EQ(disk.Track(v.tracks - 1)->CountSectors(), 16) << v.name;
        if (v.tracks == 4) test::ExpectSameDisk(plain, disk);
    }
    // A record whose raw bytes would take in the CRC is no record.
    Bytes cut = MakeUdi({four[0], four[1]}, 0, 1);
    cut[16 + 7041 + 1] = 7040 & 0xFF;  // the second record's raw bytes end 2 bytes into the CRC
    cut[16 + 7041 + 2] = 7040 >> 8;
    Seal(cut);
    EXPECT_FALSE(plain.ParseUDI(cut));
    EXPECT_EQ(plain.StatusMessage,
              "Error UDI file length! (дорожка 1 (цилиндр 0, сторона 1): байт дорожки: 7040, больше 7038, оставшихся "
              "до CRC)");
}

TEST(Udi, DamagedCompressedRecordsAreRefusedNamingTheTrack) {
    const auto r = TrdosRecords(2);
    const struct {
        const char* name;
        std::function<void(Bytes& record)> damage;
        const char* why;  // nullptr: the record still reads
    } cases[] = {
        {"the length before the stream says nothing", [](Bytes& c) { c[1] = c[2] = 0; }, nullptr},
        {"a raw length the stream is short of", [](Bytes& c) { c[4] += 1; },
         "сжатая запись содержит байт: 7038, меньше 6257 байт дорожки и их битовой карты"},
        {"a raw length shorter than the stream", [](Bytes& c) { c[4] -= 8; },
         "сжатая запись содержит больше 6248 байт дорожки и их битовой карты"},
        {"a damaged checksum", [](Bytes& c) { c.back() ^= 1; }, "контрольная сумма сжатой записи не совпадает"},
        {"no zlib header", [](Bytes& c) { c[6] = 0x77; }, "сжатая запись не содержит потока zlib"},
        {"the stream cut short", [](Bytes& c) { c.resize(c.size() - 20); }, "сжатая запись обрывается"},
    };
    for (const auto& c : cases) {
        Bytes second = CompressedRecord(r[1], 6);
        c.damage(second);
        TZX_Disk disk;
        EXPECT_EQ(disk.ParseUDI(SealedUdi({PlainRecord(r[0]), second}, 0, 1)), c.why == nullptr) << c.name;
        const std::string why =
            c.why ? std::string("Error UDI format! (дорожка 1 (цилиндр 0, сторона 1): ") + c.why + ")" : "";
        EXPECT_EQ(c.why ? disk.StatusMessage : "", why) << c.name;
    }
}

// Track k used with sectors of the given size codes numbered from 1, each with data of its own.
void PutSectors(TZX_Disk& disk, unsigned k, const std::vector<uint8_t>& codes, uint16_t rateKbps = 0) {
    TTrack& t = *disk.Track(k);
    t.Used = kFlagSet;
    t.RateKbps = rateKbps;
    for (unsigned s = 0; s < codes.size(); ++s) {
        TSectorSlot& slot = *t.Sector(s);
        slot = TSectorSlot{.Used = kFlagSet,
                           .Cylinder = static_cast<uint8_t>(k / 2),
                           .Head = static_cast<uint8_t>(k % 2),
                           .SectorNo = static_cast<uint8_t>(s + 1),
                           .SizeCode = codes[s],
                           .DataCrcOk = kFlagSet,
                           .DataLength = static_cast<uint16_t>(128u << codes[s])};
        uint8_t* data = disk.ReserveData(slot, slot.DataLength);
        for (unsigned i = 0; i < slot.DataLength; ++i) data[i] = static_cast<uint8_t>(k * 7 + s * 13 + i);
    }
}

TEST(Udi, TracksBeyondSixThousandBytesGoAtTheirOwnLength) {
    const struct {
        const char* name;
        std::vector<uint8_t> codes;
        uint16_t rate;
        size_t length;
    } cases[] = {
        {"18 x 512 at high density", std::vector<uint8_t>(18, 2), 500, 12500},
        {"11 x 512 at double density", std::vector<uint8_t>(11, 2), 0, 146 + 11 * 628},
        {"an 8 KB sector", {6}, 0, 146 + 116 + 8192},
        {"a 16 KB sector and two more", {7, 1, 1}, 0, 146 + 116 + 16384 + 2 * 372},
    };
    for (const auto& c : cases) {
        TZX_Disk disk, back;
        ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(1)));
        PutSectors(disk, 1, c.codes, c.rate);
        Bytes udi, again;
        ASSERT_TRUE(disk.BuildUDI(udi)) << c.name << ": " << disk.StatusMessage;
        EXPECT_EQ(udi[16 + 7041 + 1] | udi[16 + 7041 + 2] << 8, c.length) << c.name << ": the second record";
        ASSERT_TRUE(back.ParseUDI(udi)) << c.name << ": " << back.StatusMessage;
        test::ExpectSameSectors(disk, back);
        ASSERT_TRUE(back.BuildUDI(again));
        EXPECT_EQ(again, udi) << c.name << ": a long track read is written again as it was read";
    }
    TZX_Disk disk;
    PutSectors(disk, 0, std::vector<uint8_t>(64, 3));  // too much for a record's 16-bit length
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    EXPECT_EQ(disk.WriteLosses.Count(LossKind::kSectorBytes), 8u * 1024) << "the last eight go as IDs alone";
    TZX_Disk back;
    ASSERT_TRUE(back.ParseUDI(udi));
    ASSERT_EQ(back.Track(0)->CountSectors(), 64);
    EXPECT_EQ(back.Track(0)->Sector(55)->DataLength, 1024);
    EXPECT_EQ(back.Track(0)->Sector(56)->DataLength, 0);
}

TEST(Udi, DeletedMarksMissingIdsAndIdCrcErrorsComeBack) {
    TZX_Disk disk;
    PutSectors(disk, 0, std::vector<uint8_t>(9, 2));        // fits 6256 bytes
    PutSectors(disk, 1, std::vector<uint8_t>(18, 2), 500);  // a longer record
    for (unsigned k = 0; k < 2; ++k) {
        TTrack& t = *disk.Track(k);
        t.Sector(1)->DeletedData = t.Sector(2)->IdCrcError = t.Sector(3)->IdMissing = kFlagSet;
        t.Sector(4)->IdMissing = t.Sector(4)->DeletedData = kFlagSet;
        t.Sector(4)->DataCrcOk = t.Sector(5)->DataCrcOk = 0;
        t.Sector(3)->SectorNo = t.Sector(4)->SectorNo = 0;  // a field without an ID has no number of its own
    }
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    // Read from the layout built anew, then from the image written again from what was read.
    for (int pass = 0; pass < 2; ++pass) {
        TZX_Disk back;
        ASSERT_TRUE(back.ParseUDI(udi));
        test::ExpectSameSectors(disk, back);
        for (unsigned k = 0; k < 2; ++k)
            for (unsigned s = 0; s < 18; ++s) {
                const TSectorSlot &a = *disk.Track(k)->Sector(s), &b = *back.Track(k)->Sector(s);
                EXPECT_TRUE(!a.DeletedData == !b.DeletedData && !a.IdCrcError == !b.IdCrcError &&
                            !a.IdMissing == !b.IdMissing)
                    << "pass " << pass << " track " << k << " slot " << s;
            }
        ASSERT_TRUE(back.BuildUDI(udi));
        EXPECT_TRUE(back.WriteLosses.Empty()) << back.WriteLosses.Text();
    }
}

TEST(Udi, WhatTheImageCannotHoldIsNoted) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    Bytes udi;
    ASSERT_TRUE(disk.BuildUDI(udi));
    EXPECT_TRUE(disk.WriteLosses.Empty()) << disk.WriteLosses.Text();
    disk.Comment = {"a comment", "of two lines"};
    TSectorSlot& weak = *disk.Track(1)->Sector(2);
    weak.Copies = 3;
    disk.ReserveData(weak, 3 * weak.DataLength);
    disk.Track(3)->Sector(5)->DataLength = 0;
    disk.Track(2)->RateKbps = 500;
    ASSERT_TRUE(disk.BuildUDI(udi));
    const LossReport& lost = disk.WriteLosses;
    EXPECT_EQ(lost.Count(LossKind::kComment), 2u);
    EXPECT_EQ(lost.Count(LossKind::kWeakCopies), 2u);
    EXPECT_EQ(lost.Count(LossKind::kIdsWithoutData), 0u) << "an ID without data is written alone";
    EXPECT_EQ(lost.Count(LossKind::kDataRate), 1u);

    // An FM track record (type 1) is read as MFM, which finds none of its sectors: it is told as lost.
    Bytes fm = PlainRecord(Record(100));
    fm[0] = 1;
    TZX_Disk read;
    ASSERT_TRUE(read.ParseUDI(SealedUdi({PlainRecord(Record(100)), fm}, 0, 1)));
    EXPECT_EQ(read.Track(1)->Encoding, TrackEncoding::kFm);
    ASSERT_TRUE(read.BuildUDI(udi));
    EXPECT_EQ(read.WriteLosses.Count(LossKind::kDataRate), 1u);
}

TEST(Udi, ImagesBeyondTheModelAreCutOrRefused) {
    TZX_Disk disk;
    // 129 cylinders on two sides: 258 records, two more than the model's tracks.
    EXPECT_FALSE(disk.ParseUDI(MakeUdi(std::vector<TrackRecord>(258, Record(0)), 128, 1)));
    EXPECT_EQ(disk.StatusMessage,
              "Error UDI format! (цилиндров: 129, сторон: 2, больше 256 дорожек, которые вмещает диск)");
    ASSERT_TRUE(disk.ParseUDI(MakeUdi(std::vector<TrackRecord>(172, Record(0)), 85, 1))) << "86 cylinders";
    EXPECT_EQ(disk.CountTracks(), 172u);

    // 66 sectors of 128 bytes on a long track: the first 64 are kept.
    TrackRecord r = Record(14000);
    size_t pos = 100;
    for (uint8_t s = 1; s <= 66; ++s) {
        pos = PutId(r, pos + 10, 0, 0, s, 0);
        pos = PutData(r, pos + 20, Pattern(128, s));
    }
    // A 2048-byte field (size code 4), then an ID and a data mark in the last bytes of the track.
    TrackRecord big = Record(3000);
    pos = PutId(big, 50, 0, 0, 1, 4);
    pos = PutData(big, pos + 20, Pattern(2048, 5));
    pos = PutId(big, pos + 20, 0, 0, 2, 1);
    big.raw.resize(pos + 21 + 3 + 2);  // the data mark is the second byte from the end
    big.marks.resize((big.raw.size() + 7) / 8);
    big.raw[pos + 20] = big.raw[pos + 21] = big.raw[pos + 22] = 0xA1;
    big.Mark(pos + 20, 3);
    big.raw[pos + 23] = 0xFB;
    // Another ID mark as the very last byte.
    TrackRecord tail = Record(64);
    tail.Mark(62, 1);
    tail.raw[63] = 0xFE;
    ASSERT_TRUE(disk.ParseUDI(MakeUdi({r, big, tail, Record(0)}, 1, 1)));
    ASSERT_EQ(disk.Track(0)->CountSectors(), 64);
    EXPECT_EQ(disk.Track(0)->Sector(63)->SectorNo, 64);
    EXPECT_EQ(disk.Track(0)->Sector(63)->DataCrcOk, kFlagSet);
    const TSectorSlot& whole = *disk.Track(1)->Sector(0);
    EXPECT_EQ(whole.DataLength, 2048) << "a 2 KB sector is kept whole";
    EXPECT_EQ(whole.DataCrcOk, kFlagSet);
    EXPECT_EQ(0, std::memcmp(whole.Data.data(), Pattern(2048, 5).data(), 2048));
    const TSectorSlot& late = *disk.Track(1)->Sector(1);
    EXPECT_EQ(late.SectorNo, 2);
    EXPECT_EQ(late.DataLength, 0) << "a data mark among the last three bytes has no data";
    EXPECT_EQ(late.DataCrcOk, 0);
    EXPECT_EQ(disk.Track(2)->CountSectors(), 0);
}

TEST(Udi, DataMarksAtTheEndOfATrackKeepOnlyTheBytesBeforeTheCrc) {
    // The data mark at each of the last five bytes of the track: the field gets what stands between
    // the mark and the last two bytes, which are taken as its CRC; none when the mark is that late.
    TZX_Disk disk;
    std::vector<TrackRecord> records;
    for (size_t fromEnd = 1; fromEnd <= 5; ++fromEnd) {
        TrackRecord r = Record(100);
        PutId(r, 40, 0, 0, static_cast<uint8_t>(fromEnd), 1);
        const size_t mark = r.raw.size() - fromEnd;
        for (size_t p = mark - 3; p < mark; ++p) r.raw[p] = 0xA1;
        r.Mark(mark - 3, 3);
        r.raw[mark] = 0xFB;
        for (size_t p = mark + 1; p < r.raw.size(); ++p) r.raw[p] = static_cast<uint8_t>(p);
        records.push_back(r);
    }
    records.push_back(Record(100));
    ASSERT_TRUE(disk.ParseUDI(MakeUdi(records, 2, 1)));
    for (unsigned k = 0; k < 5; ++k) {
        const TSectorSlot& slot = *disk.Track(k)->Sector(0);
        const size_t fromEnd = k + 1;
        SCOPED_TRACE(fromEnd);
        EXPECT_EQ(slot.SectorNo, fromEnd);
        EXPECT_EQ(slot.DataLength, fromEnd > 3 ? fromEnd - 3 : 0);
        EXPECT_EQ(slot.DataCrcOk, 0);
        if (slot.DataLength) {
            EXPECT_EQ(slot.Data[0], static_cast<uint8_t>(100 - fromEnd + 1));
        }
    }
    Bytes out;
    EXPECT_TRUE(disk.BuildUDI(out)) << "the last sector of a track may end it cut short when it is bad";
}

TEST(Udi, DamagedImagesNeverCrashTheReaderOrTheWriter) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    disk.Track(2)->Sector(5)->DataCrcOk = 0;
    Bytes good;
    ASSERT_TRUE(disk.BuildUDI(good));
    std::mt19937 rng(5);
    unsigned accepted = 0;
    auto feed = [&](Bytes bytes, bool seal) {
        if (seal && bytes.size() >= 20)
            PutLe32(bytes, bytes.size() - 4, TZX_Disk::Crc32(bytes.data(), bytes.size() - 4));
        try {
            if (disk.ParseUDI(bytes)) {
                ++accepted;
                Bytes out;
                if (!disk.BuildUDI(out)) {
                    EXPECT_EQ(disk.StatusMessage.rfind("Cannot create UDI image! (дорожка ", 0), 0u)
                        << disk.StatusMessage;
                }
            } else {
                EXPECT_FALSE(disk.StatusMessage.empty());
            }
        } catch (const StreamReadError&) {
        }
    };
    for (size_t n = 0; n < good.size(); n += 997) {
        Bytes cut(good.begin(), good.begin() + n);
        feed(cut, false);
        if (n >= 8) PutLe32(cut, 4, static_cast<uint32_t>(n - 4));
        feed(cut, true);
    }
    for (int i = 0; i < 300; ++i) {
        Bytes flipped = good;
        for (int f = 0; f < 8; ++f) {
            const size_t at = rng() % flipped.size();
            flipped[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        feed(flipped, i % 2);
        Bytes random(rng() % 4000);
        for (auto& b : random) b = static_cast<uint8_t>(rng());
        if (random.size() >= 20) {
            std::memcpy(random.data(), "UDI!", 4);
            PutLe32(random, 4, static_cast<uint32_t>(random.size() - 4));
            std::memset(random.data() + 8, 0, 8);
            random[9] = static_cast<uint8_t>(rng() % 3);
            random[10] = static_cast<uint8_t>(rng() % 2);
        }
        feed(random, true);
    }
    // Compressed records: damage inside the zlib streams.
    const auto r = TrdosRecords(2);
    const Bytes packed = SealedUdi({CompressedRecord(r[0], 9), CompressedRecord(r[1], 1)}, 0, 1);
    for (int i = 0; i < 300; ++i) {
        Bytes flipped = packed;
        flipped[16 + rng() % (flipped.size() - 20)] ^= static_cast<uint8_t>(1u << (rng() % 8));
        feed(flipped, true);
    }
    EXPECT_GT(accepted, 0u);
}

}  // namespace
}  // namespace tarvex
