// What each cell of the sector map shows (its tile, colour and label) worked out from the disk model, and
// the little arithmetic of laying the tiles and their labels out, for any view to draw.
#include "disk/sector_map.h"
#include "disk/zx_disk.h"

namespace tarvex {

int MapColumnWidth(int column) { return column == 0 ? kHeaderColumnWidth : kSectorColumnWidth; }

bool IsHeaderTile(TileKind tile) {
    return tile == TileKind::kHeaderRaw || tile == TileKind::kHeaderSectors || tile == TileKind::kHeaderAbsent;
}

int TileWidth(TileKind tile) {
    if (tile == TileKind::kNone) return 0;
    return IsHeaderTile(tile) ? kHeaderColumnWidth : kSectorColumnWidth;
}

Rgb TileFill(TileKind tile, Rgb buttonFace) {
    switch (tile) {
        case TileKind::kHeaderRaw: return kBlue;
        case TileKind::kHeaderSectors: return kYellow;
        case TileKind::kSectorGood: return kBrightGreen;
        case TileKind::kSectorCrcError: return kRed;
        case TileKind::kSectorNoData: return kYellow;
        case TileKind::kHeaderAbsent:
        case TileKind::kSectorEmpty:
        case TileKind::kNone: break;
    }
    return buttonFace;
}

std::string TrackLabel(unsigned track) {
    const std::string digits = "00" + std::to_string(track);
    return "T" + digits.substr(digits.size() - 3);
}

std::string SectorLabel(uint8_t sectorNo) {
    const std::string digits = std::to_string(sectorNo);
    return (digits.size() < 2 ? "s0" : "s") + digits;
}

int MapSectorColumns(const TZX_Disk& disk) {
    int columns = kClassicMapSectorColumns;
    for (unsigned t = 0; t < kMaxTracks; ++t) {
        const TTrack* track = disk.Track(t);
        if (!track || !track->Used) continue;
        for (int slot = kMaxSectors - 1; slot >= columns; --slot)
            if (track->Sector(static_cast<unsigned>(slot))->Used) {
                columns = slot + 1;
                break;
            }
    }
    return columns;
}

MapCell SectorMapCell(const TZX_Disk& disk, int column, int row) {
    const TTrack* track = row >= 0 ? disk.Track(static_cast<unsigned>(row)) : nullptr;
    if (!track || column < 0 || column > kMaxSectors) return {};
    const bool showDisabled = disk.ShowDisabledSectors;

    if (column == 0) {
        if (!track->Used) return showDisabled ? MapCell{TileKind::kHeaderAbsent, "", kBlack} : MapCell{};
        if (track->RawLength != 0) return {TileKind::kHeaderRaw, TrackLabel(track->Index), kWhite};
        return {TileKind::kHeaderSectors, TrackLabel(track->Index), kBlack};
    }

    const TSectorSlot& slot = *track->Sector(static_cast<unsigned>(column - 1));
    if (!slot.Used) return showDisabled ? MapCell{TileKind::kSectorEmpty, "", kBlack} : MapCell{};
    if (!track->Used) return {};  // a slot of an absent track has nothing to show
    TileKind tile = TileKind::kSectorGood;
    if (slot.DataLength == 0)
        tile = TileKind::kSectorNoData;
    else if (!slot.DataCrcOk)
        tile = TileKind::kSectorCrcError;
    return {tile, SectorLabel(slot.SectorNo), kBlack};
}

std::vector<int> MapTracks(const TZX_Disk& disk) {
    std::vector<int> tracks;
    for (int track = 0; track < kMapRows; ++track)
        if (disk.ShowDisabledSectors || disk.Track(static_cast<unsigned>(track))->Used) tracks.push_back(track);
    return tracks;
}

int CentredOffset(int cellExtent, int textExtent) {
    if (textExtent > cellExtent) return -CentredOffset(textExtent, cellExtent);
    return static_cast<int>(RoundHalfEven(cellExtent - textExtent, 2));
}

}  // namespace tarvex
