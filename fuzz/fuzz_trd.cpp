// Feeds arbitrary bytes to the TRD reader and writes back whatever it accepted, from a compact and a
// wide disk alike.
#include "disk/zx_disk.h"
#include "formats/byte_reader.h"
#include "layout_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    static tarvex::TZX_Disk wide(tarvex::SlotLayout::kWide);
    tarvex::fuzz::TrapUnlessReadAlike(&tarvex::TZX_Disk::ParseTRD, {data, size}, disk, wide);
    return 0;
}
