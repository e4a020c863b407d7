// Feeds arbitrary bytes to the UDI reader and writes back whatever it accepted, which runs the raw-track
// builder over the tracks just read. When the first input byte is odd the signature, the length field and
// the CRC are made right first, so that the track records and the sector scan are reached.
#include <cstring>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    tarvex::Bytes bytes(data, data + size);
    if (size >= 20 && (data[0] & 1)) {
        std::memcpy(bytes.data(), "UDI!", 4);
        const uint32_t length = static_cast<uint32_t>(size - 4);
        for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<uint8_t>(length >> (8 * i));
        bytes[8] = bytes[11] = 0;
        std::memset(bytes.data() + 12, 0, 4);
        const uint32_t crc = tarvex::TZX_Disk::Crc32(bytes.data(), size - 4);
        for (int i = 0; i < 4; ++i) bytes[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    try {
        if (disk.ParseUDI(bytes)) {
            tarvex::Bytes out;
            disk.BuildUDI(out);
        }
    } catch (const tarvex::StreamReadError&) {
    }
    return 0;
}
