// The encoder's match finder: every window position is kept in a binary search tree of the 60-byte
// strings that start there, one tree per first byte, so that inserting a position also finds the
// longest earlier string sharing its prefix. It hands out literals and matches to a sink.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "disk/zx_disk.h"
#include "lzh/lzh_constants.h"

namespace tarvex::lzh {

inline constexpr unsigned kNil = kWindowSize;  // the empty link of the match trees
inline constexpr unsigned kLeft = 0;   // the link to strings that compare less
inline constexpr unsigned kRight = 1;  // ... and to those that compare not less

// Finds the literals and matches of an input: every window position is kept in a binary tree of the
// strings that start there, one tree per first byte.
class MatchFinder {
public:
    // The state of a finder before a token: its trees, the match found there and how many tokens
    // came before. Two finders in the same state at the same input position find the same tokens
    // from there on, since the window then holds the same bytes in both.
    struct Snapshot {
        size_t position = 0;  // in the input
        size_t tokens = 0;    // symbols and positions handed out before
        size_t literals = 0;
        size_t matches = 0;
        unsigned matchLength = 0;
        unsigned matchPosition = 0;
        std::array<uint16_t, kWindowSize> up;
        std::array<std::array<uint16_t, 2>, kWindowSize + 257> child;
    };

    MatchFinder();

    // From the start of the input, with the window full of spaces, as the code is defined.
    void StartAtBeginning(ByteSpan input);

    // From input position `from` (kWriteStart <= from <= size - kLongestMatch), with the window
    // holding the bytes before it, as the encoder from the start would hold them, and the trees empty.
    void StartAt(ByteSpan input, size_t from);

    // Hands the tokens from the current position on to `sink`: sink.AtToken(position) before each
    // (false stops the finder there), then sink.Literal(byte) or sink.Match(length, position).
    template <class Sink>
    void Run(Sink& sink) {
        const ByteSpan input = input_;
        size_t in = in_;
        size_t x = position_;
        unsigned s = s_, r = r_, len = len_;
        uint64_t hash = hash_;
        while (len > 0) {
            if (matchLength_ > len) matchLength_ = len;
            if (!sink.AtToken(x)) break;
            if (matchLength_ <= kThreshold) {
                matchLength_ = 1;
                sink.Literal(ring_[r]);
                ++literals_;
            } else {
                sink.Match(matchLength_, matchPosition_);
                ++matches_;
            }
            const unsigned last = matchLength_;
            x += last;
            unsigned i = 0;
            for (; i < last && in < input.size(); ++i) {
                DeleteNode(s);
                const uint8_t c = input[in++];
                ring_[s] = c;
                if (s < kLongestMatch - 1) ring_[s + kWindowSize] = c;
                s = (s + 1) & kWindowMask;
                hash = Roll(hash, ring_[r], c);
                r = (r + 1) & kWindowMask;
                InsertNode(r, hash);
            }
            for (; i < last; ++i) {
                DeleteNode(s);
                // The byte that enters the string at r + 1 sits at s, 60 bytes on from r.
                hash = Roll(hash, ring_[r], ring_[s]);
                s = (s + 1) & kWindowMask;
                r = (r + 1) & kWindowMask;
                if (--len != 0) InsertNode(r, hash);
            }
        }
        in_ = in;
        position_ = x;
        s_ = s;
        r_ = r;
        len_ = len;
        hash_ = hash;
    }

    // Called by a sink from AtToken(position).
    void Save(Snapshot& snapshot, size_t position, size_t tokens) const;

    // The trees hold the same positions with the same links, and the match is the same. Links of
    // positions outside the trees are left over from earlier and never read.
    bool SameAs(const Snapshot& snapshot) const;

    size_t Literals() const { return literals_; }
    size_t Matches() const { return matches_; }

private:
    // Inserts the string at window position r into the tree of its first byte and records the
    // longest earlier string sharing its prefix (the nearest one among equals). A string equal over
    // all 60 bytes takes the place of the older one.
    void InsertNode(unsigned r, uint64_t hash);

    // Position r takes the place of p in its tree; p leaves it.
    void ReplaceNode(unsigned p, unsigned r);

    // The hash of the 60-byte string at a: the sum of its bytes times kHashBase to the power of the
    // bytes after each. Rolled forward a byte at a time as the window moves.
    static constexpr uint64_t kHashBase = 0x100000001B3;
    static constexpr uint64_t kHashTop = [] {
        uint64_t m = 1;
        for (unsigned i = 0; i < kLongestMatch; ++i) m *= kHashBase;
        return m;
    }();  // the power of the byte that leaves
    static uint64_t HashOf(const uint8_t* a) {
        uint64_t h = 0;
        for (unsigned i = 0; i < kLongestMatch; ++i) h = h * kHashBase + a[i];
        return h;
    }
    static uint64_t Roll(uint64_t h, uint8_t leaving, uint8_t entering) {
        return h * kHashBase - leaving * kHashTop + entering;
    }
    // Whether the 60-byte strings at a and b are equal in every byte.
    static bool Equal(const uint8_t* a, const uint8_t* b);

    // Both links of position p: kLeft in the low half, kRight in the high one.
    uint32_t Links(unsigned p) const {
        static_assert(std::endian::native == std::endian::little);
        uint32_t links;
        std::memcpy(&links, child_[p].data(), sizeof links);
        return links;
    }

    // For two 60-byte strings that agree in bytes 0 to 8: how many bytes agree, and whether a is not
    // less than b. Eight bytes at a time, then the last three.
    static unsigned CompareTail(const uint8_t* a, const uint8_t* b, bool& notLess);

    // Takes position p out of its tree, if it is in one.
    void DeleteNode(unsigned p);

    // In the parent of p, the link that pointed at p now points at q. The roots of the 256 trees
    // (entries above the window) only ever use their right link.
    void ReplaceChildLink(unsigned p, unsigned q);

    ByteSpan input_;
    size_t in_ = 0;        // the next input byte to enter the window
    size_t position_ = 0;  // of the next token
    unsigned s_ = 0;       // the oldest window position, the next to leave
    unsigned r_ = 0;       // where the next token starts in the window
    unsigned len_ = 0;     // bytes ahead of r_ in the window, at most 60
    size_t literals_ = 0;
    size_t matches_ = 0;
    unsigned matchLength_ = 0;
    unsigned matchPosition_ = 0;
    // The window plus a copy of its first 59 bytes, so a 60-byte comparison never wraps, plus room for
    // the last eight-byte load of a comparison.
    std::array<uint8_t, kWindowSize + kLongestMatch - 1 + 8> ring_{};
    std::array<uint16_t, kWindowSize + 1> up_{};
    // The two links (kLeft, kRight) of every window position; entries above kNil are the roots of
    // the trees per first byte and use only the right link.
    std::array<std::array<uint16_t, 2>, kWindowSize + 257> child_{};
    // The last position whose 60-byte string fell in each bucket, or kNil. Only a shortcut, kept
    // small to leave the processor's nearest cache to the trees: the position found may have left the
    // trees or hold another string since, and strings not found here are looked for in the trees.
    static constexpr unsigned kWholeBits = 12;
    // Fibonacci hashing: a bucket is the top kWholeBits of the hash times 2^64 divided by the golden ratio
    // (rounded down, an odd number). The rolling hash's low bits depend only on the bytes' low bits, so a
    // mask would make poor buckets; the product's top bits take in every bit of the hash, and the golden
    // ratio's irregular bits scatter hashes that differ little. It costs the insert loop one multiplication.
    static constexpr uint64_t kFibonacciMultiplier = 0x9E3779B97F4A7C15;
    std::array<uint16_t, 1u << kWholeBits> whole_;
    uint64_t hash_ = 0;  // of the string at r_
};

}  // namespace tarvex::lzh
