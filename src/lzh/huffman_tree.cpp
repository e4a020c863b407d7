// The cold parts of the adaptive Huffman tree: the starting tree and the rebuild from halved leaf
// weights. The per-symbol steps are in the header, where the coders' loops can take them in.
#include "lzh/huffman_tree.h"

#include <algorithm>

namespace tarvex::lzh {

void HuffmanTree::Start() {
    for (unsigned s = 0; s < kSymbols; ++s) {
        freq_[s] = 1;
        son_[s] = static_cast<uint16_t>(LeafEntry(s));
        parent_[LeafEntry(s)] = static_cast<uint16_t>(s);
        // A walk that has reached its leaf stays there, whatever the bit.
        son_[LeafEntry(s)] = son_[LeafEntry(s) + 1] = static_cast<uint16_t>(LeafEntry(s));
    }
    unsigned i = 0;
    for (unsigned j = kSymbols; j < kNodes; ++j, i += 2) {
        freq_[j] = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
        son_[j] = static_cast<uint16_t>(i);
        parent_[i] = parent_[i + 1] = static_cast<uint16_t>(j);
    }
    std::fill(freq_.begin() + kNodes, freq_.end(), uint16_t{0xFFFF});
    parent_[kRoot] = kDone;  // a finished update stays at kDone, which never trades places
    parent_[kDone] = kDone;
}

void HuffmanTree::Rebuild() {
    ++rebuilds_;
    unsigned j = 0;
    for (unsigned i = 0; i < kNodes; ++i) {
        if (son_[i] >= kNodes) {
            freq_[j] = static_cast<uint16_t>((freq_[i] + 1) / 2);
            son_[j] = son_[i];
            ++j;
        }
    }
    unsigned i = 0;
    for (j = kSymbols; j < kNodes; ++j, i += 2) {
        const uint16_t f = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
        unsigned k = j - 1;
        while (f < freq_[k]) --k;
        ++k;  // after every node of equal weight
        std::copy_backward(freq_.begin() + k, freq_.begin() + j, freq_.begin() + j + 1);
        std::copy_backward(son_.begin() + k, son_.begin() + j, son_.begin() + j + 1);
        freq_[k] = f;
        son_[k] = static_cast<uint16_t>(i);
    }
    for (i = 0; i < kNodes; ++i) {
        const unsigned k = son_[i];
        parent_[k] = parent_[k + 1] = static_cast<uint16_t>(i);
    }
}

}  // namespace tarvex::lzh
