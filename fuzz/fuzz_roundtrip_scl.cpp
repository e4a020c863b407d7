// Round trip of the SCL writer and reader: a disk built from the input within what SCL can hold is written, read
// back and compared on the fields SCL keeps. The disk is a TR-DOS disk; what travels is its catalogue's live
// files.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kSCL, {data, size});
}
