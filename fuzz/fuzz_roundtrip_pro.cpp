// Round trip of the PRO writer and reader: a disk built from the input within what PRO can hold is written, read
// back and compared on the fields PRO keeps.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kPRO, {data, size});
}
