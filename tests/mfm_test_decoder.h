// A small MFM sector finder for the tests, written apart from the product's decoder: it walks a packed
// cell stream bit by bit, takes three A1 syncs (cells 0x4489) and a mark as an address mark, and reads the
// ID and data fields that follow. Both bit orders of bitstream images are read.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex::test {

struct FoundSector {
    uint8_t c = 0, h = 0, r = 0, n = 0;
    bool hasData = false;
    bool dataCrcOk = false;
    Bytes data;
};

// Whether the first cell in time is the top bit of a stored byte (HxC MFM images) or bit 0 (HFE).
enum class CellOrder { kMsbFirst, kLsbFirst };

class MfmTrack {
public:
    MfmTrack(ByteSpan bytes, CellOrder order) : bytes_(bytes), order_(order) {}

    std::vector<FoundSector> Sectors() const {
        std::vector<FoundSector> found;
        const size_t bits = bytes_.size() * 8;
        size_t i = 0;
        while (i + 16 <= bits) {
            if (Word(i) != kSyncA1) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j + 16 <= bits && Word(j) == kSyncA1) j += 16;
            if (j + 16 > bits) break;
            const uint8_t mark = Byte(j);
            if (mark == 0xFE && j + 16 * 7 <= bits) {
                FoundSector s;
                s.c = Byte(j + 16);
                s.h = Byte(j + 32);
                s.r = Byte(j + 48);
                s.n = Byte(j + 64);
                found.push_back(s);
                i = j + 16 * 7;
            } else if ((mark == 0xFB || mark == 0xF8) && !found.empty() && !found.back().hasData) {
                FoundSector& s = found.back();
                const size_t size = 128u << (s.n & 7);
                if (j + 16 * (size + 3) > bits) break;
                Bytes field = {0xA1, 0xA1, 0xA1, mark};
                for (size_t k = 0; k < size + 2; ++k) field.push_back(Byte(j + 16 * (k + 1)));
                s.hasData = true;
                s.dataCrcOk = TZX_Disk::Crc16(field.data(), field.size()) == 0;
                s.data.assign(field.begin() + 4, field.end() - 2);
                i = j + 16 * (size + 3);
            } else {
                i = j;
            }
        }
        return found;
    }

private:
    static constexpr uint16_t kSyncA1 = 0x4489;  // A1 with a missing clock bit
    unsigned Bit(size_t i) const {
        const unsigned shift = order_ == CellOrder::kMsbFirst ? 7 - i % 8 : i % 8;
        return (bytes_[i / 8] >> shift) & 1;
    }
    uint16_t Word(size_t i) const {
        uint16_t w = 0;
        for (size_t k = 0; k < 16; ++k) w = static_cast<uint16_t>(w << 1 | Bit(i + k));
        return w;
    }
    uint8_t Byte(size_t i) const {  // the data bits are the second of each pair of cells
        uint8_t b = 0;
        for (size_t k = 0; k < 8; ++k) b = static_cast<uint8_t>(b << 1 | Bit(i + 2 * k + 1));
        return b;
    }
    ByteSpan bytes_;
    CellOrder order_;
};

// Expects a slot of the disk model to hold what the decoder found: the ID, whether there is data, and the
// data with its CRC state (as much of the data as a slot holds).
inline void ExpectSlotHoldsFound(const TSectorSlot& slot, const FoundSector& f) {
    EXPECT_EQ(slot.Cylinder, f.c);
    EXPECT_EQ(slot.Head, f.h);
    EXPECT_EQ(slot.SectorNo, f.r);
    EXPECT_EQ(slot.SizeCode, f.n);
    EXPECT_EQ(slot.DataLength != 0, f.hasData);
    if (!f.hasData) return;
    EXPECT_EQ(slot.DataCrcOk != 0, f.dataCrcOk);
    const size_t size = std::min<size_t>(f.data.size(), kSectorDataBytes);
    EXPECT_EQ(0, std::memcmp(slot.Data.data(), f.data.data(), size));
}

}  // namespace tarvex::test
