// MFM cells of raw tracks: the cells of sync and ordinary bytes, decoding what was encoded at any framing
// and across a write splice, and finding the sync bytes of a raw track that keeps no bitmap.
#include "tracks/mfm_cells.h"

#include <gtest/gtest.h>

#include <random>

#include "disk/zx_disk.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {
namespace {

// One cell per element, first in time first, from a stream packed least significant bit first, and back.
Bytes Unpack(const Bytes& stream) {
    Bytes cells;
    for (uint8_t b : stream)
        for (unsigned i = 0; i < 8; ++i) cells.push_back((b >> i) & 1u);
    return cells;
}
bool Decode(const Bytes& cells, MarkedTrack& out) {
    PackedCells packed;
    for (uint8_t cell : cells) packed.Append(cell, 1);
    EXPECT_EQ(packed.count, cells.size());
    return DecodeMfmCells(packed.bytes, packed.count, out);
}

MarkedTrack Track(std::initializer_list<std::pair<uint8_t, bool>> bytes) {
    MarkedTrack t;
    for (auto [b, marked] : bytes) t.Append(b, marked);
    return t;
}

// A from-scratch TR-DOS-like track of the raw-track builder, with sector contents that look like marks.
MarkedTrack BuilderTrack(TZX_Disk& disk) {
    disk.Clear();
    TTrack& track = *disk.Track(0);
    track.Used = kFlagSet;
    for (unsigned s = 0; s < 16; ++s) {
        TSectorSlot& slot = *track.Sector(s);
        slot.Used = kFlagSet;
        slot.Cylinder = s == 3 ? kSyncA1 : 0;
        slot.Head = s == 3 ? kSyncA1 : 0;
        slot.SectorNo = s == 3 ? kDataMark : static_cast<uint8_t>(s + 1);
        slot.SizeCode = 1;
        slot.DataCrcOk = s == 5 ? 0 : kFlagSet;
        slot.DataLength = 256;
        disk.ReserveData(slot, 256);
        for (unsigned i = 0; i < 256; ++i) slot.Data[i] = static_cast<uint8_t>(i * 7 + s);
        const uint8_t looksLikeMarks[] = {kSyncA1, kSyncA1, kSyncA1, kIdMark, kSyncC2, kSyncC2, kIndexMark};
        std::copy(std::begin(looksLikeMarks), std::end(looksLikeMarks), slot.Data.begin() + 250);
    }
    MarkedTrack t;
    t.bytes.resize(kUdiTrackBytes);
    t.marks.resize(kUdiMarkBytes);
    EXPECT_TRUE(disk.BuildRawTrack(0, t.bytes.data(), t.marks.data()));
    return t;
}

TEST(MfmCells, SyncBytesLoseOneClockCellAndOrdinaryBytesFollowTheClockRule) {
    Bytes stream;
    EncodeMfmCells(Track({{0x00, false}, {kSyncA1, true}, {kSyncA1, false}, {kSyncC2, true}, {0x4E, false}}), stream);
    // 16 cells a byte, packed first cell in bit 0: 0x4489 is stored as 0x22 0x91.
    const Bytes expected = {
        0x55, 0x55,  // 00 after a 0 bit (the track's last): clock cells 1 between zero bits
        0x22, 0x91,  // A1 sync: 0x4489
        0x22, 0x95,  // A1 unmarked: 0x44A9, the clock between bits 4 and 5 is there
        0x4A, 0x24,  // C2 sync: 0x5224
        0x49, 0x2A,  // 4E after a 0 bit: 0x9254
    };
    EXPECT_EQ(stream, expected);
}

TEST(MfmCells, DecodesAnEncodedTrackAtAnyFramingAndAfterASplice) {
    TZX_Disk disk;
    const MarkedTrack track = BuilderTrack(disk);
    Bytes stream;
    EncodeMfmCells(track, stream);
    const Bytes cells = Unpack(stream);

    MarkedTrack decoded;
    ASSERT_TRUE(Decode(cells, decoded));
    EXPECT_EQ(decoded.bytes, track.bytes);
    EXPECT_EQ(decoded.marks, track.marks);

    // Cells before the first sync that do not make a whole byte are dropped; the rest is framed as before.
    for (unsigned extra : {1u, 7u, 8u, 15u}) {
        Bytes shifted(extra, 0);
        shifted.insert(shifted.end(), cells.begin(), cells.end());
        ASSERT_TRUE(Decode(shifted, decoded));
        const size_t lead = decoded.bytes.size() - track.bytes.size();
        EXPECT_LE(lead, 1u) << extra;
        EXPECT_TRUE(std::equal(track.bytes.begin() + 1, track.bytes.end(), decoded.bytes.begin() + lead + 1)) << extra;
    }

    // A write splice before the second ID: five cells go missing in the gap, and the decoder frames anew at
    // the sync, so every field after it reads as before.
    const size_t secondId = 161 + 372;  // the builder's first ID mark, one sector further
    Bytes spliced(cells.begin(), cells.begin() + (secondId - 20) * kCellsPerByte);
    spliced.insert(spliced.end(), cells.begin() + (secondId - 20) * kCellsPerByte + 5, cells.end());
    ASSERT_TRUE(Decode(spliced, decoded));
    ASSERT_EQ(decoded.bytes.size(), track.bytes.size());
    const size_t from = secondId - 3;  // the first sync before the ID mark
    EXPECT_TRUE(std::equal(track.bytes.begin() + from, track.bytes.end(), decoded.bytes.begin() + from));
    for (size_t i = from; i < track.bytes.size(); ++i) ASSERT_EQ(decoded.Marked(i), track.Marked(i)) << i;
}

TEST(MfmCells, CellsWithoutAnySyncAreNoMfmTrack) {
    MarkedTrack decoded;
    EXPECT_FALSE(Decode(Bytes(4000, 0), decoded));
    Bytes fm;  // FM: a clock cell of 1 before every data cell, which no MFM sync shows
    std::mt19937 random(7);
    for (int i = 0; i < 4000; ++i) {
        fm.push_back(1);
        fm.push_back(random() & 1);
    }
    EXPECT_FALSE(Decode(fm, decoded));
}

TEST(MfmCells, SyncMarksOfARawTrackAreFoundWhereTheBuilderPutThem) {
    TZX_Disk disk;
    const MarkedTrack track = BuilderTrack(disk);
    EXPECT_EQ(FindSyncMarks(track.bytes), track.marks);

    // The first sync of a data field with a CRC error is written as 0x14: two syncs remain marked.
    const size_t dataSync = 161 + 5 * 372 + 41;
    Bytes raw = track.bytes;
    ASSERT_EQ(raw[dataSync + 3], kDataMark);
    raw[dataSync] = 0x14;
    const Bytes marks = FindSyncMarks(raw);
    MarkedTrack found{raw, marks};
    EXPECT_FALSE(found.Marked(dataSync));
    EXPECT_TRUE(found.Marked(dataSync + 1));
    EXPECT_TRUE(found.Marked(dataSync + 2));
}

}  // namespace
}  // namespace tarvex
