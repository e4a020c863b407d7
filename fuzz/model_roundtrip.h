// The round trip of one image format: a disk model built from arbitrary bytes inside the format's
// capacity (format_fields.h), written, read back and compared on exactly the fields the format keeps.
// The fuzz targets drive it with the fuzzer's input, the unit tests with fixed pseudo-random inputs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "disk/zx_disk.h"
#include "format_fields.h"

namespace tarvex::roundtrip {

// Reads choices from arbitrary bytes; once they run out every choice is 0.
class FuzzInput {
public:
    explicit FuzzInput(ByteSpan bytes) : bytes_(bytes) {}

    uint8_t Byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : uint8_t{0}; }
    uint16_t Word() {
        const uint8_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    // 0 .. n - 1 (0 when n is 0).
    unsigned Below(unsigned n) {
        if (n == 0) return 0;
        return (n <= 256 ? Byte() : Word()) % n;
    }
    bool OneIn(unsigned n) { return Below(n) == 0; }
    // Up to n bytes, fewer when the input ends first.
    ByteSpan Take(size_t n) {
        const size_t k = std::min(n, bytes_.size() - pos_);
        const ByteSpan taken = bytes_.subspan(pos_, k);
        pos_ += k;
        return taken;
    }

private:
    ByteSpan bytes_;
    size_t pos_ = 0;
};

// Fills `disk` with a disk the format can hold, chosen by `in`.
void BuildModel(const FormatFields& fields, FuzzInput& in, TZX_Disk& disk);

// "" when `actual` holds every field of `expected` that the format keeps; otherwise what differs.
std::string CompareKeptFields(const FormatFields& fields, TZX_Disk& expected, TZX_Disk& actual);

// The writer of a format (TD0 packed or not) and its reader; false with the reason in `message`.
bool WriteImage(TZX_Disk& disk, int format, bool compress, Bytes& out, std::string& message);
bool ReadImage(TZX_Disk& disk, int format, ByteSpan bytes, std::string& message);

// The disks one round trip works on; made once and reused, as each is 6 MB.
struct Disks {
    TZX_Disk built;
    TZX_Disk read;
    TZX_Disk reread;
};

// Builds a disk from `input`, writes it, reads it back and compares the kept fields; writes the read
// disk again and expects the same image (UDI, HFE: a read image written again keeps its raw tracks).
// "" on success, otherwise the first step that went wrong and what differed.
std::string RoundTrip(int format, bool compress, ByteSpan input, Disks& disks);

}  // namespace tarvex::roundtrip
