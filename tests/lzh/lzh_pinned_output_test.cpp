// The exact bits the codec produces, pinned: TD0 files written by earlier versions must decode the same,
// and files written now must stay byte-identical to what earlier versions wrote. Each expected value is
// a fingerprint of an output (64-bit FNV-1a of its bytes, then its length); any change to the coder,
// the match finder's choices, the tree updates or the decoder's stopping rule shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "disk/zx_disk.h"
#include "formats/td0.h"
#include "lzh/lzh.h"
#include "test_support.h"

namespace tarvex {
namespace {

std::string Fingerprint(const Bytes& bytes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
    char text[48];
    std::snprintf(text, sizeof text, "%016llx/%zu", static_cast<unsigned long long>(h), bytes.size());
    return text;
}

struct Xorshift {
    uint64_t state;
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

Bytes RandomBytes(size_t n, uint64_t seed) {
    Xorshift rng{seed};
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng.Next() >> 32);
    return out;
}

// Short phrases from a small vocabulary with a skewed choice: lots of matches of every length, and the
// literal weights spread unevenly, so the tree grows deep on one side.
Bytes PhraseBytes(size_t n, uint64_t seed) {
    static const char* const kWords[] = {"LOAD ", "\"\"", " CODE ", "RANDOMIZE USR ", "0", "15619", ":REM ",
                                         "BORDER ", "PAPER ", "INK ", "\x0D", "\xAF", "10 ", "20 ", "\x0E\0\0"};
    Xorshift rng{seed};
    Bytes out;
    while (out.size() < n) {
        const uint64_t x = rng.Next();
        const size_t w = (x % 7) * (x % 7) % 15;
        const std::string word = kWords[w];
        out.insert(out.end(), word.begin(), word.end());
        if (x % 13 == 0) out.push_back(static_cast<uint8_t>(x >> 40));
    }
    out.resize(n);
    return out;
}

// Blocks of one byte value, blocks of a short repeated pattern and blocks of noise.
Bytes BlockBytes(size_t n, uint64_t seed) {
    Xorshift rng{seed};
    Bytes out;
    while (out.size() < n) {
        const uint64_t x = rng.Next();
        const size_t len = 1 + (x >> 20) % 3000;
        switch (x % 3) {
            case 0: out.insert(out.end(), len, static_cast<uint8_t>(x >> 8)); break;
            case 1:
                for (size_t i = 0; i < len; ++i) out.push_back(static_cast<uint8_t>((x >> (8 * (i % 5))) & 0xFF));
                break;
            default:
                for (size_t i = 0; i < len; ++i) out.push_back(static_cast<uint8_t>(rng.Next()));
        }
    }
    out.resize(n);
    return out;
}

Bytes Periodic(size_t n, const Bytes& period) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = period[i % period.size()];
    return out;
}

// The reader's view: the code after a 12-byte header, decoded to the end of the zero fill.
Bytes DecodedAfterHeader(const Bytes& code) {
    Bytes file(12 + code.size(), 0x74);
    std::copy(code.begin(), code.end(), file.begin() + 12);
    Bytes out;
    LzhDecode(file, 12, out);
    return out;
}

struct Pinned {
    const char* name;
    Bytes input;
    const char* code;     // fingerprint of the code
    const char* decoded;  // ... and of the bytes decoded from it after a header, zero-fill surplus included
    size_t rebuilds = 0;  // how often the tree is rebuilt while coding
};

void ExpectPinned(const Pinned& c) {
    Bytes code;
    LzhEncodeStats stats;
    LzhEncode(c.input, code, stats);
    EXPECT_EQ(stats.rebuilds, c.rebuilds) << c.name;
    const Bytes decoded = DecodedAfterHeader(code);
    EXPECT_EQ(Fingerprint(code), c.code) << c.name;
    EXPECT_EQ(Fingerprint(decoded), c.decoded) << c.name;
    ASSERT_GE(decoded.size(), c.input.size()) << c.name;
    EXPECT_TRUE(std::equal(c.input.begin(), c.input.end(), decoded.begin())) << c.name;
    Bytes exact;
    LzhDecodeAll(code, exact);
    EXPECT_TRUE(exact == c.input) << c.name;
}

TEST(LzhPinnedOutput, GeneratedInputsKeepTheirCode) {
    const Pinned cases[] = {
        {"random 1", RandomBytes(1, 1), "0ab83c07b710085b/2", "fc1a94aff870089f/287"},
        {"random 3", RandomBytes(3, 2), "51fafeb053d042b9/4", "c28e2d530bcaf509/279"},
        {"random 61", RandomBytes(61, 3), "a2c93fad3353107b/65", "162429b6c04a4ba1/180"},
        {"random 4097", RandomBytes(4097, 4), "a2ca4f24f1326530/4182", "92013ece566bc358/4109"},
        {"random 70000", RandomBytes(70000, 5), "1e8d55e392ff4474/70153", "0e5ce28bd50e1b66/70011", 3},
        {"random 700000", RandomBytes(700000, 6), "298a4967db2062ef/700538", "55941acd75c7f035/700011", 41},
        {"zeros 60", Bytes(60, 0), "2fb37ab0407fda49/4", "0e12db283cc67653/341"},
        {"zeros 4096", Bytes(4096, 0), "d461f2763b1a7c95/113", "27a0afd3222b1b85/4372"},
        {"spaces 5000", Bytes(5000, 0x20), "fce21ecfd0dc9832/133", "d45959bbc5573f83/5281"},
        {"zeros 5000000", Bytes(5000000, 0), "89f829f3d796165d/104209", "f9ef6d8d1dbc6955/5000281", 4},
        {"period 3", Periodic(200000, {0xE5, 0x00, 0xFF}), "112ea6b6e81ab7df/4211", "c4c6d8baf4877970/200252"},
        {"period 61", Periodic(300000, RandomBytes(61, 11)), "f6e223cab01de116/6362", "96e70a8afe5efff5/300014"},
        {"phrases 100000", PhraseBytes(100000, 7), "936719d304241b64/24009", "02fd36870807740d/100009"},
        {"phrases 1000000", PhraseBytes(1000000, 8), "9178e994b0212c14/237712", "a72633678613e167/1000011", 6},
        {"blocks 300000", BlockBytes(300000, 9), "abb81192a57eb640/111160", "5b5d7b528239725e/300011", 5},
        {"blocks 2000000", BlockBytes(2000000, 10), "7dc84d3803c6a3d1/702330", "a336888c928678bd/2000011", 40},
    };
    for (const Pinned& c : cases) ExpectPinned(c);
}

TEST(LzhPinnedOutput, CorpusDisksKeepTheirCode) {
    const Pinned cases[] = {
        {"nedoos-sys.trd", {}, "7b964036f7a11c6c/601086", "112be5bf6c8e103c/655371", 35},
        {"zxtune-tiden.trd", {}, "770cb5c7c6a3a6ac/188079", "eb3d11508e0c3473/655384", 7},
        {"fdimages-betadisk-empty.trd", {}, "fff1b09d7a497948/13719", "26b5ef7999ba4ee2/655571"},
    };
    for (Pinned c : cases) {
        c.input = test::ReadFile(test::CorpusDir() / "trd" / c.name);
        ExpectPinned(c);
    }
}

// Arbitrary bytes decode to whatever the tree makes of them; the decoder must keep doing exactly that.
TEST(LzhPinnedOutput, DecodingArbitraryBytesKeepsItsResult) {
    const struct {
        size_t size;
        size_t position;
        const char* decoded;
        const char* decodedAll;
    } cases[] = {
        {5, 0, "a04b4a90180e4493/13", "48aa441aef5150fb/3"},
        {100, 12, "d63b282066cb863f/668", "d0018ba2d52ea867/522"},
        {4000, 3, "7fa5bb2828c167b0/25425", "fff1738834019623/25232"},
        {60000, 12, "0983d3dd5e92b737/305722", "f49a6f104b64bbad/345255"},
    };
    uint64_t seed = 100;
    for (const auto& c : cases) {
        const Bytes junk = RandomBytes(c.size, ++seed);
        Bytes out;
        LzhDecode(junk, c.position, out);
        EXPECT_EQ(Fingerprint(out), c.decoded) << c.size;
        Bytes all;
        LzhDecodeAll(junk, all);
        EXPECT_EQ(Fingerprint(all), c.decodedAll) << c.size;
    }
}

// Symbols whose weights make the tree deeper than 16 levels, coded on their own.
TEST(LzhPinnedOutput, DeepCodesKeepTheirBits) {
    std::vector<uint16_t> symbols;
    uint32_t f1 = 1, f2 = 1;
    for (int i = 0; i < 8; ++i) {
        symbols.insert(symbols.end(), 450 * f1, static_cast<uint16_t>(313 - 2 * i));
        const uint32_t f3 = f1 + f2;
        f1 = f2;
        f2 = f3;
    }
    Xorshift rng{5};
    for (size_t i = symbols.size() - 1; i > 0; --i) std::swap(symbols[i], symbols[rng.Next() % (i + 1)]);
    for (uint16_t s = 0; s < 314; s += 3) symbols.push_back(s);
    LzhEncodeStats stats;
    Bytes code;
    LzhEncodeSymbols(symbols, code, stats);
    EXPECT_GT(stats.deepestCode, 16u);
    EXPECT_EQ(Fingerprint(code), "cdd11b19a7bd93ac/8004");
    EXPECT_EQ(LzhDecodeSymbols(code, symbols.size()), symbols);
}

// The TD0 writer's compressed image of a corpus disk, with its comment date fixed.
TEST(LzhPinnedOutput, CompressedTd0OfACorpusDiskKeepsItsBytes) {
    auto disk = std::make_unique<TZX_Disk>();
    ASSERT_TRUE(disk->ParseTRD(test::ReadFile(test::CorpusDir() / "trd" / "zxtune-tiden.trd")));
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 8, when.tm_hour = 10;
    Bytes td0;
    ASSERT_TRUE(BuildTD0At(*disk, td0, true, when));
    EXPECT_EQ(Fingerprint(td0), "08b7cffb8a61181c/206318");
    auto back = std::make_unique<TZX_Disk>();
    ASSERT_TRUE(back->ParseTD0(td0));
    test::ExpectSameDisk(*disk, *back);
}

}  // namespace
}  // namespace tarvex
