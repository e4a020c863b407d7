// DSK: the CPCEMU sector image of the Amstrad CPC and ZX Spectrum +3 world. A 256-byte disk information
// block ("MV - CPC" standard images, where every track block has one size, or "EXTENDED CPC DSK", where
// each has its own) is followed by one block per track, cylinder by cylinder with the sides alternating:
// a 256-byte track information block listing C H R N, the controller's two status bytes and (extended)
// the stored length of every sector, then the sectors' data. Extended images are written.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "io/image_file.h"
#include "formats/writer_losses.h"

namespace tarvex {

namespace {

constexpr size_t kInfoBlockBytes = 256;
constexpr size_t kBlockUnit = 256;  // extended track blocks are a whole number of these
constexpr size_t kLargestExtendedBlock = 255 * kBlockUnit;
constexpr char kStandardSignature[] = "MV - CPC";
constexpr char kExtendedSignature[] = "EXTENDED CPC DSK";
constexpr char kWrittenSignature[] = "EXTENDED CPC DSK File\r\nDisk-Info\r\n";
constexpr char kCreator[] = "Tarvex";
constexpr size_t kCreatorBytes = 14;
constexpr char kTrackSignature[] = "Track-Info\r\n";
constexpr size_t kTrackSignatureChecked = 10;  // "Track-Info"; writers differ in what follows

// Disk information block.
constexpr size_t kCreatorAt = 0x22;
constexpr size_t kCylindersAt = 0x30;
constexpr size_t kSidesAt = 0x31;
constexpr size_t kStandardTrackBytesAt = 0x32;
constexpr size_t kTrackSizeTableAt = 0x34;
constexpr size_t kTrackSizeTableEntries = kInfoBlockBytes - kTrackSizeTableAt;  // 204
constexpr unsigned kMostSides = 2;

// Track information block.
constexpr size_t kTrackCylinderAt = 0x10;
constexpr size_t kTrackSizeCodeAt = 0x14;
constexpr size_t kTrackSectorCountAt = 0x15;
constexpr size_t kSectorListAt = 0x18;
constexpr size_t kSectorEntryBytes = 8;
constexpr unsigned kMostListedSectors = (kInfoBlockBytes - kSectorListAt) / kSectorEntryBytes;  // 29
constexpr uint8_t kWrittenGap3 = 0x4E;
constexpr uint8_t kFillerByte = 0xE5;

// Controller status bytes.
constexpr uint8_t kSt1DataError = 0x20;
constexpr uint8_t kSt1MissingMark = 0x01;
constexpr uint8_t kSt2ControlMark = 0x40;  // the data field carries the deleted-data mark
constexpr uint8_t kSt2DataError = 0x20;
constexpr uint8_t kSt2MissingDataMark = 0x01;

// Size codes past this make no sector a controller reads: no copies of such a size are looked for.
constexpr uint8_t kLargestWeakSizeCode = 7;
constexpr size_t kMostCopies = 255;

const char* const kNotDsk = TrMark("Not a DSK image!");
const char* const kGeometryError = TrMark("DSK image geometry error!");

bool StartsWith(ByteSpan bytes, const char* text) {
    const size_t n = std::strlen(text);
    return bytes.size() >= n && std::memcmp(bytes.data(), text, n) == 0;
}

std::string TrackName(unsigned cylinder, unsigned side) {
    return Fill(Tr("Track %s (cylinder %s, side %s)"),
                {std::to_string(cylinder * 2 + side), std::to_string(cylinder), std::to_string(side)});
}

size_t NominalBytes(uint8_t sizeCode) { return size_t{128} << std::min(sizeCode, kLargestWeakSizeCode); }

// A weak sector is stored as several reads of it one after another, each of the size code's length: how
// many; 1 for any other data.
size_t StoredCopies(size_t stored, uint8_t sizeCode) {
    if (sizeCode > kLargestWeakSizeCode) return 1;
    const size_t nominal = NominalBytes(sizeCode);
    if (stored >= 2 * nominal && stored % nominal == 0 && stored / nominal <= kMostCopies) return stored / nominal;
    return 1;
}

// Where one track block is read into: its place on the disk and what it says about itself.
struct TrackBlock {
    unsigned cylinder = 0;
    unsigned side = 0;
    ByteSpan bytes;
    bool extended = false;
};

class DskTrackReader {
public:
    DskTrackReader(TZX_Disk& disk, const TrackBlock& block) : disk_(disk), block_(block) {}

    // False with the reason in the disk's StatusMessage.
    bool Read() {
        const ByteSpan info = block_.bytes.first(std::min(block_.bytes.size(), kInfoBlockBytes));
        if (info.size() < kInfoBlockBytes || std::memcmp(info.data(), kTrackSignature, kTrackSignatureChecked) != 0)
            return Fail(TrMark("%s of the DSK image has no track information block!"));
        const unsigned count = info[kTrackSectorCountAt];
        static_assert(kMostListedSectors <= kMaxSectors);
        if (count > kMostListedSectors)
            return Fail(TrMark("%s of the DSK image lists %s sectors, more than the %s its information block holds!"),
                        std::to_string(count), std::to_string(kMostListedSectors));
        TTrack& track = *disk_.Track(block_.cylinder * 2 + block_.side);
        track.Used = kFlagSet;
        size_t dataAt = kInfoBlockBytes;
        for (unsigned k = 0; k < count; ++k) {
            const uint8_t* entry = &info[kSectorListAt + k * kSectorEntryBytes];
            const size_t stored = block_.extended ? size_t(entry[6] | (entry[7] << 8))
                                                  : NominalBytes(info[kTrackSizeCodeAt]);
            if (stored > block_.bytes.size() - dataAt)
                return Fail(TrMark("%s of the DSK image: the data of its sectors runs past its block!"));
            if (!ReadSector(*track.Sector(k), entry, block_.bytes.subspan(dataAt, stored))) return false;
            dataAt += stored;
        }
        return true;
    }

private:
    bool ReadSector(TSectorSlot& slot, const uint8_t* entry, ByteSpan stored) {
        slot.Used = kFlagSet;
        slot.Cylinder = entry[0];
        slot.Head = entry[1];
        slot.SectorNo = entry[2];
        slot.SizeCode = entry[3];
        const uint8_t st1 = entry[4], st2 = entry[5];
        slot.DataCrcOk = ((st1 & kSt1DataError) || (st2 & kSt2DataError)) ? 0 : kFlagSet;
        if (stored.empty() || (st2 & kSt2MissingDataMark)) return true;  // an ID without a data field
        slot.DeletedData = (st2 & kSt2ControlMark) ? kFlagSet : 0;
        const size_t copies = block_.extended ? StoredCopies(stored.size(), slot.SizeCode) : 1;
        slot.Copies = static_cast<uint8_t>(copies > 1 ? copies : 0);
        slot.DataLength = static_cast<uint16_t>(stored.size() / copies);
        std::copy(stored.begin(), stored.end(), disk_.ReserveData(slot, stored.size(), false));
        return true;
    }

    // The pattern's first %s is the track, the others the values.
    bool Fail(const char* pattern, const std::string& a = {}, const std::string& b = {}, const std::string& c = {}) {
        disk_.StatusMessage = Fill(Tr(pattern), {TrackName(block_.cylinder, block_.side), a, b, c});
        return false;
    }

    TZX_Disk& disk_;
    const TrackBlock& block_;
};

// ---- writing ----------------------------------------------------------------------------------

unsigned UsedTrackSpan(TZX_Disk& disk) {
    for (unsigned k = kMaxTracks; k > 0; --k)
        if (disk.Track(k - 1)->Used) return k;
    return 0;
}

bool AnySecondSide(TZX_Disk& disk) {
    for (unsigned k = 1; k < kMaxTracks; k += 2)
        if (disk.Track(k)->Used) return true;
    return false;
}

struct SectorEntry {
    uint8_t st1 = 0;
    uint8_t st2 = 0;
    size_t stored = 0;
};

// The CRC state is kept for an ID without data too (a TeleDisk record can carry both).
SectorEntry EntryOf(const TSectorSlot& slot) {
    SectorEntry e;
    if (!slot.DataCrcOk) {
        e.st1 = kSt1DataError;
        e.st2 = kSt2DataError;
    }
    if (slot.DataLength == 0) {
        e.st1 |= kSt1MissingMark;
        e.st2 |= kSt2MissingDataMark;
        return e;
    }
    if (slot.DeletedData) e.st2 |= kSt2ControlMark;
    e.stored = size_t{slot.DataLength} * slot.CopyCount();
    return e;
}

// Data of two or more whole sizes of its size code, not a weak sector's reads, would be read back as them.
bool LooksLikeCopies(const TSectorSlot& slot) {
    return slot.CopyCount() == 1 && StoredCopies(slot.DataLength, slot.SizeCode) > 1;
}

// What a DSK image keeps beyond IDs and data: the deleted-data mark and CRC errors in the status bytes, IDs
// without data, and a weak sector's reads one after another; not ID CRC errors, data fields without an ID,
// the data rate or a comment.
constexpr KeptFeatures kDskKeeps{
    .deletedMarks = true, .dataCrcErrors = true, .idsWithoutData = true, .weakCopies = true};

class DskTrackWriter {
public:
    // tableIndex: the track's entry in the disk information block's size table.
    DskTrackWriter(TZX_Disk& disk, unsigned cylinder, unsigned side, size_t tableIndex)
        : disk_(disk), cylinder_(cylinder), side_(side), tableIndex_(tableIndex),
          track_(*disk.Track(cylinder * 2 + side)) {}

    // Appends the track block to the image; false with the reason in the disk's StatusMessage.
    bool Append(Bytes& image) {
        // A data field without an ID has no place in the sector list: it is left out (a loss said so).
        std::vector<const TSectorSlot*> sectors;
        for (const TSectorSlot& slot : track_.Sectors)
            if (slot.Used && !slot.IdMissing) sectors.push_back(&slot);
        const unsigned count = static_cast<unsigned>(sectors.size());
        if (count > kMostListedSectors)
            return Fail(TrMark("%s holds %s sectors, more than the %s a DSK track lists!"), std::to_string(count),
                        std::to_string(kMostListedSectors));
        Bytes block(kInfoBlockBytes, 0);
        std::memcpy(block.data(), kTrackSignature, std::strlen(kTrackSignature));
        block[kTrackCylinderAt] = static_cast<uint8_t>(cylinder_);
        block[kTrackCylinderAt + 1] = static_cast<uint8_t>(side_);
        block[kTrackSizeCodeAt] = count ? sectors[0]->SizeCode : 0;
        block[kTrackSectorCountAt] = static_cast<uint8_t>(count);
        block[kTrackSectorCountAt + 1] = kWrittenGap3;
        block[kTrackSectorCountAt + 2] = kFillerByte;
        for (unsigned k = 0; k < count; ++k) {
            const TSectorSlot& slot = *sectors[k];
            if (LooksLikeCopies(slot))
                return Fail(TrMark("%s: sector %s holds %s bytes, whole multiples of its size, which a DSK image "
                                   "keeps for a weak sector!"),
                            std::to_string(slot.SectorNo), std::to_string(slot.DataLength));
            const SectorEntry e = EntryOf(slot);
            uint8_t* entry = &block[kSectorListAt + k * kSectorEntryBytes];
            const uint8_t fields[kSectorEntryBytes] = {slot.Cylinder, slot.Head, slot.SectorNo, slot.SizeCode,
                                                       e.st1, e.st2, static_cast<uint8_t>(e.stored),
                                                       static_cast<uint8_t>(e.stored >> 8)};
            std::memcpy(entry, fields, kSectorEntryBytes);
            const size_t held = std::min(e.stored, slot.Data.size());
            block.insert(block.end(), slot.Data.begin(), slot.Data.begin() + held);
            block.resize(block.size() + (e.stored - held), 0);
        }
        block.resize((block.size() + kBlockUnit - 1) / kBlockUnit * kBlockUnit, 0);
        if (block.size() > kLargestExtendedBlock) return Fail(TrMark("%s holds more data than a DSK track block can!"));
        image[kTrackSizeTableAt + tableIndex_] = static_cast<uint8_t>(block.size() / kBlockUnit);
        image.insert(image.end(), block.begin(), block.end());
        return true;
    }

private:
    // The pattern's first %s is the track, the others the values.
    bool Fail(const char* pattern, const std::string& a = {}, const std::string& b = {}) {
        disk_.StatusMessage = Fill(Tr(pattern), {TrackName(cylinder_, side_), a, b});
        return false;
    }

    TZX_Disk& disk_;
    unsigned cylinder_;
    unsigned side_;
    size_t tableIndex_;
    TTrack& track_;
};

}  // namespace

bool TZX_Disk::LoadDSK(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseDSK); }
bool TZX_Disk::SaveDSK(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildDSK); }

bool TZX_Disk::ParseDSK(ByteSpan bytes) {
    Clear();
    const bool extended = StartsWith(bytes, kExtendedSignature);
    if (!extended && !StartsWith(bytes, kStandardSignature)) {
        StatusMessage = Tr(kNotDsk);
        return false;
    }
    ByteReader in(bytes);
    const ByteSpan info = in.Take(kInfoBlockBytes);
    const unsigned cylinders = info[kCylindersAt];
    const unsigned sides = info[kSidesAt];
    const size_t standardBlockBytes = info[kStandardTrackBytesAt] | (info[kStandardTrackBytesAt + 1] << 8);
    if (sides > kMostSides || (extended && cylinders * sides > kTrackSizeTableEntries)) {
        StatusMessage = Tr(kGeometryError);
        return false;
    }
    // A track's place comes from its block's place in the file, whatever its information block says.
    for (unsigned c = 0; c < cylinders; ++c) {
        for (unsigned s = 0; s < sides; ++s) {
            const size_t blockBytes =
                extended ? info[kTrackSizeTableAt + c * sides + s] * kBlockUnit : standardBlockBytes;
            if (blockBytes == 0) continue;  // not formatted: no block
            if (c * 2 + s >= kMaxTracks) {
                StatusMessage = Fill(Tr("%s of the DSK image lies beyond the %s cylinders a disk holds here!"),
                                     {TrackName(c, s), std::to_string(kMaxTracks / 2)});
                return false;
            }
            const TrackBlock block{c, s, in.Take(blockBytes), extended};
            if (!DskTrackReader(*this, block).Read()) return false;
        }
    }
    return true;  // blocks after the last track (such as offset tables) are not part of the disk
}

bool TZX_Disk::BuildDSK(Bytes& out) {
    WriteLosses.Clear();
    NoteFeatureLosses(*this, kDskKeeps, WriteLosses);
    CountTracks();
    const unsigned span = UsedTrackSpan(*this);
    const unsigned sides = AnySecondSide(*this) ? 2 : 1;
    const unsigned cylinders = (span + 1) / 2;
    Bytes image(kInfoBlockBytes, 0);
    std::memcpy(image.data(), kWrittenSignature, std::strlen(kWrittenSignature));
    std::memcpy(&image[kCreatorAt], kCreator, std::min(std::strlen(kCreator), kCreatorBytes));
    if (cylinders * sides > kTrackSizeTableEntries) {
        StatusMessage = Fill(Tr("The disk has %s cylinders on %s sides, more tracks than the %s a DSK image lists!"),
                             {std::to_string(cylinders), std::to_string(sides), std::to_string(kTrackSizeTableEntries)});
        return false;
    }
    image[kCylindersAt] = static_cast<uint8_t>(cylinders);
    image[kSidesAt] = static_cast<uint8_t>(sides);
    for (unsigned c = 0; c < cylinders; ++c) {
        for (unsigned s = 0; s < sides; ++s) {
            if (!Track(c * 2 + s)->Used) continue;  // not formatted: size 0, no block
            if (!DskTrackWriter(*this, c, s, c * sides + s).Append(image)) return false;
        }
    }
    out = std::move(image);
    return true;
}

}  // namespace tarvex
