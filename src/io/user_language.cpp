// On POSIX systems the language is the locale's: LANGUAGE, LC_ALL, LC_MESSAGES and LANG decide.
#include "io/user_language.h"

namespace tarvex {

std::string UserInterfaceLanguage() { return {}; }

}  // namespace tarvex
