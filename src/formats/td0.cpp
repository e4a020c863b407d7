// TD0: TeleDisk sector image (not built yet).
#include "formats/image_file.h"

namespace tarvex {

namespace {
const char* const kNotYet = "TD0 images are not supported yet!";
}

bool TZX_Disk::LoadTD0(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseTD0); }
bool TZX_Disk::SaveTD0(const std::string& fileName, bool Compress) {
    Bytes out;
    if (!BuildTD0(out, Compress)) return false;
    SaveFileAtomic(fileName, out);
    return true;
}
bool TZX_Disk::ParseTD0(ByteSpan) { StatusMessage = kNotYet; return false; }
bool TZX_Disk::BuildTD0(Bytes&, bool) { StatusMessage = kNotYet; return false; }
uint16_t TZX_Disk::Crc16TD0(const uint8_t*, size_t) { return 0; }

}  // namespace tarvex
