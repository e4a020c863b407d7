// For reader fuzz targets: the same bytes read into a compact and a wide disk must give the same
// images from every sector writer; a difference stops the fuzzer with the format that differed.
#pragma once

#include <cstdio>
#include <utility>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

namespace tarvex::fuzz {

inline void TrapUnlessSameImages(TZX_Disk& compact, TZX_Disk& wide) {
    using Build = bool (TZX_Disk::*)(Bytes&);
    const std::pair<const char*, Build> writers[] = {{"TRD", &TZX_Disk::BuildTRD},
                                                     {"SCL", &TZX_Disk::BuildSCL},
                                                     {"FDI", &TZX_Disk::BuildFDI},
                                                     {"UDI", &TZX_Disk::BuildUDI}};
    for (const auto& [name, build] : writers) {
        Bytes a, b;
        const bool builtA = (compact.*build)(a);
        const bool builtB = (wide.*build)(b);
        if (builtA != builtB || a != b) {
            std::fprintf(stderr, "compact and wide disks write different %s images\n", name);
            __builtin_trap();
        }
    }
}

// Reads bytes into both disks; they must agree on taking or refusing them, and then on every image.
inline void TrapUnlessReadAlike(bool (TZX_Disk::*parse)(ByteSpan), ByteSpan bytes, TZX_Disk& compact, TZX_Disk& wide) {
    bool readCompact = false;
    bool readWide = false;
    try {
        readCompact = (compact.*parse)(bytes);
    } catch (const StreamReadError&) {
    }
    try {
        readWide = (wide.*parse)(bytes);
    } catch (const StreamReadError&) {
    }
    if (readCompact != readWide) {
        std::fprintf(stderr, "a compact and a wide disk disagree on reading the input\n");
        __builtin_trap();
    }
    if (readCompact) TrapUnlessSameImages(compact, wide);
}

}  // namespace tarvex::fuzz
