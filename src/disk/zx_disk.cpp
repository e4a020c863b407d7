// The disk model's storage and housekeeping: where the tracks and their slots' bytes live (mapped once,
// zeroed by the system, slots' bytes moved from narrow to full size as a track is handed out for larger
// sectors), clearing only what was handed out since the last Clear, looking sectors up, and the CRC-16
// of ID and data fields.
#include "disk/zx_disk.h"

#include <algorithm>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "io/memory_map.h"

namespace tarvex {

BoundBytes& BoundBytes::operator=(const BoundBytes& other) {
    if (this == &other) return *this;
    const size_t copied = std::min(size_, other.size_);
    if (copied) std::memmove(bytes_, other.bytes_, copied);
    if (size_ > copied) std::memset(bytes_ + copied, 0, size_ - copied);
    return *this;
}

bool BoundBytes::operator==(const BoundBytes& other) const {
    const size_t common = std::min(size_, other.size_);
    const auto zero = [](uint8_t b) { return b == 0; };
    const uint8_t* a = bytes_;
    const uint8_t* b = other.bytes_;
    return std::equal(a, a + common, b) && std::all_of(a + common, a + size_, zero) &&
           std::all_of(b + common, b + other.size_, zero);
}

void BoundBytes::fill(uint8_t value) {
    if (size_) std::memset(bytes_, value, size_);
}

void TTrack::Clear() {
    for (unsigned i = 0; i < kMaxSectors; ++i) ClearSector(i);
    Used = 0;
    SectorCount = 0;
    RawValid = 0;
    RawLength = 0;
    std::fill_n(RawData.begin(), std::min<size_t>(kRawClearedBytes, RawData.size()), uint8_t{0});
}

void TTrack::ClearWithin(unsigned slots, unsigned dataBytes, unsigned keptSlots, unsigned keptBytes) {
    for (unsigned i = 0; i < slots && i < kMaxSectors; ++i) {
        TSectorSlot& slot = Sectors[i];
        const size_t dataCleared = std::min<size_t>(dataBytes, slot.Data.size());
        const size_t kept = i < keptSlots ? std::min<size_t>(keptBytes, dataCleared) : 0;
        if (dataCleared > kept) std::memset(slot.Data.data() + kept, 0, dataCleared - kept);
        slot.Used = slot.Cylinder = slot.Head = slot.SectorNo = slot.SizeCode = slot.DataCrcOk = 0;
        slot.DataLength = 0;
    }
    Used = 0;
    SectorCount = 0;
    RawValid = 0;
    RawLength = 0;
}

void TTrack::ClearSector(unsigned i) {
    if (i >= kMaxSectors) return;
    Sectors[i] = TSectorSlot{};
}

uint8_t TTrack::CountSectors() {
    SectorCount = UsedSectorCount();
    return SectorCount;
}

uint8_t TTrack::UsedSectorCount() const {
    return static_cast<uint8_t>(
        std::count_if(Sectors.begin(), Sectors.end(), [](const TSectorSlot& s) { return s.Used != 0; }));
}

SpareTrack::SpareTrack() : bytes_(size_t{kMaxSectors} * kSectorDataBytes + kRawTrackBytes) {
    for (unsigned i = 0; i < kMaxSectors; ++i)
        track_.Sectors[i].Data.Bind(&bytes_[i * kSectorDataBytes], kSectorDataBytes);
    track_.RawData.Bind(&bytes_[size_t{kMaxSectors} * kSectorDataBytes], kRawTrackBytes);
}

namespace {
constexpr size_t kNarrowTrackBytes = size_t{kMaxSectors} * kNarrowSectorBytes;
constexpr size_t kFullTrackBytes = size_t{kMaxSectors} * kSectorDataBytes;
// What the slots of a track nobody has written read: zeros, in memory that takes no writes.
const std::array<uint8_t, kSectorDataBytes> kNoSectorData{};
}  // namespace

// The tracks (a few pages) and the slots' bytes of every track side by side at the narrow size; apart
// from them, the slots' bytes at the full size and the raw tracks. A TR-DOS disk touches the first part
// only; the second is in 2 MB pages where the system has them, so that a disk that fills it takes a
// fault for each third of it rather than one for every 4 KB.
struct TZX_Disk::Storage {
    struct Wide {
        uint8_t full[kMaxTracks][kFullTrackBytes];
        uint8_t raw[kMaxTracks][kRawTrackBytes];
    };
    std::array<TTrack, kMaxTracks> tracks;
    uint8_t narrow[kMaxTracks][kNarrowTrackBytes];
    Wide* wide;
};

TZX_Disk::Storage* TZX_Disk::AllocateStorage() {
    auto* storage = static_cast<Storage*>(MapZeroed(sizeof(Storage), PageSize::kSmall));
    if (!storage) return nullptr;
    storage->wide = static_cast<Storage::Wide*>(MapZeroed(sizeof(Storage::Wide), PageSize::kLarge));
    if (!storage->wide) {
        Unmap(storage, sizeof(Storage), PageSize::kSmall);
        return nullptr;
    }
    return storage;
}

void TZX_Disk::FreeStorage::operator()(Storage* storage) const {
    storage->tracks.~array();
    Unmap(storage->wide, sizeof(Storage::Wide), PageSize::kLarge);
    Unmap(storage, sizeof(Storage), PageSize::kSmall);
}

TZX_Disk::TZX_Disk(SlotLayout layout) : storage_(AllocateStorage()), layout_(layout) {
    if (!storage_) throw std::bad_alloc();
    tracks_ = new (&storage_->tracks) std::array<TTrack, kMaxTracks>;
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& track = (*tracks_)[k];
        track.Index = static_cast<uint8_t>(k);
        track.RawData.Bind(storage_->wide->raw[k], kRawTrackBytes);
        BindSlots(k, SlotBytes::kNone);
    }
}

// Points the slots of track k at their bytes. From narrow to full the bytes move with them and the
// narrow place is zeroed again: storage not bound to a slot is all zeros.
void TZX_Disk::BindSlots(unsigned k, SlotBytes bytes) {
    TTrack& track = (*tracks_)[k];
    const SlotBytes before = slotBytes_[k];
    slotBytes_[k] = bytes;
    for (unsigned i = 0; i < kMaxSectors; ++i) {
        BoundBytes& data = track.Sectors[i].Data;
        switch (bytes) {
            case SlotBytes::kNone:
                data.Bind(const_cast<uint8_t*>(kNoSectorData.data()), kNoSectorData.size());
                break;
            case SlotBytes::kNarrow:
                data.Bind(&storage_->narrow[k][i * kNarrowSectorBytes], kNarrowSectorBytes);
                break;
            case SlotBytes::kFull:
                data.Bind(&storage_->wide->full[k][i * kSectorDataBytes], kSectorDataBytes);
                if (before == SlotBytes::kNarrow)
                    std::memcpy(data.data(), &storage_->narrow[k][i * kNarrowSectorBytes], kNarrowSectorBytes);
                break;
        }
    }
    if (before == SlotBytes::kNarrow && bytes == SlotBytes::kFull)
        std::memset(storage_->narrow[k], 0, kNarrowTrackBytes);
}

// A track nobody has been handed since the last Clear is still clear: only the others are reset, which
// keeps a reader of a small image from zeroing the whole model every time.
void TZX_Disk::Clear() { ClearForRefill(0, 0, 0); }

// The bytes a refill overwrites are kept only where the track's slots will get the same place again (a
// track handed out for as many bytes is bound as it was), so that storage bound to no slot stays zero.
void TZX_Disk::ClearForRefill(unsigned refillTracks, unsigned refillSlots, unsigned refillBytes) {
    const SlotBytes refillPlace = SlotBytesFor(refillBytes);
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        if (!touched_[k]) continue;
        const WrittenPart part = written_[k];
        if (part.slotCount == kMaxSectors && part.dataBytes == kSectorDataBytes) {
            (*tracks_)[k].Clear();
        } else {
            const bool keeping = k < refillTracks && slotBytes_[k] == refillPlace;
            (*tracks_)[k].ClearWithin(part.slotCount, part.dataBytes, keeping ? refillSlots : 0,
                                      keeping ? refillBytes : 0);
        }
        BindSlots(k, SlotBytes::kNone);
    }
    touched_.reset();
    written_.fill({});
    Comment.clear();
    TrackCount = 0;
    SkippedIdlessSectors = 0;
    if (observer_) observer_->DiskCleared();
}

TZX_Disk::SlotBytes TZX_Disk::SlotBytesFor(unsigned dataBytes) const {
    return layout_ == SlotLayout::kCompact && dataBytes <= kNarrowSectorBytes ? SlotBytes::kNarrow : SlotBytes::kFull;
}

TTrack* TZX_Disk::Track(unsigned k) { return TrackWithin(k, kMaxSectors, kSectorDataBytes); }

TTrack* TZX_Disk::TrackWithin(unsigned k, unsigned slots, unsigned dataBytes) {
    if (k >= kMaxTracks) return nullptr;
    touched_[k] = true;
    WrittenPart& part = written_[k];
    part.slotCount = static_cast<uint8_t>(std::max<unsigned>(part.slotCount, std::min<unsigned>(slots, kMaxSectors)));
    part.dataBytes =
        static_cast<uint16_t>(std::max<unsigned>(part.dataBytes, std::min<unsigned>(dataBytes, kSectorDataBytes)));
    const SlotBytes wanted = SlotBytesFor(part.dataBytes);
    if (slotBytes_[k] < wanted) BindSlots(k, wanted);
    return &(*tracks_)[k];
}
const TTrack* TZX_Disk::Track(unsigned k) const { return k < kMaxTracks ? &(*tracks_)[k] : nullptr; }

uint8_t TZX_Disk::CountTracks() {
    TrackCount = static_cast<uint8_t>(
        std::count_if(tracks_->begin(), tracks_->end(), [](const TTrack& t) { return t.Used != 0; }));
    return TrackCount;
}

TSectorSlot* TZX_Disk::FindSector(unsigned k, unsigned r) {
    const TSectorSlot* found = std::as_const(*this).FindSector(k, r);
    if (found) Track(k);  // handed out for writing
    return const_cast<TSectorSlot*>(found);
}

const TSectorSlot* TZX_Disk::FindSector(unsigned k, unsigned r) const {
    const TTrack* t = Track(k);
    if (!t) return nullptr;
    for (const auto& s : t->Sectors)
        if (s.SectorNo == r) return &s;
    return nullptr;
}

namespace {
// CRC-16/CCITT-FALSE: polynomial 0x1021, register starts at 0xFFFF, no reflection, no final XOR.
// kCrc16Tables[k][b] is the register after byte b followed by k zero bytes, starting from 0, so the
// CRC runs eight bytes at a time: raw tracks take it over every sector they write or read.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrc16Tables() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t reg = static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ 0x1021 : reg << 1);
        t[0][b] = reg;
    }
    for (unsigned k = 1; k < 8; ++k)
        for (unsigned b = 0; b < 256; ++b)
            t[k][b] = static_cast<uint16_t>((t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 8]);
    return t;
}
constexpr auto kCrc16Tables = MakeCrc16Tables();
}  // namespace

uint16_t TZX_Disk::Crc16(const uint8_t* data, size_t n) {
    const auto& t = kCrc16Tables;
    uint16_t reg = 0xFFFF;
    for (; n >= 8; n -= 8, data += 8) {
        reg = static_cast<uint16_t>(t[7][data[0] ^ (reg >> 8)] ^ t[6][data[1] ^ (reg & 0xFF)] ^ t[5][data[2]] ^
                                    t[4][data[3]] ^ t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
    }
    for (; n > 0; --n, ++data) reg = static_cast<uint16_t>((reg << 8) ^ t[0][(reg >> 8) ^ *data]);
    return reg;
}

long long RoundHalfEven(long long numerator, long long denominator) {
    long long q = numerator / denominator;
    long long r = numerator % denominator;
    long long twice = 2 * r;
    if (twice > denominator || (twice == denominator && (q % 2) != 0)) ++q;
    return q;
}

}  // namespace tarvex
