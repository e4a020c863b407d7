// Feeds arbitrary bytes to the TRD reader and writes back whatever it accepted.
#include "disk/zx_disk.h"
#include "formats/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    try {
        if (disk.ParseTRD({data, size})) {
            tarvex::Bytes out;
            disk.BuildTRD(out);
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
