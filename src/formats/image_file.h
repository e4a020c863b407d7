// The one place where the format code touches files: whole-file loading and atomic saving.
#pragma once

#include <string>

#include "disk/zx_disk.h"

namespace tarvex {

bool FileExists(const std::string& fileName);
// The whole file; throws IoError with the system's reason when it cannot be read.
Bytes ReadWholeFile(const std::string& fileName);
// Writes a temporary file beside the target, flushes it and renames it over the target, so the
// target is either the old file or the complete new one. Throws IoError with the system's reason.
void SaveFileAtomic(const std::string& fileName, ByteSpan bytes);

}  // namespace tarvex
