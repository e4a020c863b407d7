// INI text: "[section]" headers and "key=value" lines. Section and key names compare without regard to
// ASCII letter case, blanks around names and values are ignored, lines starting with ';' or '#' are
// comments. Lines that are neither are kept as they are, so a damaged file still gives its good values
// and is rewritten with everything else untouched.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvex {

// A settings file that exists but cannot be read, or cannot be written.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IniDocument {
public:
    static IniDocument Parse(const std::string& text);
    std::string Text() const;

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Replaces the value, or adds the key at the end of its section, or adds the section at the end.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // A missing file is an empty document; one that exists but cannot be read throws SettingsError.
    static IniDocument Load(const std::string& fileName);
    // Creates the folders on the way and saves atomically; throws SettingsError "Unable to write to NAME".
    void Save(const std::string& fileName) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace tarvex
