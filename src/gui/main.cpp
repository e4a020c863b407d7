// The desktop program: one window that converts disk images in batches.
#include <QApplication>

#include "gui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvex");
    tarvex::gui::TFMain window;
    window.show();
    return QApplication::exec();
}
