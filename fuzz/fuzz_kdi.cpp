// Feeds arbitrary bytes to the KDI reader; whatever it accepts must write back as whole tracks that start with
// the input.
#include "sector_dump_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kTrackBytes = 5 * 1024, kSectorBytes = 1024;
    tarvex::fuzz::TrapUnlessDumpWritesBack(&tarvex::TZX_Disk::ParseKDI, &tarvex::TZX_Disk::BuildKDI, {data, size},
                                           kTrackBytes, kSectorBytes);
    return 0;
}
