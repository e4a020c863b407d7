// Loads Qt's catalogue of its own texts ("qtbase_<language>.qm", shipped in Debian's qt6-translations-l10n)
// from the folder Qt reports for its translations, for the language the program's own catalogue speaks.
#include "gui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "i18n/locale_setup.h"

namespace tarvex::gui {

QTranslator* InstallQtTranslations(QCoreApplication& app, const QString& language) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load("qtbase_" + language, folder)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

QString WindowLanguage() { return QString::fromStdString(ChosenLanguage()); }

QTranslator* InstallWindowLanguage(QCoreApplication& app) {
    const QString language = WindowLanguage();
    if (language == QLatin1String("en")) return nullptr;
    return InstallQtTranslations(app, language);
}

}  // namespace tarvex::gui
