// Which data fields of a raw MFM track carry the deleted-data mark. The disk model keeps no such flag; a
// track read with its raw bytes still holds the marks, so sector images that can record them (DSK status
// bytes) take them from there.
#pragma once

#include <bitset>

#include "disk/zx_disk.h"

namespace tarvex {

// Bit k: the data field of slot k is marked deleted. All clear for a track without raw bytes.
using DeletedDataMarks = std::bitset<kMaxSectors>;

DeletedDataMarks FindDeletedDataMarks(const TTrack& track);

}  // namespace tarvex
