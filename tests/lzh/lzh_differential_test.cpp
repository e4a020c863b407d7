// The fast LZH coder checked against the plain reference coder: on inputs shaped to trouble a match
// finder (near-repeating strings, runs, short periods, noise), across the tree rebuild and around
// every size at which more threads join in, both fast encoders must give the reference's code byte
// for byte, and that code must decode to the input with the fast decoder and the reference one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "lzh/lzh.h"
#include "lzh/lzh_test_inputs.h"
#include "lzh_reference.h"
#include "test_support.h"

namespace tarvex {
namespace {

constexpr size_t kDiskBytes = 655360;  // a TR-DOS disk of 160 tracks
constexpr unsigned kString = 60;       // the longest match, and the length of the strings repeated
constexpr size_t kHeader = 12;         // the TD0 header the code follows

// Sizes at which the encoder changes how it works.
constexpr size_t kPipelineMinimum = 64 * 1024;   // a second thread finds the matches
constexpr size_t kThirdThreadMinimum = 256 * 1024;  // a third may find those of the second half
constexpr size_t kRebuildSymbols = 0x8000 - 314;  // the root weight reaches 0x8000 after these

using test::Lcg;

Bytes RandomBytes(size_t n, uint32_t seed) {
    Lcg rng{seed};
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng.Next());
    return out;
}

// Strings of 60 bytes, each a copy of one of a few base strings whose bytes offset .. offset+width-1
// vary: over a few letters (so that whole strings repeat too) or over every byte value. A random
// byte or two may come before a string, so that a token starts where the string does; every so often
// a run or a random stretch breaks the rhythm.
Bytes NearRepeats(size_t n, uint32_t seed, unsigned offset, unsigned width, unsigned bases = 2) {
    Lcg rng{seed};
    const bool anyValue = seed % 2 == 0;
    std::vector<Bytes> base(bases, Bytes(kString));
    for (auto& b : base)
        for (auto& c : b) c = static_cast<uint8_t>("ETAOINSHRDLU 0123"[rng.Next() % 17]);
    Bytes out;
    out.reserve(n + kString + 2);
    while (out.size() < n) {
        const uint32_t pick = rng.Next();
        if (pick % 97 == 0) {
            out.insert(out.end(), rng.Next() % 200, static_cast<uint8_t>(rng.Next()));
            continue;
        }
        for (unsigned k = rng.Next() % 3; k > 0; --k) out.push_back(static_cast<uint8_t>(rng.Next()));
        Bytes s = base[pick % bases];
        for (unsigned i = offset; i < std::min(offset + width, kString); ++i)
            s[i] = static_cast<uint8_t>(anyValue ? rng.Next() : 'a' + rng.Next() % 4);
        out.insert(out.end(), s.begin(), s.end());
    }
    out.resize(n);
    return out;
}

// Runs of one value of random lengths, some longer than the window.
Bytes Runs(size_t n, uint32_t seed) {
    Lcg rng{seed};
    Bytes out;
    while (out.size() < n) {
        const size_t length = rng.Next() % 8 == 0 ? rng.Next() % 9000 : rng.Next() % 130;
        out.insert(out.end(), length, static_cast<uint8_t>(rng.Next() % 3 * 0x55));
    }
    out.resize(n);
    return out;
}

// A random pattern of `period` bytes over and over, with a changed byte every so often.
Bytes Periodic(size_t n, uint32_t seed, unsigned period) {
    Lcg rng{seed};
    const Bytes pattern = RandomBytes(period, seed);
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = pattern[i % period];
    for (size_t i = rng.Next() % 5000; i < n; i += 1 + rng.Next() % 5000) out[i] = static_cast<uint8_t>(rng.Next());
    return out;
}

// Noise, runs and copies of recent stretches, mixed: compressible enough for a third thread to be
// started on a large input, and varied enough for its match trees to come to agree with the first's.
Bytes Mixed(size_t n, uint32_t seed, unsigned noise) { return test::MixedData(n, seed, noise); }

Bytes RegressionFragment() { return test::ReadFile(test::TestData("lzh-roundtrip-1575.bin")); }

std::string FirstDifference(const Bytes& expected, const Bytes& actual) {
    const auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) +
           ", first difference at byte " + std::to_string(e - expected.begin());
}

void ExpectDecodesTo(const Bytes& decoded, const Bytes& input, const std::string& what) {
    ASSERT_GE(decoded.size(), input.size()) << what;
    EXPECT_TRUE(std::equal(input.begin(), input.end(), decoded.begin()))
        << what << ": " << FirstDifference(input, Bytes(decoded.begin(), decoded.begin() + input.size()));
}

// Codes input with both fast encoders and the reference, expects the same code from all three and
// that code to decode to the input with both decoders. Returns the threaded encoder's stats.
LzhEncodeStats ExpectSameAsReference(const Bytes& input, const std::string& what) {
    const Bytes expected = lzh_reference::Encode(input);
    Bytes threaded, single;
    LzhEncodeStats stats, singleStats;
    LzhEncode(input, threaded, stats);
    LzhEncodeOnOneThread(input, single, singleStats);
    EXPECT_TRUE(threaded == expected) << what << ", LzhEncode: " << FirstDifference(expected, threaded);
    EXPECT_TRUE(single == expected) << what << ", LzhEncodeOnOneThread: " << FirstDifference(expected, single);

    Bytes file(kHeader, 0);
    file.insert(file.end(), expected.begin(), expected.end());
    Bytes fast;
    LzhDecode(file, kHeader, fast);
    const Bytes plain = lzh_reference::Decode(file, kHeader);
    ExpectDecodesTo(fast, input, what + ", LzhDecode");
    ExpectDecodesTo(plain, input, what + ", reference decoder");
    EXPECT_TRUE(fast == plain) << what << ", the bytes decoded from the zero fill: " << FirstDifference(plain, fast);
    return stats;
}

TEST(LzhDifferential, ReferenceCodesTheKnownExamples) {
    EXPECT_TRUE(lzh_reference::Encode(Bytes{}).empty());
    EXPECT_EQ(lzh_reference::Encode(Bytes{'a', 'b', 'c'}), (Bytes{0xF6, 0xFB, 0xBD, 0xE0}));
    EXPECT_EQ(lzh_reference::Encode(Bytes{'a'}), (Bytes{0xF6, 0x80}));
    const Bytes file{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF6, 0xFB, 0xBD, 0xE0};
    const Bytes decoded = lzh_reference::Decode(file, kHeader);
    ASSERT_GT(decoded.size(), 3u) << "the zero fill past the code decodes to surplus bytes";
    EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 3), (Bytes{'a', 'b', 'c'}));
}

TEST(LzhDifferential, NearRepeatsDifferingInANarrowBandAtEveryOffset) {
    for (unsigned offset = 0; offset < kString; ++offset) {
        for (unsigned width = 1; width <= 3; ++width) {
            for (uint32_t seed = offset * 8 + width; seed < 2000; seed += 1000) {
                ExpectSameAsReference(NearRepeats(12000, seed, offset, width, 1 + seed % 3),
                                      "offset " + std::to_string(offset) + " width " + std::to_string(width) +
                                          " seed " + std::to_string(seed));
            }
        }
    }
}

TEST(LzhDifferential, NearRepeatsWithManyBaseStrings) {
    for (uint32_t seed = 1; seed <= 12; ++seed)
        ExpectSameAsReference(NearRepeats(40000, seed, 45 + seed % 8, 1 + seed % 3, 1 + seed % 5),
                              "seed " + std::to_string(seed));
}

TEST(LzhDifferential, RunsAndShortPeriods) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        ExpectSameAsReference(Runs(30000, seed), "runs, seed " + std::to_string(seed));
        for (unsigned period : {1u, 2u, 3u, 59u, 60u, 61u})
            ExpectSameAsReference(Periodic(9000, seed, period),
                                  "period " + std::to_string(period) + ", seed " + std::to_string(seed));
    }
}

TEST(LzhDifferential, RandomDataAndShortInputs) {
    for (uint32_t seed = 1; seed <= 8; ++seed)
        ExpectSameAsReference(RandomBytes(6000, seed), "seed " + std::to_string(seed));
    for (size_t n = 1; n <= 130; ++n) {
        ExpectSameAsReference(RandomBytes(n, static_cast<uint32_t>(n)), "random, " + std::to_string(n) + " bytes");
        ExpectSameAsReference(Bytes(n, 0x20), "spaces, " + std::to_string(n) + " bytes");
    }
    // Found by the fuzzer on the encoder before its equality check compared all 60 bytes: a run of zeros
    // and one letter came back changed from the letter on.
    for (size_t zeros : {169u, 170u, 171u}) {
        Bytes input(zeros, 0);
        input.push_back('E');
        ExpectSameAsReference(input, std::to_string(zeros) + " zeros and E");
    }
}

// Noise codes one literal per byte, so the root weight reaches the limit right at these sizes.
TEST(LzhDifferential, AcrossTheTreeRebuild) {
    for (size_t n = kRebuildSymbols - 2; n <= kRebuildSymbols + 3; ++n) {
        const LzhEncodeStats stats = ExpectSameAsReference(RandomBytes(n, 77), std::to_string(n) + " bytes of noise");
        EXPECT_EQ(stats.rebuilds, n > kRebuildSymbols ? 1u : 0u) << n;
    }
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const LzhEncodeStats stats = ExpectSameAsReference(Mixed(150000, seed, 200), "mixed data");
        EXPECT_GT(stats.rebuilds, 0u);
    }
}

TEST(LzhDifferential, AroundEveryThreadingThreshold) {
    for (size_t threshold : {kPipelineMinimum, kThirdThreadMinimum}) {
        for (size_t n : {threshold - 1, threshold, threshold + 1}) {
            const std::string size = std::to_string(n) + " bytes";
            ExpectSameAsReference(NearRepeats(n, static_cast<uint32_t>(n), 48, 3), "near repeats, " + size);
            ExpectSameAsReference(Runs(n, static_cast<uint32_t>(n)), "runs, " + size);
            ExpectSameAsReference(RandomBytes(n, static_cast<uint32_t>(n)), "noise, " + size);
            ExpectSameAsReference(Mixed(n, static_cast<uint32_t>(n), 20), "mixed, " + size);
        }
    }
}

TEST(LzhDifferential, RegressionFragmentAloneOnAnEmptyDisk) {
    const Bytes fragment = RegressionFragment();
    ASSERT_EQ(fragment.size(), 1575u);
    Bytes disk(kDiskBytes, 0);
    std::copy(fragment.begin(), fragment.end(), disk.begin());
    ExpectSameAsReference(disk, "fragment on an empty disk");
}

TEST(LzhDifferential, RegressionFragmentOverAWholeDisk) {
    const Bytes fragment = RegressionFragment();
    Bytes disk(kDiskBytes);
    for (size_t i = 0; i < disk.size(); ++i) disk[i] = fragment[i % fragment.size()];
    ExpectSameAsReference(disk, "fragment over a whole disk");
}

// Twelve whole disks of near repeats, the band of varying bytes at the start, in the middle and near
// the end of the strings, with one to three bases.
TEST(LzhDifferential, NearRepeatDisks) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const unsigned offset = std::array<unsigned, 6>{0, 12, 30, 47, 48, 57}[seed % 6];
        ExpectSameAsReference(NearRepeats(kDiskBytes, seed, offset, 1 + seed % 3, 1 + seed % 3),
                              "disk, seed " + std::to_string(seed) + ", offset " + std::to_string(offset));
    }
}

// A few symbols with weights in the Fibonacci sequence, stacked on the ones hardly used, grow the
// tree deeper than the 16 bits of one code word; the rare symbols then have the longest codes.
TEST(LzhDifferential, CodesDeeperThanOneCodeWord) {
    unsigned deepest = 0;
    for (unsigned scale : {300u, 420u, 450u, 480u}) {
        std::vector<uint16_t> symbols;
        uint32_t f1 = 1, f2 = 1;
        for (unsigned i = 0; i < 8; ++i) {
            symbols.insert(symbols.end(), scale * f1, static_cast<uint16_t>(313 - 5 * i));
            const uint32_t f3 = f1 + f2;
            f1 = f2;
            f2 = f3;
        }
        Lcg rng{scale};
        for (size_t i = symbols.size() - 1; i > 0; --i) std::swap(symbols[i], symbols[rng.Next() % (i + 1)]);
        for (uint16_t s = 0; s < 314; ++s) symbols.push_back(s);

        Bytes fast;
        LzhEncodeStats stats;
        LzhEncodeSymbols(symbols, fast, stats);
        const Bytes expected = lzh_reference::EncodeSymbols(symbols);
        EXPECT_TRUE(fast == expected) << "scale " << scale << ": " << FirstDifference(expected, fast);
        EXPECT_EQ(LzhDecodeSymbols(expected, symbols.size()), symbols) << scale;
        deepest = std::max(deepest, stats.deepestCode);
    }
    EXPECT_GT(deepest, 16u);
}

// Whole disks of mixed data: a third thread finds the matches of the second half and takes over
// where its trees have come to equal the first finder's.
TEST(LzhDifferential, DisksWhoseSecondHalfAThirdThreadCodes) {
    size_t takenOver = 0;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        const LzhEncodeStats stats = ExpectSameAsReference(Mixed(kDiskBytes, seed, seed % 2 ? 10 : 30),
                                                           "mixed disk, seed " + std::to_string(seed));
        takenOver += stats.takenOverAt > 0;
    }
    EXPECT_GE(takenOver, 3u) << "the third thread's tokens were hardly ever used, so its path went untested";
}

// Arbitrary bytes decode to whatever the tree makes of them, zero fill included, alike in both decoders.
TEST(LzhDifferential, ArbitraryBytesDecodeAlike) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const Bytes junk = RandomBytes(1 + seed * 97, seed);
        for (size_t position : {size_t{0}, size_t{3}, kHeader}) {
            Bytes fast;
            LzhDecode(junk, position, fast);
            const Bytes plain = lzh_reference::Decode(junk, position);
            EXPECT_TRUE(fast == plain) << "seed " << seed << " from " << position << ": "
                                       << FirstDifference(plain, fast);
        }
    }
}

}  // namespace
}  // namespace tarvex
