// The byte sum of an SCL archive, taken a word at a time: the bytes of each eight-byte word are added
// pairwise into four 16-bit lanes, and the lanes are folded into the 32-bit sum before any could overflow.
#include "disk/byte_sum.h"

#include <algorithm>
#include <cstring>

namespace tarvex {

namespace {
constexpr uint64_t kEveryOtherByte = 0x00FF00FF00FF00FFull;
// Each eight-byte word adds at most 2 * 255 to each of four 16-bit lanes; this many words fit before
// a lane could overflow.
constexpr size_t kWordsPerFold = 128;
constexpr size_t kWordBytes = 8;
}  // namespace

uint32_t ByteSum(ByteSpan bytes) {
    uint32_t sum = 0;
    size_t i = 0;
    while (bytes.size() - i >= kWordBytes) {
        const size_t words = std::min((bytes.size() - i) / kWordBytes, kWordsPerFold);
        uint64_t lanes = 0;
        for (size_t w = 0; w < words; ++w, i += kWordBytes) {
            uint64_t word;
            std::memcpy(&word, &bytes[i], kWordBytes);
            lanes += (word & kEveryOtherByte) + ((word >> 8) & kEveryOtherByte);
        }
        sum += static_cast<uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) +
                                     (lanes >> 48));
    }
    for (; i < bytes.size(); ++i) sum += bytes[i];
    return sum;
}

}  // namespace tarvex
