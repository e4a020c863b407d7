// The image formats: which reader a file's extension picks, which writer a target index picks,
// and the output file name a conversion makes.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "disk/zx_disk.h"
#include "formats/image_size_limits.h"

namespace tarvex {

// The target index is the position in the window's format selector and the stored "Type" setting.
enum FormatIndex : int {
    kUDI = 0, kTRD, kTD0, kFDI, kPRO, kSCL, kKDI,
    kHFE,
    kFormatCount
};

struct FormatInfo {
    const char* name;       // "UDI"
    const char* extension;  // ".udi"
    bool (TZX_Disk::*parse)(ByteSpan);
    const FileSizeLimit* sizeLimit;  // the largest file the reader can take
};

const std::array<FormatInfo, kFormatCount>& Formats();

// Case-insensitive format name ("trd", "TD0") to its index.
std::optional<int> FormatByName(const std::string& name);

// The file-name part of a path (without its directory).
std::string FileNamePart(const std::string& path);

// The reader for a file: its extension upper-cased, at most three letters after the dot.
std::optional<int> FormatByExtension(const std::string& path);

// Reads a file into the disk with the reader its extension names, no further than the largest image of
// that format. Every failure, an input/output error, a folder, a file too large or one cut short
// included, gives false with the reason in message. Where nothing has the name, the reader answers as it
// does for a missing file (most return false and leave the message alone).
bool ReadImageFile(TZX_Disk& disk, const std::string& path, std::string& message);

// Writes the disk in the target format; false with the writer's (or the system's) reason.
bool WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress, std::string& message);

// The source's name with its extension replaced by the target's, beside the source or in outputFolder.
std::string OutputFileName(const std::string& source, int format, const std::optional<std::string>& outputFolder);

}  // namespace tarvex
