// A compiled gettext catalogue: a header of 32-bit words (magic, revision, count, then the offsets of the
// table of original texts and of the table of translations), each table holding a length and an offset per
// text. Either byte order; every length and offset is checked against the bytes before use.
#include "i18n/mo_catalogue.h"

namespace tarvex {

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kSwappedMagic = 0xde120495;
constexpr size_t kHeaderWords = 5;
constexpr size_t kEntryBytes = 8;  // length, offset

uint32_t Swap(uint32_t v) { return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24); }

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    void SetSwapped(bool swapped) { swapped_ = swapped; }
    bool Word(size_t at, uint32_t& value) const {
        if (at > bytes_.size() || bytes_.size() - at < 4) return false;
        value = uint32_t(bytes_[at]) | uint32_t(bytes_[at + 1]) << 8 | uint32_t(bytes_[at + 2]) << 16 |
                uint32_t(bytes_[at + 3]) << 24;
        if (swapped_) value = Swap(value);
        return true;
    }
    // Entry i of the table at `table`: the text it points to (without its closing NUL).
    bool Text(uint32_t table, uint32_t i, std::string& text) const {
        uint32_t length = 0, offset = 0;
        const size_t at = size_t(table) + size_t(i) * kEntryBytes;
        if (!Word(at, length) || !Word(at + 4, offset)) return false;
        if (offset > bytes_.size() || bytes_.size() - offset < size_t(length)) return false;
        text.assign(reinterpret_cast<const char*>(bytes_.data()) + offset, length);
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    bool swapped_ = false;
};

// The header's "Language: ru" line.
std::string HeaderLanguage(const std::string& header) {
    constexpr std::string_view kField = "Language: ";
    const size_t field = header.find(kField);
    if (field == std::string::npos) return "en";
    const size_t from = field + kField.size();
    const std::string language = header.substr(from, header.find('\n', from) - from);
    return language.empty() ? "en" : language;
}

}  // namespace

bool MoCatalogue::Load(std::span<const uint8_t> bytes) {
    texts_.clear();
    language_ = "en";
    Reader in(bytes);
    uint32_t magic = 0;
    if (!in.Word(0, magic) || (magic != kMagic && magic != kSwappedMagic)) return false;
    in.SetSwapped(magic == kSwappedMagic);
    uint32_t header[kHeaderWords] = {};
    for (size_t i = 0; i < kHeaderWords; ++i)
        if (!in.Word(4 * (i + 1), header[i])) return false;
    const uint32_t count = header[1], originals = header[2], translations = header[3];
    if (count > bytes.size() / kEntryBytes) return false;
    std::unordered_map<std::string, std::string> texts;
    std::string headerText;
    for (uint32_t i = 0; i < count; ++i) {
        std::string original, translation;
        if (!in.Text(originals, i, original) || !in.Text(translations, i, translation)) return false;
        if (original.empty())  // the header
            headerText = std::move(translation);
        else
            texts.emplace(std::move(original), std::move(translation));
    }
    texts_ = std::move(texts);
    language_ = HeaderLanguage(headerText);
    return true;
}

const std::string* MoCatalogue::Find(std::string_view key) const {
    const auto found = texts_.find(std::string(key));
    return found == texts_.end() || found->second.empty() ? nullptr : &found->second;
}

MoCatalogue& ActiveCatalogue() {
    static MoCatalogue catalogue;
    return catalogue;
}

}  // namespace tarvex
