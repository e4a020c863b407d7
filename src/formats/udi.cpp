// UDI: the ZX Spectrum emulators' image of whole raw MFM tracks, every byte as the drive head saw it, so
// it keeps what sector images cannot (gaps, odd marks, unreadable fields). A 16-byte header ("UDI!", the
// file length, the highest cylinder and side), then one record per track (type, length, the raw bytes, a
// bitmap of the bytes written with a missing clock), and a CRC-32 of everything before it. Reading keeps
// every raw track and finds its sectors through the clock marks; writing asks the raw-track builder for
// every track of whole cylinders on two sides, and writes a track it cannot lay out in 6256 bytes at the
// length the track needs. Some emulators store records compressed: a record that starts with 0xF0 holds
// a zlib stream of the raw bytes and the bitmap.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "io/image_file.h"
#include "tracks/inflate.h"
#include "tracks/mfm_cells.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

constexpr uint8_t kSignature[4] = {'U', 'D', 'I', '!'};
constexpr size_t kHeaderBytes = 16;
constexpr size_t kCrcBytes = 4;
constexpr size_t kRecordHeadBytes = 3;
constexpr size_t kRecordBytes = kRecordHeadBytes + kUdiTrackBytes + kUdiMarkBytes;  // 7041
constexpr uint8_t kMfmTrack = 0;
constexpr uint8_t kCompressedRecord = 0xF0;

std::string Number(size_t n) { return std::to_string(n); }

std::string TrackName(unsigned k) {
    return Fill(Tr("track %s (cylinder %s, side %s)"), {Number(k), Number(k / 2), Number(k % 2)});
}

// The reader's refusals: the format's own words, then what was wrong and where.
std::string FormatError(const std::string& why) { return Fill(Tr("UDI format error! (%s)"), {why}); }
std::string LengthError(const std::string& why) { return Fill(Tr("UDI file length error! (%s)"), {why}); }
std::string TrackError(const char* pattern, unsigned k, const std::string& why) {
    return Fill(Tr(pattern), {TrackName(k), why});
}

// The UDI checksum steps a register through eight shifts per byte, and the shift is arithmetic (bit 31
// keeps its value). In terms of the complemented register s the step for a byte b is s := F(s ^ b),
// with F the eight shifts; F is linear over the bits of s, so tables of F applied to single bytes,
// XORed together, reproduce the bit-by-bit definition exactly, eight input bytes at a time.
constexpr uint32_t kCrc32Polynomial = 0xEDB88320;

constexpr uint32_t EightShifts(uint32_t r) {
    for (int i = 0; i < 8; ++i) {
        const bool low = r & 1;
        r = static_cast<uint32_t>(static_cast<int32_t>(r) >> 1);
        if (low) r ^= kCrc32Polynomial;
    }
    return r;
}

struct Crc32Tables {
    // after[m][b]: F applied m + 1 times to byte b; high[j][b]: F applied 8 times to b << 8 (j + 1).
    std::array<std::array<uint32_t, 256>, 8> after{};
    std::array<std::array<uint32_t, 256>, 3> high{};
};

constexpr Crc32Tables MakeCrc32Tables() {
    Crc32Tables t;
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t v = b;
        for (int m = 0; m < 8; ++m) t.after[m][b] = v = EightShifts(v);
        for (int j = 0; j < 3; ++j) {
            uint32_t w = b << (8 * (j + 1));
            for (int m = 0; m < 8; ++m) w = EightShifts(w);
            t.high[j][b] = w;
        }
    }
    return t;
}
constexpr Crc32Tables kCrc32 = MakeCrc32Tables();

// One past the highest used track index; 0 for a disk without tracks.
unsigned UsedTrackSpan(const TZX_Disk& disk) {
    for (unsigned k = kMaxTracks; k > 0; --k)
        if (disk.Track(k - 1)->Used) return k;
    return 0;
}

size_t MarkBytes(size_t rawBytes) { return (rawBytes + 7) / 8; }

std::string InflateFault(InflateError error, size_t length) {
    switch (error) {
        case InflateError::kCutShort: return Tr("the compressed record is cut short");
        case InflateError::kBadHeader:
        case InflateError::kPresetDictionary: return Tr("the compressed record holds no zlib stream");
        case InflateError::kBadChecksum: return Tr("the checksum of the compressed record does not match");
        case InflateError::kTooLong:
            return Fill(Tr("the compressed record holds more than %s raw bytes and their bitmap"), {Number(length)});
        default: return Tr("the compressed record is damaged");
    }
}

// A compressed record after its 0xF0: two bytes (in the images seen, one less than the stream's length),
// the track's type and raw length L, then a zlib stream of the L raw bytes followed by their bitmap. The
// stream is read to its own end, wherever the two bytes put it. "" or why it does not inflate to the
// record's bytes.
std::string InflateRecord(ByteReader& in, ByteSpan body, Bytes& inflated, uint8_t& type, size_t& length) {
    in.U16();
    type = in.U8();
    length = in.U16();
    const size_t want = length + MarkBytes(length);
    const InflateResult result = InflateZlib(body.subspan(in.Position()), want, inflated);
    if (!result.ok()) return InflateFault(result.error, length);
    if (inflated.size() != want)
        return Fill(Tr("the compressed record holds %s bytes, fewer than %s raw bytes and their bitmap"),
                    {Number(inflated.size()), Number(length)});
    in.Skip(result.consumed);
    return "";
}

// What an image keeps besides IDs and data: in its raw tracks every mark and CRC state, an ID without
// data, a data field without an ID; one read of a weak sector, no data rate and no comment.
constexpr KeptFeatures kUdiKeeps{
    .deletedMarks = true, .dataCrcErrors = true, .idCrcErrors = true, .idsWithoutData = true, .dataWithoutId = true};

bool SameSector(const TSectorSlot& a, const TSectorSlot& b) {
    return a.Used == b.Used && a.Cylinder == b.Cylinder && a.Head == b.Head && a.SectorNo == b.SectorNo &&
           a.SizeCode == b.SizeCode && a.DataCrcOk == b.DataCrcOk && a.DataLength == b.DataLength &&
           a.DeletedData == b.DeletedData && a.IdCrcError == b.IdCrcError && a.IdMissing == b.IdMissing &&
           std::equal(a.Data.begin(), a.Data.begin() + a.HeldBytes(), b.Data.begin(), b.Data.begin() + b.HeldBytes());
}

// Appends the track records of an image. The raw-track builder's 6256 bytes come first, so that a disk
// it can lay out gives the image it always gave; a track it cannot lay out goes at its own length: the
// raw bytes it was read with while they still hold its sectors, else laid out anew with full gaps.
class RecordWriter {
public:
    RecordWriter(TZX_Disk& disk, Bytes& image) : disk_(disk), image_(image) {}

    // "" or why the track cannot be written.
    std::string Append(unsigned k) {
        const size_t at = image_.size();
        image_.resize(at + kRecordBytes);
        image_[at] = kMfmTrack;
        image_[at + 1] = static_cast<uint8_t>(kUdiTrackBytes);
        image_[at + 2] = static_cast<uint8_t>(kUdiTrackBytes >> 8);
        uint8_t* raw = &image_[at + kRecordHeadBytes];
        const TTrack& track = *std::as_const(disk_).Track(k);
        if (disk_.BuildRawTrack(static_cast<uint8_t>(k), raw, raw + kUdiTrackBytes)) {
            return "";
        }
        image_.resize(at);
        if (track.RawValid && track.RawLength > 0 && RawHoldsSectors(track)) {
            Put(ByteSpan(track.RawData.data(), track.RawLength), RawMarks(track));
            return "";
        }
        if (!BuildLongRawTrack(track, raw_, marks_, disk_.WriteLosses))
            return Tr("its sectors cannot be laid out on an MFM track");
        Put(raw_, marks_);
        return "";
    }

private:
    void Put(ByteSpan raw, ByteSpan marks) {
        PutU8(image_, kMfmTrack);
        PutU16(image_, static_cast<uint16_t>(raw.size()));
        PutBytes(image_, raw.data(), raw.size());
        PutBytes(image_, marks.data(), marks.size());
    }

    // The clock-mark bitmap of the track's raw bytes: the one it was read with, or one found as a
    // controller finds sync bytes.
    ByteSpan RawMarks(const TTrack& track) {
        const size_t bytes = MarkBytes(track.RawLength);
        if (track.RawMarks.size() >= bytes) return ByteSpan(track.RawMarks.data(), bytes);
        foundMarks_ = FindSyncMarks(ByteSpan(track.RawData.data(), track.RawLength));
        return foundMarks_;
    }

    // Whether the sector scan of the track's raw bytes gives its slots as they are now.
    bool RawHoldsSectors(const TTrack& track) {
        if (!spare_) spare_ = std::make_unique<TZX_Disk>();
        spare_->Clear();
        TTrack& scanned = *spare_->Track(track.Index);
        ScanRawTrack(*spare_, scanned, ByteSpan(track.RawData.data(), track.RawLength), RawMarks(track));
        for (unsigned s = 0; s < kMaxSectors; ++s)
            if (!SameSector(*track.Sector(s), *scanned.Sector(s))) return false;
        return true;
    }

    TZX_Disk& disk_;
    Bytes& image_;
    std::unique_ptr<TZX_Disk> spare_;  // scans raw tracks, made when the first is asked about
    Bytes raw_, marks_, foundMarks_;
};

// Keeps a record's raw track and bitmap in the track and finds its sectors.
// A track of another type than MFM (FM, or FM and MFM mixed) is scanned as MFM all the same, which finds
// none of its FM sectors: it is marked FM, so that what it held is told as lost.
void StoreTrack(TZX_Disk& disk, TTrack& track, uint8_t type, ByteSpan raw, ByteSpan marks) {
    if (type != kMfmTrack) track.Encoding = TrackEncoding::kFm;
    std::copy(raw.begin(), raw.end(), disk.ReserveRaw(track, raw.size(), true, false));
    std::copy(marks.begin(), marks.end(), track.RawMarks.begin());
    track.RawLength = static_cast<uint16_t>(raw.size());
    track.Used = kFlagSet;
    track.RawValid = 1;
    ScanRawTrack(disk, track, raw, marks);
}

}  // namespace

uint32_t TZX_Disk::Crc32(const uint8_t* data, size_t n) {
    const auto& a = kCrc32.after;
    const auto& h = kCrc32.high;
    uint32_t s = 0;  // the complement of the register, which starts at 0xFFFFFFFF
    for (; n >= 8; n -= 8, data += 8) {
        const uint32_t x = s ^ data[0];
        s = a[7][x & 0xFF] ^ h[0][(x >> 8) & 0xFF] ^ h[1][(x >> 16) & 0xFF] ^ h[2][x >> 24] ^ a[6][data[1]] ^
            a[5][data[2]] ^ a[4][data[3]] ^ a[3][data[4]] ^ a[2][data[5]] ^ a[1][data[6]] ^ a[0][data[7]];
    }
    for (; n > 0; --n, ++data) {
        const uint32_t x = s ^ *data;
        s = static_cast<uint32_t>(static_cast<int32_t>(x) >> 8) ^ a[0][x & 0xFF];
    }
    return ~s;
}

bool TZX_Disk::LoadUDI(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseUDI); }
bool TZX_Disk::SaveUDI(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildUDI); }

bool TZX_Disk::ParseUDI(ByteSpan bytes) {
    Clear();
    if (bytes.size() < kHeaderBytes + kCrcBytes) {
        StatusMessage = Fill(Tr("UDI file error! (%s bytes, fewer than a header and its CRC)"), {Number(bytes.size())});
        return false;
    }
    const size_t bodyBytes = bytes.size() - kCrcBytes;
    ByteReader crc(bytes);
    crc.Seek(bodyBytes);
    if (Crc32(bytes.data(), bodyBytes) != crc.U32()) {
        StatusMessage = Tr("UDI file CRC error!");
        return false;
    }
    // The track records lie between the header and the CRC; bytes may follow the last of them.
    ByteReader in(bytes.first(bodyBytes));
    if (std::memcmp(in.Take(4).data(), kSignature, 4) != 0) {
        StatusMessage = Tr("Not a UDI file!");
        return false;
    }
    const uint32_t lengthField = in.U32();
    const uint8_t version = in.U8();
    const unsigned highestCylinder = in.U8();
    const unsigned highestSide = in.U8();
    in.U8();  // reserved: the emulator that defined the format writes 1 there
    const uint32_t extendedHeader = in.U32();
    if (version != 0) {
        StatusMessage = FormatError(Fill(Tr("version %s, which is not known"), {Number(version)}));
        return false;
    }
    if (extendedHeader != 0) {
        StatusMessage =
            FormatError(Fill(Tr("an extended header of %s bytes, which is not read"), {Number(extendedHeader)}));
        return false;
    }
    if (lengthField != bodyBytes) {
        StatusMessage = LengthError(Fill(Tr("the header gives %s bytes before the CRC, the file holds %s"),
                                         {Number(lengthField), Number(bodyBytes)}));
        return false;
    }
    // A one-sided image keeps its geometry: cylinder c goes to track 2c, side 1 stays absent.
    const bool oneSided = highestSide == 0;
    const unsigned records = (highestCylinder + 1) * (highestSide + 1);
    const unsigned trackSpan = oneSided ? 2 * highestCylinder + 1 : records;
    if (trackSpan > kMaxTracks) {
        StatusMessage = FormatError(Fill(Tr("%s cylinders on %s sides, more than the %s tracks a disk holds"),
                                         {Number(highestCylinder + 1), Number(highestSide + 1), Number(kMaxTracks)}));
        return false;
    }
    static_assert(kRawTrackBytes >= 0xFFFF, "a record's 16-bit length fits a raw track");
    Bytes inflated;
    for (unsigned t = 0; t < records; ++t) {
        const unsigned k = oneSided ? 2 * t : t;
        TTrack& track = *Track(k);
        uint8_t type = in.U8();
        if (type == kCompressedRecord) {
            size_t length = 0;
            if (std::string why = InflateRecord(in, bytes.first(bodyBytes), inflated, type, length); !why.empty()) {
                StatusMessage = TrackError(TrMark("UDI format error! (%s: %s)"), k, why);
                return false;
            }
            const ByteSpan record(inflated);
            StoreTrack(*this, track, type, record.first(length), record.subspan(length));
            continue;
        }
        const size_t length = in.U16();
        if (length > in.Remaining()) {
            StatusMessage = TrackError(TrMark("UDI file length error! (%s: %s)"), k,
                                       Fill(Tr("%s raw bytes, more than the %s left before the CRC"),
                                            {Number(length), Number(in.Remaining())}));
            return false;
        }
        const ByteSpan raw = in.Take(length);
        const ByteSpan marks = in.Take(MarkBytes(length));
        StoreTrack(*this, track, type, raw, marks);
    }
    return true;
}

bool TZX_Disk::BuildUDI(Bytes& out) {
    CountTracks();
    WriteLosses.Clear();
    // Whole cylinders up to the last used track (on a disk whose tracks follow each other that is the
    // used track count divided by two, rounded up); a disk without tracks cannot be described.
    const unsigned span = UsedTrackSpan(*this);
    if (span == 0) {
        StatusMessage = Fill(Tr("Cannot create the UDI image! (%s)"), {Tr("the disk has no tracks")});
        return false;
    }
    const unsigned cylinders = (span + 1) / 2;
    Bytes image;
    image.reserve(kHeaderBytes + cylinders * 2 * kRecordBytes + kCrcBytes);
    PutBytes(image, kSignature, 4);
    PutU32(image, 0);  // the length, once the records are there
    PutU8(image, 0);
    PutU8(image, static_cast<uint8_t>(cylinders - 1));
    PutU8(image, 1);
    PutU8(image, 0);
    PutU32(image, 0);
    RecordWriter records(*this, image);
    for (unsigned t = 0; t < 2 * cylinders; ++t) {
        if (std::string why = records.Append(t); !why.empty()) {
            StatusMessage = TrackError(TrMark("Cannot create the UDI image! (%s: %s)"), t, why);
            WriteLosses.Clear();
            return false;
        }
    }
    NoteFeatureLosses(*this, kUdiKeeps, WriteLosses);
    const uint32_t length = static_cast<uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) image[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    PutU32(image, Crc32(image.data(), image.size()));
    out = std::move(image);
    return true;
}

}  // namespace tarvex
