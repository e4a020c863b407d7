#include "app/format_fields.h"

#include <algorithm>

#include "disk/zx_disk.h"

namespace tarvex {

namespace {

constexpr uint8_t kLargestSizeCode = 0xFF;

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
    {.format = kUDI, .keeps = kSectorImage | kKeepsRawTracks, .minTracks = 1, .maxTracks = kMaxTracks,
     .tracksFromZero = false, .maxSectors = kMaxSectors, .smallestSizeCode = 0,
     .largestSizeCode = kLargestMfmSizeCode, .room = TrackRoom::kMfmTrack},
    // TRD: 16 sectors of 256 bytes numbered 1..16 on tracks 0 .. n - 1; only the data travels.
    {.format = kTRD, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 0, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 16, .smallestSizeCode = 1, .largestSizeCode = 1,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = NumberedFromOne},
    // TD0: every ID, its data and CRC state, sectors without data, tracks without sectors, comment lines.
    {.format = kTD0,
     .keeps = kSectorImage | kKeepsIdsWithoutData | kKeepsTrackPresence | kKeepsComment,
     .minTracks = 0, .maxTracks = kMaxTracks, .tracksFromZero = false, .maxSectors = kMaxSectors,
     .smallestSizeCode = 0, .largestSizeCode = kLargestSizeCode, .room = TrackRoom::kUnlimited,
     .commentBytes = kTd0CommentBytes},
    // FDI: every ID, data and CRC state; the description text is written but not read, an ID without
    // data comes back with zeros, and a track without sectors is no different from an absent one.
    // Size codes up to 8; what lies past a slot's 1100 bytes is written as zeros.
    {.format = kFDI, .keeps = kSectorImage, .minTracks = 0, .maxTracks = kMaxTracks, .tracksFromZero = false,
     .maxSectors = kMaxSectors, .smallestSizeCode = 0, .largestSizeCode = 8, .room = TrackRoom::kFdiOffsets},
    // PRO: five sectors of 1024 bytes numbered 1..5 (1, 2, 3, 4, 9 on track 0); only the data travels.
    {.format = kPRO, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 0, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 5, .smallestSizeCode = 3, .largestSizeCode = 3,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = ProfiNumber},
    // SCL: the catalogue's live files with their sectors; the disk around them is made anew.
    {.format = kSCL, .keeps = kKeepsCatalogueFiles, .catalogueFiles = 128, .catalogueSectors = 2544},
    // KDI: five sectors of 1024 bytes numbered 1..5; only the data travels.
    {.format = kKDI, .keeps = kKeepsSectorData | kKeepsTrackPresence, .minTracks = 0, .maxTracks = kMaxTracks,
     .tracksFromZero = true, .maxSectors = 5, .smallestSizeCode = 3, .largestSizeCode = 3,
     .room = TrackRoom::kFixedGeometry, .fixedSectorNumber = NumberedFromOne},
}};
// clang-format on

bool MfmTrackFits(std::span<const uint8_t> sizeCodes) {
    const long count = static_cast<long>(sizeCodes.size());
    long total = kMfmPreamble;
    for (uint8_t code : sizeCodes) {
        if (code > kLargestMfmSizeCode) return false;
        total += kMfmSectorOverhead + (128L << code);
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

bool FdiOffsetsFit(std::span<const uint8_t> sizeCodes) {
    size_t offset = 0;
    for (uint8_t code : sizeCodes) {
        if (offset > kFdiLargestSectorOffset) return false;
        offset += size_t{128} << code;
    }
    return true;
}

}  // namespace

const std::array<FormatFields, kFormatCount>& AllFormatFields() { return kFormatFields; }

const FormatFields& FieldsOf(int format) { return kFormatFields.at(static_cast<size_t>(format)); }

unsigned SlotDataBytes(uint8_t sizeCode) {
    return sizeCode >= 4 ? unsigned{kSectorDataBytes} : 128u << sizeCode;
}

bool TrackFits(const FormatFields& fields, std::span<const uint8_t> sizeCodes) {
    if (sizeCodes.size() > fields.maxSectors) return false;
    if (std::any_of(sizeCodes.begin(), sizeCodes.end(), [&](uint8_t code) {
            return code < fields.smallestSizeCode || code > fields.largestSizeCode;
        }))
        return false;
    switch (fields.room) {
        case TrackRoom::kUnlimited: return true;
        case TrackRoom::kFixedGeometry: return sizeCodes.size() == fields.maxSectors;
        case TrackRoom::kFdiOffsets: return FdiOffsetsFit(sizeCodes);
        case TrackRoom::kMfmTrack: return MfmTrackFits(sizeCodes);
    }
    return false;
}

}  // namespace tarvex
