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

// Finds the sectors of a raw track through its clock-mark bitmap (bit j of byte i marks raw byte 8i + j)
// and fills the track's slots in the order they pass the head, their data in room the disk gives; sectors
// past the slots a track has are skipped. Returns how many sectors it found, those skipped and a last ID
// without data included.
unsigned ScanRawTrack(TZX_Disk& disk, TTrack& track, ByteSpan raw, ByteSpan marks);

}  // namespace tarvex
