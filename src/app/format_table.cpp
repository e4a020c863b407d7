#include "app/format_table.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

#include "app/format_signatures.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/image_file.h"

namespace tarvex {

namespace {
const char* const kUnsupportedType = TrMark("This file type is not supported!");

// Thrown while a file is being read once its first bytes and name pick no reader: it is read no further.
struct NoReader {};

// Parses the bytes with the format's reader; false with the reason in message.
bool ParseAs(TZX_Disk& disk, int format, ByteSpan bytes, std::string& message) {
    try {
        const FormatInfo& info = Formats()[format];
        RefuseOversizeImage(bytes.size(), *info.sizeLimit);
        if ((disk.*info.parse)(bytes)) return true;
        message = disk.StatusMessage;
    } catch (const std::exception& e) {
        message = e.what();
    }
    return false;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}
}  // namespace

const std::array<FormatInfo, kFormatCount>& Formats() {
    static const std::array<FormatInfo, kFormatCount> formats = {{
        {"UDI", ".udi", TrMark("Universal disk image (*.udi)"), &TZX_Disk::ParseUDI, &kUdiFileLimit},
        {"TRD", ".trd", TrMark("TR-DOS disk image (*.trd)"), &TZX_Disk::ParseTRD, &kTrdFileLimit, &TZX_Disk::PlaceTRD},
        {"TD0", ".td0", TrMark("TeleDisk disk image (*.td0)"), &TZX_Disk::ParseTD0, &kTd0FileLimit},
        {"FDI", ".fdi", TrMark("Full disk image (*.fdi)"), &TZX_Disk::ParseFDI, &kFdiFileLimit},
        {"PRO", ".pro", TrMark("CP/M Profi sector image (*.pro)"), &TZX_Disk::ParsePRO, &kProFileLimit,
         &TZX_Disk::PlacePRO},
        {"SCL", ".scl", TrMark("Compact TR-DOS disk image (*.scl)"), &TZX_Disk::ParseSCL, &kSclFileLimit},
        {"KDI", ".kdi", TrMark("Korvet disk image (*.kdi)"), &TZX_Disk::ParseKDI, &kKdiFileLimit, &TZX_Disk::PlaceKDI},
        {"HFE", ".hfe", TrMark("HxC floppy image (*.hfe)"), &TZX_Disk::ParseHFE, &kHfeFileLimit},
        {"DSK", ".dsk", TrMark("Amstrad CPC / Spectrum +3 disk image (*.dsk)"), &TZX_Disk::ParseDSK, &kDskFileLimit},
    }};
    return formats;
}

std::optional<int> FormatByName(const std::string& name) {
    const std::string wanted = Upper(name);
    for (int i = 0; i < kFormatCount; ++i)
        if (Formats()[i].Present() && wanted == Formats()[i].name) return i;
    return std::nullopt;
}

std::string FileNamePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<int> FormatByExtension(const std::string& path) {
    const std::string name = FileNamePart(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return std::nullopt;
    return FormatByName(name.substr(dot + 1, 3));
}

std::optional<int> ReaderFor(const std::string& name, ByteSpan head) {
    if (auto format = FormatByContent(head)) return format;
    return FormatByExtension(name);
}

bool ReadImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes, std::string& message,
                    std::optional<int> forced, int* formatRead) {
    const auto format = forced ? forced : ReaderFor(name, bytes);
    if (!format) {
        message = Tr(kUnsupportedType);
        return false;
    }
    if (formatRead) *formatRead = *format;
    return ParseAs(disk, *format, bytes, message);
}

// The file is loaded once, no further than the chosen format's limit, and parsed. A file that is gone
// (deleted after it was listed) fails like any unreadable one, with the system's reason and the file's
// name, and leaves the disk model as it was.
bool ReadImageFile(TZX_Disk& disk, const std::string& path, std::string& message, std::optional<int> forced,
                   int* formatRead) {
    // A file nothing names and that is not there keeps the message of a type that is not supported.
    if (!forced && !FormatByExtension(path) && !FileExists(path)) {
        message = Tr(kUnsupportedType);
        return false;
    }
    int chosen = -1;
    FileBuffer bytes;
    bool placing = false;  // the disk has been given a file's tracks, to be filled straight from the file
    bool placed = false;
    try {
        const auto limitFor = [&](ByteSpan head) -> const FileSizeLimit& {
            const auto format = forced ? forced : ReaderFor(path, head);
            if (!format) throw NoReader{};
            chosen = *format;
            return *Formats()[chosen].sizeLimit;
        };
        const auto placesFor = [&](uint64_t size, WritablePieces& places) {
            const auto place = Formats()[chosen].place;
            placing = place && (disk.*place)(size, places);
            return placing;
        };
        bytes = ReadWholeFileOrPlace(path, kSignatureHeadBytes, limitFor, placesFor, placed);
    } catch (const NoReader&) {
        message = Tr(kUnsupportedType);
        return false;
    } catch (const std::exception& e) {
        if (placing) disk.Clear();  // not the half-read image
        message = e.what();
        return false;
    }
    if (formatRead) *formatRead = chosen;
    if (placed) return true;
    const bool parsed = ParseAs(disk, chosen, bytes, message);
    if (!parsed && placing) disk.Clear();  // the tracks placed before the file was found changed go
    return parsed;
}

std::optional<int> FormatOfContent(const std::string& path) {
    try {
        return FormatByContent(ReadFileHead(path, kSignatureHeadBytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string FormatFoundText(int format, const std::string& path) {
    const char* const formatName = Formats()[format].name;
    const auto named = FormatByExtension(path);
    if (!named || *named == format) return Fill(Tr("%s image"), {formatName});
    const std::string name = FileNamePart(path);
    return Fill(Tr("%s image (named %s)"), {formatName, name.substr(name.find_last_of('.'))});
}

bool BuildImageBytes(TZX_Disk& disk, int format, bool compress, Bytes& out, std::string& message) {
    try {
        bool ok = false;
        switch (format) {
            case kUDI: ok = disk.BuildUDI(out); break;
            case kTRD: ok = disk.BuildTRD(out); break;
            case kTD0: ok = disk.BuildTD0(out, compress); break;
            case kFDI: ok = disk.BuildFDI(out); break;
            case kPRO: ok = disk.BuildPRO(out); break;
            case kSCL: ok = disk.BuildSCL(out); break;
            case kKDI: ok = disk.BuildKDI(out); break;
            case kHFE: ok = disk.BuildHFE(out); break;
            case kDSK: ok = disk.BuildDSK(out); break;
            default: message = Tr("Unknown target format!"); return false;
        }
        if (!ok) message = disk.StatusMessage;
        return ok;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}

namespace {
// The writers that hand over their image as runs of the disk's own bytes, saved without a copy of the
// whole image; the same bytes as their Build* counterparts.
bool (TZX_Disk::*GathererOf(int format))(ImagePieces&) {
    switch (format) {
        case kTRD: return &TZX_Disk::GatherTRD;
        case kPRO: return &TZX_Disk::GatherPRO;
        case kKDI: return &TZX_Disk::GatherKDI;
        default: return nullptr;
    }
}

bool WriteGathered(TZX_Disk& disk, bool (TZX_Disk::*gather)(ImagePieces&), const std::string& path,
                   std::string& message) {
    try {
        ImagePieces pieces;
        if (!(disk.*gather)(pieces)) {
            message = disk.StatusMessage;
            return false;
        }
        SavePiecesAtomic(path, pieces);
        return true;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}
}  // namespace

bool WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress, std::string& message) {
    if (const auto gather = GathererOf(format)) return WriteGathered(disk, gather, path, message);
    Bytes out;
    if (!BuildImageBytes(disk, format, compress, out, message)) return false;
    try {
        SaveFileAtomic(path, out);
        return true;
    } catch (const std::exception& e) {
        message = e.what();
        return false;
    }
}

std::string OutputFileName(const std::string& source, int format, const std::optional<std::string>& outputFolder) {
    std::string name = FileNamePart(source);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    name += Formats()[format].extension;
    if (outputFolder) return *outputFolder + static_cast<char>(std::filesystem::path::preferred_separator) + name;
    return source.substr(0, source.size() - FileNamePart(source).size()) + name;
}

}  // namespace tarvex
