// LZHUF: LZSS over a 4096-byte window whose literals and match lengths share one adaptive Huffman
// code, while match positions carry a fixed prefix code for their upper six bits and six plain bits.
// This is the "advanced compression" of TeleDisk images. The code has no header, no length and no
// end marker. Every call builds its own codec state, so calls may run on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

// Appends the code of every byte of `input` to `output`. An empty input appends nothing. An input of
// 64 KB or more has its matches found on a second thread, started and joined within the call, while
// the calling thread codes them; from 256 KB on, the matches of the second half may be found on a
// third thread. The code is the same either way.
void LzhEncode(ByteSpan input, Bytes& output);

// Decodes the code that starts at `position` of `input` and appends the bytes to `output`.
// TeleDisk's rule decides where to stop: decoding goes on while the bit reader has fetched fewer bytes
// than the whole input holds, reading zero bytes past its end. Code placed after a header of P bytes is
// therefore decoded completely, followed by some bytes decoded from the zero fill. An empty input
// appends nothing. At most `outputLimit` bytes are appended.
void LzhDecode(ByteSpan input, size_t position, Bytes& output,
               size_t outputLimit = std::numeric_limits<size_t>::max());

// Decodes a code that fills the whole of `input` and stops when its bits are used up. Fewer than eight
// zero bits left at the end are taken as the encoder's padding.
void LzhDecodeAll(ByteSpan input, Bytes& output, size_t outputLimit = std::numeric_limits<size_t>::max());

// What an encoding did, for tests and measurements.
struct LzhEncodeStats {
    size_t literals = 0;
    size_t matches = 0;
    size_t rebuilds = 0;
    unsigned deepestCode = 0;  // longest Huffman code sent, in bits
    size_t takenOverAt = 0;    // the input position from which a third thread's matches were used, or 0
};
void LzhEncode(ByteSpan input, Bytes& output, LzhEncodeStats& stats);
// The same code, made on the calling thread alone.
void LzhEncodeOnOneThread(ByteSpan input, Bytes& output, LzhEncodeStats& stats);

// The adaptive Huffman code on its own, from the initial tree: symbols 0..255 stand for bytes and
// 256..313 for match lengths 3..60 (no positions follow). For checking the code at any tree depth.
void LzhEncodeSymbols(std::span<const uint16_t> symbols, Bytes& output, LzhEncodeStats& stats);
std::vector<uint16_t> LzhDecodeSymbols(ByteSpan code, size_t count);

}  // namespace tarvex
