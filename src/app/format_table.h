// The image formats: which reader a file's content or extension picks, which writer a target index
// picks, and the output file name a conversion makes.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "disk/zx_disk.h"
#include "formats/image_size_limits.h"

namespace tarvex {

// The target index is the position in the window's format selector and the stored "Type" setting.
// HFE keeps its place (7) in the selector and the stored setting; until it has a reader and a writer
// its row is not present: no name, extension or content picks it.
enum FormatIndex : int { kUDI = 0, kTRD, kTD0, kFDI, kPRO, kSCL, kKDI, kHFE, kDSK, kFormatCount };

struct FormatInfo {
    const char* name;       // "UDI"
    const char* extension;  // ".udi"
    bool (TZX_Disk::*parse)(ByteSpan);
    const FileSizeLimit* sizeLimit;  // the largest file the reader can take
    bool Present() const { return parse != nullptr; }
};

const std::array<FormatInfo, kFormatCount>& Formats();

// Case-insensitive format name ("trd", "TD0") to its index; present formats only.
std::optional<int> FormatByName(const std::string& name);

// The file-name part of a path (without its directory).
std::string FileNamePart(const std::string& path);

// The reader for a file: its extension upper-cased, at most three letters after the dot.
std::optional<int> FormatByExtension(const std::string& path);

// The reader for a file's first bytes and its name: the format its content names, else the one its
// extension names (the only way to tell a headerless image: TRD, PRO, KDI).
std::optional<int> ChooseReader(ByteSpan head, const std::string& path);

// Reads a file into the disk with the reader `forced` names, or else the one ChooseReader picks, no
// further than the largest image of that format. Every failure, an input/output error, a folder, a file
// too large or one cut short included, gives false with the reason in message. formatRead, when given,
// receives the format whose reader was used.
bool ReadImageFile(TZX_Disk& disk, const std::string& path, std::string& message,
                   std::optional<int> forced = std::nullopt, int* formatRead = nullptr);

// The format a file's first bytes name; none when they name none or the file cannot be read.
std::optional<int> FormatOfContent(const std::string& path);

// "UDI image", or "UDI image (named .trd)" when the file's extension names another format.
std::string FormatFoundText(int format, const std::string& path);

// Writes the disk in the target format; false with the writer's (or the system's) reason.
bool WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress, std::string& message);

// The source's name with its extension replaced by the target's, beside the source or in outputFolder.
std::string OutputFileName(const std::string& source, int format, const std::optional<std::string>& outputFolder);

}  // namespace tarvex
