// The fixed prefix code of match positions: the upper six bits u of a position get a canonical code of
// 3 to 8 bits, the lower six bits follow as they are. Tables for sending a code and for reading one
// from the next eight input bits.
#pragma once

#include <array>
#include <cstdint>

namespace tarvex::lzh {

struct PositionCode {
    std::array<uint8_t, 64> length{};
    std::array<uint8_t, 64> leftAligned{};  // the code in the top bits of a byte
    std::array<uint8_t, 256> upperOf{};     // by the next eight input bits: u ...
    std::array<uint8_t, 256> lengthOf{};    // ... and the length of its code
};

constexpr unsigned PositionCodeLength(unsigned u) {
    return u < 1 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
}

constexpr PositionCode MakePositionCode() {
    PositionCode t{};
    unsigned code = 0;
    unsigned previousLength = PositionCodeLength(0);
    for (unsigned u = 0; u < 64; ++u) {
        const unsigned len = PositionCodeLength(u);
        if (u > 0) code = (code + 1) << (len - previousLength);
        previousLength = len;
        t.length[u] = static_cast<uint8_t>(len);
        t.leftAligned[u] = static_cast<uint8_t>(code << (8 - len));
        for (unsigned b = 0; b < (1u << (8 - len)); ++b) {
            t.upperOf[t.leftAligned[u] + b] = static_cast<uint8_t>(u);
            t.lengthOf[t.leftAligned[u] + b] = static_cast<uint8_t>(len);
        }
    }
    return t;
}

inline constexpr PositionCode kPositionCode = MakePositionCode();
static_assert(kPositionCode.leftAligned[1] == 0x20 && kPositionCode.length[1] == 4);
static_assert(kPositionCode.leftAligned[63] == 0xFF && kPositionCode.length[63] == 8);
static_assert(kPositionCode.upperOf[0x1F] == 0 && kPositionCode.lengthOf[0x1F] == 3);
static_assert(kPositionCode.upperOf[0xF0] == 48 && kPositionCode.lengthOf[0xFF] == 8);

}  // namespace tarvex::lzh
