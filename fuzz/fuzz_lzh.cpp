// Decodes arbitrary bytes with both stopping rules (the first also with the plain reference decoder),
// and checks that coding the same bytes and decoding the code placed after a 12-byte header gives
// them back. The input is also read as a recipe for near-repeating data (a few base strings, a band
// in which their copies vary, a length of up to 1 MB so that the encoder's threads join in): that
// data must come back from its code, and up to 64 KB of it must be coded as the reference codes it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzh/lzh.h"
#include "lzh_reference.h"

namespace {

using tarvex::Bytes;
using tarvex::ByteSpan;

constexpr size_t kHeader = 12;
constexpr size_t kRawEncodeLimit = 65536;
constexpr size_t kReferenceLimit = 65536;
constexpr size_t kDecodeLimit = size_t{1} << 22;
constexpr size_t kReferenceDecodeLimit = size_t{1} << 18;
constexpr size_t kRecipeHeader = 8;
constexpr size_t kLongestExpansion = size_t{1} << 20;

[[noreturn]] void Fail() { __builtin_trap(); }

Bytes DecodeAfterHeader(const Bytes& code) {
    Bytes file(kHeader, 0);
    file.insert(file.end(), code.begin(), code.end());
    Bytes back;
    tarvex::LzhDecode(file, kHeader, back);
    return back;
}

bool StartsWith(const Bytes& whole, ByteSpan prefix) {
    return whole.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// The recipe's choices, drawn from its bytes after the header and, once they run out, from a
// generator seeded by them.
class Choices {
public:
    explicit Choices(ByteSpan bytes) : bytes_(bytes) {
        for (uint8_t b : bytes) state_ = (state_ ^ b) * 0x100000001B3ull;
    }
    unsigned Next(unsigned bound) {
        if (at_ < bytes_.size()) return bytes_[at_++] % bound;
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(state_ >> 33) % bound;
    }

private:
    ByteSpan bytes_;
    size_t at_ = 0;
    uint64_t state_ = 0xCBF29CE484222325ull;
};

// Header bytes: base count, base length, band offset, band width, values per band byte, how rarely a
// run or a stretch of noise breaks the rhythm, and two bytes for the length. The base strings' bytes
// and every later choice follow.
Bytes NearRepeats(ByteSpan recipe) {
    const unsigned bases = 1 + recipe[0] % 4;
    const unsigned length = 1 + recipe[1] % 80;
    const unsigned offset = recipe[2] % length;
    const unsigned width = 1 + recipe[3] % 3;
    const unsigned values = 1 + recipe[4] % 8;
    const unsigned breakRate = 8 + recipe[5];
    const size_t total = std::min(kLongestExpansion, (size_t{1} + recipe[6]) << (recipe[7] % 13));
    Choices choose(recipe.subspan(kRecipeHeader));

    std::vector<Bytes> base(bases, Bytes(length));
    for (auto& b : base)
        for (auto& c : b) c = static_cast<uint8_t>(choose.Next(256));
    std::vector<uint8_t> alternatives(values);
    for (auto& v : alternatives) v = static_cast<uint8_t>(choose.Next(256));

    Bytes out;
    out.reserve(total + length);
    while (out.size() < total) {
        if (choose.Next(breakRate) == 0) {
            const unsigned stretch = choose.Next(300);
            if (choose.Next(2) == 0) {
                out.insert(out.end(), stretch, static_cast<uint8_t>(choose.Next(256)));
            } else {
                for (unsigned i = 0; i < stretch; ++i) out.push_back(static_cast<uint8_t>(choose.Next(256)));
            }
            continue;
        }
        Bytes s = base[choose.Next(bases)];
        for (unsigned i = offset; i < std::min(offset + width, length); ++i) s[i] = alternatives[choose.Next(values)];
        out.insert(out.end(), s.begin(), s.end());
    }
    out.resize(total);
    return out;
}

void CheckDecoders(ByteSpan input) {
    const size_t position = input.empty() ? 0 : input[0] % 16;
    Bytes out;
    tarvex::LzhDecode(input, position, out, kDecodeLimit);
    if (tarvex::lzh_reference::Decode(input, position, kReferenceDecodeLimit) !=
        Bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(std::min(out.size(), kReferenceDecodeLimit))))
        Fail();
    out.clear();
    tarvex::LzhDecodeAll(input, out, kDecodeLimit);
}

void CheckRoundTrip(ByteSpan input, bool againstReference) {
    Bytes code;
    tarvex::LzhEncode(input, code);
    if (!StartsWith(DecodeAfterHeader(code), input)) Fail();
    if (againstReference && code != tarvex::lzh_reference::Encode(input)) Fail();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteSpan input(data, size);
    CheckDecoders(input);
    if (size <= kRawEncodeLimit) CheckRoundTrip(input, size <= kReferenceLimit);
    if (size >= kRecipeHeader) {
        const Bytes expanded = NearRepeats(input);
        CheckRoundTrip(expanded, expanded.size() <= kReferenceLimit);
    }
    return 0;
}
