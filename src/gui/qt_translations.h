// Qt's own texts (the Yes, No, Open and Cancel of its boxes and file dialogs) in the window's language, from
// the translations Qt installs beside itself.
#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

namespace tarvex::gui {

// The language the window's texts are shown in: the one the program's catalogue was chosen for ("ru"), or
// "en" when the user's locale leaves the texts in English.
QString WindowLanguage();

// Installs Qt's translation of its own texts into `language` ("ru") and returns it (owned by `app`);
// nullptr when Qt has none installed, in which case its boxes keep their English buttons.
QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language);

// Qt's own texts in the window's language: nothing to install under English, Qt's source language.
QTranslator* InstallWindowLanguage(QCoreApplication& app);

}  // namespace tarvex::gui
