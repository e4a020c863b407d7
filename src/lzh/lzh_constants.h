// The fixed numbers of the LZHUF code shared by every part of the codec: the window and how it starts,
// the match lengths, and the symbols and nodes of the adaptive Huffman tree.
#pragma once

#include <cstdint>

namespace tarvex::lzh {

inline constexpr unsigned kWindowSize = 4096;
inline constexpr unsigned kWindowMask = kWindowSize - 1;
inline constexpr unsigned kLongestMatch = 60;
inline constexpr unsigned kThreshold = 2;  // matches this short are sent as literals
inline constexpr unsigned kWriteStart = kWindowSize - kLongestMatch;  // 4036: where the first byte goes
inline constexpr uint8_t kWindowFill = 0x20;  // the window bytes before kWriteStart at the start

inline constexpr unsigned kSymbols = 256 + kLongestMatch - kThreshold;  // 314: bytes, then lengths 3..60
inline constexpr unsigned kNodes = 2 * kSymbols - 1;                    // 627
inline constexpr unsigned kRoot = kNodes - 1;
inline constexpr uint16_t kFrequencyLimit = 0x8000;  // a root this heavy makes the tree be rebuilt
inline constexpr unsigned kMatchSymbolBias = 256 - kThreshold - 1;  // symbol = length + 253

}  // namespace tarvex::lzh
