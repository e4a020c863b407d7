// GoogleTest main for the window's tests: one QApplication, on the offscreen platform unless told otherwise,
// under the Russian locale.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "test_locale.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (!tarvex::test::UseLocale(tarvex::test::kRussianLocale)) {
        std::fprintf(stderr, "the %s locale is missing (make deps generates it)\n", tarvex::test::kRussianLocale);
        return 1;
    }
    return RUN_ALL_TESTS();
}
