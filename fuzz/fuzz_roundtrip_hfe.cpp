// Round trip of the HFE writer and reader: a disk built from the input within what HFE can hold is written,
// read back and compared on the fields HFE keeps. The disk read back is written again from its raw tracks
// and must give the same image.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kHFE, {data, size});
}
