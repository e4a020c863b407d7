// The sector map: one row per track and one column per sector slot, each cell a coloured raised tile with
// the sector's number. These are the rules of what each cell shows, as plain functions of the disk model;
// a view only turns them into pixels.
//
// Column 0 is the track header (T000..T255), columns 1..N are slots 0..N-1, where N is at least the classic
// twenty and grows to the disk's widest track (MapSectorColumns).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

inline constexpr int kMapColumns = 26;
inline constexpr int kClassicMapSectorColumns = 20;
inline constexpr int kMapRows = kMaxTracks;
inline constexpr int kHeaderColumnWidth = 50;
inline constexpr int kSectorColumnWidth = 30;
inline constexpr int kMapRowHeight = 14;
inline constexpr const char* kMapFontFamily = "Courier New";
inline constexpr int kMapFontPoints = 7;

enum class TileKind {
    kNone,           // nothing is drawn
    kHeaderRaw,      // blue: a used track with raw bytes
    kHeaderSectors,  // yellow: a used track without raw bytes
    kHeaderAbsent,   // button face: an absent track, only when disabled sectors are shown
    kSectorGood,     // bright green
    kSectorCrcError, // red
    kSectorNoData,   // yellow: an ID field without data
    kSectorEmpty,    // button face: an empty slot, only when disabled sectors are shown
};

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBrightGreen{0, 255, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};

struct MapCell {
    TileKind tile = TileKind::kNone;
    std::string text;      // "" when the tile carries no number
    Rgb textColour = kBlack;
};

int MapColumnWidth(int column);
// The tile's size in pixels (width, height); tiles fill their cell exactly.
int TileWidth(TileKind tile);
// The tile's fill; the button-face tiles take the caller's button-face colour.
Rgb TileFill(TileKind tile, Rgb buttonFace);
bool IsHeaderTile(TileKind tile);

// "T" and the track index as three digits: T000 .. T165.
std::string TrackLabel(unsigned track);
// "s" and the sector number, at least two digits: s01, s16, s123 (it fits a sector tile in the map's font).
std::string SectorLabel(uint8_t sectorNo);

// What cell (column, row) of the map shows for the disk; the disk's ShowDisabledSectors decides
// whether absent tracks and empty slots get a plain tile.
MapCell SectorMapCell(const TZX_Disk& disk, int column, int row);

// The tracks a map shows, top to bottom: only those the disk has (a single-sided disk has no odd tracks),
// or every track index when the disk's ShowDisabledSectors asks for the absent ones too.
std::vector<int> MapTracks(const TZX_Disk& disk);

// How many slot columns the map of this disk needs: the classic twenty, or as many as its widest track uses.
int MapSectorColumns(const TZX_Disk& disk);

// Where centred text starts inside a cell: half the spare room, rounded to the nearest pixel, half to even.
int CentredOffset(int cellExtent, int textExtent);

}  // namespace tarvex
