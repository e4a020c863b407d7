// The TR-DOS system area over the disk model: catalogue entries decoded and encoded, a blank disk
// formatted, the catalogue read back, and its text for `info`. TR-DOS keeps its catalogue in sectors 1 to 8
// of track 0 and the disk-information sector in sector 9. A blank disk has 160 tracks of 16 sectors of
// 256 bytes; files take consecutive sectors from track 1 on.
#include "trdos/trdos_area.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/text_1251.h"

namespace tarvex {

namespace {

constexpr unsigned kSystemAreaBytes = kTrdosInfoSectorNo * kTrdosSectorBytes;  // sectors 1..9
constexpr unsigned kInfoOffset = (kTrdosInfoSectorNo - 1) * kTrdosSectorBytes;
constexpr uint8_t kLowestDiskType = 0x16;
constexpr uint8_t kHighestDiskType = 0x19;

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void SetU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Sectors 1..9 of track 0 as one image; false when track 0 cannot hold a TR-DOS system area.
bool GatherSystemArea(const TZX_Disk& disk, std::array<uint8_t, kSystemAreaBytes>& area) {
    const TTrack& track = *disk.Track(0);
    if (!track.Used) return false;
    area.fill(0);
    const unsigned count = track.UsedSectorCount();
    for (unsigned s = 0; s < count; ++s) {
        const TSectorSlot& slot = *track.Sector(s);
        if (slot.SectorNo < 1 || slot.SectorNo > kTrdosInfoSectorNo) continue;
        if (slot.SizeCode != kTrdosSizeCode || !slot.Used) return false;
        if (slot.SectorNo == kTrdosInfoSectorNo && slot.DataLength < kTrdosSectorBytes) return false;
        std::memcpy(&area[(slot.SectorNo - 1) * kTrdosSectorBytes], slot.Data.data(), kTrdosSectorBytes);
    }
    return true;
}

std::string Hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", v & 0xFF);
    return text;
}

}  // namespace

TrdosFileEntry TrdosFileEntry::DecodeHeader(const uint8_t* bytes) {
    TrdosFileEntry e;
    std::memcpy(e.Name.data(), bytes, e.Name.size());
    e.Type = bytes[8];
    e.Start = GetU16(bytes + 9);
    e.Length = GetU16(bytes + 11);
    e.SectorCount = bytes[13];
    return e;
}

TrdosFileEntry TrdosFileEntry::Decode(const uint8_t* bytes) {
    TrdosFileEntry e = DecodeHeader(bytes);
    e.FirstSector = bytes[14];
    e.FirstTrack = bytes[15];
    return e;
}

void TrdosFileEntry::EncodeHeader(uint8_t* bytes) const {
    std::memcpy(bytes, Name.data(), Name.size());
    bytes[8] = Type;
    SetU16(bytes + 9, Start);
    SetU16(bytes + 11, Length);
    bytes[13] = SectorCount;
}

void TrdosFileEntry::Encode(uint8_t* bytes) const {
    EncodeHeader(bytes);
    bytes[14] = FirstSector;
    bytes[15] = FirstTrack;
}

void SetTrdosSectorId(TSectorSlot& slot, unsigned track, unsigned index) {
    slot.Used = kFlagSet;
    slot.Cylinder = static_cast<uint8_t>(track / 2);
    slot.Head = 0;
    slot.SectorNo = static_cast<uint8_t>(index + 1);
    slot.SizeCode = kTrdosSizeCode;
    slot.DataCrcOk = kFlagSet;
    slot.DataLength = kTrdosSectorBytes;
}

uint8_t* FormatTrdosDisk(TZX_Disk& disk, const std::string& label, size_t filledBytes, unsigned tracks) {
    disk.Clear();
    constexpr size_t kTrackBytes = size_t{kTrdosSectorsPerTrack} * kTrdosSectorBytes;
    uint8_t* run = disk.ReserveRunZeroedFrom(tracks * kTrackBytes, kTrackBytes + filledBytes);
    std::memset(run, 0, kTrackBytes);
    uint8_t* sector = run;
    for (unsigned t = 0; t < tracks; ++t) {
        TTrack& track = *disk.Track(t);
        track.Used = kFlagSet;
        for (unsigned s = 0; s < kTrdosSectorsPerTrack; ++s, sector += kTrdosSectorBytes) {
            TSectorSlot& slot = *track.Sector(s);
            SetTrdosSectorId(slot, t, s);
            TZX_Disk::BindData(slot, sector, kTrdosSectorBytes);
        }
    }
    uint8_t* info = run + (kTrdosInfoSectorNo - 1) * kTrdosSectorBytes;
    info[trdos_info::kFirstFreeSector] = 0;
    info[trdos_info::kFirstFreeTrack] = 1;
    info[trdos_info::kDiskType] = kTrdosDiskType80x2;
    info[trdos_info::kFileCount] = 0;
    SetU16(info + trdos_info::kFreeSectors, static_cast<uint16_t>((tracks - 1) * kTrdosSectorsPerTrack));
    info[trdos_info::kIdByte] = kTrdosIdByte;
    info[trdos_info::kDeletedCount] = 0;
    std::string name = Utf8ToCp1251(label);
    name.resize(8, ' ');
    std::memcpy(info + trdos_info::kLabel, name.data(), 8);
    return run;
}

void TZX_Disk::FormatBlankDisk(const std::string& label) { FormatTrdosDisk(*this, label); }

bool TZX_Disk::ReadCatalogue(TrdosCatalogue& catalogue) {
    std::array<uint8_t, kSystemAreaBytes> area;
    if (!GatherSystemArea(*this, area)) return false;
    const uint8_t* info = &area[kInfoOffset];
    TrdosCatalogue c;
    c.DiskType = info[trdos_info::kDiskType];
    c.IdByte = info[trdos_info::kIdByte];
    c.FirstFreeSector = info[trdos_info::kFirstFreeSector];
    c.FirstFreeTrack = info[trdos_info::kFirstFreeTrack];
    c.FreeSectors = GetU16(info + trdos_info::kFreeSectors);
    c.FileCount = info[trdos_info::kFileCount];
    c.DeletedCount = info[trdos_info::kDeletedCount];
    std::memcpy(c.Label.data(), info + trdos_info::kLabel, c.Label.size());
    if (c.IdByte != kTrdosIdByte || c.DiskType < kLowestDiskType || c.DiskType > kHighestDiskType) return false;
    for (unsigned i = 0; i < kTrdosMaxFiles; ++i) {
        const uint8_t* entry = &area[i * kTrdosEntryBytes];
        if (std::all_of(entry, entry + 8, [](uint8_t b) { return b == 0; })) break;
        c.Entries.push_back(TrdosFileEntry::Decode(entry));
    }
    catalogue = std::move(c);
    return true;
}

std::string TrdosNameText(const std::array<uint8_t, 8>& name) {
    std::array<uint8_t, 8> printable = name;
    for (auto& b : printable)
        if (b < 32) b = '?';
    return Cp1251ToUtf8(ByteSpan(printable.data(), printable.size()));
}

std::string DescribeTrdosSystemArea(TZX_Disk& disk) {
    TrdosCatalogue c;
    if (!disk.ReadCatalogue(c)) return {};
    std::string text = "  " +
                       Fill(Tr("TR-DOS disk: label \"%s\", disk type %s, files %s (deleted %s), free sectors %s, "
                               "first free track %s sector %s"),
                            {TrdosNameText(c.Label), Hex2(c.DiskType), std::to_string(c.FileCount),
                             std::to_string(c.DeletedCount), std::to_string(c.FreeSectors),
                             std::to_string(c.FirstFreeTrack), std::to_string(c.FirstFreeSector)}) +
                       "\n";
    if (c.Entries.empty()) return text + "  " + Tr("catalogue: empty") + "\n";
    text += "  " + Tr("catalogue:   #  name     type  start length sectors track sector") + "\n";
    unsigned number = 0;
    for (const auto& e : c.Entries) {
        const std::string type = e.Type < 32 ? std::string("?") : Cp1251ToUtf8(ByteSpan(&e.Type, 1));
        char fields[96];
        std::snprintf(fields, sizeof fields, "  %5u %6u %7u %5u %6u", e.Start, e.Length, e.SectorCount,
                      e.FirstTrack, e.FirstSector);
        char index[24];
        std::snprintf(index, sizeof index, "             %3u  ", ++number);
        text += index + TrdosNameText(e.Name) + "  " + type + fields;
        if (e.Deleted()) text += "  " + Tr("deleted");
        text += "\n";
    }
    return text;
}

}  // namespace tarvex
