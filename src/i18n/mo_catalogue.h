// A message catalogue read from the bytes of a compiled gettext file (.mo), for builds without the C
// library's gettext (the browser's): the page hands the catalogue of its language to the core.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvex {

class MoCatalogue {
public:
    // Reads the catalogue; false (and an empty catalogue) when the bytes are not a well-formed one.
    bool Load(std::span<const uint8_t> bytes);
    // The translation of a key (a text, or context + '\004' + text); nullptr when the catalogue has none.
    const std::string* Find(std::string_view key) const;
    bool Empty() const { return texts_.empty(); }
    // The language its header names ("ru"), or "en" when it names none.
    const std::string& Language() const { return language_; }

private:
    std::unordered_map<std::string, std::string> texts_;
    std::string language_ = "en";
};

// The catalogue Tr and TrIn consult where the C library's gettext is not used; empty means English.
MoCatalogue& ActiveCatalogue();

}  // namespace tarvex
