// TRD: the plain sector dump of a disk written by TR-DOS, the disk system of the ZX Spectrum's Beta Disk
// interface, as Spectrum emulators keep such disks. Every track holds sectors 1..16 of 256 bytes in number
// order, side 0 and side 1 of a cylinder one after the other; no header, no checksum.
// The reader and writer move sectors only; the catalogue inside is the TR-DOS system area's business.
#include "disk/zx_disk.h"
#include "formats/sector_dump.h"
#include "i18n/translate.h"
#include "io/image_file.h"

namespace tarvex {

namespace {
constexpr SectorDumpLayout kTrdLayout{
    .formatName = "TRD",
    .sectorsPerTrack = 16,
    .sizeCode = 1,
    .sectorBytes = 256,
    .headIsSide = false,
    .missingSectorText = TrMark("Not a TR-DOS disk! Sector (T-%s / S-%s) not found!"),
    .badSizeText = TrMark("Not a TR-DOS disk! Bad sector size!"),
};
}  // namespace

bool TZX_Disk::LoadTRD(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseTRD); }
bool TZX_Disk::SaveTRD(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildTRD); }
bool TZX_Disk::ParseTRD(ByteSpan bytes) { return ParseSectorDump(*this, kTrdLayout, bytes); }
bool TZX_Disk::PlaceTRD(uint64_t size, WritablePieces& places) {
    return PlaceSectorDump(*this, kTrdLayout, size, places);
}
bool TZX_Disk::BuildTRD(Bytes& out) { return BuildSectorDump(*this, kTrdLayout, out); }
bool TZX_Disk::GatherTRD(ImagePieces& pieces) { return GatherSectorDump(*this, kTrdLayout, pieces); }

}  // namespace tarvex
