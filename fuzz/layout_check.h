// For reader fuzz targets: the same bytes read into a disk reused from input to input and into a fresh one
// must give the same images from every writer, so nothing of an earlier image shows through the store a
// disk keeps between reads; a difference stops the fuzzer with the format that differed.
#pragma once

#include <cstdio>
#include <utility>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

namespace tarvex::fuzz {

inline void TrapUnlessSameImages(TZX_Disk& first, TZX_Disk& second) {
    using Build = bool (TZX_Disk::*)(Bytes&);
    const std::pair<const char*, Build> writers[] = {{"TRD", &TZX_Disk::BuildTRD},
                                                     {"SCL", &TZX_Disk::BuildSCL},
                                                     {"FDI", &TZX_Disk::BuildFDI},
                                                     {"UDI", &TZX_Disk::BuildUDI},
                                                     {"HFE", &TZX_Disk::BuildHFE},
                                                     {"DSK", &TZX_Disk::BuildDSK}};
    for (const auto& [name, build] : writers) {
        Bytes a, b;
        const bool builtA = (first.*build)(a);
        const bool builtB = (second.*build)(b);
        if (builtA != builtB || a != b) {
            std::fprintf(stderr, "the two disks write different %s images\n", name);
            __builtin_trap();
        }
    }
}

// Reads bytes into the reused disk and a fresh one; they must agree on taking or refusing them, and then on
// every image.
inline void TrapUnlessReadAlike(bool (TZX_Disk::*parse)(ByteSpan), ByteSpan bytes, TZX_Disk& reused) {
    TZX_Disk fresh;
    bool readReused = false;
    bool readFresh = false;
    try {
        readReused = (reused.*parse)(bytes);
    } catch (const StreamReadError&) {
    }
    try {
        readFresh = (fresh.*parse)(bytes);
    } catch (const StreamReadError&) {
    }
    if (readReused != readFresh) {
        std::fprintf(stderr, "a reused and a fresh disk disagree on reading the input\n");
        __builtin_trap();
    }
    if (readReused) TrapUnlessSameImages(reused, fresh);
}

}  // namespace tarvex::fuzz
