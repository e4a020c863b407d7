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

Outcome Zlib(const Bytes& in, size_t limit = kLimit) {
    Outcome o;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
    Bytes out(limit + 1);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(limit);
    o.ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    o.bytes = out;
    o.consumed = z.total_in;
    inflateEnd(&z);
    return o;
}

Bytes Compress(const Bytes& data, int level, int strategy, int windowBits = 15, int memLevel = 8) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) throw std::runtime_error("init");
    Bytes out(deflateBound(&z, data.size()) + 16);
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
void ExpectSameOutcome(const Bytes& in, const std::string& what, size_t limit = kLimit) {
    const Outcome ours = Ours(in, limit), zlib = Zlib(in, limit);
    ASSERT_EQ(ours.ok, zlib.ok) << what;
    if (ours.ok) {
        ASSERT_EQ(ours.bytes, zlib.bytes) << what;
        ASSERT_EQ(ours.consumed, zlib.consumed) << what;
    }
}

// Inputs that exercise every kind of block: nothing, one byte, runs, noise, text, repeats far apart, and
// more than a 32 KB window and a 64 KB stored block.
std::vector<Bytes> Samples() {
    std::mt19937 rng(24);
    std::vector<Bytes> s = {{}, {'A'}, Bytes(300, 0), Bytes(70000, 0x4E)};
    Bytes noise(5000), text, far, mixed;
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    const std::string words = "the quick track of sectors and gaps, marks and sync bytes; ";
    while (text.size() < 9000) text.insert(text.end(), words.begin(), words.end() - (rng() % 7));
    for (int i = 0; i < 40; ++i) far.insert(far.end(), noise.begin() + i, noise.begin() + 900 + i);
    while (mixed.size() < 100000) {
        const Bytes& from = rng() % 2 ? noise : text;
        const size_t at = rng() % (from.size() - 600);
        mixed.insert(mixed.end(), from.begin() + at, from.begin() + at + rng() % 600);
        mixed.insert(mixed.end(), rng() % 400, static_cast<uint8_t>(rng()));
    }
    s.insert(s.end(), {noise, text, far, mixed});
    return s;
}

TEST(Inflate, GivesBackWhatZlibCompressesAtEveryLevelAndStrategy) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const Bytes& data : Samples())
        for (int level = 0; level <= 9; ++level)
            for (int strategy : strategies)
                for (int windowBits : {9, 15}) {
                    const std::string what = std::to_string(data.size()) + " bytes, level " + std::to_string(level) +
                                             " strategy " + std::to_string(strategy) + " window " +
                                             std::to_string(windowBits);
                    Bytes z = Compress(data, level, strategy, windowBits, level % 2 ? 9 : 1);
                    const size_t streamBytes = z.size();
                    z.insert(z.end(), {1, 2, 3});  // what follows the stream is not its
                    const Outcome ours = Ours(z);
                    ASSERT_TRUE(ours.ok) << what;
                    ASSERT_EQ(ours.bytes, data) << what;
                    ASSERT_EQ(ours.consumed, streamBytes) << what;
                }
}

TEST(Inflate, DamagedStreamsAreRefusedWhereZlibRefusesThem) {
    std::mt19937 rng(1950);
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    unsigned refused = 0, inflated = 0;
    for (const Bytes& data : Samples()) {
        if (data.size() > 10000) continue;
        for (int level : {0, 1, 6, 9})
            for (int strategy : strategies) {
                const Bytes z = Compress(data, level, strategy);
                for (size_t n = 0; n < z.size(); n += 1 + z.size() / 97)
                    ExpectSameOutcome(Bytes(z.begin(), z.begin() + n), "cut at " + std::to_string(n));
                for (int round = 0; round < 60; ++round) {
                    Bytes damaged = z;
                    for (unsigned f = 0, flips = 1 + rng() % 3; f < flips; ++f)
                        damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                    ExpectSameOutcome(damaged, "flipped, round " + std::to_string(round));
                    (Ours(damaged).ok ? inflated : refused)++;
                }
            }
    }
    // Noise behind a valid header: mostly refused, now and then a stream of its own.
    for (int round = 0; round < 3000; ++round) {
        Bytes noise(2 + rng() % 200);
        for (auto& b : noise) b = static_cast<uint8_t>(rng());
        noise[0] = 0x78;
        noise[1] = 0x9C;
        ExpectSameOutcome(noise, "noise, round " + std::to_string(round));
    }
    EXPECT_GT(refused, 0u);
    EXPECT_GT(inflated, 0u) << "some flips fall where they change nothing that is checked";
}

// A deflate stream written bit by bit: values least significant bit first, Huffman codes most significant.
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
    // The zlib header, the bits, and the Adler-32 of `data` (what the stream is meant to give).
    Bytes Zlib(const Bytes& data) const {
        Bytes out = {0x78, 0x9C};
        out.insert(out.end(), bytes_.begin(), bytes_.end());
        const uint32_t adler = Adler32(data);
        for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(adler >> (8 * i)));
        return out;
    }

private:
    void Bit(unsigned b) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(b << (count_ % 8));
        ++count_;
    }
    Bytes bytes_;
    size_t count_ = 0;
};

// The last block of a stream, of dynamic codes: `literals` + `distances` code lengths given as code-length
// symbols (a repeat symbol followed by the value of its extra bits), through a code-length code of 4-bit
// codes for 0..12 and 5-bit ones for 13..18.
BitWriter Dynamic(unsigned literals, unsigned distances, std::initializer_list<unsigned> symbols) {
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    BitWriter w;
    w.Bits(1, 1).Bits(2, 2).Bits(literals - 257, 5).Bits(distances - 1, 5).Bits(19 - 4, 4);
    for (uint8_t s : kOrder) w.Bits(s < 13 ? 4 : 5, 3);
    for (auto it = symbols.begin(); it != symbols.end(); ++it) {
        const unsigned s = *it;
        w.Code(s < 13 ? s : 26 + s - 13, s < 13 ? 4 : 5);
        if (s >= 16) w.Bits(*++it, s == 16 ? 2 : s == 17 ? 3 : 7);
    }
    return w;
}

TEST(Inflate, HandMadeStreamsMeetEveryRule) {
    // Fixed code: 'A' is 0x30 + 0x41 in 8 bits, end of block 7 zero bits, length 3 is 0000001, distance
    // code d is d in 5 bits; 286 is 11000110.
    struct Case {
        const char* name;
        Bytes stream;
        InflateError expected;
    };
    const Bytes a = {'A'};
    std::vector<Case> cases = {
        {"fixed literal", BitWriter().Bits(1, 1).Bits(1, 2).Code(0x71, 8).Code(0, 7).Zlib(a), InflateError::kNone},
        {"copy before the start", BitWriter().Bits(1, 1).Bits(1, 2).Code(0x71, 8).Code(1, 7).Code(1, 5).Zlib(a),
         InflateError::kDistanceTooFar},
        {"distance code 30", BitWriter().Bits(1, 1).Bits(1, 2).Code(0x71, 8).Code(1, 7).Code(30, 5).Zlib(a),
         InflateError::kBadSymbol},
        {"length code 286", BitWriter().Bits(1, 1).Bits(1, 2).Code(0xC6, 8).Zlib(a), InflateError::kBadSymbol},
        {"block type 3", BitWriter().Bits(1, 1).Bits(3, 2).Zlib(a), InflateError::kBadBlock},
        {"stored lengths disagree", BitWriter().Bits(1, 1).Bits(0, 2).Bits(0, 5).Bits(1, 16).Bits(0, 16).Zlib(a),
         InflateError::kBadBlock},
        {"stored", BitWriter().Bits(1, 1).Bits(0, 2).Bits(0, 5).Bits(1, 16).Bits(0xFFFE, 16).Bits('A', 8).Zlib(a),
         InflateError::kNone},
        {"wrong checksum", BitWriter().Bits(1, 1).Bits(1, 2).Code(0x71, 8).Code(0, 7).Zlib({'B'}),
         InflateError::kBadChecksum},
        {"header check", {0x78, 0x9D, 0x03, 0x00, 0, 0, 0, 1}, InflateError::kBadHeader},
        {"method 7", {0x77, 0x85, 0x03, 0x00, 0, 0, 0, 1}, InflateError::kBadHeader},
        {"window code 8", {0x88, 0x98, 0x03, 0x00, 0, 0, 0, 1}, InflateError::kBadHeader},
        {"preset dictionary", {0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00, 0, 0, 0, 1}, InflateError::kPresetDictionary},
        {"empty", {}, InflateError::kCutShort},
    };
    // Dynamic codes (18,x: 11 + x zero lengths). zlib takes an incomplete code only when it is a single
    // one-bit code, or no distance code at all.
    const Bytes none, aaaa = {'A', 'A', 'A', 'A'};
    const Case dynamicCases[] = {
        {"only the end of block", Dynamic(257, 1, {18, 127, 18, 107, 1, 0}).Code(0, 1).Zlib(none), InflateError::kNone},
        {"one one-bit distance", Dynamic(257, 1, {18, 127, 18, 107, 1, 1}).Code(0, 1).Zlib(none), InflateError::kNone},
        {"one two-bit distance", Dynamic(257, 1, {18, 127, 18, 107, 1, 2}).Code(0, 1).Zlib(none),
         InflateError::kBadCodes},
        {"a copy",
         Dynamic(258, 1, {18, 54, 1, 18, 127, 18, 41, 2, 2, 1}).Code(0, 1).Code(3, 2).Code(0, 1).Code(2, 2).Zlib(aaaa),
         InflateError::kNone},
        {"incomplete literals", Dynamic(257, 1, {18, 54, 2, 18, 127, 18, 41, 2, 0}).Zlib(none),
         InflateError::kBadCodes},
        {"too many literals", Dynamic(257, 1, {18, 54, 1, 1, 18, 127, 18, 40, 1, 0}).Zlib(none),
         InflateError::kBadCodes},
        {"no end of block", Dynamic(257, 1, {18, 54, 1, 1, 18, 127, 18, 41, 0}).Zlib(none), InflateError::kBadCodes},
        {"repeat of nothing", Dynamic(257, 1, {16, 0}).Zlib(none), InflateError::kBadCodes},
        {"repeat past the end", Dynamic(257, 1, {18, 127, 18, 127, 18, 127}).Zlib(none), InflateError::kBadCodes},
        {"31 distance codes", Dynamic(257, 31, {}).Zlib(none), InflateError::kBadCodes},
    };
    cases.insert(cases.end(), std::begin(dynamicCases), std::end(dynamicCases));
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(InflateZlib(c.stream, kLimit, out).error, c.expected) << c.name;
        ExpectSameOutcome(c.stream, c.name);
    }
}

TEST(Inflate, OutputStaysWithinTheBound) {
    const Bytes data(7032, 0x4E);
    const Bytes z = Compress(data, 9, Z_DEFAULT_STRATEGY);
    Bytes out;
    EXPECT_TRUE(InflateZlib(z, data.size(), out).ok());
    EXPECT_EQ(InflateZlib(z, data.size() - 1, out).error, InflateError::kTooLong);
    EXPECT_LE(out.size(), data.size() - 1);
    EXPECT_EQ(InflateZlib(Compress(data, 0, Z_DEFAULT_STRATEGY), 100, out).error, InflateError::kTooLong);
    EXPECT_LE(out.size(), 100u);
}

TEST(Inflate, Adler32IsZlibs) {
    for (const Bytes& data : Samples())
        EXPECT_EQ(Adler32(data), adler32(1, data.data(), static_cast<uInt>(data.size()))) << data.size();
}

}  // namespace
}  // namespace tarvex
