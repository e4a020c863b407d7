// The TR-DOS system area of track 0: the catalogue in sectors 1..8 and the disk-information sector 9.
#pragma once

#include <string>

#include "disk/zx_disk.h"

namespace tarvex {

struct TrdosCatalogue {};

// A readable listing of the catalogue and disk-information fields, or "" when track 0 holds none.
std::string DescribeTrdosSystemArea(TZX_Disk& disk);

}  // namespace tarvex
