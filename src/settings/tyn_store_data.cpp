// The settings store's operations over its two back ends, each opening, reading or writing once, and
// closing.
#include "settings/tyn_store_data.h"
#include "i18n/translate.h"

#include <array>
#include <cstdlib>
#include <limits>

namespace tarvex {

namespace {

struct RootKeyEntry {
    uint32_t handle;
    const char* name;
};

// Indexed by the member's value.
constexpr std::array<RootKeyEntry, 6> kRootKeys = {{
    {0x80000000u, "HKEY_CLASSES_ROOT"},
    {0x80000001u, "HKEY_CURRENT_USER"},
    {0x80000002u, "HKEY_LOCAL_MACHINE"},
    {0x80000003u, "HKEY_USERS"},
    {0x80000005u, "HKEY_CURRENT_CONFIG"},
    {0x80000006u, "HKEY_DYN_DATA"},
}};

const RootKeyEntry& RootEntry(TTynRootKey key) {
    const int i = static_cast<int>(key);
    return kRootKeys[i >= 0 && i < static_cast<int>(kRootKeys.size()) ? i : hkeyCurrentUser];
}

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

}  // namespace

uint32_t RootKeyHandle(TTynRootKey key) { return RootEntry(key).handle; }
const char* RootKeyName(TTynRootKey key) { return RootEntry(key).name; }

void TTynRegistry::SetPath(const std::string& path) {
    path_ = path;
    if (path_.empty()) return;
    for (char& c : path_)
        if (c == '/') c = '\\';
    if (path_.front() != '\\') path_.insert(path_.begin(), '\\');
}

std::string ConfigFolder() {
    std::string base = AbsoluteEnv("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = AbsoluteEnv("HOME");
        base = (home.empty() ? std::string(".") : home) + "/.config";
    }
    return base + "/tarvex";
}

std::string RegistryFileName(TTynRootKey key) {
    return ConfigFolder() + "/registry/" + RootKeyName(key) + ".ini";
}

std::optional<int32_t> ParseStoredInteger(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

TTynStoreData::Location TTynStoreData::CurrentLocation() const {
    const TTynDataStore& ds = DataStore;
    if (!ds.Enabled || ds.Section.empty()) return {};
    if (ds.Datatype == sIniFile) {
        const std::string& name = ds.Inifile.IniFilename;
        if (name.empty()) return {};
        return {name.find('/') == std::string::npos ? ConfigFolder() + "/" + name : name, ds.Section};
    }
    const std::string& path = ds.Registry.Path();
    if (path.empty()) return {};
    // The key path without its leading separator, then the section as its subkey.
    return {RegistryFileName(ds.Registry.Rootkey), path.substr(1) + "\\" + ds.Section};
}

std::optional<TTynStoreData::Location> TTynStoreData::TargetLocation() {
    if (!DataStore.Enabled) return std::nullopt;
    if (DataStore.Section.empty()) {
        RaiseError();
        return std::nullopt;
    }
    Location where = CurrentLocation();
    if (where.fileName.empty()) return std::nullopt;
    return where;
}

TTynStoreData::Outcome TTynStoreData::ReadRaw(const std::string& name, std::optional<std::string>& value) {
    const auto where = TargetLocation();
    if (!where) return Outcome::kSkipped;
    value = IniDocument::Load(where->fileName).Get(where->section, name);
    return Outcome::kDone;
}

TTynStoreData::Outcome TTynStoreData::WriteRaw(const std::string& name, const std::string& value) {
    const auto target = TargetLocation();
    if (!target) return Outcome::kSkipped;
    const Location& where = *target;
    IniDocument doc;
    try {
        doc = IniDocument::Load(where.fileName);
    } catch (const SettingsError&) {
        throw SettingsError(Fill(Tr("Unable to write to %s"), {where.fileName}));
    }
    doc.Set(where.section, name, value);
    doc.Save(where.fileName);
    return Outcome::kDone;
}

std::string TTynStoreData::ReadString(const std::string& name, const std::string& defaultValue) {
    std::optional<std::string> stored;
    if (ReadRaw(name, stored) == Outcome::kSkipped) return defaultValue;
    const std::string result = stored.value_or(defaultValue);
    if (result == defaultValue) RaiseError();
    return result;
}

void TTynStoreData::WriteString(const std::string& name, const std::string& value) { WriteRaw(name, value); }

int32_t TTynStoreData::ReadIntegerValue(const std::string& name, int32_t defaultValue, bool& skipped) {
    std::optional<std::string> stored;
    skipped = ReadRaw(name, stored) == Outcome::kSkipped;
    if (skipped || !stored) return defaultValue;
    return ParseStoredInteger(*stored).value_or(defaultValue);
}

int32_t TTynStoreData::ReadInteger(const std::string& name, int32_t defaultValue) {
    bool skipped = false;
    const int32_t result = ReadIntegerValue(name, defaultValue, skipped);
    if (!skipped && result == defaultValue) RaiseError();
    return result;
}

void TTynStoreData::WriteInteger(const std::string& name, int32_t value) { WriteRaw(name, std::to_string(value)); }

bool TTynStoreData::ReadBool(const std::string& name, bool defaultValue) {
    bool skipped = false;
    return ReadIntegerValue(name, defaultValue ? 1 : 0, skipped) != 0;
}

void TTynStoreData::WriteBool(const std::string& name, bool value) { WriteRaw(name, value ? "1" : "0"); }

}  // namespace tarvex
