// Host names for TR-DOS files and TR-DOS files from host files.
#include "trdos/host_files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "i18n/translate.h"
#include "io/text_1251.h"
#include "trdos/hobeta.h"
#include "trdos/trdos_files.h"

namespace tarvex {

namespace {

constexpr std::string_view kRefusedCharacters = "/\\:*?\"<>|";
constexpr size_t kMaxPlainBytes = 255 * kTrdosSectorBytes;

std::string HostSafe(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127 || kRefusedCharacters.find(c) != std::string_view::npos) c = '_';
    }
    return text.empty() ? "_" : text;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::string HostFileName(const TrdosFileEntry& entry, bool hobeta) {
    std::string name = Cp1251ToUtf8(ByteSpan(entry.Name.data(), entry.Name.size()));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    const std::string type = HostSafe(Cp1251ToUtf8(ByteSpan(&entry.Type, 1)));
    return HostSafe(name) + (hobeta ? ".$" : ".") + type;
}

std::vector<std::string> UniqueHostFileNames(const std::vector<TrdosFileEntry>& entries, bool hobeta) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const TrdosFileEntry& entry : entries) {
        const std::string name = HostFileName(entry, hobeta);
        std::string unique = name;
        const size_t dot = name.rfind('.');
        for (unsigned n = 2; !taken.insert(Lower(unique)).second; ++n)
            unique = name.substr(0, dot) + "~" + std::to_string(n) + name.substr(dot);
        names.push_back(unique);
    }
    return names;
}

bool IsHobetaName(const std::string& fileName) {
    const std::string base = BaseName(fileName);
    const size_t dot = base.rfind('.');
    return dot != std::string::npos && dot > 0 && base.size() == dot + 3 && base[dot + 1] == '$';
}

std::optional<std::array<uint8_t, 8>> TrdosNameOf(const std::string& text) {
    const std::string bytes = Utf8ToCp1251(text);
    if (bytes.empty() || static_cast<unsigned char>(bytes[0]) < 32) return std::nullopt;
    std::array<uint8_t, 8> name;
    name.fill(' ');
    std::memcpy(name.data(), bytes.data(), std::min(bytes.size(), name.size()));
    return name;
}

bool EntryMatches(const TrdosFileEntry& entry, unsigned index, const std::string& word) {
    if (word.size() > 1 && word[0] == '#') return word.substr(1) == std::to_string(index + 1);
    if (entry.Deleted()) return false;
    const std::string title = TrdosFileTitle(entry);
    return word == title || word == title.substr(0, title.rfind('.'));
}

Status TrdosFileFromHost(const std::string& fileName, ByteSpan bytes, bool plain, const PlainFileFields& fields,
                         TrdosFileEntry& entry, Bytes& data) {
    if (!plain && IsHobetaName(fileName)) return ParseHobeta(bytes, entry, data);
    const std::string base = BaseName(fileName);
    const size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
    const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : base.substr(dot + 1);
    const std::string nameText = fields.name.value_or(stem);
    const auto name = TrdosNameOf(nameText);
    if (!name) return Status::Failure(Fill(Tr("\"%s\" cannot be a TR-DOS file name!"), {nameText}));
    if (bytes.size() > kMaxPlainBytes)
        return Status::Failure(Fill(Tr("File %s is too large for TR-DOS: %s bytes, at most %s!"),
                                    {base, std::to_string(bytes.size()), std::to_string(kMaxPlainBytes)}));
    TrdosFileEntry made;
    made.Name = *name;
    const std::string typeByte = Utf8ToCp1251(extension);
    made.Type = fields.type.value_or(typeByte.size() == 1 ? static_cast<uint8_t>(typeByte[0]) : uint8_t{'C'});
    const auto length = static_cast<uint16_t>(bytes.size());
    made.Start = fields.start.value_or(made.Type == 'B' ? length : kDefaultPlainStart);
    made.Length = length;
    made.SectorCount = static_cast<uint8_t>((bytes.size() + kTrdosSectorBytes - 1) / kTrdosSectorBytes);
    entry = made;
    data.assign(bytes.begin(), bytes.end());
    return Status::Ok();
}

}  // namespace tarvex
