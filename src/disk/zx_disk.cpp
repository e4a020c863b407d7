#include "disk/zx_disk.h"

#include <algorithm>

namespace tarvex {

void TTrack::Clear() {
    for (unsigned i = 0; i < kMaxSectors; ++i) ClearSector(i);
    Used = 0;
    SectorCount = 0;
    RawValid = 0;
    RawLength = 0;
    std::fill_n(RawData.begin(), kRawClearedBytes, uint8_t{0});
}

void TTrack::ClearSector(unsigned i) {
    if (i >= kMaxSectors) return;
    Sectors[i] = TSectorSlot{};
}

uint8_t TTrack::CountSectors() {
    SectorCount = static_cast<uint8_t>(
        std::count_if(Sectors.begin(), Sectors.end(), [](const TSectorSlot& s) { return s.Used != 0; }));
    return SectorCount;
}

TSectorSlot* TTrack::Sector(unsigned i) { return i < kMaxSectors ? &Sectors[i] : nullptr; }
const TSectorSlot* TTrack::Sector(unsigned i) const { return i < kMaxSectors ? &Sectors[i] : nullptr; }

TZX_Disk::TZX_Disk() : tracks_(std::make_unique<std::array<TTrack, kMaxTracks>>()) {
    for (int k = 0; k < kMaxTracks; ++k) (*tracks_)[k].Index = static_cast<uint8_t>(k);
    Clear();
}

void TZX_Disk::Clear() {
    for (auto& t : *tracks_) t.Clear();
    Comment.clear();
    TrackCount = 0;
    if (observer_) observer_->DiskCleared();
}

TTrack* TZX_Disk::Track(unsigned k) { return k < kMaxTracks ? &(*tracks_)[k] : nullptr; }
const TTrack* TZX_Disk::Track(unsigned k) const { return k < kMaxTracks ? &(*tracks_)[k] : nullptr; }

uint8_t TZX_Disk::CountTracks() {
    TrackCount = static_cast<uint8_t>(
        std::count_if(tracks_->begin(), tracks_->end(), [](const TTrack& t) { return t.Used != 0; }));
    return TrackCount;
}

TSectorSlot* TZX_Disk::FindSector(unsigned k, unsigned r) {
    TTrack* t = Track(k);
    if (!t) return nullptr;
    for (auto& s : t->Sectors)
        if (s.SectorNo == r) return &s;
    return nullptr;
}

namespace {
// CRC-16/CCITT-FALSE: polynomial 0x1021, register starts at 0xFFFF, no reflection, no final XOR.
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t reg = static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) reg = (reg & 0x8000) ? static_cast<uint16_t>((reg << 1) ^ 0x1021) : static_cast<uint16_t>(reg << 1);
        table[b] = reg;
    }
    return table;
}
constexpr auto kCrc16Table = MakeCrc16Table();
}  // namespace

uint16_t TZX_Disk::Crc16(const uint8_t* data, size_t n) {
    uint16_t reg = 0xFFFF;
    for (size_t i = 0; i < n; ++i) reg = static_cast<uint16_t>((reg << 8) ^ kCrc16Table[((reg >> 8) ^ data[i]) & 0xFF]);
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
