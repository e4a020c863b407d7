// The LZHUF decoder: walks the adaptive Huffman tree from the next bits for each literal or match length,
// reads a match's position, and copies from the bytes already decoded. It stops by TeleDisk's rule
// (the bytes its reader has fetched) or when the bits of the code are used up.
#include <algorithm>
#include <memory>
#include <vector>

#include "lzh/bit_reader.h"
#include "lzh/huffman_tree.h"
#include "lzh/lzh.h"
#include "lzh/lzh_constants.h"
#include "lzh/position_code.h"

namespace tarvex {

namespace lzh {
namespace {

class LzhDecoder {
public:
    LzhDecoder(ByteSpan input, size_t position, Bytes& out, size_t limit)
        : bits_(input, position), out_(out), limit_(std::min(limit, out.max_size() - out.size())) {}

    // Decodes until the bit reader has fetched `fetchLimit` bytes.
    void DecodeWhileFetchedBelow(size_t fetchLimit) {
        Start(fetchLimit * 2);
        Run(SIZE_MAX, [fetchLimit](const BitReader& bits) { return bits.Fetched() < fetchLimit; });
        Finish();
    }

    // Decodes until the bits of the input are used up; trailing zero bits short of a byte are padding.
    void DecodeAllBits(ByteSpan input) {
        Start(input.size() * 2);
        const size_t totalBits = input.size() * 8;
        Run(totalBits, [&](const BitReader& bits) {
            const size_t consumed = bits.Consumed();
            if (consumed >= totalBits) return false;
            const size_t left = totalBits - consumed;
            return !(left < 8 && (input.back() & ((1u << left) - 1)) == 0);
        });
        Finish();
    }

    void DecodeSymbols(size_t count, std::vector<uint16_t>& symbols) {
        Start(0);
        for (size_t i = 0; i < count; ++i) {
            const unsigned c = Walk(bits_);
            tree_.Update(c);
            symbols.push_back(static_cast<uint16_t>(c));
        }
    }

private:
    // The bytes written so far sit after the window's starting content, in the order the window
    // would hand them back: window bytes 4036..4095 (never written yet, zero) and 0..4035 (spaces).
    // A match `distance` bytes back then reads at the write position minus distance, whatever
    // has wrapped in the window.
    static constexpr size_t kHistory = kWindowSize;
    static constexpr size_t kSlack = kLongestMatch + 8;  // one match plus an eight-byte copy past it

    void Start(size_t expected) {
        tree_.Start();
        buf_.resize(kHistory + std::min(expected, limit_) + kSlack);
        std::fill_n(buf_.begin(), kLongestMatch, uint8_t{0});
        std::fill_n(buf_.begin() + kLongestMatch, kWriteStart, kWindowFill);
        w_ = kHistory;
    }

    void Finish() { out_.insert(out_.end(), buf_.begin() + kHistory, buf_.begin() + static_cast<ptrdiff_t>(w_)); }

    // Decodes symbols while more() says so before each one, and at most `limit_` bytes. A literal or
    // match whose bits run past bitLimit ends the decoding without being written. Each symbol's
    // update is made together with the walk for the next one. The reader and the output position
    // work on copies of their own meanwhile, which the stores into the tree and the output cannot
    // reach, so that they can stay in registers.
    template <class More>
    void Run(size_t bitLimit, More more) {
        BitReader bits = bits_;
        Output out{buf_.data(), w_, buf_.size(), kHistory + limit_};
        if (out.w < out.end && more(bits)) {
            unsigned c = Walk(bits);
            for (;;) {
                const unsigned distance = c < 256 ? 0 : DecodePosition(bits) + 1;
                if (bits.Consumed() > bitLimit) break;
                Emit(out, c, distance);
                if (out.w >= out.end || !more(bits)) break;
                c = UpdateAndWalk(bits, c);
            }
        }
        bits_ = bits;
        w_ = out.w;
    }

    struct Output {
        uint8_t* data;
        size_t w;     // the write position in data
        size_t size;  // of data
        size_t end;   // the position of the limit
    };

    void Emit(Output& out, unsigned c, unsigned distance) {
        if (out.w + kSlack > out.size) Grow(out);
        uint8_t* const to = out.data + out.w;
        if (c < 256) {
            *to = static_cast<uint8_t>(c);
            ++out.w;
            return;
        }
        const size_t length = std::min<size_t>(c - kMatchSymbolBias, out.end - out.w);
        const uint8_t* from = to - distance;
        if (distance >= 8) {
            // Eight bytes at a time: each piece reads only bytes already in place.
            for (size_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
        } else {
            for (size_t k = 0; k < length; ++k) to[k] = from[k];
        }
        out.w += length;
    }

    void Grow(Output& out) {
        buf_.resize(buf_.size() * 2);
        out.data = buf_.data();
        out.size = buf_.size();
    }

    // The next symbol, from the tree as it stands (not counted yet).
    unsigned Walk(BitReader& bits) const {
        bits.Fill();
        uint64_t b = bits.Peek();
        unsigned n = 0;
        unsigned c = tree_.Son(kRoot);
        while (c < kNodes) {
            c = tree_.Son(c + static_cast<unsigned>(b >> 63));
            b <<= 1;
            ++n;
        }
        if (n > bits.Available()) {
            // Deeper than the bits at hand: walk again a bit at a time.
            c = tree_.Son(kRoot);
            while (c < kNodes) c = tree_.Son(c + bits.Bit());
        } else {
            bits.Skip(n);
        }
        return SymbolOfLeaf(c);
    }

    // Counts symbol c and returns the next one.
    unsigned UpdateAndWalk(BitReader& bits, unsigned c) {
        bits.Fill();
        unsigned n;
        const unsigned leaf = tree_.UpdateAndWalk(c, bits.Peek(), n);
        if (leaf == HuffmanTree::kRedo || n > bits.Available()) return Walk(bits);
        bits.Skip(n);
        return SymbolOfLeaf(leaf);
    }

    // The code of the upper six bits (3 to 8 bits), then the six lower bits.
    static unsigned DecodePosition(BitReader& bits) {
        bits.Fill();
        const unsigned next = static_cast<unsigned>(bits.Peek() >> 48);
        const unsigned upper = kPositionCode.upperOf[next >> 8];
        const unsigned len = kPositionCode.lengthOf[next >> 8];
        bits.Skip(len + 6);
        return (upper << 6) | ((next >> (10 - len)) & 0x3F);
    }

    HuffmanTree tree_;
    BitReader bits_;
    Bytes& out_;
    size_t limit_;
    Bytes buf_;
    size_t w_ = kHistory;
};

}  // namespace
}  // namespace lzh

void LzhDecode(ByteSpan input, size_t position, Bytes& output, size_t outputLimit) {
    if (input.empty()) return;
    auto decoder = std::make_unique<lzh::LzhDecoder>(input, position, output, outputLimit);
    decoder->DecodeWhileFetchedBelow(input.size());
}

std::vector<uint16_t> LzhDecodeSymbols(ByteSpan code, size_t count) {
    std::vector<uint16_t> symbols;
    Bytes unused;
    auto decoder = std::make_unique<lzh::LzhDecoder>(code, 0, unused, 0);
    decoder->DecodeSymbols(count, symbols);
    return symbols;
}

void LzhDecodeAll(ByteSpan input, Bytes& output, size_t outputLimit) {
    if (input.empty()) return;
    auto decoder = std::make_unique<lzh::LzhDecoder>(input, 0, output, outputLimit);
    decoder->DecodeAllBits(input);
}

}  // namespace tarvex
