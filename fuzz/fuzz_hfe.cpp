// Feeds arbitrary bytes to the HFE reader and writes back whatever it accepted, which encodes the raw tracks
// just decoded. When the first input byte is odd the header is made right first (signature, a few
// cylinders on one or two sides, the track list in the next block), so that the cell decoder and the
// sector scan are reached.
#include <cstring>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    tarvex::Bytes bytes(data, data + size);
    if (size >= 26 && (data[0] & 1)) {
        std::memcpy(bytes.data(), (data[1] & 1) ? "HXCHFEV3" : "HXCPICFE", 8);
        bytes[9] = static_cast<uint8_t>(1 + data[9] % 4);
        bytes[10] = static_cast<uint8_t>(1 + data[10] % 2);
        bytes[18] = 1;
        bytes[19] = 0;
    }
    try {
        if (disk.ParseHFE(bytes)) {
            tarvex::Bytes out;
            disk.BuildHFE(out);
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
