// Which fields of the disk model each image format keeps when the model is written and read back, and
// within which capacity (tracks, sectors per track, size codes, numbering, room on a track). The
// round-trip checks build disks inside a format's capacity and compare exactly the fields it keeps.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "app/format_table.h"

namespace tarvex {

// What survives a write and a read, one bit each.
enum KeptField : uint32_t {
    kKeepsSectorIds = 1u << 0,       // C and H of every ID field as recorded (otherwise they follow from the track)
    kKeepsSectorOrder = 1u << 1,     // the physical order of the sectors on a track (otherwise: by number)
    kKeepsSectorData = 1u << 2,      // R, N and the nominal-size data of every sector
    kKeepsDataCrcState = 1u << 3,    // DataCrcOk of a sector with data
    kKeepsIdsWithoutData = 1u << 4,  // a sector with DataLength 0 (size codes from idOnlyFromSizeCode) stays so
    kKeepsTrackPresence = 1u << 5,   // which tracks are used, those without sectors included
    kKeepsRawTracks = 1u << 6,       // a model read from the format is written back with the same raw tracks
    kKeepsComment = 1u << 7,         // the non-empty Comment lines
    kKeepsCatalogueFiles = 1u << 8,  // the live files of the TR-DOS catalogue: header and sectors
    kKeepsDeletedMarks = 1u << 9,    // DeletedData of a sector with data
    kKeepsIdCrcErrors = 1u << 10,    // IdCrcError
    kKeepsDataWithoutId = 1u << 11,  // IdMissing, with the slot's C H R N
    kKeepsWeakCopies = 1u << 12,     // every read of a weak sector (Copies)
};

// How much a track may carry besides its sector count and size codes.
enum class TrackRoom : uint8_t {
    kUnlimited,
    kFixedGeometry,  // exactly the format's sectors, numbered as the format numbers them
    kFdiOffsets,     // a sector's data starts within 64 KB of its track's data (16-bit offsets)
    kMfmTrack,       // the sectors fit the 6256-byte MFM track of the IBM layout
    kDskBlock,       // the sectors' data and the information block fit an extended DSK track block
};

struct FormatFields {
    int format = 0;            // FormatIndex
    uint32_t keeps = 0;        // KeptField bits
    unsigned minTracks = 0;    // a disk with fewer used tracks cannot be written
    unsigned maxTracks = 0;    // used tracks lie at indices 0 .. maxTracks - 1
    bool tracksFromZero = false;  // the tracks are 0 .. n - 1, all used: a sector dump
    unsigned maxSectors = 0;   // per track; the fixed count when the geometry is fixed
    uint8_t smallestSizeCode = 0;  // size codes a sector with data may have
    uint8_t largestSizeCode = 0;
    uint8_t idOnlyFromSizeCode = 0;  // with kKeepsIdsWithoutData: size codes of IDs without data, up to 255
    TrackRoom room = TrackRoom::kUnlimited;
    // The number of the sector in slot s of track t when the geometry is fixed; null otherwise.
    uint8_t (*fixedSectorNumber)(unsigned track, unsigned slot) = nullptr;
    size_t commentBytes = 0;   // text room: the kept lines with one end byte each
    unsigned catalogueFiles = 0;  // live TR-DOS files an archive holds
    unsigned catalogueSectors = 0;  // their sectors in all
};

const std::array<FormatFields, kFormatCount>& AllFormatFields();
const FormatFields& FieldsOf(int format);

// The data bytes a slot holds for a size code: 128 << N, at most the slot's 1100.
unsigned SlotDataBytes(uint8_t sizeCode);

// One sector as far as the room on a track goes.
struct SectorShape {
    uint8_t sizeCode = 0;
    bool hasData = true;
    uint8_t reads = 1;  // the reads a weak sector keeps, each of its size
};

// Whether these sectors, in this order, fit one track of the format.
bool TrackFits(const FormatFields& fields, std::span<const SectorShape> sectors);
// The same for sectors that all have data.
bool TrackFits(const FormatFields& fields, std::span<const uint8_t> sizeCodes);

}  // namespace tarvex
