// Round trip of the DSK writer and reader: a disk built from the input within what DSK can hold is written, read
// back and compared on the fields DSK keeps.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kDSK, {data, size});
}
