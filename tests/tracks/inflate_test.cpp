// The inflater against Debian's zlib: what zlib compresses comes back, and damaged or hand-made streams are
// refused where zlib refuses them, never given back as other bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "tracks/inflate.h"

namespace tarvex {
namespace {

constexpr size_t kLimit = size_t{1} << 20;

struct Outcome {
    bool ok = false;
    Bytes bytes;
    size_t consumed = 0;
};

Outcome Ours(const Bytes& in, size_t limit = kLimit) {
    Outcome o;
    const InflateResult r = InflateZlib(in, limit, o.bytes);
    o.ok = r.ok();
    o.consumed = r.consumed;
    return o;
}

Outcome Zlib(const Bytes& in) {
    Outcome o;
    z_stream z{};
    Bytes out(kLimit);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
    o.ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    o.bytes.assign(out.begin(), out.begin() + z.total_out);
    o.consumed = z.total_in;
    inflateEnd(&z);
    return o;
}

Bytes Compress(const Bytes& data, int level, int strategy, int windowBits = 15) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy) != Z_OK) throw std::runtime_error("init");
    Bytes out(deflateBound(&z, data.size()) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Ours refuses exactly where zlib refuses, and where both inflate they agree on every byte.
void ExpectSameOutcome(const Bytes& in, const std::string& what) {
    const Outcome ours = Ours(in), zlib = Zlib(in);
    ASSERT_EQ(ours.ok, zlib.ok) << what;
    if (ours.ok) ASSERT_TRUE(ours.bytes == zlib.bytes && ours.consumed == zlib.consumed) << what;
}

// Nothing, one byte, runs, noise, text, and more than a 32 KB window and a 64 KB stored block.
std::vector<Bytes> Samples() {
    std::mt19937 rng(24);
    Bytes noise(5000), text, mixed;
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    const std::string words = "the quick track of sectors and gaps, marks and sync bytes; ";
    while (text.size() < 9000) text.insert(text.end(), words.begin(), words.end() - (rng() % 7));
    while (mixed.size() < 100000) {
        const Bytes& from = rng() % 2 ? noise : text;
        const size_t at = rng() % (from.size() - 600);
        mixed.insert(mixed.end(), from.begin() + at, from.begin() + at + rng() % 600);
        mixed.insert(mixed.end(), rng() % 400, static_cast<uint8_t>(rng()));
    }
    return {{}, {'A'}, Bytes(70000, 0x4E), noise, text, mixed};
}

TEST(Inflate, GivesBackWhatZlibCompressesAtEveryLevelAndStrategy) {
    for (const Bytes& data : Samples())
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
                for (int windowBits : {9, 15}) {
                    Bytes z = Compress(data, level, strategy, windowBits);
                    const size_t streamBytes = z.size();
                    z.insert(z.end(), {1, 2, 3});  // what follows the stream is not its
                    const Outcome ours = Ours(z);
                    ASSERT_TRUE(ours.ok && ours.bytes == data && ours.consumed == streamBytes)
                        << data.size() << " bytes, level " << level << ", strategy " << strategy;
                }
}

TEST(Inflate, DamagedStreamsAreRefusedWhereZlibRefusesThem) {
    std::mt19937 rng(1950);
    unsigned inflated = 0;
    for (const Bytes& data : Samples()) {
        if (data.size() > 10000) continue;
        for (int level : {0, 1, 6, 9})
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
                const Bytes z = Compress(data, level, strategy);
                for (size_t n = 0; n < z.size(); n += 1 + z.size() / 97)
                    ExpectSameOutcome(Bytes(z.begin(), z.begin() + n), "cut at " + std::to_string(n));
                for (int round = 0; round < 60; ++round) {
                    Bytes damaged = z;
                    for (unsigned f = 0, flips = 1 + rng() % 3; f < flips; ++f)
                        damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                    ExpectSameOutcome(damaged, "flipped, round " + std::to_string(round));
                    inflated += Ours(damaged).ok;
                }
            }
    }
    for (int round = 0; round < 3000; ++round) {  // noise behind a valid header
        Bytes noise(2 + rng() % 200);
        for (auto& b : noise) b = static_cast<uint8_t>(rng());
        noise[0] = 0x78, noise[1] = 0x9C;
        ExpectSameOutcome(noise, "noise, round " + std::to_string(round));
    }
    EXPECT_GT(inflated, 0u) << "some flips change nothing that is checked";
}

// A stream written bit by bit: values least significant bit first, Huffman codes most significant first.
class BitWriter {
public:
    BitWriter& Bits(unsigned value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
        return *this;
    }
    BitWriter& Code(unsigned code, unsigned n) {
        for (unsigned i = n; i > 0; --i) Bit((code >> (i - 1)) & 1);
        return *this;
    }
    // The zlib header, the bits, and the Adler-32 of what the stream is meant to give.
    Bytes Zlib(const Bytes& data) const {
        Bytes out = {0x78, 0x9C};
        out.insert(out.end(), bytes_.begin(), bytes_.end());
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(Adler32(data) >> (8 * i)));
        return out;
    }

private:
    void Bit(unsigned b) {
        if (count_++ % 8 == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(b << ((count_ - 1) % 8));
    }
    Bytes bytes_;
    size_t count_ = 0;
};

// A last block of dynamic codes: the code lengths as code-length symbols (18, x: 11 + x zeros), through a
// code-length code of 4-bit codes for 0..12 and 5-bit ones for 13..18.
BitWriter Dynamic(unsigned literals, unsigned distances, std::initializer_list<unsigned> symbols) {
    BitWriter w;
    w.Bits(1, 1).Bits(2, 2).Bits(literals - 257, 5).Bits(distances - 1, 5).Bits(19 - 4, 4);
    for (unsigned s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15}) w.Bits(s < 13 ? 4 : 5, 3);
    for (auto it = symbols.begin(); it != symbols.end(); ++it) {
        w.Code(*it < 13 ? *it : 26 + *it - 13, *it < 13 ? 4 : 5);
        if (*it == 18) w.Bits(*++it, 7);
    }
    return w;
}

TEST(Inflate, HandMadeStreamsMeetEveryRule) {
    // The rules flipped bits seldom meet. Fixed codes: 'A' is 0x71 in 8 bits, length 3 is 0000001, distance
    // code d is d in 5 bits, 286 is 11000110. zlib takes an incomplete dynamic code only as a single one-bit
    // code, or as no distance code at all.
    const Bytes a = {'A'}, none;
    const struct {
        const char* name;
        Bytes stream;
        InflateError expected;
    } cases[] = {
        {"too far", BitWriter().Bits(3, 3).Code(0x71, 8).Code(1, 7).Code(1, 5).Zlib(a), InflateError::kDistanceTooFar},
        {"distance 30", BitWriter().Bits(3, 3).Code(0x71, 8).Code(1, 7).Code(30, 5).Zlib(a), InflateError::kBadSymbol},
        {"length 286", BitWriter().Bits(3, 3).Code(0xC6, 8).Zlib(a), InflateError::kBadSymbol},
        {"stored", BitWriter().Bits(1, 8).Bits(1, 16).Bits(0xFFFE, 16).Bits('A', 8).Zlib(a), InflateError::kNone},
        {"stored, lengths disagree", BitWriter().Bits(1, 8).Bits(1, 16).Bits(0, 16).Zlib(a), InflateError::kBadBlock},
        {"no distances", Dynamic(257, 1, {18, 127, 18, 107, 1, 0}).Code(0, 1).Zlib(none), InflateError::kNone},
        {"one 1-bit distance", Dynamic(257, 1, {18, 127, 18, 107, 1, 1}).Code(0, 1).Zlib(none), InflateError::kNone},
        {"one 2-bit distance", Dynamic(257, 1, {18, 127, 18, 107, 1, 2}).Zlib(none), InflateError::kBadCodes},
        // 'A' (0), length 3 (11), distance 1 (0), end of block (10).
        {"a copy", Dynamic(258, 1, {18, 54, 1, 18, 127, 18, 41, 2, 2, 1}).Code(0x1A, 6).Zlib({'A', 'A', 'A', 'A'}),
         InflateError::kNone},
        {"incomplete", Dynamic(257, 1, {18, 54, 2, 18, 127, 18, 41, 2, 0}).Zlib(none), InflateError::kBadCodes},
        {"oversubscribed", Dynamic(257, 1, {18, 54, 1, 1, 18, 127, 18, 40, 1, 0}).Zlib(none), InflateError::kBadCodes},
        {"no end of block", Dynamic(257, 1, {18, 54, 1, 1, 18, 127, 18, 41, 0}).Zlib(none), InflateError::kBadCodes},
        {"repeat past the end", Dynamic(257, 1, {18, 127, 18, 127, 18, 127}).Zlib(none), InflateError::kBadCodes},
        {"31 distance codes", Dynamic(257, 31, {}).Zlib(none), InflateError::kBadCodes},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(InflateZlib(c.stream, kLimit, out).error, c.expected) << c.name;
        ExpectSameOutcome(c.stream, c.name);
    }
}

TEST(Inflate, OutputStaysWithinTheBound) {
    const Bytes data(7032, 0x4E);
    for (int level : {0, 9}) {
        const Bytes z = Compress(data, level, Z_DEFAULT_STRATEGY);
        Bytes out;
        EXPECT_TRUE(InflateZlib(z, data.size(), out).ok());
        EXPECT_EQ(InflateZlib(z, 100, out).error, InflateError::kTooLong);
        EXPECT_LE(out.size(), 100u);
    }
}

}  // namespace
}  // namespace tarvex
