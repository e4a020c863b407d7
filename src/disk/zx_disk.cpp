#include "disk/zx_disk.h"

#include <algorithm>
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace tarvex {

void TTrack::Clear() {
    for (unsigned i = 0; i < kMaxSectors; ++i) ClearSector(i);
    Used = 0;
    SectorCount = 0;
    RawValid = 0;
    RawLength = 0;
    std::fill_n(RawData.begin(), kRawClearedBytes, uint8_t{0});
}

static_assert(std::is_standard_layout_v<TTrack> && std::is_standard_layout_v<TSectorSlot>);

void TTrack::ClearWithin(unsigned slots, unsigned dataBytes) {
    const unsigned dataCleared = std::min<unsigned>(dataBytes, kSectorDataBytes);
    for (unsigned i = 0; i < slots && i < kMaxSectors; ++i)
        std::memset(static_cast<void*>(&Sectors[i]), 0, offsetof(TSectorSlot, Data) + dataCleared);
    const uint8_t index = Index;
    std::memset(static_cast<void*>(this), 0, offsetof(TTrack, Sectors));
    Index = index;
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


static_assert(std::is_trivially_copyable_v<TTrack> && std::is_trivially_destructible_v<TTrack>,
              "tracks are created in zeroed memory");

#if defined(__SANITIZE_ADDRESS__)
#define TARVEX_TRACKS_ON_THE_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEX_TRACKS_ON_THE_HEAP 1
#endif
#endif

#ifdef TARVEX_TRACKS_ON_THE_HEAP
// Under the address checker the tracks stay a heap block, so that a step past them is caught.
TZX_Disk::Tracks* TZX_Disk::AllocateTracks() { return static_cast<Tracks*>(std::calloc(1, sizeof(Tracks))); }
void TZX_Disk::FreeTracks::operator()(Tracks* tracks) const { std::free(tracks); }
#else
namespace {
constexpr uintptr_t kHugePageBytes = uintptr_t{2} << 20;
constexpr size_t kTrackAreaBytes = (sizeof(std::array<TTrack, kMaxTracks>) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
}  // namespace

// A mapping of whole 2 MB pages on a 2 MB boundary, with the advice to back it by such pages. Where the
// system gives none, the advice is ignored and small pages serve.
TZX_Disk::Tracks* TZX_Disk::AllocateTracks() {
    const size_t mapped = kTrackAreaBytes + kHugePageBytes;
    void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > start) ::munmap(block, aligned - start);
    if (const uintptr_t end = aligned + kTrackAreaBytes; end < start + mapped)
        ::munmap(reinterpret_cast<void*>(end), start + mapped - end);
    ::madvise(reinterpret_cast<void*>(aligned), kTrackAreaBytes, MADV_HUGEPAGE);
    return reinterpret_cast<Tracks*>(aligned);
}
void TZX_Disk::FreeTracks::operator()(Tracks* tracks) const { ::munmap(tracks, kTrackAreaBytes); }
#endif

TZX_Disk::TZX_Disk() : tracks_(AllocateTracks()) {
    if (!tracks_) throw std::bad_alloc();
    for (int k = 0; k < kMaxTracks; ++k) (*tracks_)[k].Index = static_cast<uint8_t>(k);
}

// A track nobody has been handed since the last Clear is still clear: only the others are reset, which
// keeps a reader of a small image from zeroing the whole 6 MB model every time.
void TZX_Disk::Clear() {
    for (int k = 0; k < kMaxTracks; ++k) {
        if (!touched_[k]) continue;
        const WrittenPart part = written_[k];
        if (part.slotCount == kMaxSectors && part.dataBytes == kSectorDataBytes)
            (*tracks_)[k].Clear();
        else
            (*tracks_)[k].ClearWithin(part.slotCount, part.dataBytes);
    }
    touched_.reset();
    written_.fill({});
    Comment.clear();
    TrackCount = 0;
    SkippedIdlessSectors = 0;
    if (observer_) observer_->DiskCleared();
}

TTrack* TZX_Disk::Track(unsigned k) { return TrackWithin(k, kMaxSectors, kSectorDataBytes); }

TTrack* TZX_Disk::TrackWithin(unsigned k, unsigned slots, unsigned dataBytes) {
    if (k >= kMaxTracks) return nullptr;
    touched_[k] = true;
    WrittenPart& part = written_[k];
    part.slotCount = static_cast<uint8_t>(std::max<unsigned>(part.slotCount, std::min<unsigned>(slots, kMaxSectors)));
    part.dataBytes =
        static_cast<uint16_t>(std::max<unsigned>(part.dataBytes, std::min<unsigned>(dataBytes, kSectorDataBytes)));
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
