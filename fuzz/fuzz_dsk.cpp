// Feeds arbitrary bytes to the DSK reader; whatever it accepts must write back into an image that reads again.
#include "disk/zx_disk.h"
#include "io/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    static tarvex::TZX_Disk again;
    try {
        if (disk.ParseDSK({data, size})) {
            tarvex::Bytes out;
            if (disk.BuildDSK(out) && !again.ParseDSK(out)) __builtin_trap();
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
