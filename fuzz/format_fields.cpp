#include "format_fields.h"

#include <algorithm>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

namespace {

// TeleDisk stores no data block for a size code of 8 or more; FDI addresses data up to size code 8.
constexpr uint8_t kLargestTd0SizeCodeWithData = 7;
constexpr uint8_t kLargestFdiSizeCode = 8;
// DSK stores a sector's data at whatever length it has, so every size code is allowed.
constexpr uint8_t kLargestDskSizeCode = 255;

// The IBM layout of a 6256-byte MFM track: a 146-byte preamble, 116 bytes around every sector's data.
// When the sectors do not fit, gap 4a and gap 1 lose up to 25 bytes each, then every gap 3 up to 36;
// a data field must end 16 bytes before the end of the track.
constexpr long kMfmTrackBytes = 6256;
constexpr long kMfmPreamble = 146;
constexpr long kMfmSectorOverhead = 116;
constexpr long kMfmPreambleCut = 25;
constexpr long kMfmGap3Cut = 36;
constexpr long kMfmDataToGap3End = 2 + 54;  // CRC and the full gap 3 after a data field
constexpr long kMfmEndMargin = 16;
constexpr uint8_t kLargestMfmSizeCode = 3;

// An extended DSK track block: a 256-byte information block listing at most 29 sectors, then the data,
// 255 units of 256 bytes at most in all.
constexpr unsigned kDskListedSectors = 29;
constexpr unsigned kDskTrackEntries = 204;  // the disk information block's table of track sizes
constexpr size_t kDskLargestBlock = 255 * 256;
constexpr size_t kDskInfoBlock = 256;

// FDI sector offsets within a track are 16 bits wide.
constexpr size_t kFdiLargestSectorOffset = 0xFFFF;

constexpr size_t kTd0CommentBytes = 1016;

uint8_t NumberedFromOne(unsigned, unsigned slot) { return static_cast<uint8_t>(slot + 1); }
// Profi CP/M numbers the fifth sector of track 0 as 9.
uint8_t ProfiNumber(unsigned track, unsigned slot) {
    return track == 0 && slot == 4 ? uint8_t{9} : static_cast<uint8_t>(slot + 1);
}

constexpr uint32_t kSectorImage = kKeepsSectorIds | kKeepsSectorOrder | kKeepsSectorData | kKeepsDataCrcState;

// clang-format off
const std::array<FormatFields, kFormatCount> kFormatFields = {{
    // UDI: every sector as the controller sees it, CRC state as a wrong CRC; an ID without data gets a
    // data field of zeros. Whole cylinders on two sides are written, so a track inside that span without
    // sectors is no different from an absent one.
    {.format = kUDI, .keeps = kSectorImage | kKeepsRawTracks | kKeepsDeletedMarks | kKeepsIdCrcErrors, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = false, .maxSectors = kMaxSectors, .smallestSizeCode = 0,
     .largestSizeCode = kLargestMfmSizeCode, .room = TrackRoom::kMfmTrack},
    // TRD: 16 sectors of 256 bytes numbered 1..16 on tracks 0 .. n - 1; only the data travels.
    {.format = kTRD, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 16, .smallestSizeCode = 1, .largestSizeCode = 1,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = NumberedFromOne},
    // TD0: every ID, its data and CRC state, IDs without data of any size code (a size code of 8 or more
    // has no data), tracks without sectors, and the comment lines (1016 bytes of Windows-1251 text).
    {.format = kTD0,
     .keeps = kSectorImage | kKeepsIdsWithoutData | kKeepsTrackPresence | kKeepsComment | kKeepsDeletedMarks |
              kKeepsDataWithoutId,
     .minTracks = 0, .maxTracks = kMaxTracks, .tracksFromZero = false, .maxSectors = kMaxSectors,
     .smallestSizeCode = 0, .largestSizeCode = kLargestTd0SizeCodeWithData, .idOnlyFromSizeCode = 0,
     .room = TrackRoom::kUnlimited, .commentBytes = kTd0CommentBytes},
    // FDI: every ID, data and CRC state, and IDs without data of size codes above 8. An ID without data
    // of a smaller size comes back with zeros, the description text is written but not read, and a
    // track without sectors is no different from an absent one. What lies past a slot's 1100 bytes is
    // written as zeros.
    {.format = kFDI, .keeps = kSectorImage | kKeepsIdsWithoutData, .minTracks = 0, .maxTracks = kMaxTracks,
     .tracksFromZero = false, .maxSectors = kMaxSectors, .smallestSizeCode = 0,
     .largestSizeCode = kLargestFdiSizeCode, .idOnlyFromSizeCode = kLargestFdiSizeCode + 1,
     .room = TrackRoom::kFdiOffsets},
    // PRO: five sectors of 1024 bytes numbered 1..5 (1, 2, 3, 4, 9 on track 0); only the data travels.
    {.format = kPRO, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 5, .smallestSizeCode = 3, .largestSizeCode = 3,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = ProfiNumber},
    // SCL: the catalogue's live files with their sectors; the disk around them is made anew.
    {.format = kSCL, .keeps = kKeepsCatalogueFiles, .catalogueFiles = 128, .catalogueSectors = 2544},
    // KDI: five sectors of 1024 bytes numbered 1..5; only the data travels.
    {.format = kKDI, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 5, .smallestSizeCode = 3, .largestSizeCode = 3,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = NumberedFromOne},
    // HFE: as UDI, every sector as the controller sees it and the raw tracks; whole cylinders are written,
    // on one side when the disk uses one.
    {.format = kHFE, .keeps = kSectorImage | kKeepsRawTracks | kKeepsDeletedMarks | kKeepsIdCrcErrors, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = false, .maxSectors = kMaxSectors, .smallestSizeCode = 0,
     .largestSizeCode = kLargestMfmSizeCode, .room = TrackRoom::kMfmTrack},
    // DSK: every ID with its data as stored, CRC state in the status bytes, IDs without data of any size
    // code, and tracks without sectors (an absent track is written unformatted). One side is written when
    // no odd track is used, so a one-sided disk keeps its tracks on the even indices.
    {.format = kDSK,
     .keeps = kSectorImage | kKeepsIdsWithoutData | kKeepsTrackPresence | kKeepsDeletedMarks | kKeepsWeakCopies,
     .minTracks = 0,
     .maxTracks = kDskTrackEntries, .tracksFromZero = false, .maxSectors = kDskListedSectors, .smallestSizeCode = 0,
     .largestSizeCode = kLargestDskSizeCode, .idOnlyFromSizeCode = 0, .room = TrackRoom::kDskBlock},
}};
// clang-format on

bool MfmTrackFits(std::span<const SectorShape> sectors) {
    const long count = static_cast<long>(sectors.size());
    long total = kMfmPreamble;
    for (const SectorShape& sector : sectors) {
        if (sector.sizeCode > kLargestMfmSizeCode || !sector.hasData) return false;
        total += kMfmSectorOverhead + (128L << sector.sizeCode);
    }
    long preambleCut = 0, gap3Cut = 0;
    const long excess = total - kMfmTrackBytes;
    if (excess > 0 && excess < 2 * kMfmPreambleCut) {
        preambleCut = static_cast<long>(RoundHalfEven(excess, 2)) + 2;
    } else if (excess > 0) {
        preambleCut = kMfmPreambleCut;
        gap3Cut = static_cast<long>(RoundHalfEven(excess - 2 * kMfmPreambleCut, count));
        if (gap3Cut > kMfmGap3Cut) return false;
    }
    if (count == 0) return true;
    const long laidOut = total - 2 * preambleCut - count * gap3Cut;
    const long lastDataEnd = laidOut - (kMfmDataToGap3End - gap3Cut);
    return lastDataEnd + kMfmEndMargin < kMfmTrackBytes;
}

// A header without data takes no bytes of the data area, whatever its offset says.
bool FdiOffsetsFit(std::span<const SectorShape> sectors) {
    size_t offset = 0;
    for (const SectorShape& sector : sectors) {
        if (!sector.hasData) continue;
        if (offset > kFdiLargestSectorOffset) return false;
        offset += size_t{128} << sector.sizeCode;
    }
    return true;
}

bool DskBlockFits(std::span<const SectorShape> sectors) {
    size_t bytes = kDskInfoBlock;
    for (const SectorShape& sector : sectors)
        if (sector.hasData) bytes += size_t{sector.reads} * SlotDataBytes(sector.sizeCode);
    return bytes <= kDskLargestBlock;
}

bool ShapeAllowed(const FormatFields& fields, const SectorShape& sector) {
    if (sector.hasData) return sector.sizeCode >= fields.smallestSizeCode && sector.sizeCode <= fields.largestSizeCode;
    return (fields.keeps & kKeepsIdsWithoutData) && sector.sizeCode >= fields.idOnlyFromSizeCode;
}

}  // namespace

const std::array<FormatFields, kFormatCount>& AllFormatFields() { return kFormatFields; }

const FormatFields& FieldsOf(int format) { return kFormatFields.at(static_cast<size_t>(format)); }

unsigned SlotDataBytes(uint8_t sizeCode) { return sizeCode <= 8 ? 128u << sizeCode : unsigned{kSectorDataBytes}; }

bool TrackFits(const FormatFields& fields, std::span<const SectorShape> sectors) {
    if (sectors.size() > fields.maxSectors) return false;
    if (!std::all_of(sectors.begin(), sectors.end(), [&](const SectorShape& s) { return ShapeAllowed(fields, s); }))
        return false;
    switch (fields.room) {
        case TrackRoom::kUnlimited: return true;
        case TrackRoom::kFixedGeometry: return sectors.size() == fields.maxSectors;
        case TrackRoom::kFdiOffsets: return FdiOffsetsFit(sectors);
        case TrackRoom::kMfmTrack: return MfmTrackFits(sectors);
        case TrackRoom::kDskBlock: return DskBlockFits(sectors);
    }
    return false;
}

bool TrackFits(const FormatFields& fields, std::span<const uint8_t> sizeCodes) {
    std::vector<SectorShape> sectors;
    for (uint8_t code : sizeCodes) sectors.push_back({code, true});
    return TrackFits(fields, sectors);
}

}  // namespace tarvex
