// Locale and catalogue set-up, done once by each program's main() before any text is shown.
#include "i18n/locale_setup.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "i18n/translate.h"

#if !defined(TARVEX_NO_GETTEXT) && !defined(__EMSCRIPTEN__)
#include <libintl.h>
#define TARVEX_HAVE_GETTEXT 1
#endif

#ifndef TARVEX_INSTALL_LOCALEDIR
#define TARVEX_INSTALL_LOCALEDIR "/usr/local/share/locale"
#endif

namespace tarvex {

namespace {
constexpr const char* kSourceLanguage = "en";
constexpr std::string_view kLanguageField = "Language: ";
// The texts depend on the locale's language and character set only: numbers, dates, sorting and the rest
// are formatted the same everywhere, so their categories are not loaded.
constexpr int kCategoriesUsed[] = {LC_CTYPE, LC_MESSAGES};
}  // namespace

std::string CatalogueFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = program.parent_path().parent_path() / "share" / "locale";
        if (std::filesystem::is_directory(beside, ec)) return beside.string();
    }
    return TARVEX_INSTALL_LOCALEDIR;
}

bool LocaleMayTranslate() {
    const auto set = [](const char* name) -> const char* {
        const char* value = std::getenv(name);
        return value && *value ? value : nullptr;
    };
    if (set("LANGUAGE")) return true;
    const char* chosen = set("LC_ALL");
    if (!chosen) chosen = set("LC_MESSAGES");
    if (!chosen) chosen = set("LANG");
    if (!chosen) return false;
    const std::string_view name(chosen);
    return !(name == "C" || name == "POSIX" || name.starts_with("C."));
}

void UseUserLocale(const std::string& folder) {
    const bool mayTranslate = LocaleMayTranslate();
    // The C locale is built into the C library: taking it loads nothing.
    for (const int category : kCategoriesUsed) std::setlocale(category, mayTranslate ? "" : "C");
    if (!mayTranslate) return;
#ifdef TARVEX_HAVE_GETTEXT
    bindtextdomain(kTextDomain, (folder.empty() ? CatalogueFolder() : folder).c_str());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
#else
    (void)folder;
#endif
}

// The catalogue's header (the translation of the empty text) names its language.
std::string ChosenLanguage() {
#ifdef TARVEX_HAVE_GETTEXT
    const std::string header = dgettext(kTextDomain, "");
    const auto field = header.find(kLanguageField);
    if (field != std::string::npos) {
        const auto from = field + kLanguageField.size();
        const std::string language = header.substr(from, header.find('\n', from) - from);
        if (!language.empty()) return language;
    }
#endif
    return kSourceLanguage;
}

}  // namespace tarvex
