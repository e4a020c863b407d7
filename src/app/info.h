// tarvex-cli info: what a disk image holds, as text.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

// Geometry, the per-track sector map, the reader's note, comment lines and the TR-DOS catalogue.
void DescribeDisk(TZX_Disk& disk, std::ostream& out);

// What `info` prints for one image read with the given format's reader: the name and the format found
// (with the name's own format where that differs), the reader's note, then DescribeDisk.
void DescribeImage(TZX_Disk& disk, const std::string& name, int format, std::ostream& out);

// Reads every file (with the reader `from` names, when given) and describes it; returns 0 when all could
// be read, 1 otherwise.
int RunInfo(const std::vector<std::string>& files, std::ostream& out, std::optional<int> from = std::nullopt);

}  // namespace tarvex
