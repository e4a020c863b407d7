// The language the tests run in. Every suite starts under the Russian locale with the build tree's
// catalogue, so the tests of the Russian texts read them as a Russian user does; a test of the English texts
// switches for its own length with ScopedLocale. Child processes (tarvex-cli) inherit the choice.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tarvex::test {

inline constexpr const char* kRussianLocale = "ru_RU.UTF-8";
inline constexpr const char* kEnglishLocale = "C.UTF-8";

// Chooses `locale` for this process and the programs it starts and binds the build tree's catalogue;
// false when the system lacks the locale.
bool UseLocale(const std::string& locale);

// A test environment that starts every run under the Russian locale and fails the run, naming the missing
// locale, where the system lacks it. Listing the tests needs no locale.
class RussianLocaleEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};

// Makes `locale` the language until the end of the scope, then the one before it.
class ScopedLocale {
public:
    explicit ScopedLocale(const std::string& locale);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::string previous_;
};

}  // namespace tarvex::test
