// Chooses the program's language the platform way: the user's locale (LC_ALL, LC_MESSAGES, LANG, and
// LANGUAGE's list under any locale but C) picks the catalogue, which is looked for beside the program.
#pragma once

#include <string>

namespace tarvex {

// The folder holding <language>/LC_MESSAGES/tarvex.mo: "../share/locale" from the folder of the running
// program, which is where both an installed tree and the build tree keep it; the configured install folder
// when that one does not exist.
std::string CatalogueFolder();

// Whether the user's locale can choose a catalogue: false under the C locale (none set, "C", "POSIX" or
// "C.<character set>") with no LANGUAGE list, where every text stays English.
bool LocaleMayTranslate();

// Takes the user's locale for the categories the texts depend on (character set and messages) and binds
// the catalogue in `folder` (CatalogueFolder() when empty), with texts given in UTF-8 whatever the
// locale's character set. Where the locale cannot choose a catalogue nothing is loaded: the program takes
// the C library's built-in C locale, whose texts are the same.
void UseUserLocale(const std::string& folder = {});

// The language the catalogue lookup has chosen ("ru"), or "en" when texts stay in English.
std::string ChosenLanguage();

}  // namespace tarvex
