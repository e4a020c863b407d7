// FDI: sector image with per-track and per-sector headers (not built yet).
#include "formats/image_file.h"

namespace tarvex {

namespace {
const char* const kNotYet = "FDI images are not supported yet!";
}

bool TZX_Disk::LoadFDI(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseFDI); }
bool TZX_Disk::SaveFDI(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildFDI); }
bool TZX_Disk::ParseFDI(ByteSpan) { StatusMessage = kNotYet; return false; }
bool TZX_Disk::BuildFDI(Bytes&) { StatusMessage = kNotYet; return false; }

}  // namespace tarvex
