// Raw MFM tracks as the cells a drive head sees. Every data bit is a clock cell and a data cell (the clock
// is 1 only between two 0 bits); the sync bytes before address marks are written with one clock cell
// missing (A1 as 0x4489, C2 as 0x5224), which no other byte sequence shows. Cell streams are packed least
// significant bit first: the first cell in time is bit 0 of the first byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/zx_disk.h"

namespace tarvex {

constexpr uint16_t kA1SyncCells = 0x4489;
constexpr uint16_t kC2SyncCells = 0x5224;
constexpr unsigned kCellsPerByte = 16;

// A raw track and its clock-mark bitmap (bit j of byte i marks raw byte 8i + j), as the sector scan
// takes them.
struct MarkedTrack {
    Bytes bytes;
    Bytes marks;

    void Clear();
    void Append(uint8_t b, bool marked);
    bool Marked(size_t i) const { return (marks[i >> 3] >> (i & 7)) & 1; }
    // Appends unmarked copies of b until the track holds n bytes.
    void PadTo(size_t n, uint8_t b);
};

// The sync bytes of a raw track that keeps no bitmap, found as a controller finds them: two or three A1
// before an ID, data or deleted-data mark, two or three C2 before the index mark; the bytes of the ID and
// data fields themselves are passed over, so sector contents that look like marks stay data.
Bytes FindSyncMarks(ByteSpan raw);

// Appends the cells of the raw track, two stream bytes per raw byte, least significant bit first.
void EncodeMfmCells(const MarkedTrack& track, Bytes& stream);

// A stream of cells being put together, packed least significant bit first.
struct PackedCells {
    Bytes bytes;
    size_t count = 0;

    void Clear();
    // Appends the first n cells (0..8) of a stored byte, bit 0 first.
    void Append(uint8_t b, unsigned n);
};

// Decodes the first `count` cells of a packed stream into raw bytes, framed from the first sync and framed
// anew wherever a sync stands off the current frame, as a controller re-synchronises. False when no sync
// appears at all: the cells hold no MFM track.
bool DecodeMfmCells(ByteSpan packed, size_t count, MarkedTrack& out);

}  // namespace tarvex
