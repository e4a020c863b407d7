// Sends symbols in the adaptive Huffman code: the path from the root to the symbol's leaf, however
// deep the tree has grown, counting each symbol in the tree while collecting the next one's path.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "lzh/bit_writer.h"
#include "lzh/huffman_tree.h"
#include "lzh/lzh.h"

namespace tarvex::lzh {

// Codes symbols with the adaptive Huffman code.
class SymbolCoder {
public:
    SymbolCoder(BitWriter& bits, LzhEncodeStats& stats) : bits_(bits), stats_(stats) { tree_.Start(); }

    // Sends the path from the root to the leaf of s, however deep the tree has grown; s is counted
    // when the next symbol comes (or at Finish), together with collecting that symbol's code.
    void Put(unsigned s) {
        uint64_t code;
        unsigned length;
        if (!pending_ || !tree_.UpdateAndCode(previous_, s, code, length)) Collect(s, code, length);
        Send(code, length);
        previous_ = s;
        pending_ = true;
    }

    void Finish() {
        if (pending_) tree_.Update(previous_);
        pending_ = false;
        stats_.deepestCode = std::max<unsigned>(stats_.deepestCode, deepest_);
        stats_.rebuilds = tree_.Rebuilds();
    }

private:
    // The path of s collected from the leaf upward: the first 64 steps in `code`, any further ones
    // (nearer the root, so sent first) sent one by one at once.
    void Collect(unsigned s, uint64_t& code, unsigned& length) {
        code = 0;
        length = 0;
        unsigned k = tree_.LeafOf(s);
        for (; k != kRoot && length < 64; k = tree_.Parent(k)) code |= uint64_t{k & 1} << length++;
        if (k == kRoot) return;
        unsigned deeper = 0;
        for (; k != kRoot; k = tree_.Parent(k)) nearRoot_[deeper++] = k & 1;
        deepest_ = std::max(deepest_, 64 + deeper);
        while (deeper > 0) bits_.Put(1, nearRoot_[--deeper]);
    }

    void Send(uint64_t code, unsigned length) {
        deepest_ = std::max(deepest_, length);
        if (length > 32) {
            bits_.Put(length - 32, code >> 32);
            length = 32;
        }
        bits_.Put(length, code);
    }

    HuffmanTree tree_;
    BitWriter& bits_;
    LzhEncodeStats& stats_;
    unsigned deepest_ = 0;
    unsigned previous_ = 0;
    bool pending_ = false;  // previous_ is sent but not counted yet
    std::array<uint8_t, kNodes> nearRoot_{};
};

}  // namespace tarvex::lzh
