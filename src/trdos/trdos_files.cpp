// The file operations of TR-DOS over the disk model. Each operation reads the system area (sectors 1 to 9
// of track 0) into memory, plans every sector it is going to write, checks that each of them is a whole
// 256-byte sector of the model, and only then writes them; a sector whose bytes stay the same is not
// touched, so that an image written again differs from the old one only where the file system changed.
// Files lie in consecutive sectors counted from track 0 sector 1 (linear sector = track * 16 + sector);
// the disk-information sector keeps the first free one and the number of free sectors after it.
#include "trdos/trdos_files.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <utility>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/text_1251.h"

namespace tarvex {

namespace {

constexpr unsigned kAreaBytes = kTrdosInfoSectorNo * kTrdosSectorBytes;
constexpr unsigned kInfoOffset = (kTrdosInfoSectorNo - 1) * kTrdosSectorBytes;
constexpr unsigned kMaxFileSectors = 255;
constexpr uint8_t kDeletedMark = 0x01;
constexpr uint8_t kBasicType = 'B';

using SectorBytes = std::array<uint8_t, kTrdosSectorBytes>;

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void SetU16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

const TSectorSlot* WholeSector(const TZX_Disk& disk, unsigned track, unsigned sectorNo) {
    if (track >= kMaxTracks) return nullptr;
    const TSectorSlot* slot = disk.FindSector(track, sectorNo);
    if (!slot || !slot->Used || slot->SizeCode != kTrdosSizeCode || slot->HeldBytes() < kTrdosSectorBytes)
        return nullptr;
    return slot;
}

std::string BadSectorText(unsigned track, unsigned sectorNo) {
    return Fill(Tr("Bad sector (track %s, sector %s)!"), {std::to_string(track), std::to_string(sectorNo)});
}

// Track t as TR-DOS formats it: sectors 1 to 16 of 256 zero bytes.
void FormatTrack(TZX_Disk& disk, unsigned t) {
    TTrack& track = *disk.Track(t);
    track.Used = kFlagSet;
    for (unsigned s = 0; s < kTrdosSectorsPerTrack; ++s) {
        TSectorSlot& slot = *track.Sector(s);
        SetTrdosSectorId(slot, t, s);
        disk.ReserveData(slot, kTrdosSectorBytes);
    }
}

// The sectors an operation is going to write, by linear sector number, written all at once when every one
// of them is a whole sector of the disk.
class SectorWrites {
public:
    void Put(unsigned linear, const uint8_t* bytes, size_t n) {
        SectorBytes& sector = writes_[linear];
        sector.fill(0);
        if (n) std::memcpy(sector.data(), bytes, std::min<size_t>(n, kTrdosSectorBytes));
    }

    // An image often ends after its last used track (a TRD cut short); a track that is missing altogether,
    // within the tracks the disk type gives, is formatted before a file is written on it.
    Status Commit(TZX_Disk& disk, unsigned diskTracks) const {
        unsigned extendTo = 0;
        for (const auto& [linear, bytes] : writes_) {
            const unsigned track = linear / kTrdosSectorsPerTrack, sectorNo = linear % kTrdosSectorsPerTrack + 1;
            if (WholeSector(disk, track, sectorNo)) continue;
            if (track >= diskTracks || std::as_const(disk).Track(track)->Used)
                return Status::Failure(BadSectorText(track, sectorNo));
            extendTo = std::max(extendTo, track + 1);
        }
        for (unsigned t = 0; t < extendTo; ++t)
            if (!std::as_const(disk).Track(t)->Used) FormatTrack(disk, t);
        for (const auto& [linear, bytes] : writes_) {
            const unsigned track = linear / kTrdosSectorsPerTrack, sectorNo = linear % kTrdosSectorsPerTrack + 1;
            TSectorSlot& slot = *disk.FindSector(track, sectorNo);
            if (std::memcmp(slot.Data.data(), bytes.data(), bytes.size()) == 0 && slot.DataCrcOk) continue;
            std::memcpy(slot.Data.data(), bytes.data(), bytes.size());
            slot.DataCrcOk = kFlagSet;
            slot.DeletedData = 0;
            slot.Copies = 0;
            // A raw track as an image stored it would still hold the old bytes.
            TTrack& changed = *disk.Track(track);
            changed.RawValid = 0;
            changed.RawLength = 0;
        }
        return Status::Ok();
    }

private:
    std::map<unsigned, SectorBytes> writes_;
};

// Sectors 1 to 9 of track 0 as one run of bytes, the catalogue and the disk-information sector.
class SystemArea {
public:
    Status Read(TZX_Disk& disk) {
        if (!disk.ReadCatalogue(catalogue_)) return Status::Failure(Tr("Not a TR-DOS disk image! Bad catalogue!"));
        for (unsigned n = 1; n <= kTrdosInfoSectorNo; ++n) {
            const TSectorSlot* slot = WholeSector(disk, 0, n);
            if (!slot) return Status::Failure(BadSectorText(0, n));
            std::memcpy(&bytes_[(n - 1) * kTrdosSectorBytes], slot->Data.data(), kTrdosSectorBytes);
        }
        return Status::Ok();
    }

    const TrdosCatalogue& Catalogue() const { return catalogue_; }
    uint8_t* Entry(unsigned i) { return &bytes_[i * kTrdosEntryBytes]; }
    uint8_t* Info() { return &bytes_[kInfoOffset]; }
    unsigned FirstFree() {
        return Info()[trdos_info::kFirstFreeTrack] * kTrdosSectorsPerTrack + Info()[trdos_info::kFirstFreeSector];
    }
    unsigned FreeSectors() { return GetU16(Info() + trdos_info::kFreeSectors); }
    void SetFirstFree(unsigned linear) {
        Info()[trdos_info::kFirstFreeTrack] = static_cast<uint8_t>(linear / kTrdosSectorsPerTrack);
        Info()[trdos_info::kFirstFreeSector] = static_cast<uint8_t>(linear % kTrdosSectorsPerTrack);
    }
    void SetFreeSectors(unsigned n) { SetU16(Info() + trdos_info::kFreeSectors, n); }

    // The tracks of the disk type: 160 for 80 cylinders on two sides, 40 for 40 on one.
    unsigned DiskTracks() {
        const unsigned type = Info()[trdos_info::kDiskType] - kTrdosDiskType80x2;
        return (type & 1 ? 40u : 80u) * (type & 2 ? 1u : 2u);
    }

    void PlanWrite(SectorWrites& writes) const {
        for (unsigned n = 0; n < kTrdosInfoSectorNo; ++n)
            writes.Put(n, &bytes_[n * kTrdosSectorBytes], kTrdosSectorBytes);
    }

private:
    TrdosCatalogue catalogue_;
    std::array<uint8_t, kAreaBytes> bytes_{};
};

unsigned EntryCount(const TrdosCatalogue& catalogue) {
    return std::min<unsigned>(catalogue.FileCount, static_cast<unsigned>(catalogue.Entries.size()));
}

unsigned FirstLinear(const TrdosFileEntry& entry) {
    return entry.FirstTrack * kTrdosSectorsPerTrack + entry.FirstSector;
}

}  // namespace

uint8_t TrdosDiskType(TrdosGeometry geometry) {
    return static_cast<uint8_t>(kTrdosDiskType80x2 + (geometry.cylinders == 40 ? 1 : 0) +
                                (geometry.sides == 1 ? 2 : 0));
}

Status FormatTrdos(TZX_Disk& disk, TrdosGeometry geometry, const std::string& label) {
    if ((geometry.cylinders != 80 && geometry.cylinders != 40) || (geometry.sides != 1 && geometry.sides != 2))
        return Status::Failure(Fill(Tr("A TR-DOS disk has 80 or 40 cylinders on 1 or 2 sides, not %s x %s!"),
                                    {std::to_string(geometry.cylinders), std::to_string(geometry.sides)}));
    uint8_t* run = FormatTrdosDisk(disk, label, 0, geometry.cylinders * geometry.sides);
    run[kInfoOffset + trdos_info::kDiskType] = TrdosDiskType(geometry);
    return Status::Ok();
}

Status ReadTrdosCatalogue(TZX_Disk& disk, TrdosCatalogue& catalogue) {
    return Status::Of(disk.ReadCatalogue(catalogue), Tr("Not a TR-DOS disk image! Bad catalogue!"));
}

unsigned TrdosEntryCount(const TrdosCatalogue& catalogue) { return EntryCount(catalogue); }

Status ReadTrdosFile(const TZX_Disk& disk, const TrdosFileEntry& entry, Bytes& sectors) {
    Bytes bytes;
    bytes.reserve(size_t{entry.SectorCount} * kTrdosSectorBytes);
    for (unsigned k = 0, at = FirstLinear(entry); k < entry.SectorCount; ++k, ++at) {
        const unsigned track = at / kTrdosSectorsPerTrack, sectorNo = at % kTrdosSectorsPerTrack + 1;
        const TSectorSlot* slot = WholeSector(disk, track, sectorNo);
        if (!slot) return Status::Failure(BadSectorText(track, sectorNo));
        bytes.insert(bytes.end(), slot->Data.data(), slot->Data.data() + kTrdosSectorBytes);
    }
    sectors = std::move(bytes);
    return Status::Ok();
}

size_t TrdosFileBytes(const TrdosFileEntry& entry) {
    const size_t held = size_t{entry.SectorCount} * kTrdosSectorBytes;
    return std::min<size_t>(held, entry.Type == kBasicType ? entry.Start : entry.Length);
}

std::string TrdosFileTitle(const TrdosFileEntry& entry) {
    std::string name = TrdosNameText(entry.Name);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    const std::string type = entry.Type < 32 ? std::string("?") : Cp1251ToUtf8(ByteSpan(&entry.Type, 1));
    return name + "." + type;
}

Status AddTrdosFile(TZX_Disk& disk, const TrdosFileEntry& entry, ByteSpan data, IfFileExists ifExists) {
    SystemArea area;
    if (Status read = area.Read(disk); !read) return read;
    const std::string title = TrdosFileTitle(entry);
    const unsigned sectors = static_cast<unsigned>((data.size() + kTrdosSectorBytes - 1) / kTrdosSectorBytes);
    if (sectors > kMaxFileSectors)
        return Status::Failure(
            Fill(Tr("File %s is too large for TR-DOS: %s bytes, at most %s!"),
                 {title, std::to_string(data.size()), std::to_string(kMaxFileSectors * kTrdosSectorBytes)}));
    const TrdosCatalogue& catalogue = area.Catalogue();
    const unsigned count = catalogue.FileCount;
    if (count >= kTrdosMaxFiles)
        return Status::Failure(Fill(Tr("Catalogue full: the disk holds %s files already!"), {std::to_string(count)}));
    for (unsigned i = 0; i < EntryCount(catalogue); ++i) {
        const TrdosFileEntry& old = catalogue.Entries[i];
        if (old.Deleted() || old.Name != entry.Name || old.Type != entry.Type) continue;
        if (ifExists == IfFileExists::kRefuse)
            return Status::Failure(Fill(Tr("File %s is already on the disk!"), {title}));
        area.Entry(i)[0] = kDeletedMark;
        ++area.Info()[trdos_info::kDeletedCount];
    }
    if (area.FreeSectors() < sectors)
        return Status::Failure(Fill(Tr("Disk full: %s needs %s sectors, %s are free!"),
                                    {title, std::to_string(sectors), std::to_string(area.FreeSectors())}));

    SectorWrites writes;
    const unsigned first = area.FirstFree();
    for (unsigned k = 0; k < sectors; ++k) {
        const size_t at = size_t{k} * kTrdosSectorBytes;
        writes.Put(first + k, data.data() + at, std::min<size_t>(kTrdosSectorBytes, data.size() - at));
    }
    TrdosFileEntry placed = entry;
    placed.SectorCount = static_cast<uint8_t>(sectors);
    placed.FirstTrack = static_cast<uint8_t>(first / kTrdosSectorsPerTrack);
    placed.FirstSector = static_cast<uint8_t>(first % kTrdosSectorsPerTrack);
    placed.Encode(area.Entry(count));
    area.Info()[trdos_info::kFileCount] = static_cast<uint8_t>(count + 1);
    area.SetFirstFree(first + sectors);
    area.SetFreeSectors(area.FreeSectors() - sectors);
    area.PlanWrite(writes);
    return writes.Commit(disk, area.DiskTracks());
}

Status DeleteTrdosFile(TZX_Disk& disk, unsigned index) {
    SystemArea area;
    if (Status read = area.Read(disk); !read) return read;
    const TrdosCatalogue& catalogue = area.Catalogue();
    if (index >= EntryCount(catalogue) || catalogue.Entries[index].Deleted())
        return Status::Failure(Fill(Tr("No file number %s on the disk!"), {std::to_string(index + 1)}));
    area.Entry(index)[0] = kDeletedMark;
    ++area.Info()[trdos_info::kDeletedCount];
    SectorWrites writes;
    area.PlanWrite(writes);
    return writes.Commit(disk, area.DiskTracks());
}

Status CompactTrdosDisk(TZX_Disk& disk) {
    SystemArea area;
    if (Status read = area.Read(disk); !read) return read;
    const TrdosCatalogue& catalogue = area.Catalogue();
    // Every live file is read before any is written: a file moves down over sectors another one held.
    std::vector<std::pair<TrdosFileEntry, Bytes>> live;
    for (unsigned i = 0; i < EntryCount(catalogue); ++i) {
        if (catalogue.Entries[i].Deleted()) continue;
        Bytes sectors;
        if (Status read = ReadTrdosFile(disk, catalogue.Entries[i], sectors); !read) return read;
        live.emplace_back(catalogue.Entries[i], std::move(sectors));
    }
    const unsigned oldFirstFree = area.FirstFree();
    const unsigned diskEnd = oldFirstFree + area.FreeSectors();
    SectorWrites writes;
    unsigned next = kTrdosSectorsPerTrack;
    std::memset(area.Entry(0), 0, kTrdosMaxFiles * kTrdosEntryBytes);
    for (unsigned i = 0; i < live.size(); ++i) {
        auto& [entry, sectors] = live[i];
        entry.FirstTrack = static_cast<uint8_t>(next / kTrdosSectorsPerTrack);
        entry.FirstSector = static_cast<uint8_t>(next % kTrdosSectorsPerTrack);
        entry.Encode(area.Entry(i));
        for (unsigned k = 0; k < entry.SectorCount; ++k)
            writes.Put(next++, &sectors[size_t{k} * kTrdosSectorBytes], kTrdosSectorBytes);
    }
    for (unsigned freed = next; freed < oldFirstFree; ++freed) writes.Put(freed, nullptr, 0);
    area.Info()[trdos_info::kFileCount] = static_cast<uint8_t>(live.size());
    area.Info()[trdos_info::kDeletedCount] = 0;
    area.SetFirstFree(next);
    area.SetFreeSectors(diskEnd > next ? diskEnd - next : 0);
    area.PlanWrite(writes);
    return writes.Commit(disk, area.DiskTracks());
}

}  // namespace tarvex
