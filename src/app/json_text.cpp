// Quoting and escaping JSON strings, and the commas between members.
#include "app/json_text.h"

#include <cstdio>

#include "app/printable_text.h"

namespace tarvex {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            const size_t length = Utf8CharLength(text, i);
            out += length ? text.substr(i, length) : std::string_view("\ufffd");
            if (length) i += length - 1;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMembers_.empty()) {
        if (hasMembers_.back()) text_ += ',';
        hasMembers_.back() = true;
    }
}

JsonWriter& JsonWriter::Open(char bracket) {
    BeforeValue();
    text_ += bracket;
    hasMembers_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    text_ += bracket;
    hasMembers_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    BeforeValue();
    text_ += JsonString(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    BeforeValue();
    text_ += JsonString(text);
    return *this;
}

JsonWriter& JsonWriter::Number(long long value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Boolean(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

}  // namespace tarvex
