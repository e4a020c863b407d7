// Round trip of the TRD writer and reader: a disk built from the input within what TRD can hold is written, read
// back and compared on the fields TRD keeps.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kTRD, {data, size});
}
