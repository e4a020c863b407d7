// The language the user chose for the system's own texts, where the system keeps one apart from the
// locale of the C library: Windows's display language.
#pragma once

#include <string>

namespace tarvex {

// The language's two-letter code ("ru", "en"), or empty where the system has no such choice and the
// locale's environment decides.
std::string UserInterfaceLanguage();

}  // namespace tarvex
