// Feeds arbitrary bytes to the KDI reader; whatever it accepts must write back as the same whole tracks.
#include <algorithm>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    try {
        if (disk.ParseKDI({data, size})) {
            tarvex::Bytes out;
            if (!disk.BuildKDI(out) || out.size() > size || !std::equal(out.begin(), out.end(), data))
                __builtin_trap();
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
