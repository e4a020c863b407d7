// The TR-DOS system area of track 0: the catalogue in sectors 1..8 (128 entries of 16 bytes) and the
// disk-information sector 9 with the free-space counters, the file counters and the disk label.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

constexpr unsigned kTrdosSectorsPerTrack = 16;
constexpr unsigned kTrdosSectorBytes = 256;
constexpr uint8_t kTrdosSizeCode = 1;
constexpr unsigned kTrdosTracks = 160;
constexpr unsigned kTrdosDiskSectors = kTrdosTracks * kTrdosSectorsPerTrack;  // 2560
constexpr unsigned kTrdosMaxFiles = 128;
constexpr unsigned kTrdosEntryBytes = 16;
constexpr unsigned kTrdosEntriesPerSector = kTrdosSectorBytes / kTrdosEntryBytes;
constexpr unsigned kTrdosInfoSectorNo = 9;  // sectors 1..8 hold the catalogue
constexpr uint8_t kTrdosIdByte = 0x10;
constexpr uint8_t kTrdosDiskType80x2 = 0x16;

// Byte offsets inside the disk-information sector.
namespace trdos_info {
constexpr unsigned kFirstFreeSector = 0xE1;
constexpr unsigned kFirstFreeTrack = 0xE2;
constexpr unsigned kDiskType = 0xE3;
constexpr unsigned kFileCount = 0xE4;
constexpr unsigned kFreeSectors = 0xE5;  // 16 bits
constexpr unsigned kIdByte = 0xE7;
constexpr unsigned kDeletedCount = 0xF4;
constexpr unsigned kLabel = 0xF5;  // 8 bytes
}  // namespace trdos_info

// One catalogue entry. The first 14 bytes are also the file header of an SCL archive.
struct TrdosFileEntry {
    static constexpr unsigned kHeaderBytes = 14;

    std::array<uint8_t, 8> Name{};
    uint8_t Type = 0;
    uint16_t Start = 0;
    uint16_t Length = 0;
    uint8_t SectorCount = 0;
    uint8_t FirstSector = 0;  // 0..15 within its track
    uint8_t FirstTrack = 0;   // cylinder * 2 + side

    // A file whose name starts with a control byte has been deleted; its sectors are not live.
    bool Deleted() const { return Name[0] < 32; }

    static TrdosFileEntry Decode(const uint8_t* bytes);        // all 16 bytes
    static TrdosFileEntry DecodeHeader(const uint8_t* bytes);  // the first 14 bytes
    void Encode(uint8_t* bytes) const;  // all 16 bytes
    void EncodeHeader(uint8_t* bytes) const;  // the first 14 bytes
};

struct TrdosCatalogue {
    uint8_t FirstFreeSector = 0;
    uint8_t FirstFreeTrack = 0;
    uint8_t DiskType = 0;
    uint8_t FileCount = 0;
    uint16_t FreeSectors = 0;
    uint8_t IdByte = 0;
    uint8_t DeletedCount = 0;
    std::array<uint8_t, 8> Label{};
    std::vector<TrdosFileEntry> Entries;  // up to the first all-zero name, at most 128
};

// Slot `index` of TR-DOS track `track` as TR-DOS formats it: sector index + 1 of 256 bytes, head 0, data good.
void SetTrdosSectorId(TSectorSlot& slot, unsigned track, unsigned index);

// Clears the disk and formats it as TR-DOS does: `tracks` tracks (160: 80 cylinders on two sides) of 16
// sectors of 256 bytes, an empty catalogue and the disk-information sector with the label. The sectors'
// bytes lie in one run in the order of a TRD image, which is returned; all are zeros but the first
// `filledBytes` from track 1 on, which are left to the caller to fill.
uint8_t* FormatTrdosDisk(TZX_Disk& disk, const std::string& label, size_t filledBytes = 0,
                         unsigned tracks = kTrdosTracks);

// "name    .B" style text of a TR-DOS name and type, decoded from Windows-1251; control bytes become '?'.
std::string TrdosNameText(const std::array<uint8_t, 8>& name);

// A readable listing of the catalogue and disk-information fields, or "" when track 0 holds none.
std::string DescribeTrdosSystemArea(TZX_Disk& disk);

}  // namespace tarvex
