// The format table and the reading and writing of a whole image through it: a file's reader chosen by
// its content or name, held to its format's size limit, and every failure turned into a Status.
#include "app/format_table.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "app/format_signatures.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/status.h"
#include "io/image_file.h"

namespace tarvex {

namespace {
// Thrown while a file is being read once its first bytes and name pick no reader.
struct NoReader {};

const char* const kUnsupportedType = TrMark("This file type is not supported!");

// Parses the bytes with the format's reader.
Status ParseAs(TZX_Disk& disk, int format, ByteSpan bytes) {
    return Attempt([&] {
        const FormatInfo& info = Formats()[format];
        RefuseOversizeImage(bytes.size(), *info.sizeLimit);
        return Status::Of((disk.*info.parse)(bytes), disk.StatusMessage);
    });
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

std::string FormatNames(NameCase letters, const std::string& separator, const std::string& last) {
    std::vector<std::string> names;
    for (const FormatInfo& f : Formats()) {
        if (!f.Present()) continue;
        std::string name = f.name;
        if (letters == NameCase::kLower)
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(std::move(name));
    }
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) joined += i + 1 == names.size() ? last : separator;
        joined += names[i];
    }
    return joined;
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

Status ReadImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes, std::optional<int> forced,
                      int* formatRead) {
    const auto format = forced ? forced : ReaderFor(name, bytes);
    if (!format) return Status::Failure(Tr(kUnsupportedType));
    if (formatRead) *formatRead = *format;
    return ParseAs(disk, *format, bytes);
}

// The file is loaded once, no further than the chosen format's limit, and parsed. A file that is gone
// (deleted after it was listed) fails like any unreadable one, with the system's reason and the file's
// name, and leaves the disk model as it was.
Status ReadImageFile(TZX_Disk& disk, const std::string& path, std::optional<int> forced, int* formatRead) {
    // A file nothing names and that is not there keeps the message of a type that is not supported.
    if (!forced && !FormatByExtension(path) && !FileExists(path)) return Status::Failure(Tr(kUnsupportedType));
    int chosen = -1;
    FileBuffer bytes;
    bool placing = false;  // the disk has been given a file's tracks, to be filled straight from the file
    bool placed = false;
    bool named = true;     // the file's first bytes or its name picked a reader
    const Status read = Attempt([&] {
        const auto limitFor = [&](ByteSpan head) -> const FileSizeLimit& {
            const auto format = forced ? forced : ReaderFor(path, head);
            if (!format) {
                named = false;
                throw NoReader{};  // the file is read no further
            }
            chosen = *format;
            return *Formats()[chosen].sizeLimit;
        };
        const auto placesFor = [&](uint64_t size, WritablePieces& places) {
            const auto place = Formats()[chosen].place;
            placing = place && (disk.*place)(size, places);
            return placing;
        };
        bytes = ReadWholeFileOrPlace(path, kSignatureHeadBytes, limitFor, placesFor, placed);
        return Status::Ok();
    });
    if (!named) return Status::Failure(Tr(kUnsupportedType));
    if (!read) {
        if (placing) disk.Clear();  // not the half-read image
        return read;
    }
    if (formatRead) *formatRead = chosen;
    if (placed) return Status::Ok();
    const Status parsed = ParseAs(disk, chosen, bytes);
    if (!parsed && placing) disk.Clear();  // the tracks placed before the file was found changed go
    return parsed;
}

Status ReadStandardInputBytes(std::optional<int> forced, Bytes& bytes) {
    return Attempt([&] {
        bytes = ReadStandardInput(forced ? *Formats()[*forced].sizeLimit : kAnyFileLimit);
        return Status::Ok();
    });
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

Status BuildImageBytes(TZX_Disk& disk, int format, bool compress, Bytes& out, const LossCheck& check) {
    disk.WriteLosses.Clear();
    return Attempt([&] {
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
            default: return Status::Failure(Tr("Unknown target format!"));
        }
        if (!ok) return Status::Failure(disk.StatusMessage);
        if (check) {
            Status checked = check();
            if (!checked) out.clear();
            return checked;
        }
        return Status::Ok();
    });
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
}  // namespace

Status WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress, IfNameTaken ifTaken,
                      const LossCheck& check) {
    if (const auto gather = GathererOf(format)) {
        disk.WriteLosses.Clear();
        return Attempt([&] {
            ImagePieces pieces;
            if (!(disk.*gather)(pieces)) return Status::Failure(disk.StatusMessage);
            if (check)
                if (Status checked = check(); !checked) return checked;
            SavePiecesAtomic(path, pieces, ZeroBlocks::Skipped, ifTaken);
            return Status::Ok();
        });
    }
    Bytes out;
    if (Status built = BuildImageBytes(disk, format, compress, out, check); !built) return built;
    return Attempt([&] {
        SaveFileAtomic(path, out, ZeroBlocks::Skipped, ifTaken);
        return Status::Ok();
    });
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
