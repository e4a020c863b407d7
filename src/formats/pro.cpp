// PRO: the plain sector dump of a CP/M disk of the Profi, a ZX Spectrum-compatible computer. Every track
// holds five 1024-byte sectors in number order, track index = cylinder * 2 + side; on track 0 the fifth
// sector carries the number 9. No header, no signature, no checksum.
#include "disk/zx_disk.h"
#include "formats/sector_dump.h"
#include "i18n/translate.h"
#include "io/image_file.h"

namespace tarvex {

namespace {
constexpr uint8_t kTrackZeroLastSector = 9;

constexpr SectorDumpLayout kProLayout{
    .formatName = "PRO",
    .sectorsPerTrack = 5,
    .sizeCode = 3,
    .sectorBytes = 1024,
    .headIsSide = true,
    .missingSectorText = TrMark("Not a Profi CP/M disk! Sector (T-%s / S-%s) not found!"),
    .badSizeText = TrMark("Not a Profi CP/M disk! Bad sector size!"),
    .sectorNumber = [](unsigned track, unsigned slot) -> uint8_t {
        return track == 0 && slot == 4 ? kTrackZeroLastSector : static_cast<uint8_t>(slot + 1);
    },
};
}  // namespace

bool TZX_Disk::LoadPRO(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParsePRO); }
bool TZX_Disk::SavePRO(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildPRO); }
bool TZX_Disk::ParsePRO(ByteSpan bytes) { return ParseSectorDump(*this, kProLayout, bytes); }
bool TZX_Disk::PlacePRO(uint64_t size, WritablePieces& places) {
    return PlaceSectorDump(*this, kProLayout, size, places);
}
bool TZX_Disk::BuildPRO(Bytes& out) { return BuildSectorDump(*this, kProLayout, out); }
bool TZX_Disk::GatherPRO(ImagePieces& pieces) { return GatherSectorDump(*this, kProLayout, pieces); }

}  // namespace tarvex
