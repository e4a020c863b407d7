// Feeds arbitrary bytes to the TD0 reader (plain and, with a "td" header, through the LZH decoder)
// and writes back whatever it accepted, then reads that back. When bit 7 of the ignored "sides" byte
// is set, the header CRC is put right first, so the fuzzer reaches the body more often.
#include <ctime>

#include "disk/zx_disk.h"
#include "formats/td0.h"
#include "io/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    tarvex::Bytes image(data, data + size);
    if (size >= 12 && (image[9] & 0x80)) {
        const uint16_t crc = tarvex::TZX_Disk::Crc16TD0(image.data(), 10);
        image[10] = static_cast<uint8_t>(crc);
        image[11] = static_cast<uint8_t>(crc >> 8);
    }
    try {
        if (disk.ParseTD0(image)) {
            std::tm when{};
            tarvex::Bytes out;
            tarvex::BuildTD0At(disk, out, false, when);
            if (!disk.ParseTD0(out)) __builtin_trap();
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
