// For the fuzz targets of sector dumps (PRO, KDI): whatever the reader accepts writes back as whole tracks
// that start with the input. A file cut inside a track comes back with the rest of that track as zeros:
// its whole sectors as they were, a sector cut short as it was or as zeros.
#pragma once

#include <algorithm>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

namespace tarvex::fuzz {

inline void TrapUnlessDumpWritesBack(bool (TZX_Disk::*parse)(ByteSpan), bool (TZX_Disk::*build)(Bytes&),
                                     ByteSpan input, size_t trackBytes, size_t sectorBytes) {
    static TZX_Disk disk;
    try {
        if (!(disk.*parse)(input)) return;
    } catch (const StreamReadError&) {
        return;
    }
    Bytes out;
    if (!(disk.*build)(out)) __builtin_trap();
    const size_t size = input.size();
    const size_t whole = size / sectorBytes * sectorBytes;
    auto zero = [](auto from, auto to) { return std::all_of(from, to, [](uint8_t b) { return b == 0; }); };
    if (out.size() != (size + trackBytes - 1) / trackBytes * trackBytes) __builtin_trap();
    if (!std::equal(input.begin(), input.begin() + whole, out.begin())) __builtin_trap();
    const bool cutSectorKept = std::equal(input.begin() + whole, input.end(), out.begin() + whole);
    if (!cutSectorKept && !zero(out.begin() + whole, out.begin() + size)) __builtin_trap();
    if (!zero(out.begin() + size, out.end())) __builtin_trap();
}

}  // namespace tarvex::fuzz
