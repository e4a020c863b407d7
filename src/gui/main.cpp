// The desktop program: one window that converts disk images in batches. Files named on the command line
// (the desktop's "Open with" and double-click) go into its list as if chosen in the add dialog.
// `--print-list` goes through the same start-up without a screen and prints the rows the list then holds.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <utility>

#include "gui/console_dialogs.h"
#include "gui/main_window.h"
#include "gui/qt_translations.h"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.0.0"
#endif

namespace {

const char* const kPrintListOption = "print-list";

// The listing, the version and the help need no screen: they run without one, as on a server.
void UseOffscreenPlatformWithoutWindow(int argc, char* argv[]) {
    const char* const kNoWindowOptions[] = {"--print-list", "--version", "-v", "--help", "-h", "--help-all"};
    for (int i = 1; i < argc; ++i)
        for (const char* option : kNoWindowOptions)
            if (std::strcmp(argv[i], option) == 0) {
                if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
                return;
            }
}

// Row number and full path of every row, one per line.
void PrintRows(tarvex::gui::TFMain& window) {
    for (size_t row = 0; row < window.RowCount(); ++row)
        std::printf("%zu\t%s\n", row + 1, window.RowCells(row).at(0).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    UseOffscreenPlatformWithoutWindow(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvex");
    QApplication::setApplicationVersion(TARVEX_VERSION);
    tarvex::gui::InstallQtTranslations(app, tarvex::gui::kWindowLanguage);

    QCommandLineParser parser;
    parser.setApplicationDescription("Converts ZX Spectrum floppy-disk images in batches, in a window.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({kPrintListOption,
                      "Print the rows the list holds once the FILEs are added, then exit without a window."});
    parser.addPositionalArgument("FILE", "Images to add to the list.", "[FILE...]");
    parser.process(app);  // what is left after Qt took its own options

    tarvex::gui::ConsoleDialogs console;
    const bool printList = parser.isSet(kPrintListOption);
    tarvex::gui::WindowOptions options;
    options.files = parser.positionalArguments();
    if (printList) options.dialogs = &console;
    tarvex::gui::TFMain window(std::move(options));
    window.show();
    if (printList) {
        // Queued behind the adding of the command line's files, which the window starts once shown.
        QTimer::singleShot(0, &window, [&window] {
            PrintRows(window);
            QApplication::exit(0);
        });
    }
    return QApplication::exec();
}
