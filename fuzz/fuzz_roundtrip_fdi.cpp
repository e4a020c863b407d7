// Round trip of the FDI writer and reader: a disk built from the input within what FDI can hold is written, read
// back and compared on the fields FDI keeps.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kFDI, {data, size});
}
