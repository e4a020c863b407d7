// Parsing, editing and saving INI text, keeping every line it does not understand.
#include "settings/ini_document.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "i18n/translate.h"
#include "io/image_file.h"
#include "io/status.h"

namespace tarvex {

namespace {

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r";
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The name of a "[section]" line, or nothing when the line is not a header.
std::optional<std::string> SectionHeader(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyValue {
    std::string key, value;
};

std::optional<KeyValue> KeyLine(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return std::nullopt;
    const size_t eq = t.find('=');
    if (eq == std::string::npos || eq == 0) return std::nullopt;
    return KeyValue{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

}  // namespace

IniDocument IniDocument::Parse(const std::string& text) {
    IniDocument doc;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        doc.lines_.push_back(std::move(line));
        start = end + 1;
    }
    return doc;
}

std::string IniDocument::Text() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
}

std::optional<std::string> IniDocument::Get(const std::string& section, const std::string& key) const {
    bool inSection = false;
    for (const std::string& line : lines_) {
        if (auto header = SectionHeader(line)) {
            inSection = SameName(*header, section);
        } else if (inSection) {
            if (auto kv = KeyLine(line); kv && SameName(kv->key, key)) return kv->value;
        }
    }
    return std::nullopt;
}

void IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string newLine = key + "=" + value;
    bool inSection = false;
    std::optional<size_t> endOfSection;  // one past the last non-blank line of the (first) matching section
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto header = SectionHeader(lines_[i])) {
            inSection = SameName(*header, section);
            if (inSection && !endOfSection) endOfSection = i + 1;
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyLine(lines_[i]); kv && SameName(kv->key, key)) {
            lines_[i] = newLine;
            return;
        }
        if (!Trim(lines_[i]).empty() && endOfSection) endOfSection = std::max(*endOfSection, i + 1);
    }
    if (endOfSection) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*endOfSection), newLine);
        return;
    }
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(newLine);
}

IniDocument IniDocument::Load(const std::string& fileName) {
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) return {};
    Bytes bytes;
    const Status read = Attempt([&] {
        bytes = ReadWholeFile(fileName);
        return Status::Ok();
    });
    if (!read) throw SettingsError(read.reason());
    return Parse(std::string(bytes.begin(), bytes.end()));
}

void IniDocument::Save(const std::string& fileName) const {
    const Status saved = Attempt([&] {
        const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
        std::error_code ec;
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        const std::string text = Text();
        SaveFileAtomic(fileName, ByteSpan(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
        return Status::Ok();
    });
    if (!saved) throw SettingsError(Fill(Tr("Unable to write to %s"), {fileName}));
}

}  // namespace tarvex
