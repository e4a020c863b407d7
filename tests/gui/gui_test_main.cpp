// GoogleTest main for the window's tests: one QApplication, on the offscreen platform unless told otherwise,
// under the Russian locale.
#include <gtest/gtest.h>

#include <QApplication>

#include "test_locale.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarvex::test::RussianLocaleEnvironment);
    return RUN_ALL_TESTS();
}
