// Qt's own texts (the Yes, No, Open and Cancel of its boxes and file dialogs) in the window's language, from
// the translations Qt installs beside itself.
#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

namespace tarvex::gui {

// The language every text of the window is written in.
inline constexpr const char* kWindowLanguage = "ru";

// Installs Qt's translation of its own texts into `language` ("ru") and returns it (owned by `app`);
// nullptr when Qt has none installed, in which case its boxes keep their English buttons.
QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language);

}  // namespace tarvex::gui
