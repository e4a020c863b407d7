// Feeds arbitrary bytes to the SCL reader and writes back whatever it accepted, into a disk reused
// from input to input and a fresh one alike. When the first input byte
// is odd the byte sum is fixed first, so that the parser behind the checksum is reached.
#include <cstring>
#include <vector>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "layout_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    tarvex::Bytes bytes(data, data + size);
    if (size >= 4 && (data[0] & 1)) {
        if (size >= 12) std::memcpy(bytes.data(), "SINCLAIR", 8);
        uint32_t sum = 0;
        for (size_t i = 0; i + 4 < size; ++i) sum += bytes[i];
        for (int i = 0; i < 4; ++i) bytes[size - 4 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    tarvex::fuzz::TrapUnlessReadAlike(&tarvex::TZX_Disk::ParseSCL, bytes, disk);
    return 0;
}
