// A plain LZHUF coder kept beside the fast one as its yardstick: one thread, the binary match trees
// walked byte by byte, the Huffman tree updated node by node, bits read and written one code at a
// time. It is slow on purpose and written for reading; the tests and the fuzz target compare the
// fast codec's output with it byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace tarvex::lzh_reference {

// The LZHUF code of every byte of `input` (nothing for an empty input).
std::vector<uint8_t> Encode(std::span<const uint8_t> input);

// The adaptive Huffman code of `symbols` on their own (0..255 bytes, 256..313 match lengths, no
// positions following), from the starting tree.
std::vector<uint8_t> EncodeSymbols(std::span<const uint16_t> symbols);

// Decodes the code that starts at `position` of `input`, going on while fewer bytes than the whole
// input holds have been fetched (zero bytes past its end), and returns at most `outputLimit` bytes.
std::vector<uint8_t> Decode(std::span<const uint8_t> input, size_t position,
                            size_t outputLimit = std::numeric_limits<size_t>::max());

}  // namespace tarvex::lzh_reference
