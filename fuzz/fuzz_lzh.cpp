// Decodes arbitrary bytes with both stopping rules, and checks that coding the same bytes and
// decoding the code placed after a 12-byte header gives them back.
#include <algorithm>

#include "lzh/lzh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const tarvex::ByteSpan input(data, size);
    tarvex::Bytes out;
    tarvex::LzhDecode(input, size ? data[0] % 16 : 0, out, 1u << 22);
    out.clear();
    tarvex::LzhDecodeAll(input, out, 1u << 22);

    if (size > 65536) return 0;
    tarvex::Bytes file(12, 0);
    tarvex::LzhEncode(input, file);
    tarvex::Bytes back;
    tarvex::LzhDecode(file, 12, back);
    if (back.size() < size || !std::equal(input.begin(), input.end(), back.begin())) __builtin_trap();
    return 0;
}
