// The adaptive Huffman tree of the LZHUF code, shared by the encoder and the decoder: its start, the
// update after each symbol (with the rebuild that keeps weights inside 16 bits), and the combined
// update-and-walk steps that let either side follow the next symbol's path while counting the last.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lzh/lzh_constants.h"

namespace tarvex::lzh {

// A symbol's leaf is referred to by its entry kNodes + 2s; the entry after it is spare.
constexpr unsigned LeafEntry(unsigned symbol) { return kNodes + 2 * symbol; }
constexpr unsigned SymbolOfLeaf(unsigned entry) { return (entry - kNodes) / 2; }
inline constexpr unsigned kLeafEntries = kNodes + 2 * kSymbols;

// The adaptive Huffman tree. Nodes stay in nondecreasing order of weight by index; the heaviest is
// the root. son[k] >= kNodes marks a leaf: son[k] is then the entry kNodes + 2s of its symbol s;
// otherwise the children of k are son[k] (bit 0) and son[k] + 1 (bit 1). parent[kNodes + 2s] is the
// node holding symbol s; the entries kNodes + 2s + 1 are spare, so a leaf's entry pair can be
// written like a pair of children.
//
// Each symbol's update climbs from its leaf to the root, and the next symbol's code is a walk
// between the root and its leaf too. The two walks are made in one loop, so that the processor
// follows both chains of look-ups at once: the next code is taken from the tree as the update leaves
// it, which holds unless the update rewrote a link after the walk had read it. Every link read by
// the walk is stamped, every rewrite checks the stamp, and on a clash the walk is made again.
class HuffmanTree {
public:
    // The tree every coding and decoding starts from: all symbols weigh 1.
    void Start();

    // Adds one to the weight of symbol s and of its ancestors. A node whose weight would pass the
    // next one's first trades places with the last node of its old weight, which keeps the order.
    void Update(unsigned s) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        unsigned c = parent_[LeafEntry(s)];
        do {
            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kNone>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
        } while (c != kDone);
    }

    // Update(s), and the walk from the root that the next `bits` (from bit 63 down) take in the tree
    // as it is afterwards. Returns the leaf's entry and sets `used` to the code length, or returns
    // kRedo when the walk has to be made again.
    unsigned UpdateAndWalk(unsigned s, uint64_t bits, unsigned& used) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        const uint32_t stamp = NextStamp();
        unsigned c = parent_[LeafEntry(s)];
        unsigned w = son_[kRoot];
        unsigned n = 0;
        freq_[kDone] = 0;
        for (;;) {
            // The bit picks the row before the link is known, so each step of the walk waits for one
            // load only, not for an addition after it.
            const unsigned bit = static_cast<unsigned>(bits >> 63);
            const uint16_t* row = son_.data() + bit;
            __asm__("" : "+r"(row));  // keeps the compiler from folding the bit back into the index
            sonRead_[w + bit] = stamp;
            n += w < kNodes;
            w = row[w];
            bits <<= 1;

            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kSonReads>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
            if (w >= kNodes && c == kDone) break;
        }
        used = n;
        return clash_ ? kRedo : w;
    }

    // Update(previous), and the code of symbol s in the tree as it is afterwards: `length` bits, the
    // one nearest the leaf in bit 0. Returns false when the code has to be collected again.
    bool UpdateAndCode(unsigned previous, unsigned s, uint64_t& code, unsigned& length) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        const uint32_t stamp = NextStamp();
        unsigned c = parent_[LeafEntry(previous)];
        parentRead_[LeafEntry(s)] = stamp;
        unsigned k = parent_[LeafEntry(s)];
        uint64_t bits = 0;
        unsigned n = 0;
        freq_[kDone] = 0;
        for (;;) {
            const unsigned below = k != kRoot;
            parentRead_[k] = stamp;
            bits |= uint64_t{k & below} << (n & 63);
            n += below;
            const unsigned up = parent_[k];
            k = below ? up : k;

            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kParentReads>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
            if (k == kRoot && c == kDone) break;
        }
        code = bits;
        length = n;
        return !clash_ && n <= 64;
    }

    unsigned Son(unsigned node) const { return son_[node]; }
    unsigned Parent(unsigned node) const { return parent_[node]; }
    unsigned LeafOf(unsigned symbol) const { return parent_[LeafEntry(symbol)]; }
    size_t Rebuilds() const { return rebuilds_; }

    static constexpr unsigned kRedo = 0xFFFF;

private:
    uint32_t NextStamp() {
        clash_ = false;
        if (++stamp_ == 0) {
            sonRead_.fill(0);
            parentRead_.fill(0);
            stamp_ = 1;
        }
        return stamp_;
    }

    enum class Check { kNone, kSonReads, kParentReads };  // the links a walk in progress reads

    // Node c weighs f, as does c + 1. Its subtree moves to the last node weighing f, which becomes
    // f + 1; the subtree found there comes down to c, which keeps weight f. Returns the new place.
    template <Check check>
    unsigned MoveUp(unsigned c, uint16_t f) {
        const unsigned l = c + SameWeightAfter(c + 1, f);
        freq_[l] = static_cast<uint16_t>(f + 1);
        const unsigned i = son_[c];
        const unsigned j = son_[l];
        son_[l] = static_cast<uint16_t>(i);
        son_[c] = static_cast<uint16_t>(j);
        parent_[i] = parent_[i + 1] = static_cast<uint16_t>(l);
        parent_[j] = parent_[j + 1] = static_cast<uint16_t>(c);
        if constexpr (check == Check::kSonReads) clash_ |= (ReadNow(sonRead_[c]) | ReadNow(sonRead_[l])) != 0;
        if constexpr (check == Check::kParentReads)
            clash_ |= (ReadNow(parentRead_[i]) | ReadNow(parentRead_[i + 1]) | ReadNow(parentRead_[j]) |
                       ReadNow(parentRead_[j + 1])) != 0;
        return l;
    }

    // 1 when a link was read by the walk in progress; combined without branches.
    unsigned ReadNow(uint32_t mark) const { return mark == stamp_; }

    // How many nodes from `from` on weigh f, given that `from` does; four weights at a time. The
    // weights from there on do not decrease and the sentinels after the root end any run.
    unsigned SameWeightAfter(unsigned from, uint16_t f) const {
        static_assert(std::endian::native == std::endian::little);
        const uint64_t pattern = f * uint64_t{0x0001000100010001};
        for (unsigned n = 0;; n += 4) {
            uint64_t w;
            std::memcpy(&w, &freq_[from + n], sizeof w);
            if (w != pattern) return n + static_cast<unsigned>(std::countr_zero(w ^ pattern)) / 16;
        }
    }

    // Halves every leaf weight and builds the tree again from the leaves, lightest first.
    void Rebuild();

    static constexpr unsigned kDone = kLeafEntries;
    // After the root come sentinels heavier than any node: one ends every search for a weight, the
    // others let that search read four weights at once. kDone's weight counts idle steps only.
    std::array<uint16_t, kDone + 2> freq_{};
    std::array<uint16_t, kLeafEntries> son_{};
    std::array<uint16_t, kDone + 1> parent_{};
    std::array<uint32_t, kLeafEntries> sonRead_{};
    std::array<uint32_t, kDone + 1> parentRead_{};
    uint32_t stamp_ = 0;
    bool clash_ = false;
    size_t rebuilds_ = 0;
};

}  // namespace tarvex::lzh
