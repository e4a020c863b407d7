// The desktop program: one window that converts disk images in batches. Files named on the command line
// (the desktop's "Open with" and double-click) go into its list as if chosen in the add dialog.
#include <QApplication>
#include <utility>

#include "gui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvex");
    tarvex::gui::WindowOptions options;
    options.files = QApplication::arguments().mid(1);  // what is left after Qt took its own options
    tarvex::gui::TFMain window(std::move(options));
    window.show();
    return QApplication::exec();
}
