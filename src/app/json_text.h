// Just enough JSON for the page's viewer and `tarvex-cli info --json`: strings quoted and escaped, and a
// writer that puts the commas between the members of objects and arrays.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// The text as a JSON string, quotes included. UTF-8 passes through as it is; a byte that is not part of
// UTF-8 (a file name in another encoding) becomes U+FFFD, and control characters become \uXXXX escapes.
std::string JsonString(std::string_view text);

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    // The name of the next member of the open object.
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Number(long long value);
    JsonWriter& Boolean(bool value);
    JsonWriter& Null();

    const std::string& Text() const { return text_; }

private:
    void BeforeValue();
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);

    std::string text_;
    std::vector<bool> hasMembers_;  // per open object or array: whether a member is already written
    bool afterKey_ = false;
};

}  // namespace tarvex
