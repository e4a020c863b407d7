// The disk model's storage and housekeeping: the tracks (mapped once, zeroed by the system), the store
// their slots' bytes and raw tracks are given from, clearing only what was handed out since the last Clear,
// looking sectors up, and the CRC-16 of ID and data fields.
#include "disk/zx_disk.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <new>
#include <utility>
#include <vector>


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

const TSectorSlot SlotArray::kBlankSlot{};

// A cleared track's slots and raw track are bound to nothing: their room went with the store's.
void TTrack::Clear() {
    const unsigned slots = Sectors.FarInUse() ? kMaxSectors : SlotArray::kNearSlots;
    for (unsigned i = 0; i < slots; ++i) ClearSector(i);
    Sectors.FarOutOfUse();
    Used = 0;
    SectorCount = 0;
    RawValid = 0;
    RawLength = 0;
    RateKbps = 0;
    Encoding = TrackEncoding::kUnknown;
    RawData.Bind(nullptr, 0);
    RawMarks.Bind(nullptr, 0);
}

namespace {
// Every field of a slot 0, its data bound to nothing. (Assigning an empty slot would zero the bytes the
// slot is bound to, which the store hands out again anyway.) A slot that is blank already is only read:
// slots nobody used stay in memory the system has not handed out.
void ResetSlot(TSectorSlot& slot) {
    if (!slot.Used && !slot.Cylinder && !slot.Head && !slot.SectorNo && !slot.SizeCode && !slot.DataCrcOk &&
        !slot.DataLength && !slot.DeletedData && !slot.IdCrcError && !slot.IdMissing && !slot.Copies &&
        !slot.Data.data() && !slot.Data.size())
        return;
    slot.Used = slot.Cylinder = slot.Head = slot.SectorNo = slot.SizeCode = slot.DataCrcOk = 0;
    slot.DataLength = 0;
    slot.DeletedData = slot.IdCrcError = slot.IdMissing = slot.Copies = 0;
    slot.Data.Bind(nullptr, 0);
}
}  // namespace

void TTrack::ClearSector(unsigned i) {
    if (i < kMaxSectors) ResetSlot(Sectors[i]);
}

uint8_t TTrack::CountSectors() {
    SectorCount = UsedSectorCount();
    return SectorCount;
}

uint8_t TTrack::UsedSectorCount() const {
    return static_cast<uint8_t>(
        std::count_if(Sectors.begin(), Sectors.end(), [](const TSectorSlot& s) { return s.Used != 0; }));
}

uint8_t* SpareSlot::Reserve(size_t bytes) {
    bytes_.assign(bytes, 0);
    slot_.Data.Bind(bytes_.data(), bytes_.size());
    return bytes_.data();
}

struct TZX_Disk::Tracks {
    std::array<TTrack, kMaxTracks> tracks;
};
// The slots come from calloc, which creates objects of such a type in memory that reads as zeros (a blank
// slot), and gives blocks this large as pages the system hands out when first touched.
static_assert(std::is_aggregate_v<TSectorSlot> && std::is_trivially_destructible_v<TSectorSlot>);

void TZX_Disk::FreeSlots::operator()(TSectorSlot* slots) const { std::free(slots); }

// Chunks of bytes handed out one after another; a chunk stays where it is until the disk goes, so room
// once given never moves. Clear starts again from the first chunk: a disk read after another reuses the
// memory the first one took, and a TR-DOS disk's 640 KB come from one chunk, in file order.
class TZX_Disk::Store {
public:
    uint8_t* Take(size_t bytes) {
        uint8_t* at = Place(bytes);
        MarkWritten(at, bytes);
        return at;
    }
    // Room whose bytes from `zeroFrom` on are zeros; the taker writes those before. The store keeps, for
    // each chunk, from where on it has never been handed out: that part is still the zeros the system gave,
    // so a disk read once (a single conversion) zeroes nothing.
    uint8_t* TakeZeroedFrom(size_t bytes, size_t zeroFrom) {
        uint8_t* at = Place(bytes);
        Chunk& chunk = chunks_[current_];
        const size_t offset = static_cast<size_t>(at - chunk.bytes.get());
        const size_t tail = offset + zeroFrom, end = offset + bytes;
        if (chunk.cleanFrom > tail) std::memset(chunk.bytes.get() + tail, 0, std::min(chunk.cleanFrom, end) - tail);
        MarkWritten(at, bytes);  // its taker may write any of it
        return at;
    }
    void Reset() {
        current_ = 0;
        used_ = 0;
    }

private:
    static constexpr size_t kChunkBytes = size_t{1} << 20;
    static constexpr size_t kAlignment = 16;
    struct FreeBytes {
        void operator()(uint8_t* bytes) const { std::free(bytes); }
    };
    struct Chunk {
        std::unique_ptr<uint8_t[], FreeBytes> bytes;
        size_t size;
        size_t cleanFrom;  // the bytes from here on have never been handed out: zeros
    };

    uint8_t* Place(size_t bytes) {
        bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
        while (current_ < chunks_.size() && chunks_[current_].size - used_ < bytes) {
            ++current_;
            used_ = 0;
        }
        if (current_ == chunks_.size()) {
            // A chunk is as large as the bytes asked for or kChunkBytes, whichever is larger; one too
            // small for this request stays for the next disk's smaller ones. Taken zeroed from the
            // system, which hands out its pages only when first used.
            const size_t size = std::max(bytes, kChunkBytes);
            uint8_t* fresh = static_cast<uint8_t*>(std::calloc(size, 1));
            if (!fresh) throw std::bad_alloc();
            chunks_.push_back(Chunk{std::unique_ptr<uint8_t[], FreeBytes>(fresh), size, 0});
            used_ = 0;
        }
        uint8_t* at = chunks_[current_].bytes.get() + used_;
        used_ += bytes;
        return at;
    }
    void MarkWritten(const uint8_t* at, size_t bytes) {
        Chunk& chunk = chunks_[current_];
        chunk.cleanFrom = std::max(chunk.cleanFrom, static_cast<size_t>(at - chunk.bytes.get()) + bytes);
    }

    std::vector<Chunk> chunks_;
    size_t current_ = 0;
    size_t used_ = 0;
};

TZX_Disk::TZX_Disk() : tracks_(std::make_unique<Tracks>()), store_(std::make_unique<Store>()) {
    constexpr size_t kNear = SlotArray::kNearSlots, kFar = kMaxSectors - SlotArray::kNearSlots;
    nearSlots_.reset(static_cast<TSectorSlot*>(std::calloc(size_t{kMaxTracks} * kNear, sizeof(TSectorSlot))));
    farSlots_.reset(static_cast<TSectorSlot*>(std::calloc(size_t{kMaxTracks} * kFar, sizeof(TSectorSlot))));
    if (!nearSlots_ || !farSlots_) throw std::bad_alloc();
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& track = tracks_->tracks[k];
        track.Index = static_cast<uint8_t>(k);
        track.Sectors.Bind(&nearSlots_[k * kNear], &farSlots_[k * kFar]);
    }
}

TZX_Disk::~TZX_Disk() = default;

// A track nobody has been handed since the last Clear is still clear: only the others are reset, which
// keeps a reader of a small image from clearing the whole model every time.
void TZX_Disk::Clear() {
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        if (!touched_[k]) continue;
        TTrack& track = tracks_->tracks[k];
        track.Clear();
    }
    touched_.reset();
    store_->Reset();
    Comment.clear();
    TrackCount = 0;
    ReadLosses.Clear();
    if (observer_) observer_->DiskCleared();
}

TTrack* TZX_Disk::Track(unsigned k) {
    if (k >= kMaxTracks) return nullptr;
    touched_[k] = true;
    return &tracks_->tracks[k];
}
const TTrack* TZX_Disk::Track(unsigned k) const { return k < kMaxTracks ? &tracks_->tracks[k] : nullptr; }

unsigned TZX_Disk::CountTracks() {
    TrackCount = static_cast<uint16_t>(std::count_if(tracks_->tracks.begin(), tracks_->tracks.end(),
                                                     [](const TTrack& t) { return t.Used != 0; }));
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

uint8_t* TZX_Disk::ReserveData(TSectorSlot& slot, size_t bytes, bool zeroed) {
    if (slot.Data.size() >= bytes && slot.Data.data()) return slot.Data.data();
    const size_t kept = std::min(slot.Data.size(), bytes);
    uint8_t* room = zeroed ? store_->TakeZeroedFrom(bytes, kept) : store_->Take(bytes);
    if (kept) std::memcpy(room, slot.Data.data(), kept);
    slot.Data.Bind(room, bytes);
    return room;
}

void TZX_Disk::CopySector(TSectorSlot& to, const TSectorSlot& from) {
    const size_t bytes = from.Data.size();
    to.Data.Bind(nullptr, 0);
    if (bytes) std::memcpy(ReserveData(to, bytes, false), from.Data.data(), bytes);
    to.Used = from.Used;
    to.Cylinder = from.Cylinder;
    to.Head = from.Head;
    to.SectorNo = from.SectorNo;
    to.SizeCode = from.SizeCode;
    to.DataCrcOk = from.DataCrcOk;
    to.DataLength = from.DataLength;
    to.DeletedData = from.DeletedData;
    to.IdCrcError = from.IdCrcError;
    to.IdMissing = from.IdMissing;
    to.Copies = from.Copies;
}

uint8_t* TZX_Disk::ReserveRaw(TTrack& track, size_t bytes, bool marks, bool zeroed) {
    if (track.RawData.size() < bytes || !track.RawData.data()) {
        const size_t kept = std::min(track.RawData.size(), bytes);
        uint8_t* room = zeroed ? store_->TakeZeroedFrom(bytes, kept) : store_->Take(bytes);
        if (kept) std::memcpy(room, track.RawData.data(), kept);
        track.RawData.Bind(room, bytes);
    }
    const size_t markBytes = (bytes + 7) / 8;
    if (marks && (track.RawMarks.size() < markBytes || !track.RawMarks.data())) {
        const size_t kept = std::min(track.RawMarks.size(), markBytes);
        uint8_t* room = zeroed ? store_->TakeZeroedFrom(markBytes, kept) : store_->Take(markBytes);
        if (kept) std::memcpy(room, track.RawMarks.data(), kept);
        track.RawMarks.Bind(room, markBytes);
    }
    return track.RawData.data();
}

uint8_t* TZX_Disk::ReserveRun(size_t bytes) { return store_->Take(bytes); }

uint8_t* TZX_Disk::ReserveRunZeroedFrom(size_t bytes, size_t zeroFrom) {
    return store_->TakeZeroedFrom(bytes, zeroFrom);
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
