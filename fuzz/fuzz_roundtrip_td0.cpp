// Round trip of the TD0 writer and reader: a disk built from the input within what TD0 can hold is written, read
// back and compared on the fields TD0 keeps. Every input goes through the plain and the LZH-packed image.
#include "roundtrip_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tarvex::roundtrip::FuzzRoundTrip(tarvex::kTD0, {data, size});
}
