// Locale and catalogue set-up, done once by each program's main() before any text is shown.
#include "i18n/locale_setup.h"

#include <clocale>
#include <filesystem>
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

void UseUserLocale(const std::string& folder) {
    for (const int category : kCategoriesUsed) std::setlocale(category, "");
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
