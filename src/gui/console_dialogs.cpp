// Messages and questions of the window as lines on standard error: "caption: text".
#include "gui/console_dialogs.h"

#include <cstdio>

namespace tarvex::gui {

namespace {
void PrintLine(const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
}
}  // namespace

bool ConsoleDialogs::AskYesNo(QWidget*, const QString& text, const QString& caption) {
    PrintLine(caption, text + " (No)");
    return false;
}

void ConsoleDialogs::ShowMessage(QWidget*, const QString& text, const QString& caption) { PrintLine(caption, text); }

bool ConsoleDialogs::ShowFileFailure(QWidget*, const QString& text, const QString& caption, const QString& file) {
    PrintLine(caption, text + " (" + QString(file).replace(u'\n', QLatin1String("; ")) + ")");
    return false;
}

QStringList ConsoleDialogs::OpenFiles(QWidget*, const QString&, const QString&, const QString&) { return {}; }

QString ConsoleDialogs::PickFolder(QWidget*, const QString&, const QString&) { return {}; }

}  // namespace tarvex::gui
