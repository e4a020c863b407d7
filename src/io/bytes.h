// Byte buffers and runs of bytes, the currency of every layer: a file's bytes, an image being built, and
// an image given as runs of bytes kept elsewhere.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;
using ImagePieces = std::vector<ByteSpan>;  // an image as runs of bytes kept elsewhere, in order
using WritablePieces = std::vector<std::span<uint8_t>>;  // places for an image's bytes, in order

}  // namespace tarvex
