// Inflating zlib streams: a two-byte header, deflate data (stored blocks, blocks of the fixed codes and
// blocks that bring their own codes) and the Adler-32 of what they inflate to. Some emulators store UDI
// track records so. The caller bounds the output, and a malformed stream is refused with what was wrong
// with it; nothing is read past the input's end or written past the bound.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/bytes.h"

namespace tarvex {

enum class InflateError : uint8_t {
    kNone,
    kCutShort,          // the input ends before the last block or the checksum
    kBadHeader,         // no zlib header of a deflate stream (method, window size, header check)
    kPresetDictionary,  // the stream needs a dictionary it does not carry
    kBadBlock,          // a reserved block type, or a stored block whose length and its complement disagree
    kBadCodes,          // code lengths that make no usable code
    kBadSymbol,         // a bit pattern no code gives, or a length or distance symbol outside the range
    kDistanceTooFar,    // a copy from before the start of the output
    kTooLong,           // more output than the caller allows
    kBadChecksum,       // the Adler-32 of the output is not the stream's
};

struct InflateResult {
    InflateError error = InflateError::kNone;
    size_t consumed = 0;  // input bytes the stream took, its checksum included; set on success only
    bool ok() const { return error == InflateError::kNone; }
};

// Inflates the zlib stream at the start of `in` into `out` (emptied first), at most `limit` bytes. Bytes
// after the stream's checksum are left alone. On failure `out` holds what was inflated before it.
InflateResult InflateZlib(ByteSpan in, size_t limit, Bytes& out);

// The zlib stream's checksum of a run of bytes.
uint32_t Adler32(ByteSpan bytes);

}  // namespace tarvex
