// The byte sum of an SCL archive, taken sixteen bytes at a time where the processor has SSE2, and a word
// at a time elsewhere and for the tail: the bytes of each eight-byte word are added pairwise into four
// 16-bit lanes, and the lanes are folded into the 32-bit sum before any could overflow.
#include "disk/byte_sum.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvex {

namespace {
constexpr uint64_t kEveryOtherByte = 0x00FF00FF00FF00FFull;
// Each eight-byte word adds at most 2 * 255 to each of four 16-bit lanes; this many words fit before
// a lane could overflow.
constexpr size_t kWordsPerFold = 128;
constexpr size_t kWordBytes = 8;
[[maybe_unused]] constexpr size_t kVectorBytes = 16;
}  // namespace

uint32_t ByteSum(ByteSpan bytes) {
    uint32_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: their sum of differences from zero is the sum of each half, in two 64-bit
    // lanes that no image can fill.
    __m128i lanes = _mm_setzero_si128();
    for (; bytes.size() - i >= kVectorBytes; i += kVectorBytes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&bytes[i]));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(v, _mm_setzero_si128()));
    }
    sum = static_cast<uint32_t>(_mm_cvtsi128_si64(lanes) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(lanes, lanes)));
#endif
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
