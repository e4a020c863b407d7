#include "app/format_table.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

#include "app/format_signatures.h"
#include "formats/image_file.h"

namespace tarvex {

namespace {
const char* const kUnsupportedType = "Данный тип файлов не поддерживается!";

// Thrown while a file is being read once its first bytes and name pick no reader: it is read no further.
struct NoReader {};

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}
}  // namespace

const std::array<FormatInfo, kFormatCount>& Formats() {
    static const std::array<FormatInfo, kFormatCount> formats = {{
        {"UDI", ".udi", &TZX_Disk::ParseUDI, &kUdiFileLimit},
        {"TRD", ".trd", &TZX_Disk::ParseTRD, &kTrdFileLimit},
        {"TD0", ".td0", &TZX_Disk::ParseTD0, &kTd0FileLimit},
        {"FDI", ".fdi", &TZX_Disk::ParseFDI, &kFdiFileLimit},
        {"PRO", ".pro", &TZX_Disk::ParsePRO, &kProFileLimit},
        {"SCL", ".scl", &TZX_Disk::ParseSCL, &kSclFileLimit},
        {"KDI", ".kdi", &TZX_Disk::ParseKDI, &kKdiFileLimit},
        {"HFE", ".hfe", nullptr, nullptr},
        {"DSK", ".dsk", &TZX_Disk::ParseDSK, &kDskFileLimit},
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

std::optional<int> ChooseReader(ByteSpan head, const std::string& path) {
    if (auto format = FormatByContent(head)) return format;
    return FormatByExtension(path);
}

// The file is loaded once, no further than the chosen format's limit, and parsed. A file that is gone
// (deleted after it was listed) fails like any unreadable one, with the system's reason and the file's
// name, and leaves the disk model as it was.
bool ReadImageFile(TZX_Disk& disk, const std::string& path, std::string& message, std::optional<int> forced,
                   int* formatRead) {
    // A file nothing names and that is not there keeps the message of a type that is not supported.
    if (!forced && !FormatByExtension(path) && !FileExists(path)) {
        message = kUnsupportedType;
        return false;
    }
    try {
        int chosen = -1;
        const Bytes bytes = ReadWholeFile(path, kSignatureHeadBytes, [&](ByteSpan head) -> const FileSizeLimit& {
            const auto format = forced ? forced : ChooseReader(head, path);
            if (!format) throw NoReader{};
            chosen = *format;
            return *Formats()[chosen].sizeLimit;
        });
        if (formatRead) *formatRead = chosen;
        if ((disk.*Formats()[chosen].parse)(bytes)) return true;
        message = disk.StatusMessage;
    } catch (const NoReader&) {
        message = kUnsupportedType;
    } catch (const std::exception& e) {
        message = e.what();
    }
    return false;
}

std::optional<int> FormatOfContent(const std::string& path) {
    try {
        return FormatByContent(ReadFileHead(path, kSignatureHeadBytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string FormatFoundText(int format, const std::string& path) {
    std::string text = std::string(Formats()[format].name) + " image";
    const auto named = FormatByExtension(path);
    if (named && *named != format) {
        const std::string name = FileNamePart(path);
        text += " (named " + name.substr(name.find_last_of('.')) + ")";
    }
    return text;
}

bool WriteImageFile(TZX_Disk& disk, int format, const std::string& path, bool compress, std::string& message) {
    try {
        bool ok = false;
        switch (format) {
            case kUDI: ok = disk.SaveUDI(path); break;
            case kTRD: ok = disk.SaveTRD(path); break;
            case kTD0: ok = disk.SaveTD0(path, compress); break;
            case kFDI: ok = disk.SaveFDI(path); break;
            case kPRO: ok = disk.SavePRO(path); break;
            case kSCL: ok = disk.SaveSCL(path); break;
            case kKDI: ok = disk.SaveKDI(path); break;
            case kDSK: ok = disk.SaveDSK(path); break;
            default: message = "Unknown target format!"; return false;
        }
        if (!ok) message = disk.StatusMessage;
        return ok;
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
