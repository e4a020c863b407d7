#include "test_locale.h"

#include <clocale>
#include <cstdlib>

#include "i18n/locale_setup.h"

namespace tarvex::test {

bool UseLocale(const std::string& locale) {
    ::setenv("LC_ALL", locale.c_str(), 1);
    ::unsetenv("LANGUAGE");
    UseUserLocale(TARVEX_LOCALE_DIR);
    const char* now = std::setlocale(LC_MESSAGES, nullptr);
    return now != nullptr && locale == now;
}

void RussianLocaleEnvironment::SetUp() {
    ASSERT_TRUE(UseLocale(kRussianLocale)) << "the " << kRussianLocale << " locale is missing (make deps generates it)";
}

ScopedLocale::ScopedLocale(const std::string& locale) {
    const char* current = std::getenv("LC_ALL");
    previous_ = current ? current : kRussianLocale;
    UseLocale(locale);
}

ScopedLocale::~ScopedLocale() { UseLocale(previous_); }

}  // namespace tarvex::test
