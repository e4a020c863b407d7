// TD0 pieces that callers may want apart from TZX_Disk's reader and writer: the image built at a
// given moment (so tests and tools fix the comment block's date) and the creation-date text.
#pragma once

#include <ctime>
#include <string>

#include "disk/zx_disk.h"

namespace tarvex {

// The versions of TeleDisk whose images are read (1.0 to 2.1, stored as 10 to 21).
constexpr uint8_t kTd0LowestVersion = 10;
constexpr uint8_t kTd0HighestVersion = 21;

// The TD0 image of `disk` whose comment block carries the local date and time `when`.
bool BuildTD0At(TZX_Disk& disk, Bytes& out, bool compress, const std::tm& when);

// "Создан: D.M.YYYY h:m:s" from the six date bytes of a comment block (year counted from 1900).
std::string TD0CreationText(uint8_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute, uint8_t second);

}  // namespace tarvex
