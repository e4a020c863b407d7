// Feeds arbitrary bytes to the TRD reader and writes back whatever it accepted, into a disk reused from
// input to input and a fresh one alike; then reads the bytes, padded with zeros to whole tracks, the way a
// file of whole tracks is read (placed, then filled) into a disk reused from input to input, which must
// hold what the bytes parsed hold.
#include <cstring>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "layout_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tarvex::TZX_Disk disk;
    static tarvex::TZX_Disk placed;
    tarvex::fuzz::TrapUnlessReadAlike(&tarvex::TZX_Disk::ParseTRD, {data, size}, disk);

    constexpr size_t kTrack = 4096;
    tarvex::Bytes whole(data, data + size);
    whole.resize((size / kTrack + 1) * kTrack);  // at least one track, zeros after the input
    if (whole.size() > tarvex::kMaxTracks * kTrack) return 0;
    if (!disk.ParseTRD(whole)) __builtin_trap();
    tarvex::WritablePieces places;
    if (!placed.PlaceTRD(whole.size(), places)) __builtin_trap();
    size_t at = 0;
    for (std::span<uint8_t> piece : places) {
        std::memcpy(piece.data(), whole.data() + at, piece.size());
        at += piece.size();
    }
    if (at != whole.size()) __builtin_trap();
    tarvex::fuzz::TrapUnlessSameImages(disk, placed);
    return 0;
}
