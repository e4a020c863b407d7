// Turns one track of the disk model into the 6256 raw bytes of an MFM track and its clock-mark bitmap.
// A track read from a UDI image keeps the positions of its address marks; any other used track is laid
// out after the IBM format table, with the gaps shortened when the sectors do not fit (an ID without data
// is written alone, as a controller finds it); an absent track stays unformatted (all gap bytes, nothing
// marked). A track whose sectors do not fit 6256 bytes can be laid out at the length it needs instead,
// with full gaps.
#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "disk/zx_disk.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

constexpr long kTrackBytes = static_cast<long>(kUdiTrackBytes);
// A data field that would come this close to the end of the track does not fit (its CRC and a minimal
// gap would be cut); only a last, already bad sector may be written cut short, up to kCutDataMargin
// before the end.
constexpr long kEndOfTrackMargin = 16;
constexpr long kCutDataMargin = 10;
// A high-density rotation: 500 kbit/s at 300 rpm.
constexpr long kHighDensityTrackBytes = 12500;
constexpr uint16_t kHighDensityKbps = 500;

// The from-scratch layout: gap 4a, sync, index mark, gap 1; then per sector sync, ID mark, C H R N and
// CRC, gap 2, sync, data mark, data and CRC, gap 3.
constexpr long kGap4a = 80;
constexpr long kGap1 = 50;
constexpr long kSyncZeros = 12;
constexpr long kSyncBytes = 3;
constexpr long kGap2 = 22;
constexpr long kGap3 = 54;
constexpr long kPreambleBytes = kGap4a + kSyncZeros + kSyncBytes + 1 + kGap1;                    // 146
constexpr long kSectorOverhead = 2 * (kSyncZeros + kSyncBytes + 1) + 4 + 2 + kGap2 + 2 + kGap3;  // 116
// The size a layout gives a sector whose data field no track holds: its ID is written alone, followed by
// a gap, as a controller finds an ID whose data never comes.
constexpr unsigned kIdAlone = ~0u;
constexpr long kIdAloneBytes = kSyncZeros + kSyncBytes + 1 + 4 + 2 + kGap3;

// The data field a layout gives each size code: up to `largest` whole; past it none, so that the track
// cannot be laid out, or, in a layout at the track's own length, the ID alone. `dropped`, when given,
// names more slots whose data field the layout leaves out (their ID alone).
struct FieldSizes {
    uint8_t largest;
    bool idAlonePast;
    const std::bitset<kMaxSectors>* dropped = nullptr;
    unsigned operator()(uint8_t code) const { return code <= largest ? 128u << code : idAlonePast ? kIdAlone : 0u; }
};
constexpr FieldSizes kRotationFields{3, false};  // a rotation of 6256 bytes, as MfmSectorBytes
constexpr long kLargestPreambleCut = 25;
constexpr long kLargestGap3Cut = 36;

// The track being built: room past its output bytes for a slight overrun, all gap bytes at first.
class TrackImage {
public:
    explicit TrackImage(long trackBytes)
        : trackBytes_(trackBytes),
          capacity_(trackBytes + kOverrun),
          bytes_(static_cast<size_t>(capacity_), kGapByte),
          marks_(static_cast<size_t>(trackBytes + 7) / 8, 0) {}

    long TrackBytes() const { return trackBytes_; }

    void Put(long pos, uint8_t b) {
        if (pos >= 0 && pos < capacity_) bytes_[pos] = b;
    }
    void Fill(long pos, long n, uint8_t b) {
        for (long i = 0; i < n; ++i) Put(pos + i, b);
    }
    // n bytes at pos: zeros, then the first min(n, have) bytes of a sector's data.
    void PutData(long pos, long n, const uint8_t* data, long have) {
        Fill(pos, n, 0);
        const long copy = std::min({n, have, long{kMaxStoredSectorBytes}, capacity_ - pos});
        if (copy > 0 && pos >= 0) std::memcpy(&bytes_[pos], data, static_cast<size_t>(copy));
    }
    void PutCrc(long pos, uint16_t crc) {
        Put(pos, static_cast<uint8_t>(crc >> 8));
        Put(pos + 1, static_cast<uint8_t>(crc));
    }
    uint16_t CrcOf(long from, long n) const {
        if (from < 0 || from + n > capacity_) return 0;
        return TZX_Disk::Crc16(&bytes_[from], static_cast<size_t>(n));
    }
    // Sets the clock-mark flags of positions a..b; those past the output are dropped.
    void Mark(long a, long b) {
        for (long p = std::max(a, 0L); p <= b && p < trackBytes_; ++p)
            marks_[p >> 3] |= static_cast<uint8_t>(1u << (p & 7));
    }
    void CopyOut(uint8_t* rawOut, uint8_t* marksOut) const {
        std::memcpy(rawOut, bytes_.data(), static_cast<size_t>(trackBytes_));
        if (marksOut) std::memcpy(marksOut, marks_.data(), marks_.size());
    }

private:
    static constexpr long kOverrun = 2048;
    long trackBytes_;
    long capacity_;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> marks_;
};

void PutSync(TrackImage& out, long pos, uint8_t syncByte) {
    out.Fill(pos, kSyncBytes, syncByte);
    out.Mark(pos, pos + kSyncBytes - 1);
}

// The 8 bytes A1 A1 A1 FE C H R N at pos and their CRC after them.
void PutIdField(TrackImage& out, long pos, const TSectorSlot& slot) {
    PutSync(out, pos, kSyncA1);
    out.Put(pos + 3, kIdMark);
    out.Put(pos + 4, slot.Cylinder);
    out.Put(pos + 5, slot.Head);
    out.Put(pos + 6, slot.SectorNo);
    out.Put(pos + 7, slot.SizeCode);
    // An ID read with a CRC error is written with the complement of the right CRC.
    out.PutCrc(pos + 8, out.CrcOf(pos, 8) ^ (slot.IdCrcError ? 0xFFFF : 0));
}

// A data field's contents at pos and the CRC over its sync bytes, mark and data (starting at syncPos);
// a sector read with a CRC error is written with the complement of the right CRC.
void PutDataAndCrc(TrackImage& out, long syncPos, long pos, long size, const TSectorSlot& slot) {
    out.PutData(pos, size, slot.Data.data(), static_cast<long>(slot.HeldBytes()));
    uint16_t crc = out.CrcOf(syncPos, pos + size - syncPos);
    if (!slot.DataCrcOk) crc ^= 0xFFFF;
    out.PutCrc(pos + size, crc);
}

bool ReachesTrackEnd(const TrackImage& out, long pos, long size) {
    return pos + size + kEndOfTrackMargin >= out.TrackBytes();
}

// Only the last sector, and only one already read with a CRC error, may end the track cut short.
bool MayBeCut(const TSectorSlot& slot, unsigned k, unsigned count) { return !slot.DataCrcOk && k + 1 == count; }

void PutCutData(TrackImage& out, long pos, const TSectorSlot& slot) {
    const long d = std::max(0L, out.TrackBytes() - kCutDataMargin - pos);
    out.PutData(pos, d, slot.Data.data(), static_cast<long>(slot.HeldBytes()));
}

// Whether a layout writes the slot's ID alone: an ID without data, or one whose data field no track holds.
bool IdAlone(const TSectorSlot& slot, unsigned k, const FieldSizes& sectorBytes) {
    return (slot.DataLength == 0 && !slot.IdMissing) || sectorBytes(slot.SizeCode) == kIdAlone ||
           (sectorBytes.dropped && sectorBytes.dropped->test(k));
}

// The bytes the from-scratch layout of the track takes with full gaps; 0 when a size code has no layout.
long LaidOutBytes(const TTrack& track, unsigned count, const FieldSizes& sectorBytes) {
    long total = kPreambleBytes;
    for (unsigned k = 0; k < count; ++k) {
        const TSectorSlot& slot = *track.Sector(k);
        if (IdAlone(slot, k, sectorBytes)) {
            total += kIdAloneBytes;
            continue;
        }
        const unsigned size = sectorBytes(slot.SizeCode);
        if (size == 0) return 0;
        total += kSectorOverhead + static_cast<long>(size);
    }
    return total;
}

bool BuildFromScratch(const TTrack& track, unsigned count, TrackImage& out,
                      const FieldSizes& sectorBytes = kRotationFields) {
    const long total = LaidOutBytes(track, count, sectorBytes);
    if (total == 0) return false;
    const long trackBytes = out.TrackBytes();
    long preambleCut = 0, gap3Cut = 0;
    if (total > trackBytes) {
        const long excess = total - trackBytes;
        if (excess < 2 * kLargestPreambleCut) {
            preambleCut = static_cast<long>(RoundHalfEven(excess, 2)) + 2;
        } else {
            preambleCut = kLargestPreambleCut;
            gap3Cut = static_cast<long>(RoundHalfEven(total - 2 * kLargestPreambleCut - trackBytes, count));
            if (gap3Cut > kLargestGap3Cut) return false;
        }
    }

    long pos = kGap4a - preambleCut + kSyncZeros;
    out.Fill(pos - kSyncZeros, kSyncZeros, 0);
    PutSync(out, pos, kSyncC2);
    out.Put(pos + kSyncBytes, kIndexMark);
    pos += kSyncBytes + 1 + kGap1 - preambleCut;
    for (unsigned k = 0; k < count; ++k) {
        const TSectorSlot& slot = *track.Sector(k);
        if (IdAlone(slot, k, sectorBytes)) {
            if (!slot.IdMissing) {
                out.Fill(pos, kSyncZeros, 0);
                PutIdField(out, pos + kSyncZeros, slot);
            }
            pos += kIdAloneBytes;
            continue;
        }
        const long size = sectorBytes(slot.SizeCode);
        // A data field without an ID keeps the ID's room as gap.
        if (!slot.IdMissing) {
            out.Fill(pos, kSyncZeros, 0);
            PutIdField(out, pos + kSyncZeros, slot);
        }
        pos += kSyncZeros + 10 + kGap2;
        out.Fill(pos, kSyncZeros, 0);
        pos += kSyncZeros;
        const long syncPos = pos;
        PutSync(out, pos, kSyncA1);
        out.Put(pos + kSyncBytes, slot.DeletedData ? kDeletedDataMark : kDataMark);
        pos += kSyncBytes + 1;
        if (ReachesTrackEnd(out, pos, size)) {  // pos: the first data byte
            if (!MayBeCut(slot, k, count)) return false;
            PutCutData(out, pos, slot);
            pos = std::max(pos, out.TrackBytes() - kCutDataMargin);
        } else {
            PutDataAndCrc(out, syncPos, pos, size, slot);
            pos += size + 2;
        }
        pos += kGap3 - gap3Cut;
    }
    return true;
}

// The first q from `from` to the end of the output whose raw bytes are a, b and then one of the marks;
// only bytes the loaded track holds are looked at.
std::optional<long> FindMark(const TTrack& track, long from, uint8_t a, uint8_t b, uint8_t mark1, uint8_t mark2) {
    const uint8_t* raw = track.RawData.data();
    const long end = std::min<long>(kTrackBytes, long{track.RawLength} - 2);
    for (long q = std::max(from, 0L); q < end; ++q)
        if (raw[q] == a && raw[q + 1] == b && (raw[q + 2] == mark1 || raw[q + 2] == mark2)) return q;
    return std::nullopt;
}

bool BuildKeepingLayout(const TTrack& track, unsigned count, TrackImage& out) {
    long q = 0, fieldEnd = 0;
    if (auto index = FindMark(track, 0, kSyncC2, kSyncC2, kIndexMark, kIndexMark)) {
        q = *index;
        if (q < 15) return false;
        out.Fill(q - 13, kSyncZeros, 0);
        PutSync(out, q - 1, kSyncC2);
        out.Put(q + 2, kIndexMark);
        fieldEnd = q + 2;
    }
    for (unsigned k = 0; k < count; ++k) {
        const TSectorSlot& slot = *track.Sector(k);
        // Marks are looked for past the end of the field before: an ID or data that happens to hold a
        // sync and mark's bytes is no mark.
        if (!slot.IdMissing) {
            auto id = FindMark(track, std::max(q, fieldEnd + 1), kSyncA1, kSyncA1, kIdMark, kIdMark);
            if (!id) return false;
            q = *id;
            const long room = q - fieldEnd;
            if (room < 5) return false;
            // Up to twelve sync zeros, but never over the last byte of the field before (fieldEnd).
            const long zeros = std::min(kSyncZeros, room - 2);
            out.Fill(q - 1 - zeros, zeros, 0);
            PutIdField(out, q - 1, slot);
            fieldEnd = q + 8;
        }

        auto data = FindMark(track, fieldEnd + 1, kSyncA1, kSyncA1, kDataMark, kDeletedDataMark);
        if (!data) return false;
        q = *data;
        if (q - fieldEnd < 15) return false;
        const long size = MfmSectorBytes(slot.SizeCode);
        if (size == 0) return false;
        out.Fill(q - 13, kSyncZeros, 0);
        PutSync(out, q - 1, kSyncA1);
        out.Put(q + 2, slot.DeletedData ? kDeletedDataMark : kDataMark);
        if (ReachesTrackEnd(out, q, size)) {  // q: the second sync byte
            if (!MayBeCut(slot, k, count)) return false;
            PutCutData(out, q + 3, slot);
            return true;
        }
        PutDataAndCrc(out, q - 1, q + 3, size, slot);
        if (!slot.DataCrcOk) out.Put(q - 1, 0x14);  // still marked: only the CRC now disagrees
        fieldEnd = q + 4 + size;
        q += size;
    }
    return true;
}

}  // namespace

bool TZX_Disk::BuildRawTrack(uint8_t trackIndex, uint8_t* rawOut, uint8_t* marksOut) {
    const TTrack* track = std::as_const(*this).Track(trackIndex);
    TrackImage out(kTrackBytes);
    bool built = true;
    if (track) {
        const unsigned count = track->UsedSectorCount();
        if (track->RawValid && track->RawLength > 0)
            built = BuildKeepingLayout(*track, count, out);
        else if (track->Used)
            built = BuildFromScratch(*track, count, out);
    }
    if (built) out.CopyOut(rawOut, marksOut);
    return built;
}

}  // namespace tarvex

namespace tarvex {

namespace {

long RotationBytes(const TTrack& track) {
    return track.RateKbps >= kHighDensityKbps ? kHighDensityTrackBytes : kTrackBytes;
}

// The slots whose data fields a layout of the track at most `maxBytes` long leaves out, so that it fits:
// the largest fields, the later of two of a size first. False when even the IDs alone do not fit.
bool FieldsToDrop(const TTrack& track, size_t maxBytes, std::bitset<kMaxSectors>& dropped) {
    const unsigned count = track.UsedSectorCount();
    const FieldSizes fields{kLargestLongTrackSizeCode, true, &dropped};
    dropped.reset();
    while (std::max(LaidOutBytes(track, count, fields), RotationBytes(track)) > static_cast<long>(maxBytes)) {
        int largest = -1;
        for (unsigned k = 0; k < count; ++k)
            if (!IdAlone(*track.Sector(k), k, fields) &&
                (largest < 0 || track.Sector(k)->SizeCode >= track.Sector(static_cast<unsigned>(largest))->SizeCode))
                largest = static_cast<int>(k);
        if (largest < 0) return false;
        dropped.set(static_cast<size_t>(largest));
    }
    return true;
}

}  // namespace

bool BuildLongRawTrack(const TTrack& track, Bytes& raw, Bytes& marks, LossReport& losses, size_t maxBytes) {
    std::bitset<kMaxSectors> dropped;
    if (!FieldsToDrop(track, maxBytes, dropped)) return false;
    const unsigned count = track.UsedSectorCount();
    const FieldSizes fields{kLargestLongTrackSizeCode, true, &dropped};
    const long length = std::max(LaidOutBytes(track, count, fields), RotationBytes(track));
    TrackImage out(length);
    if (!BuildFromScratch(track, count, out, fields)) return false;
    raw.resize(static_cast<size_t>(length));
    marks.resize(static_cast<size_t>(length + 7) / 8);
    out.CopyOut(raw.data(), marks.data());
    const int t = static_cast<int>(track.Index);
    for (unsigned k = 0; k < count; ++k) {
        const TSectorSlot& slot = *track.Sector(k);
        if (!slot.DataLength || !IdAlone(slot, k, fields)) continue;
        losses.Add(LossKind::kSectorBytes, t, slot.DataLength * slot.CopyCount());
        if (slot.IdMissing) losses.Add(LossKind::kDataWithoutId, t);
    }
    return true;
}

}  // namespace tarvex
