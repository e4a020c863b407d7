// The image formats: which reader a file's content or extension picks, which writer a target index
// picks, and the output file name a conversion makes.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "disk/zx_disk.h"
#include "formats/image_size_limits.h"
#include "i18n/translate.h"
#include "io/image_file.h"
#include "io/status.h"

namespace tarvex {

// The target index is the position in the window's format selector and the stored "Type" setting.
enum FormatIndex : int { kUDI = 0, kTRD, kTD0, kFDI, kPRO, kSCL, kKDI, kHFE, kDSK, kFormatCount };

struct FormatInfo {
    const char* name;         // "UDI"
    const char* extension;    // ".udi"
    const char* description;  // "Universal disk image (*.udi)", marked for translation: show it through Tr
    bool (TZX_Disk::*parse)(ByteSpan);
    const FileSizeLimit* sizeLimit;  // the largest file the reader can take
    // The reader's way of taking a file's bytes straight into the disk (see TZX_Disk::PlaceTRD), if any.
    bool (TZX_Disk::*place)(uint64_t, WritablePieces&) = nullptr;
    bool Present() const { return parse != nullptr; }
};

const std::array<FormatInfo, kFormatCount>& Formats();

// The names of the present formats in the selector's order, joined: lower case for typing them ("udi, trd,
// ... or dsk"), upper case for naming them ("UDI, TRD, ... and DSK"); `last` joins the last two.
enum class NameCase { kLower, kUpper };
std::string FormatNames(NameCase letters, const std::string& separator, const std::string& last);

// Case-insensitive format name ("trd", "TD0") to its index; present formats only.
std::optional<int> FormatByName(const std::string& name);

// The file-name part of a path (without its directory).
std::string FileNamePart(const std::string& path);

// The reader for a file: its extension upper-cased, at most three letters after the dot.
std::optional<int> FormatByExtension(const std::string& path);

// The reason a reader's refusal gives when the reader found no words of its own.
inline constexpr const char* kUnreadableReason = TrMark("cannot be read");

// The reader for an image of this file name whose first bytes (or all of it) are `head`: the format its
// content names, else the one its extension names (the only way to tell a headerless image: TRD, PRO,
// KDI); nothing when neither names one.
std::optional<int> ReaderFor(const std::string& name, ByteSpan head);

// Reads an image's bytes, already in memory, into the disk with the reader `forced` names or else the one
// ReaderFor picks, refusing one larger than that format's largest image as a file of that size is
// refused. A failure's reason is the unsupported-type message, the size refusal, the reader's
// StatusMessage or the text of the stream read error. formatRead, when given, receives the format whose
// reader was used.
Status ReadImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes,
                      std::optional<int> forced = std::nullopt, int* formatRead = nullptr);

// The same for a file, read once and no further than the largest image of the chosen format (chosen from
// its first bytes). Every failure, an input/output error, a folder, a file too large or one cut short
// included, is a failure with its reason.
Status ReadImageFile(TZX_Disk& disk, const std::string& path, std::optional<int> forced = std::nullopt,
                     int* formatRead = nullptr);

// The name the command line gives standard input (a source) and standard output (the output folder).
inline constexpr std::string_view kStandardStreamName = "-";

// All of standard input, read no further than the largest image of the format `forced` names (of any
// format when none); a failure carries the reason.
Status ReadStandardInputBytes(std::optional<int> forced, Bytes& bytes);

// The format a file's first bytes name; none when they name none or the file cannot be read.
std::optional<int> FormatOfContent(const std::string& path);

// "UDI image", or "UDI image (named .trd)" when the file's extension names another format.
std::string FormatFoundText(int format, const std::string& path);

// Asked once an image is built and before it is kept: a failure refuses the image with its reason.
using LossCheck = std::function<Status()>;

// Builds the image bytes of the disk in the target format; a failure carries the writer's reason.
Status BuildImageBytes(TZX_Disk& disk, int format, bool compress, Bytes& out, const LossCheck& check = {});

// Writes the disk in the target format, atomically; a failure carries the writer's (or the system's) reason.
// With kKeep a taken name is kept and gives a NameTaken status.
Status WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress,
                      IfNameTaken ifTaken = IfNameTaken::kReplace, const LossCheck& check = {});

// The source's name with its extension replaced by the target's, beside the source or in outputFolder.
std::string OutputFileName(const std::string& source, int format, const std::optional<std::string>& outputFolder);

}  // namespace tarvex
