// The UDI raw-track builder (not built yet).
#include "disk/zx_disk.h"

namespace tarvex {

bool TZX_Disk::BuildRawTrack(uint8_t, uint8_t*, uint8_t*) { return false; }

}  // namespace tarvex
