#include "app/format_table.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>

#include "formats/image_file.h"

namespace tarvex {

namespace {
const char* const kUnsupportedType = "Данный тип файлов не поддерживается!";

// The file is loaded here, no further than its format's limit, and parsed. A file that is gone (deleted
// after it was listed) fails like any unreadable one, with the system's reason and the file's name, and
// leaves the disk model as it was.
bool ReadWithinLimit(TZX_Disk& disk, const std::string& path, const FormatInfo& format) {
    const FileBuffer bytes = ReadWholeFileUnzeroed(path, *format.sizeLimit);
    return (disk.*format.parse)(bytes);
}

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
    }};
    return formats;
}

std::optional<int> FormatByName(const std::string& name) {
    const std::string wanted = Upper(name);
    for (int i = 0; i < kFormatCount; ++i)
        if (wanted == Formats()[i].name) return i;
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

bool ReadImageFile(TZX_Disk& disk, const std::string& path, std::string& message) {
    const auto format = FormatByExtension(path);
    if (!format) {
        message = kUnsupportedType;
        return false;
    }
    try {
        if (ReadWithinLimit(disk, path, Formats()[*format])) return true;
        message = disk.StatusMessage;
    } catch (const std::exception& e) {
        message = e.what();
    }
    return false;
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
