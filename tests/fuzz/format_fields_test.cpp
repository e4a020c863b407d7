// The table of kept fields and the round trip built on it: every format's writer and reader over fixed
// pseudo-random disks, the capacity rules, and a comparer that sees exactly the kept fields.
#include "format_fields.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "disk/zx_disk.h"
#include "model_roundtrip.h"
#include "trdos/trdos_area.h"

namespace tarvex {
namespace {

using roundtrip::Disks;
using roundtrip::FuzzInput;

Bytes PseudoRandomInput(uint32_t seed, size_t bytes) {
    std::mt19937 generator(seed);
    Bytes input(bytes);
    for (uint8_t& b : input) b = static_cast<uint8_t>(generator());
    return input;
}

Disks& SharedDisks() {
    static Disks* disks = new Disks;
    return *disks;
}

// ---- the round trip of every format over fixed inputs -------------------------------------------

struct RoundTripCase {
    int format;
    bool compress;
};

class FormatRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(FormatRoundTrip, KeepsEveryKeptFieldOfPseudoRandomDisks) {
    // Short inputs give small disks and leave most choices at their first value; long ones reach
    // many tracks, mixed sizes, comments and the far corners of the capacity.
    const size_t lengths[] = {0, 16, 300, 4000, 20000};
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        for (size_t length : lengths) {
            const Bytes input = PseudoRandomInput(seed * 7919 + static_cast<uint32_t>(length), length);
            EXPECT_EQ(roundtrip::RoundTrip(GetParam().format, GetParam().compress, input, SharedDisks()), "")
                << "seed " << seed << ", " << length << " input bytes";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllWriters, FormatRoundTrip,
                         testing::Values(RoundTripCase{kUDI, false}, RoundTripCase{kTRD, false},
                                         RoundTripCase{kTD0, false}, RoundTripCase{kTD0, true},
                                         RoundTripCase{kFDI, false}, RoundTripCase{kPRO, false},
                                         RoundTripCase{kSCL, false}, RoundTripCase{kKDI, false},
                                         RoundTripCase{kHFE, false}, RoundTripCase{kDSK, false}),
                         [](const testing::TestParamInfo<RoundTripCase>& info) {
                             return std::string(Formats()[info.param.format].name) +
                                    (info.param.compress ? "Packed" : "");
                         });

// ---- the capacity rules -------------------------------------------------------------------------

TEST_P(FormatRoundTrip, KeepsSectorsWhoseBytesLookLikeMarks) {
    // Once found by the fuzzer for UDI: an ID C=A1 H=A1 R=FB, and data ending A1 A1 FE before another
    // sector, were taken for marks when a UDI just read was written again.
    Bytes idLikeAMark = {0x01, 0x01, 0x00, 0x01, 0x01, 0x01, 0x01, 0xFB, 0x01, 0xA1, 0xA1, 0x01, 0x00, 0x00};
    Bytes dataEndingLikeAMark = {1, 1, 0, 2, 1, 1, 1, 1, 2, 1, 0, 0, 1, 3};
    dataEndingLikeAMark.insert(dataEndingLikeAMark.end(), 253, 0);
    for (uint8_t b : {0xA1, 0xA1, 0xFE, 0, 0, 1, 0, 0}) dataEndingLikeAMark.push_back(b);
    for (const Bytes& input : {idLikeAMark, dataEndingLikeAMark})
        EXPECT_EQ(roundtrip::RoundTrip(GetParam().format, GetParam().compress, input, SharedDisks()), "");
}

TEST(FormatFields, MfmTrackRoomFollowsTheIbmLayoutWithItsGapReductions) {
    const FormatFields& udi = FieldsOf(kUDI);
    const std::vector<uint8_t> trdos(16, 1), tenOf512(10, 2), elevenOf512(11, 2), fiveOfKb(5, 3), sixOfKb(6, 3);
    EXPECT_TRUE(TrackFits(udi, trdos));
    EXPECT_TRUE(TrackFits(udi, tenOf512));  // only with gap 1, gap 4a and gap 3 shortened
    EXPECT_FALSE(TrackFits(udi, elevenOf512));
    EXPECT_TRUE(TrackFits(udi, fiveOfKb));
    EXPECT_FALSE(TrackFits(udi, sixOfKb));
    EXPECT_TRUE(TrackFits(udi, std::vector<uint8_t>{}));
    EXPECT_FALSE(TrackFits(udi, std::vector<uint8_t>{4}));  // no MFM sector of 2 KB
    EXPECT_TRUE(TrackFits(udi, std::vector<uint8_t>(21, 0)));
    EXPECT_FALSE(TrackFits(udi, std::vector<uint8_t>(kMaxSectors + 1, 0))) << "more sectors than a track has slots";
}

TEST(FormatFields, FdiRoomEndsWhereASectorOffsetNoLongerFitsSixteenBits) {
    const FormatFields& fdi = FieldsOf(kFDI);
    EXPECT_TRUE(TrackFits(fdi, std::vector<uint8_t>{8, 8}));      // second sector at 32 KB
    EXPECT_TRUE(TrackFits(fdi, std::vector<uint8_t>{8, 7, 7}));   // third at 48 KB
    EXPECT_FALSE(TrackFits(fdi, std::vector<uint8_t>{8, 8, 0}));  // third at 64 KB
    EXPECT_FALSE(TrackFits(fdi, std::vector<uint8_t>{9}));
}

TEST(FormatFields, SectorDumpsHoldTheirOwnGeometryOnly) {
    EXPECT_TRUE(TrackFits(FieldsOf(kTRD), std::vector<uint8_t>(16, 1)));
    EXPECT_FALSE(TrackFits(FieldsOf(kTRD), std::vector<uint8_t>(15, 1)));
    EXPECT_FALSE(TrackFits(FieldsOf(kTRD), std::vector<uint8_t>(16, 2)));
    EXPECT_TRUE(TrackFits(FieldsOf(kKDI), std::vector<uint8_t>(5, 3)));
    EXPECT_FALSE(TrackFits(FieldsOf(kPRO), std::vector<uint8_t>(5, 2)));
    EXPECT_EQ(FieldsOf(kPRO).fixedSectorNumber(0, 4), 9);
    EXPECT_EQ(FieldsOf(kPRO).fixedSectorNumber(1, 4), 5);
    EXPECT_EQ(FieldsOf(kKDI).fixedSectorNumber(0, 4), 5);
}

TEST(FormatFields, IdsWithoutDataTakeTheSizeCodesTheFormatKeepsThemWith) {
    const SectorShape idOnly9{9, false}, idOnly3{3, false}, idOnly8{8, false}, data8{8, true};
    // FDI: a header of size code 9 or more without the good-data bit is an ID alone and needs no room.
    EXPECT_TRUE(TrackFits(FieldsOf(kFDI), std::vector<SectorShape>{{8, true}, {8, true}, idOnly9, idOnly9}));
    EXPECT_FALSE(TrackFits(FieldsOf(kFDI), std::vector<SectorShape>{{9, true}}));
    EXPECT_FALSE(TrackFits(FieldsOf(kFDI), std::vector<SectorShape>{idOnly3}));
    // TD0: an ID without data of any size; size code 8 and more never has data.
    EXPECT_TRUE(TrackFits(FieldsOf(kTD0), std::vector<SectorShape>{idOnly3, idOnly8, {255, false}}));
    EXPECT_FALSE(TrackFits(FieldsOf(kTD0), std::vector<SectorShape>{data8}));
    EXPECT_TRUE(TrackFits(FieldsOf(kTD0), std::vector<SectorShape>{{7, true}}));
    // UDI writes a data field for every ID.
    EXPECT_FALSE(TrackFits(FieldsOf(kUDI), std::vector<SectorShape>{idOnly3}));
}

// The round trips above prove little if the builder never reaches the corners of a format.
TEST(FormatFields, BuilderReachesEveryKeptKindOfSector) {
    Disks& d = SharedDisks();
    unsigned withoutData = 0, crcErrors = 0, largeSizes = 0, commentLines = 0, bigDisks = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const Bytes input = PseudoRandomInput(seed, 4000);
        FuzzInput in(input);
        roundtrip::BuildModel(FieldsOf(kTD0), in, d.built);
        commentLines += static_cast<unsigned>(d.built.Comment.size());
        if (d.built.CountTracks() > 20) ++bigDisks;
        for (unsigned k = 0; k < kMaxTracks; ++k)
            for (const TSectorSlot& slot : d.built.Track(k)->Sectors) {
                if (!slot.Used) continue;
                withoutData += slot.DataLength == 0;
                crcErrors += slot.DataLength > 0 && !slot.DataCrcOk;
                largeSizes += slot.SizeCode >= 4;
            }
    }
    EXPECT_GT(withoutData, 0u);
    EXPECT_GT(crcErrors, 0u);
    EXPECT_GT(largeSizes, 0u);
    EXPECT_GT(commentLines, 0u);
    EXPECT_GT(bigDisks, 0u);
}

TEST(FormatFields, SlotDataBytesAreTheNominalSizeUpToCodeEight) {
    EXPECT_EQ(SlotDataBytes(0), 128u);
    EXPECT_EQ(SlotDataBytes(3), 1024u);
    EXPECT_EQ(SlotDataBytes(6), 8192u);
    EXPECT_EQ(SlotDataBytes(8), 32768u);
    EXPECT_EQ(SlotDataBytes(255), unsigned{kSectorDataBytes});
}

// ---- the comparer sees the kept fields and only those ------------------------------------------

TSectorSlot* FirstSectorWithData(TZX_Disk& disk) {
    for (unsigned k = 0; k < kMaxTracks; ++k)
        for (TSectorSlot& slot : disk.Track(k)->Sectors)
            if (slot.Used && slot.DataLength > 0) return &slot;
    return nullptr;
}

// Two equal disks built from the first input from `seed` on that gives a sector with data; that sector
// of the first disk is handed out.
TSectorSlot& BuildTwin(int format, uint32_t seed, TZX_Disk& a, TZX_Disk& b) {
    for (;; ++seed) {
        const Bytes input = PseudoRandomInput(seed, 3000);
        FuzzInput inA(input), inB(input);
        roundtrip::BuildModel(FieldsOf(format), inA, a);
        if (!FirstSectorWithData(a)) continue;
        roundtrip::BuildModel(FieldsOf(format), inB, b);
        return *FirstSectorWithData(a);
    }
}

TEST(FormatFieldsComparer, ReportsAChangedKeptFieldAndPassesOverOthers) {
    Disks& d = SharedDisks();
    TSectorSlot* slot = &BuildTwin(kFDI, 5, d.built, d.read);
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kFDI), d.built, d.read), "");
    slot->Cylinder ^= 1;
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kFDI), d.built, d.read).find("Cylinder"), std::string::npos);

    slot = &BuildTwin(kFDI, 5, d.built, d.read);
    slot->DataCrcOk = slot->DataCrcOk ? 0 : kFlagSet;
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kFDI), d.built, d.read).find("DataCrcOk"), std::string::npos);

    slot = &BuildTwin(kFDI, 5, d.built, d.read);
    slot->Data[slot->DataLength - 1] ^= 0x80;
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kFDI), d.built, d.read).find("data byte"), std::string::npos);

    // TRD keeps neither the recorded C and H, nor the CRC state, nor the physical order.
    slot = &BuildTwin(kTRD, 5, d.built, d.read);
    slot->Cylinder ^= 1;
    slot->Head ^= 1;
    slot->DataCrcOk = slot->DataCrcOk ? 0 : kFlagSet;
    test::SwapSlots(d.built.Track(0)->Sectors[0], d.built.Track(0)->Sectors[1]);
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kTRD), d.built, d.read), "");
    slot->Data[0] ^= 1;
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kTRD), d.built, d.read), "");
}

TEST(FormatFieldsComparer, TrackPresenceCountsOnlyWhereTheFormatKeepsIt) {
    Disks& d = SharedDisks();
    for (int format : {kTD0, kUDI}) {
        d.built.Clear();
        d.read.Clear();
        d.built.Track(7)->Used = kFlagSet;  // a used track without sectors
        const std::string diff = roundtrip::CompareKeptFields(FieldsOf(format), d.built, d.read);
        if (format == kTD0)
            EXPECT_NE(diff.find("track 7"), std::string::npos);
        else
            EXPECT_EQ(diff, "");
    }
}

TEST(FormatFieldsComparer, CommentLinesAreKeptByTd0Only) {
    Disks& d = SharedDisks();
    d.built.Clear();
    d.read.Clear();
    d.built.Comment = {"Диск", "", "два"};
    d.read.Comment = {"Диск", "два"};
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kTD0), d.built, d.read), "");
    d.read.Comment = {"Диск"};
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kTD0), d.built, d.read), "");
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kFDI), d.built, d.read), "");
}

TEST(FormatFieldsComparer, SclComparesTheLiveFilesOfTheCatalogue) {
    Disks& d = SharedDisks();
    const Bytes input = PseudoRandomInput(9, 6000);
    FuzzInput inA(input), inB(input);
    roundtrip::BuildModel(FieldsOf(kSCL), inA, d.built);
    roundtrip::BuildModel(FieldsOf(kSCL), inB, d.read);
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kSCL), d.built, d.read), "");
    // The label travels in no archive; the file count decides which files are live.
    uint8_t* info = d.read.FindSector(0, kTrdosInfoSectorNo)->Data.data();
    info[trdos_info::kLabel] ^= 0x01;
    EXPECT_EQ(roundtrip::CompareKeptFields(FieldsOf(kSCL), d.built, d.read), "");
    info[trdos_info::kFileCount] = 0;
    EXPECT_NE(roundtrip::CompareKeptFields(FieldsOf(kSCL), d.built, d.read).find("read back 0"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
