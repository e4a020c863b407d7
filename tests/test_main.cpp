// GoogleTest main of the core and command-line suites: the Russian locale first, then every test.
#include <gtest/gtest.h>

#include <cstdio>

#include "test_locale.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!tarvex::test::UseLocale(tarvex::test::kRussianLocale)) {
        std::fprintf(stderr, "the %s locale is missing (make deps generates it)\n", tarvex::test::kRussianLocale);
        return 1;
    }
    return RUN_ALL_TESTS();
}
