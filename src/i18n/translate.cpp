// Looks texts up in the program's catalogue through the C library's gettext. Builds without gettext (the
// browser build) look them up in the catalogue they were handed, if any, and keep the English texts otherwise.
#include "i18n/translate.h"

#include "i18n/mo_catalogue.h"

#if !defined(TARVEX_NO_GETTEXT) && !defined(__EMSCRIPTEN__)
#include <libintl.h>
#define TARVEX_HAVE_GETTEXT 1
#endif

namespace tarvex {

namespace {
// gettext keeps a context and its text as one key, joined by this byte.
constexpr char kContextSeparator = '\004';
constexpr std::string_view kPlaceholder = "%s";
}  // namespace

std::string Tr(const char* english) {
#ifdef TARVEX_HAVE_GETTEXT
    return dgettext(kTextDomain, english);
#else
    const std::string* found = ActiveCatalogue().Find(english);
    return found ? *found : english;
#endif
}

std::string TrIn(const char* context, const char* english) {
#ifdef TARVEX_HAVE_GETTEXT
    const std::string key = std::string(context) + kContextSeparator + english;
    const char* found = dgettext(kTextDomain, key.c_str());
    if (found != key.c_str()) return found;
#else
    if (const std::string* found = ActiveCatalogue().Find(std::string(context) + kContextSeparator + english))
        return *found;
#endif
    return english;
}

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string text;
    auto value = values.begin();
    std::size_t from = 0;
    for (std::size_t at = pattern.find(kPlaceholder); at != std::string_view::npos;
         at = pattern.find(kPlaceholder, from)) {
        text.append(pattern.substr(from, at - from));
        if (value != values.end()) text.append(*value++);
        from = at + kPlaceholder.size();
    }
    text.append(pattern.substr(from));
    return text;
}

}  // namespace tarvex
