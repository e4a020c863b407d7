// FDI: a sector image of ZX Spectrum emulators with a header per track and per sector, so it keeps any
// sector numbering, any sector size and the CRC state of every sector, plus a short description text.
// A 14-byte file header is followed by the track headers (cylinder by cylinder, heads fastest), the
// description and the data area; every track and sector header points at its data by an offset into that area.
#include <algorithm>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "io/image_file.h"
#include "io/text_1251.h"

namespace tarvex {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kTrackHeaderBytes = 7;
constexpr size_t kDescriptionOffsetAt = 8;
constexpr unsigned kMaxHeads = 2;
constexpr size_t kDescriptionChars = 63;
constexpr uint8_t kCrcStateMask = 0x3F;  // bits 0-5: the sector's data was read without a CRC error
constexpr uint32_t kLargestSectorOffset = 0xFFFF;  // sector offsets within a track are 16 bits wide
// Size code 8 names 32 KB, more than a whole track holds; larger codes are not sectors of a real disk.
// A header with such a code and no good-data bit is an ID field alone (as sector images keep the IDs a
// controller finds without a readable data field) and takes no bytes of the data area.
constexpr uint8_t kLargestSizeCode = 8;

// A sector's flags hold its CRC state and nothing else this program can vouch for (docs/formats/fdi.md):
// a deleted-data mark has no place. An ID without data is kept as an ID-only header only for size codes
// past 8; one of a smaller code is written as a sector of zeros with a CRC error.
constexpr KeptFeatures kFdiKeeps{.dataCrcErrors = true, .idsWithoutData = true, .comment = true};

const char* const kReadError = TrMark("FDI file read error!");
const char* const kNotFdi = TrMark("Not an FDI file!");
const char* const kSizeError = TrMark("FDI file size error!");
const char* const kGeometryError = TrMark("FDI image geometry error!");

size_t NominalBytes(uint8_t sizeCode) { return size_t{128} << sizeCode; }

// The description text, up to its 0 byte and no further than the data area, as comment lines: split at
// CR LF (or a lone LF), empty lines at the end left out. Its bytes are taken as Windows-1251, as the
// writer writes them, so a text in any code page comes back byte for byte when written again.
void ReadDescription(ByteSpan file, size_t offset, size_t end, std::vector<std::string>& comment) {
    if (offset < kFileHeaderBytes || offset >= end) return;
    const ByteSpan area = file.subspan(offset, end - offset);
    const ByteSpan text = area.first(static_cast<size_t>(std::find(area.begin(), area.end(), 0) - area.begin()));
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n') continue;
        size_t stop = i;
        if (stop > start && text[stop - 1] == '\r') --stop;
        comment.push_back(Cp1251ToUtf8(text.subspan(start, stop - start)));
        start = i + 1;
    }
    while (!comment.empty() && comment.back().empty()) comment.pop_back();
}

bool IsIdOnlyHeader(uint8_t sizeCode, uint8_t flags) { return sizeCode > kLargestSizeCode && !(flags & kCrcStateMask); }
bool IsIdOnlySlot(const TSectorSlot& slot) { return slot.SizeCode > kLargestSizeCode && slot.DataLength == 0; }

uint8_t AsciiUpper(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c; }

bool HasSignature(ByteSpan signature) {
    return AsciiUpper(signature[0]) == 'F' && AsciiUpper(signature[1]) == 'D' && AsciiUpper(signature[2]) == 'I';
}

// A sector read without error carries the bit of its size code; one with a CRC error carries none.
uint8_t SectorFlags(const TSectorSlot& slot) {
    if (!slot.DataCrcOk) return 0;
    return slot.SizeCode <= 4 ? static_cast<uint8_t>(1u << slot.SizeCode) : uint8_t{0x01};
}

// The comment lines, each ended by CR LF, in Windows-1251 and cut to what the header text may hold; the
// lines the cut shortens or leaves out are counted as losses.
std::string DescriptionText(const std::vector<std::string>& comment, LossReport& losses) {
    std::string text;
    unsigned whole = 0;
    for (const std::string& line : comment) {
        text += Utf8ToCp1251(line) + "\r\n";
        if (text.size() <= kDescriptionChars) ++whole;
    }
    if (text.size() > kDescriptionChars) text.resize(kDescriptionChars);
    if (whole < comment.size())
        losses.Add(LossKind::kComment, -1, static_cast<unsigned>(comment.size() - whole));
    return text;
}

void PatchU16(Bytes& out, size_t at, size_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

// The sector's data: as much as the slot holds, the rest of its nominal size zeros.
void AppendSectorData(Bytes& data, const TSectorSlot& slot) {
    const size_t nominal = NominalBytes(slot.SizeCode);
    const size_t kept = std::min<size_t>(nominal, slot.HeldBytes());
    data.insert(data.end(), slot.Data.begin(), slot.Data.begin() + kept);
    data.resize(data.size() + (nominal - kept), 0);
}

void PutSectorHeader(Bytes& image, const TSectorSlot& slot, uint8_t flags, size_t offset) {
    PutU8(image, slot.Cylinder);
    PutU8(image, slot.Head);
    PutU8(image, slot.SectorNo);
    PutU8(image, slot.SizeCode);
    PutU8(image, flags);
    PutU16(image, static_cast<uint16_t>(offset));
}


}  // namespace

bool TZX_Disk::LoadFDI(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseFDI); }
bool TZX_Disk::SaveFDI(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildFDI); }

bool TZX_Disk::ParseFDI(ByteSpan bytes) {
    Clear();
    if (bytes.empty()) {
        StatusMessage = Tr(kReadError);
        return false;
    }
    ByteReader in(bytes);
    if (!HasSignature(in.Take(3))) {
        StatusMessage = Tr(kNotFdi);
        return false;
    }
    in.U8();  // write protection: not kept
    const unsigned cylinders = in.U16();
    const unsigned heads = in.U16();
    const size_t descriptionOffset = in.U16();
    const uint64_t dataArea = in.U16();
    const unsigned extraBytes = in.U16();
    const uint64_t fileBytes = bytes.size();
    if (fileBytes < uint64_t{cylinders} * heads * kTrackHeaderBytes + extraBytes + kFileHeaderBytes) {
        StatusMessage = Tr(kSizeError);
        return false;
    }
    if (cylinders > kMaxCylinders || heads > kMaxHeads) {
        StatusMessage = Tr(kGeometryError);
        return false;
    }

    in.Seek(kFileHeaderBytes + extraBytes);
    for (unsigned c = 0; c < cylinders; ++c) {
        for (unsigned h = 0; h < heads; ++h) {
            const uint64_t trackData = dataArea + in.U32();
            in.U16();  // reserved
            const unsigned sectors = in.U8();
            // More sector headers than a track has slots would lose sectors: refused, not clipped.
            if (trackData > fileBytes || sectors > kMaxSectors) {
                StatusMessage = Tr(kSizeError);
                return false;
            }
            TTrack& track = *Track(c * 2 + h);
            track.Used = kFlagSet;
            for (unsigned k = 0; k < sectors; ++k) {
                TSectorSlot& slot = *track.Sector(k);
                slot.Used = kFlagSet;
                slot.Cylinder = in.U8();
                slot.Head = in.U8();
                slot.SectorNo = in.U8();
                slot.SizeCode = in.U8();
                const uint8_t flags = in.U8();
                slot.DataCrcOk = (flags & kCrcStateMask) ? kFlagSet : 0;
                const uint64_t sectorData = trackData + in.U16();
                if (IsIdOnlyHeader(slot.SizeCode, flags)) continue;
                if (slot.SizeCode > kLargestSizeCode || sectorData > fileBytes) {
                    StatusMessage = Tr(kSizeError);
                    return false;
                }
                ByteReader data(bytes);
                data.Seek(static_cast<size_t>(sectorData));
                const ByteSpan contents = data.Take(NominalBytes(slot.SizeCode));
                const size_t kept = std::min<size_t>(contents.size(), kMaxStoredSectorBytes);
                // A sector larger than a slot is kept only when what does not fit is all zeros, so
                // nothing of the disk is lost; writing it back restores those zeros.
                if (std::any_of(contents.begin() + kept, contents.end(), [](uint8_t b) { return b != 0; })) {
                    StatusMessage = Tr(kSizeError);
                    return false;
                }
                std::copy_n(contents.begin(), kept, ReserveData(slot, kept, false));
                slot.DataLength = static_cast<uint16_t>(kept);
            }
        }
    }

    ReadDescription(bytes, descriptionOffset, static_cast<size_t>(std::min<uint64_t>(dataArea, fileBytes)), Comment);

    // A disk of an odd number of tracks is written with an empty second side on its last cylinder;
    // that padding is not a track of the disk.
    if (heads == kMaxHeads && cylinders > 0) {
        TTrack& lastSideZero = *Track((cylinders - 1) * 2);
        TTrack& lastSideOne = *Track((cylinders - 1) * 2 + 1);
        if (lastSideOne.CountSectors() == 0 && lastSideZero.CountSectors() > 0) lastSideOne.Used = 0;
    }
    return true;
}

bool TZX_Disk::BuildFDI(Bytes& out) {
    CountTracks();
    WriteLosses.Clear();
    NoteFeatureLosses(*this, kFdiKeeps, WriteLosses);
    // Cylinders up to the last used track, so that a disk with unused tracks between used ones
    // (a one-sided disk on the even tracks) keeps all of them.
    unsigned trackSpan = 0;
    const TZX_Disk& disk = *this;
    for (unsigned k = 0; k < kMaxTracks; ++k)
        if (disk.Track(k)->Used) trackSpan = k + 1;
    const unsigned cylinders = (trackSpan + 1) / 2;

    Bytes image;
    image.insert(image.end(), {'F', 'D', 'I', 0});
    PutU16(image, static_cast<uint16_t>(cylinders));
    PutU16(image, kMaxHeads);
    PutU16(image, 0);  // description offset, patched below
    PutU16(image, 0);  // data offset, patched below
    PutU16(image, 0);  // no extra header data

    Bytes data;
    for (unsigned k = 0; k < cylinders * kMaxHeads; ++k) {
        const TTrack& track = *disk.Track(k);
        std::vector<const TSectorSlot*> sectors;
        if (track.Used)
            for (const TSectorSlot& slot : track.Sectors)
                if (slot.Used) sectors.push_back(&slot);
        PutU32(image, static_cast<uint32_t>(data.size()));
        PutU16(image, 0);
        PutU8(image, static_cast<uint8_t>(sectors.size()));
        size_t offset = 0;
        for (const TSectorSlot* slot : sectors) {
            if (IsIdOnlySlot(*slot)) {
                PutSectorHeader(image, *slot, 0, offset);
                continue;
            }
            if (slot->DataLength == 0 && !slot->IdMissing) WriteLosses.Add(LossKind::kIdsWithoutData, k);
            if (slot->SizeCode > kLargestSizeCode) {
                // Its nominal size is beyond what a track's offsets reach: the ID is kept, its data is not.
                PutSectorHeader(image, *slot, 0, offset);
                WriteLosses.Add(LossKind::kSectorBytes, k, slot->HeldBytes());
                continue;
            }
            if (offset > kLargestSectorOffset) {
                StatusMessage =
                    Fill(Tr("Track %s holds more data than an FDI image can address!"), {std::to_string(k)});
                return false;
            }
            PutSectorHeader(image, *slot, SectorFlags(*slot), offset);
            AppendSectorData(data, *slot);
            offset += NominalBytes(slot->SizeCode);
        }
    }

    const size_t descriptionOffset = image.size();
    const std::string text = DescriptionText(Comment, WriteLosses);
    image.insert(image.end(), text.begin(), text.end());
    PutU8(image, 0);
    const size_t dataOffset = image.size();
    image.insert(image.end(), data.begin(), data.end());
    PatchU16(image, kDescriptionOffsetAt, descriptionOffset);
    PatchU16(image, kDescriptionOffsetAt + 2, dataOffset);
    out = std::move(image);
    return true;
}

}  // namespace tarvex
