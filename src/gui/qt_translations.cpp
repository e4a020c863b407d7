// Loads Qt's catalogue of its own texts ("qtbase_<language>.qm", shipped in Debian's qt6-translations-l10n)
// from the folder Qt reports for its translations.
#include "gui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

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

}  // namespace tarvex::gui
