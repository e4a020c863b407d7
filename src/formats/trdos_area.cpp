#include "formats/trdos_area.h"

namespace tarvex {

std::string DescribeTrdosSystemArea(TZX_Disk&) { return {}; }

}  // namespace tarvex
