// C-style escapes of what a terminal would act on: C0 and C1 control characters, DEL, and bytes outside
// UTF-8 (a terminal may take a lone 0x9B for the start of a control sequence).
#include "app/printable_text.h"

#include <cstdio>

namespace tarvex {

namespace {

// The UTF-8 character at text[at] prints as itself: a printable ASCII byte, or a valid sequence that is
// not a C1 control (U+0080 to U+009F).
size_t PrintableLength(std::string_view text, size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) return c >= 0x20 && c != 0x7F ? 1 : 0;
    const size_t length = Utf8CharLength(text, at);
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
    return c1 ? 0 : length;
}

bool NeedsEscapes(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = PrintableLength(text, i);
        if (length == 0) return true;
        i += length;
    }
    return false;
}

std::string Escaped(std::string_view text, bool quoted) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = PrintableLength(text, i);
        const char c = text[i];
        if (length > 0 && c != '\\' && !(quoted && c == '"')) {
            out += text.substr(i, length);
            i += length;
            continue;
        }
        switch (c) {
            case '\a': out += "\\a"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\v': out += "\\v"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            default: {
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
                out += octal;
            }
        }
        ++i;
    }
    return out;
}

}  // namespace

size_t Utf8CharLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0; };
    const unsigned char c = byte(0);
    if (at >= text.size()) return 0;
    if (c < 0x80) return 1;
    // The allowed range of the second byte rules out overlong forms, surrogates and code points past U+10FFFF.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    return length;
}

std::string ShownName(std::string_view name) {
    return NeedsEscapes(name) ? "\"" + Escaped(name, true) + "\"" : std::string(name);
}

std::string ShownText(std::string_view text) {
    return NeedsEscapes(text) ? Escaped(text, false) : std::string(text);
}

}  // namespace tarvex
