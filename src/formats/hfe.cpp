// HFE: the bitstream image of the HxC floppy emulator, a device that stands in for a drive and plays the
// image to the machine. A 512-byte header ("HXCPICFE", or "HXCHFEV3" for the revision whose streams may
// carry opcodes), a list of cylinders, and per cylinder the MFM cells of both sides, interleaved in
// 512-byte blocks of 256 bytes a side. Reading decodes every side into a raw track and finds its sectors
// as for UDI, keeping the raw track; writing lays out every track as a full rotation at 250 kbit/s, from
// the raw track the disk keeps or from the IBM layout of its sectors.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "tracks/mfm_cells.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

constexpr char kSignatureV1[8] = {'H', 'X', 'C', 'P', 'I', 'C', 'F', 'E'};
constexpr char kSignatureV3[8] = {'H', 'X', 'C', 'H', 'F', 'E', 'V', '3'};
constexpr size_t kSignatureBytes = 8;
constexpr size_t kBlockBytes = 512;
constexpr size_t kSideBytesPerBlock = 256;
constexpr size_t kTrackListEntryBytes = 4;
constexpr unsigned kMaxCylinderBytes = 0xFFFF;  // the track list's 16-bit length of both sides

// What the writer declares: ISO/IBM MFM at 250 kbit/s and 300 rpm, generic Shugart drive, writable,
// single step, no other encoding on track 0.
constexpr uint8_t kIsoIbmMfm = 0;
constexpr uint16_t kDoubleDensityKbps = 250;
constexpr uint16_t kRpm = 300;
constexpr uint8_t kGenericShugartDd = 7;
constexpr uint8_t kYes = 0xFF;
constexpr uint8_t kHeaderFiller = 0xFF;

// A double-density rotation: 100,000 cells at 250 kbit/s and 300 rpm, 6250 raw bytes; at another rate a
// rotation holds rate x 25 bytes. A raw track is written at whatever length it has (real disks and images
// hold over-long tracks), up to what a cylinder's 16-bit list entry can count for two sides.
constexpr size_t kRotationBytesPerKbps = 25;
constexpr size_t kLongestRawTrack = kMaxCylinderBytes / (2 * kCellsPerByte / 8);
static_assert(2 * kLongestRawTrack * kCellsPerByte / 8 <= kMaxCylinderBytes, "a cylinder's length fits its list entry");

// Opcodes of revision-3 streams: a byte whose four low bits are all 1; the high four bits say which.
constexpr uint8_t kOpcodeMask = 0x0F;
constexpr uint8_t kNoOp = 0x0;
constexpr uint8_t kIndexPosition = 0x8;
constexpr uint8_t kBitRateChange = 0x4;
constexpr uint8_t kSkipCells = 0xC;
constexpr uint8_t kRandomCells = 0x2;

// What an HFE track keeps: every mark of its raw bytes, and the image's one data rate (counted apart); not a
// data field without an ID that is no raw track's, the other reads of a weak sector, nor a comment.
constexpr KeptFeatures kHfeKeeps{
    .deletedMarks = true, .dataCrcErrors = true, .idCrcErrors = true, .idsWithoutData = true, .dataRate = true};

const char* const kCannotCreate = TrMark("Cannot create HFE image!");

std::string TrackName(unsigned k) {
    return Fill(Tr("track %s (cylinder %s, side %s)"),
                {std::to_string(k), std::to_string(k / 2), std::to_string(k % 2)});
}

// ---- reading ----------------------------------------------------------------------------------

struct HfeHeader {
    bool opcodes = false;  // revision 3
    unsigned cylinders = 0;
    unsigned sides = 0;
    uint16_t kbps = 0;  // the data rate the image declares; 0 when it is no plausible one
    size_t trackListAt = 0;
};

struct CylinderEntry {
    size_t at = 0;
    size_t sideBytes = 0;
};

// A side's stream, taken out of the cylinder's interleaved blocks.
Bytes SideStream(ByteReader& in, const CylinderEntry& cylinder, unsigned side) {
    Bytes stream(cylinder.sideBytes);
    for (size_t done = 0; done < stream.size(); done += kSideBytesPerBlock) {
        const size_t n = std::min(kSideBytesPerBlock, stream.size() - done);
        in.Seek(cylinder.at + (done / kSideBytesPerBlock) * kBlockBytes + side * kSideBytesPerBlock);
        in.Read(stream.data() + done, n);
    }
    return stream;
}

// The cells of a revision-3 stream, its opcodes carried out; "" or why the stream cannot be read.
std::string StreamCells(ByteSpan stream, PackedCells& cells) {
    cells.Clear();
    cells.bytes.reserve(stream.size());
    for (size_t i = 0; i < stream.size(); ++i) {
        const uint8_t b = stream[i];
        if ((b & kOpcodeMask) != kOpcodeMask) {
            cells.Append(b, 8);
            continue;
        }
        switch (b >> 4) {
            case kNoOp:
            case kIndexPosition: break;
            case kBitRateChange: ++i; break;  // cells stay cells whatever their length in time
            case kSkipCells: {
                // A count, then a byte of which only that many cells count.
                const unsigned count = i + 1 < stream.size() ? stream[i + 1] : 0u;
                if (count < 1 || count > 7 || i + 2 >= stream.size()) return Tr("a cut cell-skipping opcode");
                cells.Append(stream[i + 2], count);
                i += 2;
                break;
            }
            case kRandomCells: return Tr("weak (random) cells, which cannot be read");
            default: return Tr("an unknown opcode");
        }
    }
    return "";
}

// Why the sectors the scan found cannot be held by the model; "" when they can.
std::string SectorsBeyondModel(unsigned found) {
    if (found > kMaxSectors)
        return Fill(Tr("holds %s sectors, more than the %s a track holds"),
                    {std::to_string(found), std::to_string(kMaxSectors)});
    return "";
}

// "" with the header read, or why the bytes are no HFE image.
std::string ReadHeader(ByteReader& in, HfeHeader& header) {
    if (in.Size() < kSignatureBytes) return Tr("No HFE format!");
    const ByteSpan signature = in.Take(kSignatureBytes);
    header.opcodes = std::memcmp(signature.data(), kSignatureV3, kSignatureBytes) == 0;
    if (!header.opcodes && std::memcmp(signature.data(), kSignatureV1, kSignatureBytes) != 0)
        return Tr("No HFE format!");
    in.U8();  // format revision
    header.cylinders = in.U8();
    header.sides = in.U8();
    in.Skip(1);  // encoding: every track is tried as MFM
    const uint16_t kbps = in.U16();
    header.kbps = kbps >= 100 && kbps <= 1000 ? kbps : 0;
    in.Skip(2 + 1 + 1);  // rpm, interface, unused
    header.trackListAt = size_t{in.U16()} * kBlockBytes;
    if (header.cylinders == 0 || header.sides < 1 || header.sides > 2) return Tr("Error HFE format!");
    return "";
}

std::vector<CylinderEntry> ReadTrackList(ByteReader& in, const HfeHeader& header) {
    std::vector<CylinderEntry> list(header.cylinders);
    in.Seek(header.trackListAt);
    for (CylinderEntry& entry : list) {
        entry.at = size_t{in.U16()} * kBlockBytes;
        entry.sideBytes = in.U16() / 2;
    }
    return list;
}

// Reads the sides of an image one by one into the disk, and keeps what is worth a note: tracks without MFM,
// and cylinders past the disk's tracks that hold no sectors.
class SideReader {
public:
    SideReader(TZX_Disk& disk, bool opcodes, uint16_t kbps) : disk_(disk), opcodes_(opcodes), kbps_(kbps) {}

    // "" when the side was read or left out; otherwise why the image is refused.
    std::string Read(unsigned k, ByteSpan stream) {
        bool mfm = false;
        if (opcodes_) {
            if (std::string why = StreamCells(stream, cells_); !why.empty()) return Fill(Tr("holds %s"), {why});
            mfm = DecodeMfmCells(cells_.bytes, cells_.count, raw_);
        } else {
            mfm = DecodeMfmCells(stream, stream.size() * 8, raw_);
        }
        if (mfm && raw_.bytes.size() > kRawTrackBytes)
            return Fill(Tr("holds %s raw bytes, more than the %s a track holds"),
                        {std::to_string(raw_.bytes.size()), std::to_string(kRawTrackBytes)});
        TTrack* track = disk_.Track(k);
        if (!track) return LeaveOut(k, mfm);
        track->Used = kFlagSet;
        if (!mfm) {
            notMfm_.push_back(k);
            return "";
        }
        track->RateKbps = kbps_;
        track->Encoding = TrackEncoding::kMfm;
        std::copy(raw_.bytes.begin(), raw_.bytes.end(), disk_.ReserveRaw(*track, raw_.bytes.size(), true, false));
        std::copy_n(raw_.marks.begin(), track->RawMarks.size(), track->RawMarks.begin());
        track->RawLength = static_cast<uint16_t>(raw_.bytes.size());
        track->RawValid = 1;
        return SectorsBeyondModel(ScanRawTrack(disk_, *track, raw_.bytes, raw_.marks));
    }

    std::string Note() const {
        std::string note;
        if (!notMfm_.empty()) {
            note = Tr("tracks without MFM data, read as empty:");
            for (unsigned k : notMfm_) note += " " + std::to_string(k);
        }
        if (!leftOut_.empty()) {
            if (!note.empty()) note += "; ";
            note += Fill(Tr("%s cylinders past the disk's %s hold no sectors and are left out"),
                         {std::to_string(leftOut_.size()), std::to_string(kMaxTracks / 2)});
        }
        return note;
    }

private:
    // A track past the model's: refused when it holds sectors, left out when it holds none.
    std::string LeaveOut(unsigned k, bool mfm) {
        if (!spare_) spare_ = std::make_unique<TZX_Disk>();
        spare_->Clear();
        if (mfm && ScanRawTrack(*spare_, *spare_->Track(0), raw_.bytes, raw_.marks) > 0)
            return Fill(Tr("lies past the %s tracks a disk holds"), {std::to_string(kMaxTracks)});
        leftOut_.insert(k / 2);
        return "";
    }

    TZX_Disk& disk_;
    bool opcodes_;
    uint16_t kbps_;
    PackedCells cells_;
    MarkedTrack raw_;
    std::unique_ptr<TZX_Disk> spare_;  // scans the tracks past the model's, made when the first comes
    std::vector<unsigned> notMfm_;
    std::set<unsigned> leftOut_;
};

}  // namespace

bool TZX_Disk::LoadHFE(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseHFE); }
bool TZX_Disk::SaveHFE(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildHFE); }

bool TZX_Disk::ParseHFE(ByteSpan bytes) {
    Clear();
    ByteReader in(bytes);
    HfeHeader header;
    if (std::string why = ReadHeader(in, header); !why.empty()) {
        StatusMessage = why;
        return false;
    }
    const std::vector<CylinderEntry> list = ReadTrackList(in, header);
    auto reader = std::make_unique<SideReader>(*this, header.opcodes, header.kbps);
    for (unsigned c = 0; c < header.cylinders; ++c) {
        for (unsigned side = 0; side < header.sides; ++side) {
            const unsigned k = 2 * c + side;
            if (std::string why = reader->Read(k, SideStream(in, list[c], side)); !why.empty()) {
                StatusMessage = Fill(Tr("HFE image: %s %s!"), {TrackName(k), why});
                return false;
            }
        }
    }
    if (std::string note = reader->Note(); !note.empty()) StatusMessage = note;
    return true;
}

// ---- writing ----------------------------------------------------------------------------------

namespace {

// The last byte that is more than unmarked gap filler, plus one.
size_t ContentEnd(const MarkedTrack& track) {
    for (size_t i = track.bytes.size(); i > 0; --i)
        if (track.bytes[i - 1] != kGapByte || track.Marked(i - 1)) return i;
    return 0;
}

// One side as at least a full rotation of raw bytes and sync marks: the raw track the disk keeps, or the
// IBM layout of the track's sectors with the gap after them cut back to a rotation. False with the reason
// in the disk's StatusMessage.
bool SideTrack(TZX_Disk& disk, unsigned k, size_t rotationBytes, MarkedTrack& side) {
    TTrack& track = *disk.Track(k);
    side.Clear();
    if (track.RawValid && track.RawLength > 0) {
        if (track.RawLength > kLongestRawTrack) {
            disk.StatusMessage =
                Fill(Tr("Cannot create HFE image: %s holds %s raw bytes, more than an HFE track holds (%s)!"),
                     {TrackName(k), std::to_string(track.RawLength), std::to_string(kLongestRawTrack)});
            return false;
        }
        const ByteSpan raw(track.RawData.data(), track.RawLength);
        side.bytes.assign(raw.begin(), raw.end());
        side.marks = FindSyncMarks(raw);
    } else {
        side.bytes.resize(kUdiTrackBytes);
        side.marks.resize(kUdiMarkBytes);
        if (disk.BuildRawTrack(static_cast<uint8_t>(k), side.bytes.data(), side.marks.data())) {
            const size_t end = std::max(ContentEnd(side), std::min(rotationBytes, kUdiTrackBytes));
            side.bytes.resize(end);
            side.marks.resize((end + 7) / 8);
        } else if (!BuildLongRawTrack(track, side.bytes, side.marks, disk.WriteLosses, kLongestRawTrack)) {
            // Sectors that fit no rotation are laid out at the length they need (a high-density track, say),
            // the largest written as their ID alone when they do not fit an HFE track.
            disk.StatusMessage = Fill(Tr("Cannot create HFE image: %s holds sectors no track can be laid out with!"),
                                      {TrackName(k)});
            return false;
        }
    }
    side.PadTo(rotationBytes, kGapByte);
    return true;
}

void PutU16At(Bytes& image, size_t at, uint16_t v) {
    image[at] = static_cast<uint8_t>(v);
    image[at + 1] = static_cast<uint8_t>(v >> 8);
}

size_t BlocksFor(size_t bytes) { return (bytes + kBlockBytes - 1) / kBlockBytes; }

Bytes HeaderBlock(unsigned cylinders, unsigned sides, uint16_t kbps) {
    Bytes block(kBlockBytes, kHeaderFiller);
    std::memcpy(block.data(), kSignatureV1, kSignatureBytes);
    block[8] = 0;  // revision
    block[9] = static_cast<uint8_t>(cylinders);
    block[10] = static_cast<uint8_t>(sides);
    block[11] = kIsoIbmMfm;
    PutU16At(block, 12, kbps);
    PutU16At(block, 14, kRpm);
    block[16] = kGenericShugartDd;
    block[17] = 0;
    PutU16At(block, 18, 1);  // the track list follows in the next block
    block[20] = kYes;        // write allowed
    block[21] = kYes;        // single step
    return block;            // bytes 22..25 stay 0xFF: no other encoding on track 0
}

// Appends a cylinder's two side streams (of equal length) in interleaved blocks; returns the list's
// length, which counts both sides without the padding of the last block.
uint16_t AppendCylinder(const Bytes& side0, const Bytes& side1, Bytes& image) {
    const size_t at = image.size();
    image.resize(at + BlocksFor(2 * side0.size()) * kBlockBytes, 0);
    for (size_t i = 0; i < side0.size(); ++i) {
        const size_t block = at + (i / kSideBytesPerBlock) * kBlockBytes, within = i % kSideBytesPerBlock;
        image[block + within] = side0[i];
        image[block + kSideBytesPerBlock + within] = side1[i];
    }
    return static_cast<uint16_t>(2 * side0.size());
}

}  // namespace

bool TZX_Disk::BuildHFE(Bytes& out) {
    CountTracks();
    unsigned used = 0;  // one past the highest used track
    bool twoSides = false;
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        if (!Track(k)->Used) continue;
        used = k + 1;
        twoSides |= (k & 1) != 0;
    }
    if (used == 0) {
        StatusMessage = Tr(kCannotCreate);
        return false;
    }
    const unsigned cylinders = (used + 1) / 2;
    const unsigned sides = twoSides ? 2 : 1;
    // One rate for the whole image: the highest the disk's tracks were read at (double density when none
    // says); a track of another rate is written at it all the same, and said.
    uint16_t kbps = 0;
    for (unsigned k = 0; k < used; ++k)
        if (Track(k)->Used) kbps = std::max(kbps, Track(k)->RateKbps);
    if (kbps == 0) kbps = kDoubleDensityKbps;
    WriteLosses.Clear();
    for (unsigned k = 0; k < used; ++k) {
        const TTrack& track = *std::as_const(*this).Track(k);
        if (track.Used && ((track.RateKbps && track.RateKbps != kbps) || track.Encoding == TrackEncoding::kFm))
            WriteLosses.Add(LossKind::kDataRate, static_cast<int>(k));
    }
    NoteFeatureLosses(*this, kHfeKeeps, WriteLosses);
    const size_t rotationBytes = kbps * kRotationBytesPerKbps;

    Bytes image = HeaderBlock(cylinders, sides, kbps);
    const size_t listAt = image.size();
    image.resize(listAt + BlocksFor(cylinders * kTrackListEntryBytes) * kBlockBytes, kHeaderFiller);
    MarkedTrack tracks[2];
    Bytes streams[2];
    for (unsigned c = 0; c < cylinders; ++c) {
        // Both sides of a cylinder share one length: the shorter is padded with gap bytes.
        size_t length = 0;
        for (unsigned side = 0; side < 2; ++side) {
            tracks[side].Clear();
            if (side < sides && !SideTrack(*this, 2 * c + side, rotationBytes, tracks[side])) return false;
            length = std::max(length, tracks[side].bytes.size());
        }
        for (unsigned side = 0; side < 2; ++side) {
            tracks[side].PadTo(length, kGapByte);
            streams[side].clear();
            EncodeMfmCells(tracks[side], streams[side]);
        }
        const size_t entry = listAt + c * kTrackListEntryBytes;
        PutU16At(image, entry, static_cast<uint16_t>(image.size() / kBlockBytes));
        PutU16At(image, entry + 2, AppendCylinder(streams[0], streams[1], image));
    }
    out = std::move(image);
    return true;
}

}  // namespace tarvex
