// SCL: an archive of TR-DOS files (not built yet).
#include "formats/image_file.h"
#include "formats/trdos_area.h"

namespace tarvex {

namespace {
const char* const kNotYet = "SCL images are not supported yet!";
}

bool TZX_Disk::LoadSCL(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseSCL); }
bool TZX_Disk::SaveSCL(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildSCL); }
bool TZX_Disk::ParseSCL(ByteSpan) { StatusMessage = kNotYet; return false; }
bool TZX_Disk::BuildSCL(Bytes&) { StatusMessage = kNotYet; return false; }
void TZX_Disk::FormatBlankDisk(const std::string&) { Clear(); }
bool TZX_Disk::ReadCatalogue(TrdosCatalogue&) { return false; }

}  // namespace tarvex
