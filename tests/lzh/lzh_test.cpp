#include "lzh/lzh.h"
#include "lzh/lzh_test_inputs.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace tarvex {
namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

using test::Lcg;

// Mostly incompressible bytes with runs and repeated phrases mixed in.
Bytes MixedData(size_t n, uint32_t seed) { return test::MixedData(n, seed, 300); }

// Decodes code as the TeleDisk reader does: placed after a 12-byte header.
Bytes DecodeAfterHeader(const Bytes& code) {
    Bytes file(12 + code.size(), 0xAA);
    std::copy(code.begin(), code.end(), file.begin() + 12);
    Bytes out;
    LzhDecode(file, 12, out);
    return out;
}

void ExpectPrefix(const Bytes& whole, const Bytes& prefix) {
    ASSERT_GE(whole.size(), prefix.size());
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), whole.begin()));
}

TEST(Lzh, EmptyInputGivesNothingBothWays) {
    Bytes out;
    LzhEncode({}, out);
    LzhDecode({}, 0, out);
    LzhDecodeAll({}, out);
    EXPECT_TRUE(out.empty());
}

TEST(Lzh, ThreeLettersHaveTheirKnownCode) {
    Bytes code;
    LzhEncode(Text("abc"), code);
    EXPECT_EQ(code, (Bytes{0xF6, 0xFB, 0xBD, 0xE0}));

    // The first nine bits, 111101101, are the initial code of the literal 0x61 on its own.
    Bytes single;
    LzhEncode(Text("a"), single);
    EXPECT_EQ(single, (Bytes{0xF6, 0x80}));

    const Bytes decoded = DecodeAfterHeader(code);
    ExpectPrefix(decoded, Text("abc"));
    EXPECT_GT(decoded.size(), 3u) << "the zero fill past the code decodes to surplus bytes";

    Bytes exact;
    LzhDecodeAll(code, exact);
    EXPECT_EQ(exact, Text("abc"));

    Bytes fromStart;
    LzhDecode(code, 0, fromStart);
    EXPECT_LT(fromStart.size(), 3u) << "from position 0 the last symbols stay in the bit reader";
}

TEST(Lzh, TwoByteRepeatsStayLiteralsAndThreeByteOnesBecomeMatches) {
    LzhEncodeStats stats;
    Bytes code;
    LzhEncode(Text("xyzxy"), code, stats);
    EXPECT_EQ(stats.literals, 5u);
    EXPECT_EQ(stats.matches, 0u);

    code.clear();
    LzhEncode(Text("xyzxyz"), code, stats);
    EXPECT_EQ(stats.literals, 3u);
    EXPECT_EQ(stats.matches, 1u);
    Bytes back;
    LzhDecodeAll(code, back);
    EXPECT_EQ(back, Text("xyzxyz"));
    ExpectPrefix(DecodeAfterHeader(code), Text("xyzxyz"));
}

TEST(Lzh, OverlappingMatchesRepeatTheirSource) {
    for (size_t n : {4u, 61u, 62u, 500u, 5000u}) {
        Bytes run(n, 0x5A);
        run.insert(run.end(), {1, 2, 1, 2, 1, 2, 1, 2, 1});
        LzhEncodeStats stats;
        Bytes code;
        LzhEncode(run, code, stats);
        EXPECT_LE(stats.literals, 4u) << n;
        Bytes back;
        LzhDecodeAll(code, back);
        EXPECT_EQ(back, run) << n;
        ExpectPrefix(DecodeAfterHeader(code), run);
    }
}

TEST(Lzh, LongInputsRebuildTheTreeAndComeBackExactly) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        const Bytes input = MixedData(300000, seed);
        LzhEncodeStats stats;
        Bytes code;
        LzhEncode(input, code, stats);
        EXPECT_GT(stats.rebuilds, 2u) << "the root weight reached 0x8000";
        EXPECT_GT(stats.matches, 1000u);
        Bytes back;
        LzhDecodeAll(code, back);
        EXPECT_EQ(back, input) << seed;
        ExpectPrefix(DecodeAfterHeader(code), input);
    }
    // Every byte value once, then long runs: the window start and the mirror bytes are exercised.
    Bytes input;
    for (int rep = 0; rep < 40; ++rep)
        for (int b = 0; b < 256; ++b) input.insert(input.end(), 1 + (b * rep) % 70, static_cast<uint8_t>(b));
    Bytes code;
    LzhEncode(input, code);
    Bytes back;
    LzhDecodeAll(code, back);
    EXPECT_EQ(back, input);
}

TEST(Lzh, CodesDeeperThanSixteenBitsAreSentWhole) {
    // Eight symbols with Fibonacci weights stacked on the 306 unused ones make the tree deeper than
    // a 16-bit code word; the unused symbols are then coded at the bottom.
    std::vector<uint16_t> symbols;
    uint32_t f1 = 1, f2 = 1;
    for (int i = 0; i < 8; ++i) {
        symbols.insert(symbols.end(), 480 * f1, static_cast<uint16_t>(300 - i));
        const uint32_t f3 = f1 + f2;
        f1 = f2;
        f2 = f3;
    }
    Lcg rng{7};
    for (size_t i = symbols.size() - 1; i > 0; --i) std::swap(symbols[i], symbols[rng.Next() % (i + 1)]);
    for (uint16_t s = 0; s < 256; ++s) symbols.push_back(s);

    LzhEncodeStats stats;
    Bytes code;
    LzhEncodeSymbols(symbols, code, stats);
    EXPECT_GT(stats.deepestCode, 16u);
    EXPECT_EQ(LzhDecodeSymbols(code, symbols.size()), symbols);
}

TEST(Lzh, DecoderStopsOnAnyInputAndRespectsItsLimit) {
    Lcg rng{11};
    for (int round = 0; round < 200; ++round) {
        Bytes junk(1 + rng.Next() % 400);
        for (auto& b : junk) b = static_cast<uint8_t>(rng.Next());
        Bytes out;
        LzhDecode(junk, rng.Next() % 20, out);
        EXPECT_LE(out.size(), junk.size() * 8 * 60 + 60);
        Bytes all;
        LzhDecodeAll(junk, all, 100);
        EXPECT_LE(all.size(), 100u);
    }
    Bytes zeros(1000, 0);
    Bytes out{9, 9};
    LzhDecode(zeros, 0, out, 50);
    EXPECT_EQ(out.size(), 52u) << "output is appended and cut at the limit";
}

// Mostly copies of earlier stretches: few tokens for many bytes, so finding costs more than coding.
Bytes RepetitiveData(size_t n, uint32_t seed) {
    Lcg rng{seed};
    Bytes out;
    while (out.size() < n) {
        if (out.size() > 4000 && rng.Next() % 5 != 0) {
            const size_t from = out.size() - 1 - rng.Next() % 4000;
            const size_t len = 10 + rng.Next() % 51;
            for (size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
        } else {
            for (unsigned i = 1 + rng.Next() % 20; i > 0; --i) out.push_back(static_cast<uint8_t>(rng.Next() % 16));
        }
    }
    out.resize(n);
    return out;
}

// Large inputs may have the matches of their second half found on a further thread, which takes
// over only where its match finder stands exactly as the first one does; the code stays that of a
// single thread, whatever the data.
TEST(Lzh, MatchesFoundOnSeveralThreadsGiveTheOneThreadCode) {
    Bytes repetitiveThenMixed = RepetitiveData(100000, 3);
    const Bytes mixed = MixedData(400000, 4);
    repetitiveThenMixed.insert(repetitiveThenMixed.end(), mixed.begin(), mixed.end());
    Bytes repetitiveThenNoise = RepetitiveData(70000, 5);
    for (Lcg rng{6}; repetitiveThenNoise.size() < 330000;)
        repetitiveThenNoise.push_back(static_cast<uint8_t>(rng.Next()));
    const struct {
        const char* name;
        Bytes input;
        bool sharable;  // whether a further thread is expected to take over
    } cases[] = {
        // Its many repeated 60-byte strings keep the two finders' trees apart: the further thread
        // is started, never agrees and is given up.
        {"repetitive", RepetitiveData(700000, 1), false},
        {"repetitive, then mixed", repetitiveThenMixed, true},
        {"repetitive, then noise", repetitiveThenNoise, true},
        {"mixed", MixedData(300000, 7), false},
    };
    for (const auto& c : cases) {
        Bytes single;
        LzhEncodeStats singleStats;
        LzhEncodeOnOneThread(c.input, single, singleStats);
        EXPECT_EQ(singleStats.takenOverAt, 0u) << c.name;
        // Whether the further thread is ready in time depends on the scheduler; a few tries.
        LzhEncodeStats stats;
        for (int attempt = 0; attempt < 5; ++attempt) {
            Bytes code;
            LzhEncode(c.input, code, stats);
            ASSERT_EQ(code, single) << c.name << ", taken over at " << stats.takenOverAt;
            EXPECT_EQ(stats.literals, singleStats.literals) << c.name;
            EXPECT_EQ(stats.matches, singleStats.matches) << c.name;
            if (stats.takenOverAt > 0 || !c.sharable) break;
        }
        if (c.sharable) {
            EXPECT_GT(stats.takenOverAt, c.input.size() / 2 - 24 * 1024) << c.name;
        }
        Bytes back;
        LzhDecodeAll(single, back);
        EXPECT_EQ(back, c.input) << c.name;
    }
}

TEST(Lzh, CodecsOnSeveralThreadsDoNotDisturbEachOther) {
    const Bytes a = MixedData(100000, 21);
    const Bytes b = MixedData(100000, 22);
    Bytes codeA, codeB;
    LzhEncode(a, codeA);
    LzhEncode(b, codeB);
    Bytes threadCodeA, threadCodeB, backA, backB;
    std::thread t1([&] {
        LzhEncode(a, threadCodeA);
        LzhDecodeAll(codeB, backB);
    });
    std::thread t2([&] {
        LzhEncode(b, threadCodeB);
        LzhDecodeAll(codeA, backA);
    });
    t1.join();
    t2.join();
    EXPECT_EQ(threadCodeA, codeA);
    EXPECT_EQ(threadCodeB, codeB);
    EXPECT_EQ(backA, a);
    EXPECT_EQ(backB, b);
}

}  // namespace
}  // namespace tarvex
