#include "disk/byte_sum.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

namespace tarvex {
namespace {

uint32_t OneByOne(ByteSpan bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), uint32_t{0}, [](uint32_t sum, uint8_t b) { return sum + b; });
}

TEST(ByteSum, EqualsTheSumTakenByteByByteAtAnyLengthAndStart) {
    std::mt19937 random(20261209);
    std::vector<uint8_t> bytes(5000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    for (size_t start = 0; start < 9; ++start)
        for (size_t n = 0; start + n <= 2100; n += (n < 40 ? 1 : 37)) {
            const ByteSpan run(bytes.data() + start, n);
            ASSERT_EQ(ByteSum(run), OneByOne(run)) << "start " << start << ", " << n << " bytes";
        }
}

// 0xFF everywhere fills the lanes fastest: lengths around the point where they are folded, and a run
// whose sum passes 2^32 and wraps.
TEST(ByteSum, HoldsForLanesFilledToTheBrimAndForSumsPastThirtyTwoBits) {
    std::vector<uint8_t> ones(17u << 20, 0xFF);
    for (size_t n : {1023u, 1024u, 1025u, 1031u, 1032u, 2048u, 2056u, 65536u + 3u}) {
        const ByteSpan run(ones.data(), n);
        EXPECT_EQ(ByteSum(run), OneByOne(run)) << n;
    }
    const ByteSpan all(ones);
    EXPECT_EQ(ByteSum(all), OneByOne(all));
    EXPECT_LT(ByteSum(all), uint64_t{255} * all.size()) << "the sum wraps at 2^32";
}

}  // namespace
}  // namespace tarvex
