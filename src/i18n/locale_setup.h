// Chooses the program's language the platform way: the user's locale (LC_ALL, LC_MESSAGES, LANG, and
// LANGUAGE's list under any locale but C) picks the catalogue, which is looked for beside the program.
#pragma once

#include <string>

namespace tarvex {

// The folder holding <language>/LC_MESSAGES/tarvex.mo: "../share/locale" from the folder of the running
// program, which is where both an installed tree and the build tree keep it; the configured install folder
// when that one does not exist.
std::string CatalogueFolder();

// Takes the user's locale for the categories the texts depend on (character set and messages) and binds
// the catalogue in `folder` (CatalogueFolder() when empty), with texts given in UTF-8 whatever the
// locale's character set.
void UseUserLocale(const std::string& folder = {});

// The language the catalogue lookup has chosen ("ru"), or "en" when texts stay in English.
std::string ChosenLanguage();

}  // namespace tarvex
