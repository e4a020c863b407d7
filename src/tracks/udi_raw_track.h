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

// A track laid out after the IBM format table with full gaps, at least a rotation at its data rate (6256
// bytes; 12500 at high density), for a raw-track format that stores each track at its own length, at most
// `maxBytes` long. A sector of a size code above 7 is written as its ID alone, as no track holds its data
// field; when the track would still be too long, the largest sectors too. The
// data so dropped is added to `losses`. False when even sectors of 128 bytes do not fit.
bool BuildLongRawTrack(const TTrack& track, Bytes& raw, Bytes& marks, LossReport& losses,
                       size_t maxBytes = kRawTrackBytes);

// Finds the sectors of a raw track through its clock-mark bitmap (bit j of byte i marks raw byte 8i + j)
// and fills the track's slots in the order they pass the head, their data in room the disk gives; sectors
// past the slots a track has are skipped. Returns how many sectors it found, those skipped and a last ID
// without data included.
unsigned ScanRawTrack(TZX_Disk& disk, TTrack& track, ByteSpan raw, ByteSpan marks);

}  // namespace tarvex
