// Round trip of the KDI writer and reader: a disk built from the input within what KDI can hold is written, read
// back and compared on the fields KDI keeps.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kKDI, {data, size});
}
