// UDI: raw MFM tracks with a clock-mark bitmap (not built yet).
#include "formats/image_file.h"

namespace tarvex {

namespace {
const char* const kNotYet = "UDI images are not supported yet!";
}

bool TZX_Disk::LoadUDI(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseUDI); }
bool TZX_Disk::SaveUDI(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildUDI); }
bool TZX_Disk::ParseUDI(ByteSpan) { StatusMessage = kNotYet; return false; }
bool TZX_Disk::BuildUDI(Bytes&) { StatusMessage = kNotYet; return false; }
uint32_t TZX_Disk::Crc32(const uint8_t*, size_t) { return 0; }

}  // namespace tarvex
