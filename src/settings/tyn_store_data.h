// TTynStoreData keeps named string, integer and Boolean settings in one section of a persistent store:
// a registry-style key hierarchy or an INI file. Every operation opens the back end, does exactly one
// read or write and closes it again; nothing is cached.
//
// Values are text in both back ends: a string as it is, an integer as decimal text, a Boolean as "1" or "0".
//
// On this platform the registry is a set of INI files under the user's configuration folder,
// $XDG_CONFIG_HOME/tarvex/registry/ (by default ~/.config/tarvex/registry/), one file per root key
// (HKEY_LOCAL_MACHINE.ini, ...) whose sections are the full key paths ("[Software\Morvane\Tarvex\Data]").
// An INI file named without a folder is kept in $XDG_CONFIG_HOME/tarvex/.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "settings/ini_document.h"

namespace tarvex {

enum TTynDatatype { sRegistry = 0, sIniFile = 1 };

enum TTynRootKey {
    hkeyClassesRoot = 0,
    hkeyCurrentUser = 1,
    hkeyLocalMachine = 2,
    hkeyUsers = 3,
    hkeyCurrentConfig = 4,
    hkeyDynData = 5,
};

// The registry root a member names (0x80000000 .. 0x80000006; 0x80000004 has no member) and its name.
uint32_t RootKeyHandle(TTynRootKey key);
const char* RootKeyName(TTynRootKey key);

class TTynRegistry {
public:
    TTynRootKey Rootkey = hkeyCurrentUser;

    const std::string& Path() const { return path_; }
    // "Software/Company" is kept as "\Software\Company".
    void SetPath(const std::string& path);

private:
    std::string path_ = "\\Software\\Company\\Product";
};

class TTynIniFile {
public:
    std::string IniFilename = "MyFile.ini";
};

class TTynDataStore {
public:
    bool Enabled = true;
    std::string Section = "MySection";
    TTynDatatype Datatype = sRegistry;
    TTynRegistry Registry;
    TTynIniFile Inifile;

    // Kept for compatibility with stored configurations; values are stored in plain text.
    const std::string& Password() const { return password_; }
    void SetPassword(const std::string& password) { password_ = password.empty() ? kDefaultPassword : password; }

private:
    static constexpr const char* kDefaultPassword = "Password";
    std::string password_ = kDefaultPassword;
};

// The user's configuration folder for this program: $XDG_CONFIG_HOME/tarvex (absolute values only),
// else $HOME/.config/tarvex.
std::string ConfigFolder();
// The file that holds one registry root.
std::string RegistryFileName(TTynRootKey key);

class TTynStoreData {
public:
    // Called with the store when the section is empty, and after ReadString/ReadInteger whose result
    // equals the default (a missing value or one that holds exactly the default).
    std::function<void(TTynStoreData&)> OnError;
    TTynDataStore DataStore;

    // A missing value reads as its default. A file that exists but cannot be read, or a write that
    // cannot be saved, throws SettingsError.
    std::string ReadString(const std::string& name, const std::string& defaultValue);
    void WriteString(const std::string& name, const std::string& value);
    int32_t ReadInteger(const std::string& name, int32_t defaultValue);
    void WriteInteger(const std::string& name, int32_t value);
    bool ReadBool(const std::string& name, bool defaultValue);
    void WriteBool(const std::string& name, bool value);

    // The file and the section that the current configuration reads and writes; empty when it does nothing.
    struct Location {
        std::string fileName;
        std::string section;
    };
    Location CurrentLocation() const;
    // Where a read or write goes; nothing when the store is off or has no place (an empty section also
    // reports the error).
    std::optional<Location> TargetLocation();

private:
    enum class Outcome { kSkipped, kDone };
    Outcome ReadRaw(const std::string& name, std::optional<std::string>& value);
    Outcome WriteRaw(const std::string& name, const std::string& value);
    int32_t ReadIntegerValue(const std::string& name, int32_t defaultValue, bool& skipped);
    void RaiseError() {
        if (OnError) OnError(*this);
    }
};

// Decimal text (optional sign) that fits 32 bits; nothing otherwise.
std::optional<int32_t> ParseStoredInteger(const std::string& text);

}  // namespace tarvex
