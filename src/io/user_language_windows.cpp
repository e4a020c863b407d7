// The Windows twin of user_language.cpp: the user's display language, as chosen in the system's settings.
#include <windows.h>

#include "io/user_language.h"
#include "io/wide_text_windows.h"

namespace tarvex {

std::string UserInterfaceLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID language = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
    if (::LCIDToLocaleName(language, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return "en";
    const std::string full = Utf8(name);  // "ru-RU"
    return full.substr(0, full.find('-'));
}

}  // namespace tarvex
