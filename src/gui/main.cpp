// The desktop program: one window that converts disk images in batches. Files named on the command line
// (the desktop's "Open with" and double-click) go into its list as if chosen in the add dialog.
// The help, the version and a mistaken option are answered before any window system is asked for, so they
// work without a screen, as on a server; `--print-list` goes through the window's start-up without a screen
// and prints the rows the list then holds.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "gui/console_dialogs.h"
#include "gui/gui_text.h"
#include "gui/main_window.h"
#include "gui/qt_translations.h"
#include "i18n/locale_setup.h"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.0.0"
#endif

namespace {

const char* const kPrintListOption = "print-list";
const char* const kVersionAlias = "V";  // as tarvex-cli spells it, beside Qt's -v and --version

// The options QApplication takes off the command line for itself. The first look at the command line comes
// before there is an application, so it has to know them, lest it take them for mistakes.
const char* const kQtOptionsWithValue[] = {"platform",        "platformpluginpath",
                                           "platformtheme",   "plugin",
                                           "qwindowgeometry", "geometry",
                                           "qwindowtitle",    "title",
                                           "qwindowicon",     "icon",
                                           "display",         "name",
                                           "session",         "style",
                                           "stylesheet",      "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"};

void DescribeOptions(QCommandLineParser& parser) {
    // Qt's options take one dash, as in -platform offscreen.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        tarvex::gui::QTr("Converts ZX Spectrum floppy-disk images in batches, in a window."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption versionAlias(kVersionAlias);
    versionAlias.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(versionAlias);
    parser.addOption({kPrintListOption, tarvex::gui::QTr("Print the rows the list holds once the FILEs are added, "
                                                         "then exit without a window.")});
    parser.addPositionalArgument("FILE", tarvex::gui::QTr("Images to add to the list."), "[FILE...]");
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(name, {}, "value");
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

QStringList Arguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Prints the help, the version or what is wrong with the command line, with Qt's words in the user's
// language, and exits; an application without a window is enough for that.
void AnswerWithoutWindow(int argc, char* argv[], bool versionAlias) {
    QCoreApplication core(argc, argv);
    tarvex::gui::InstallWindowLanguage(core);
    QCommandLineParser parser;
    DescribeOptions(parser);
    if (versionAlias) parser.showVersion();
    parser.process(core);
}

// Where Qt would abort for want of a display, says so and exits instead.
void RequireDisplay() {
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    std::fprintf(stderr, "tarvex: %s\n",
                 tarvex::Tr("no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                            "tarvex-cli converts without one")
                     .c_str());
    std::exit(1);
#endif
}

// Row number and full path of every row, one per line.
void PrintRows(tarvex::gui::TFMain& window) {
    for (size_t row = 0; row < window.RowCount(); ++row)
        std::printf("%zu\t%s\n", row + 1, window.RowCells(row).at(0).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
    tarvex::UseUserLocale();
    QCoreApplication::setApplicationName("Tarvex");
    QCoreApplication::setApplicationVersion(TARVEX_VERSION);

    QCommandLineParser parser;
    DescribeOptions(parser);
    const bool understood = parser.parse(Arguments(argc, argv));
    if (!understood || parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version") ||
        parser.isSet(kVersionAlias))
        AnswerWithoutWindow(argc, argv, understood && parser.isSet(kVersionAlias));

    const bool printList = parser.isSet(kPrintListOption);
    if (printList && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    RequireDisplay();
    QApplication app(argc, argv);
    tarvex::UseUserLocale();  // again: the application has taken the locale of the environment
    tarvex::gui::InstallWindowLanguage(app);

    tarvex::gui::ConsoleDialogs console;
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
