// KDI: the plain sector dump of a disk of the Korvet, a Soviet 8-bit computer. Every track holds five
// 1024-byte sectors numbered 1..5 in number order, track index = cylinder * 2 + side; no header, no
// signature, no checksum.
#include "disk/zx_disk.h"
#include "formats/sector_dump.h"
#include "i18n/translate.h"
#include "io/image_file.h"

namespace tarvex {

namespace {
constexpr SectorDumpLayout kKdiLayout{
    .formatName = "KDI",
    .sectorsPerTrack = 5,
    .sizeCode = 3,
    .sectorBytes = 1024,
    .headIsSide = true,
    .missingSectorText = TrMark("Not a Korvet disk! Sector (T-%s / S-%s) not found!"),
    .badSizeText = TrMark("Not a Korvet disk! Bad sector size!"),
};
}  // namespace

bool TZX_Disk::LoadKDI(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseKDI); }
bool TZX_Disk::SaveKDI(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildKDI); }
bool TZX_Disk::ParseKDI(ByteSpan bytes) { return ParseSectorDump(*this, kKdiLayout, bytes); }
bool TZX_Disk::PlaceKDI(uint64_t size, WritablePieces& places) {
    return PlaceSectorDump(*this, kKdiLayout, size, places);
}
bool TZX_Disk::BuildKDI(Bytes& out) { return BuildSectorDump(*this, kKdiLayout, out); }
bool TZX_Disk::GatherKDI(ImagePieces& pieces) { return GatherSectorDump(*this, kKdiLayout, pieces); }

}  // namespace tarvex
