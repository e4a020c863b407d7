#include "tracks/udi_raw_track.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disk/zx_disk.h"
#include "test_support.h"

namespace tarvex {
namespace {

struct RawTrack {
    Bytes raw = Bytes(kUdiTrackBytes, 0x4E);
    Bytes marks = Bytes(kUdiMarkBytes, 0);
    bool Marked(size_t p) const { return (marks[p / 8] >> (p % 8)) & 1; }
    std::vector<size_t> MarkedPositions() const {
        std::vector<size_t> v;
        for (size_t p = 0; p < kUdiTrackBytes; ++p)
            if (Marked(p)) v.push_back(p);
        return v;
    }
};

bool Build(TZX_Disk& disk, unsigned k, RawTrack& t) {
    return disk.BuildRawTrack(static_cast<uint8_t>(k), t.raw.data(), t.marks.data());
}

// Track k used with the given sector sizes (size codes), numbered 1.., data bytes (k + s + i).
void FillTrack(TZX_Disk& disk, unsigned k, const std::vector<uint8_t>& sizeCodes) {
    TTrack& t = *disk.Track(k);
    t.Clear();
    t.Used = kFlagSet;
    for (unsigned s = 0; s < sizeCodes.size(); ++s) {
        TSectorSlot& slot = *t.Sector(s);
        slot.Used = kFlagSet;
        slot.Cylinder = static_cast<uint8_t>(k / 2);
        slot.Head = static_cast<uint8_t>(k % 2);
        slot.SectorNo = static_cast<uint8_t>(s + 1);
        slot.SizeCode = sizeCodes[s];
        slot.DataCrcOk = kFlagSet;
        slot.DataLength = static_cast<uint16_t>(std::min(1100u, 128u << std::min<unsigned>(sizeCodes[s], 3)));
        uint8_t* data = disk.ReserveData(slot, slot.DataLength);
        for (unsigned i = 0; i < slot.DataLength; ++i) data[i] = static_cast<uint8_t>(k + s + i);
    }
}

uint16_t CrcAt(const Bytes& raw, size_t pos) { return static_cast<uint16_t>((raw[pos] << 8) | raw[pos + 1]); }

// Checks the ID field whose mark stands at pos and the data field whose mark stands at dataPos.
void ExpectSectorAt(const RawTrack& t, size_t idPos, size_t dataPos, const TSectorSlot& slot) {
    const Bytes& raw = t.raw;
    for (size_t p = idPos - 3; p < idPos; ++p) EXPECT_TRUE(t.Marked(p) && raw[p] == 0xA1) << p;
    EXPECT_EQ(raw[idPos], 0xFE);
    EXPECT_EQ(raw[idPos + 1], slot.Cylinder);
    EXPECT_EQ(raw[idPos + 3], slot.SectorNo);
    EXPECT_EQ(raw[idPos + 4], slot.SizeCode);
    EXPECT_EQ(CrcAt(raw, idPos + 5), TZX_Disk::Crc16(&raw[idPos - 3], 8));
    const size_t size = 128u << slot.SizeCode;
    EXPECT_EQ(raw[dataPos], 0xFB);
    EXPECT_EQ(0, std::memcmp(&raw[dataPos + 1], slot.Data.data(), std::min<size_t>(size, slot.DataLength)));
    const uint16_t right = TZX_Disk::Crc16(&raw[dataPos - 3], size + 4);
    EXPECT_EQ(CrcAt(raw, dataPos + 1 + size), slot.DataCrcOk ? right : static_cast<uint16_t>(~right));
}

TEST(RawTrack, TrdosTrackFromScratchFollowsTheFormatTable) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(2)));
    RawTrack t;
    t.raw.assign(kUdiTrackBytes, 0x11);  // the builder lays down every byte itself
    ASSERT_TRUE(Build(disk, 1, t));
    for (size_t p = 0; p < 80; ++p) ASSERT_EQ(t.raw[p], 0x4E) << p;
    for (size_t p = 80; p < 92; ++p) ASSERT_EQ(t.raw[p], 0x00) << p;
    EXPECT_EQ(t.raw[92], 0xC2);
    EXPECT_EQ(t.raw[95], 0xFC);
    EXPECT_EQ(t.raw[161], 0xFE) << "the first ID mark";
    EXPECT_EQ(t.raw[205], 0xFB) << "the first data mark";
    for (unsigned s = 0; s < 16; ++s) ExpectSectorAt(t, 161 + 372 * s, 205 + 372 * s, *disk.Track(1)->Sector(s));
    // 146 + 16 x 372 = 6098 bytes, then 158 bytes of gap 4b.
    for (size_t p = 6098 - 54; p < kUdiTrackBytes; ++p) ASSERT_EQ(t.raw[p], 0x4E) << p;
    EXPECT_NE(t.raw[6098 - 55], 0x4E) << "the last CRC byte ends right before gap 3";
    std::vector<size_t> expected = {92, 93, 94};
    for (size_t s = 0; s < 16; ++s)
        for (size_t base : {158 + 372 * s, 202 + 372 * s})
            for (size_t p = base; p < base + 3; ++p) expected.push_back(p);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(t.MarkedPositions(), expected);
}

TEST(RawTrack, GapsShrinkWhenTheSectorsDoNotFit) {
    TZX_Disk disk;
    // 10 x 512: 6426 bytes, gap 4a and gap 1 lose 25 bytes each, every gap 3 loses 12: exactly 6256.
    FillTrack(disk, 0, std::vector<uint8_t>(10, 2));
    RawTrack t;
    ASSERT_TRUE(Build(disk, 0, t));
    EXPECT_EQ(t.raw[54], 0x4E);
    EXPECT_EQ(t.raw[55], 0x00) << "gap 4a is 55 bytes";
    EXPECT_EQ(t.raw[70], 0xFC);
    EXPECT_EQ(t.raw[95], 0x4E);
    EXPECT_EQ(t.raw[96], 0x00) << "gap 1 is 25 bytes";
    const size_t sectorBytes = 116 - 12 + 512;  // 616
    for (unsigned s = 0; s < 10; ++s)
        ExpectSectorAt(t, 111 + sectorBytes * s, 155 + sectorBytes * s, *disk.Track(0)->Sector(s));
    EXPECT_EQ(155 + sectorBytes * 9 + 1 + 512 + 2 + 42, kUdiTrackBytes) << "gap 3 of 42 bytes ends the track exactly";

    // 9 x 512 + 2 x 128: 30 bytes too many, both preamble gaps lose 17 bytes, gap 3 stays.
    FillTrack(disk, 0, {2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0});
    ASSERT_TRUE(Build(disk, 0, t));
    EXPECT_EQ(t.raw[63], 0x00);
    EXPECT_EQ(t.raw[62], 0x4E);
    EXPECT_EQ(t.raw[127], 0xFE);
    ExpectSectorAt(t, 127, 171, *disk.Track(0)->Sector(0));
    ExpectSectorAt(t, 127 + 628, 171 + 628, *disk.Track(0)->Sector(1));

    // 11 x 512 would need 68 bytes off every gap 3.
    FillTrack(disk, 0, std::vector<uint8_t>(11, 2));
    EXPECT_FALSE(Build(disk, 0, t));
    // A sector of 2048 bytes cannot be written.
    FillTrack(disk, 0, {1, 4});
    EXPECT_FALSE(Build(disk, 0, t));
}

TEST(RawTrack, AbsentAndEmptyTracks) {
    TZX_Disk disk;
    RawTrack t;
    t.raw.assign(kUdiTrackBytes, 0);
    t.marks.assign(kUdiMarkBytes, 0xFF);
    ASSERT_TRUE(Build(disk, 5, t));
    EXPECT_EQ(t.raw, Bytes(kUdiTrackBytes, 0x4E));
    EXPECT_EQ(t.marks, Bytes(kUdiMarkBytes, 0));
    EXPECT_TRUE(disk.BuildRawTrack(5, t.raw.data(), nullptr)) << "the bitmap is optional";

    disk.Track(5)->Used = kFlagSet;  // used, no sectors: the preamble alone
    ASSERT_TRUE(Build(disk, 5, t));
    EXPECT_EQ(t.MarkedPositions(), (std::vector<size_t>{92, 93, 94}));
    EXPECT_EQ(t.raw[95], 0xFC);
    for (size_t p = 96; p < kUdiTrackBytes; ++p) ASSERT_EQ(t.raw[p], 0x4E);

    // A raw track without an index mark and without sectors keeps nothing but gap bytes.
    disk.Track(5)->RawValid = 1;
    disk.Track(5)->RawLength = 6256;
    std::fill_n(disk.ReserveRaw(*disk.Track(5), 6256, false), 6256, uint8_t{0x4E});
    ASSERT_TRUE(Build(disk, 5, t));
    EXPECT_EQ(t.raw, Bytes(kUdiTrackBytes, 0x4E));
    EXPECT_TRUE(t.MarkedPositions().empty());
}

TEST(RawTrack, AnIdWithoutDataIsWrittenAloneAndShortSectorsArePaddedWithZeros) {
    TZX_Disk disk;
    FillTrack(disk, 0, {1, 1});
    disk.Track(0)->Sector(0)->DataLength = 0;  // an ID without data
    TSectorSlot& shortSector = *disk.Track(0)->Sector(1);
    shortSector.DataLength = 100;
    shortSector.DataCrcOk = 0;
    RawTrack t;
    ASSERT_TRUE(Build(disk, 0, t));
    EXPECT_EQ(t.raw[161], 0xFE);
    for (size_t p = 162; p < 234; ++p) ASSERT_FALSE(t.Marked(p)) << "no data field after the lone ID: " << p;
    ExpectSectorAt(t, 237, 281, shortSector);  // its data zeros after the 100 bytes, under a complemented CRC
    for (size_t p = 282 + 100; p < 282 + 256; ++p) ASSERT_EQ(t.raw[p], 0) << p;

    TZX_Disk back;
    ASSERT_EQ(ScanRawTrack(back, *back.Track(0), t.raw, t.marks), 2u);
    EXPECT_EQ(back.Track(0)->Sector(0)->DataLength, 0);
    EXPECT_EQ(back.Track(0)->Sector(1)->DataLength, 256);
}

// A track as a UDI image might hold it: marks at unusual places, unusual gaps, some junk between.
struct OddLayout {
    size_t index = 40;
    std::vector<size_t> ids = {120, 900, 2500};
    std::vector<size_t> datas = {160, 950, 2600};
    uint8_t dataMark[3] = {0xFB, 0xF8, 0xFB};
};

void LoadOddLayout(TZX_Disk& disk, unsigned k, const OddLayout& layout, const std::vector<uint8_t>& codes) {
    FillTrack(disk, k, codes);
    TTrack& t = *disk.Track(k);
    t.RawValid = 1;
    t.RawLength = 6256;
    disk.ReserveRaw(t, 6256, false);
    for (size_t p = 0; p < 6256; ++p) t.RawData[p] = static_cast<uint8_t>(p * 13);
    auto put = [&](size_t q, uint8_t sync, uint8_t mark) {  // q: the second sync byte, as the builder finds it
        t.RawData[q - 1] = t.RawData[q] = t.RawData[q + 1] = sync;
        t.RawData[q + 2] = mark;
    };
    // Keep accidental patterns out of the junk: no A1 A1 or C2 C2 pairs.
    for (size_t p = 0; p < 6256; ++p)
        if (t.RawData[p] == 0xA1 || t.RawData[p] == 0xC2) t.RawData[p] = 0x33;
    put(layout.index, 0xC2, 0xFC);
    for (size_t s = 0; s < layout.ids.size(); ++s) {
        put(layout.ids[s], 0xA1, 0xFE);
        put(layout.datas[s], 0xA1, layout.dataMark[s]);
        if (s < codes.size()) t.Sector(static_cast<unsigned>(s))->DeletedData = layout.dataMark[s] == 0xF8 ? kFlagSet : 0;
    }
}

TEST(RawTrack, LoadedLayoutKeepsItsMarkPositionsAndTakesFieldsFromTheSlots) {
    TZX_Disk disk;
    OddLayout layout;
    LoadOddLayout(disk, 3, layout, {1, 0, 2});
    disk.Track(3)->Sector(1)->SectorNo = 77;  // a change made to the model after reading
    disk.Track(3)->Sector(2)->DataCrcOk = 0;
    RawTrack t;
    ASSERT_TRUE(Build(disk, 3, t));
    std::vector<size_t> expected;
    for (size_t q :
         {layout.index, layout.ids[0], layout.datas[0], layout.ids[1], layout.datas[1], layout.ids[2], layout.datas[2]})
        for (size_t p = q - 1; p <= q + 1; ++p) expected.push_back(p);
    EXPECT_EQ(t.MarkedPositions(), expected);
    EXPECT_EQ(t.raw[layout.index + 2], 0xFC);
    for (size_t p = layout.index - 13; p < layout.index - 1; ++p) EXPECT_EQ(t.raw[p], 0) << p;
    for (size_t p = 0; p < layout.index - 13; ++p) ASSERT_EQ(t.raw[p], 0x4E) << "junk becomes gap bytes";
    for (size_t s = 0; s < 3; ++s) {
        const TSectorSlot& slot = *disk.Track(3)->Sector(s);
        const size_t idMark = layout.ids[s] + 2, dataMark = layout.datas[s] + 2;
        EXPECT_EQ(t.raw[idMark + 3], slot.SectorNo);
        EXPECT_EQ(CrcAt(t.raw, idMark + 5), TZX_Disk::Crc16(&t.raw[idMark - 3], 8));
        EXPECT_EQ(t.raw[dataMark], layout.dataMark[s]) << "a deleted-data mark stays one";
        const size_t size = 128u << slot.SizeCode;
        EXPECT_EQ(0, std::memcmp(&t.raw[dataMark + 1], slot.Data.data(), size));
        EXPECT_EQ(t.raw[dataMark + 1 + size + 2], 0x4E) << "gap bytes after the data CRC";
        if (slot.DataCrcOk) {
            EXPECT_EQ(CrcAt(t.raw, dataMark + 1 + size), TZX_Disk::Crc16(&t.raw[dataMark - 3], size + 4));
        } else {
            // The first sync byte becomes 0x14 after the complemented CRC was taken over A1 A1 A1.
            EXPECT_EQ(t.raw[dataMark - 3], 0x14);
            Bytes field(t.raw.begin() + dataMark - 3, t.raw.begin() + dataMark + 1 + size);
            field[0] = 0xA1;
            EXPECT_EQ(CrcAt(t.raw, dataMark + 1 + size),
                      static_cast<uint16_t>(~TZX_Disk::Crc16(field.data(), field.size())));
        }
    }
    EXPECT_EQ(t.raw[layout.ids[1] - 14], 0x4E) << "twelve sync zeros before an ID with room for them";
    EXPECT_EQ(t.raw[layout.ids[1] - 13], 0x00);
}

TEST(RawTrack, LoadedLayoutFailsWhereItsMarksCannotTakeTheSectors) {
    TZX_Disk disk;
    RawTrack t;
    OddLayout layout;
    LoadOddLayout(disk, 0, layout, {1, 1, 1});
    ASSERT_TRUE(Build(disk, 0, t));

    OddLayout early = layout;
    early.index = 14;
    LoadOddLayout(disk, 0, early, {1, 1, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "index mark before position 15";
    early.index = 15;
    LoadOddLayout(disk, 0, early, {1, 1, 1});
    EXPECT_TRUE(Build(disk, 0, t));

    LoadOddLayout(disk, 0, layout, {1, 1, 1, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "a fourth sector has no ID mark";

    // The index mark's last byte is at index + 2; an ID mark needs 5 bytes of room after it.
    OddLayout close = layout;
    close.ids[0] = layout.index + 2 + 4;
    LoadOddLayout(disk, 0, close, {1, 1, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "4 bytes of room";
    close.ids[0] = layout.index + 2 + 5;
    LoadOddLayout(disk, 0, close, {1, 1, 1});
    ASSERT_TRUE(Build(disk, 0, t)) << "5 bytes are room enough";
    EXPECT_EQ(t.raw[layout.index + 2], 0xFC) << "the sync zeros stop short of the index mark";
    for (size_t p = layout.index + 3; p < close.ids[0] - 1; ++p) EXPECT_EQ(t.raw[p], 0x00) << p;

    // A tight gap after a data field: its CRC stays whole (10 bytes of room take 8 sync zeros).
    close = layout;
    close.ids[1] = layout.datas[0] + 256 + 2 + 12;
    close.datas[1] = close.ids[1] + 40;
    LoadOddLayout(disk, 0, close, {1, 1, 1});
    ASSERT_TRUE(Build(disk, 0, t));
    const size_t firstData = layout.datas[0] + 2;
    EXPECT_EQ(CrcAt(t.raw, firstData + 257), TZX_Disk::Crc16(&t.raw[firstData - 3], 260));
    EXPECT_EQ(t.raw[firstData + 259], 0x00);
    EXPECT_EQ(t.raw[close.ids[1] - 1], 0xA1);

    close = layout;
    close.datas[1] = layout.ids[1] + 8 + 14;
    LoadOddLayout(disk, 0, close, {1, 1, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "data mark 14 bytes after the end of its ID";

    LoadOddLayout(disk, 0, layout, {1, 5, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "size code 5";
}

TEST(RawTrack, OnlyABadLastSectorMayRunIntoTheEndOfTheTrack) {
    TZX_Disk disk;
    RawTrack t;
    OddLayout layout;
    layout.datas[2] = 6256 - 16 - 256 + 1;  // its field would end too close to the end
    layout.ids[2] = layout.datas[2] - 50;
    LoadOddLayout(disk, 0, layout, {1, 1, 1});
    EXPECT_FALSE(Build(disk, 0, t)) << "a good sector";
    disk.Track(0)->Sector(2)->DataCrcOk = 0;
    ASSERT_TRUE(Build(disk, 0, t));
    const size_t first = layout.datas[2] + 3;
    const size_t kept = 6246 - first;  // two bytes more than the sector's 256: zeros
    EXPECT_EQ(0, std::memcmp(&t.raw[first], disk.Track(0)->Sector(2)->Data.data(), 256)) << "the data is cut, not lost";
    EXPECT_TRUE(t.raw[first + 256] == 0 && t.raw[first + 257] == 0 && kept == 258);
    for (size_t p = 6246; p < kUdiTrackBytes; ++p) EXPECT_EQ(t.raw[p], 0x4E);

    // The same field followed by one more sector: not the last, so the track cannot be built.
    LoadOddLayout(disk, 0, layout, {1, 1, 1, 1});
    disk.Track(0)->Sector(2)->DataCrcOk = 0;
    EXPECT_FALSE(Build(disk, 0, t));

    // From scratch: 17 x 256 + 2 x 128 need 34 bytes off every gap 3 and still overrun by 6, so the
    // last data field (from 6112) would end within 16 bytes of the end of the track.
    std::vector<uint8_t> codes(19, 1);
    codes[17] = codes[18] = 0;
    FillTrack(disk, 0, codes);
    EXPECT_FALSE(Build(disk, 0, t)) << "a good sector";
    disk.Track(0)->Sector(18)->DataCrcOk = 0;
    ASSERT_TRUE(Build(disk, 0, t));
    EXPECT_EQ(t.raw[6111], 0xFB);
    EXPECT_EQ(0, std::memcmp(&t.raw[6112], disk.Track(0)->Sector(18)->Data.data(), 128));
    for (size_t p = 6112 + 128; p < 6246; ++p) EXPECT_EQ(t.raw[p], 0x00) << "cut at 6246, padded with zeros";
    for (size_t p = 6246; p < kUdiTrackBytes; ++p) EXPECT_EQ(t.raw[p], 0x4E);
    disk.Track(0)->Sector(18)->DataCrcOk = kFlagSet;
    disk.Track(0)->Sector(17)->DataCrcOk = 0;
    EXPECT_FALSE(Build(disk, 0, t)) << "the bad sector is not the one that runs into the end";
}

}  // namespace
}  // namespace tarvex
