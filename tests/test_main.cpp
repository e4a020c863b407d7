// GoogleTest main of the core and command-line suites: every test runs under the Russian locale unless it
// switches to English itself.
#include <gtest/gtest.h>

#include "test_locale.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarvex::test::RussianLocaleEnvironment);
    return RUN_ALL_TESTS();
}
