// The raw MFM track as a UDI image stores it: 6256 bytes and a bitmap of the bytes written with a missing
// clock bit (the A1 sync bytes before ID and data marks, the C2 bytes before the index mark).
#pragma once

#include <cstddef>
#include <cstdint>

#include "disk/zx_disk.h"

namespace tarvex {

constexpr size_t kUdiTrackBytes = 6256;
constexpr size_t kUdiMarkBytes = kUdiTrackBytes / 8;  // 782

constexpr uint8_t kIndexMark = 0xFC;
constexpr uint8_t kIdMark = 0xFE;
constexpr uint8_t kDataMark = 0xFB;
constexpr uint8_t kDeletedDataMark = 0xF8;
constexpr uint8_t kSyncA1 = 0xA1;
constexpr uint8_t kSyncC2 = 0xC2;
constexpr uint8_t kGapByte = 0x4E;

// 128 << code for the size codes a track can be written with (0..3); 0 for any other code.
constexpr unsigned MfmSectorBytes(uint8_t sizeCode) { return sizeCode <= 3 ? 128u << sizeCode : 0u; }

// The largest size code a track laid out at its own length takes (16 KB), the largest the sector scan
// reads whole.
constexpr uint8_t kLargestLongTrackSizeCode = 7;

// The bytes of a track laid out after the IBM format table with full gaps, at least a rotation at its
// data rate (6256 bytes; 12500 at high density); 0 when a sector's size code is above the largest.
size_t LongRawTrackBytes(const TTrack& track);
// The track so laid out, for a raw-track format that stores each track at its own length; false when a
// size code is above the largest or the track would be longer than a raw track holds.
bool BuildLongRawTrack(const TTrack& track, Bytes& raw, Bytes& marks);

// Finds the sectors of a raw track through its clock-mark bitmap (bit j of byte i marks raw byte 8i + j)
// and fills the track's slots in the order they pass the head, their data in room the disk gives; sectors
// past the slots a track has are skipped. Returns how many sectors it found, those skipped and a last ID
// without data included.
unsigned ScanRawTrack(TZX_Disk& disk, TTrack& track, ByteSpan raw, ByteSpan marks);

}  // namespace tarvex
