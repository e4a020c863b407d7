// The catalogue lookup: Russian under a Russian locale or a language list naming Russian first, English
// under every other locale, and the placeholder filling the translated patterns rely on.
#include "i18n/translate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "i18n/locale_setup.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::ScopedEnv;
using test::ScopedLocale;

TEST(Fill, PutsEachValueInPlaceOfItsPlaceholderInOrder) {
    EXPECT_EQ(Fill("Error loading image \"%s\" (%s)", {"a.trd", "File checksum error!"}),
              "Error loading image \"a.trd\" (File checksum error!)");
    EXPECT_EQ(Fill("%s%s", {"ab", "cd"}), "abcd");
    EXPECT_EQ(Fill("no placeholder", {"unused"}), "no placeholder");
    EXPECT_EQ(Fill("%s and %s", {"one"}), "one and ") << "a placeholder without a value is left out";
    EXPECT_EQ(Fill("100%s", {"%s"}), "100%s") << "a value is not searched again";
}

TEST(Translate, RussianLocaleGivesTheOriginalTexts) {
    EXPECT_EQ(ChosenLanguage(), "ru");
    EXPECT_EQ(Tr("This file type is not supported!"), "Данный тип файлов не поддерживается!");
    EXPECT_EQ(Tr("File checksum error!"), "Ошибка в контрольной сумме файла!");
    EXPECT_EQ(Fill(Tr("Created: %s"), {"18.9.1998 21:55:20"}), "Создан: 18.9.1998 21:55:20");
    EXPECT_EQ(Tr("Not a UDI file!"), "No UDI format!") << "a reader's English original is kept under Russian";
    EXPECT_EQ(Tr("A text the catalogue does not have"), "A text the catalogue does not have");
}

TEST(Translate, OneEnglishTextHasATranslationPerContext) {
    EXPECT_EQ(Tr("Error!"), "Ошибка!");
    EXPECT_EQ(TrIn("failure caption", "Error!"), "Error!");
    EXPECT_EQ(Tr("Warning!"), "Внимание!");
    EXPECT_EQ(TrIn("overwrite question", "Warning!"), "Внимание..!");
    EXPECT_EQ(TrIn("a context nobody uses", "Warning!"), "Warning!");
}

TEST(Translate, EveryOtherLocaleKeepsTheEnglishTexts) {
    for (const char* locale : {"C", "POSIX", "C.UTF-8", "en_US.UTF-8"}) {
        const ScopedLocale english(locale);
        EXPECT_EQ(ChosenLanguage(), "en") << locale;
        EXPECT_EQ(Tr("This file type is not supported!"), "This file type is not supported!") << locale;
        EXPECT_EQ(TrIn("overwrite question", "Warning!"), "Warning!") << locale;
        EXPECT_EQ(Tr("Error!"), "Error!") << locale;
    }
}

TEST(Translate, LanguageListNamingRussianFirstChoosesRussianUnderAnyLocaleButC) {
    {
        const ScopedLocale english("en_US.UTF-8");
        const ScopedEnv language("LANGUAGE", "ru:en");
        EXPECT_EQ(ChosenLanguage(), "ru");
        EXPECT_EQ(Tr("File checksum error!"), "Ошибка в контрольной сумме файла!");
    }
    {
        const ScopedLocale english("en_US.UTF-8");
        const ScopedEnv language("LANGUAGE", "de:en");
        EXPECT_EQ(Tr("File checksum error!"), "File checksum error!") << "no catalogue for German";
    }
    const ScopedLocale plain("C");
    const ScopedEnv language("LANGUAGE", "ru");
    EXPECT_EQ(Tr("File checksum error!"), "File checksum error!") << "the C locale ignores the language list";
}

// Only a C locale without a LANGUAGE list lets start-up skip loading the locale and the catalogue; the
// variables are looked at in gettext's order (LC_ALL over LC_MESSAGES over LANG).
TEST(LocaleMayTranslate, IsFalseOnlyUnderTheCLocaleWithoutALanguageList) {
    struct Case {
        const char *all, *messages, *lang, *language;
        bool mayTranslate;
    };
    const Case cases[] = {
        {"", "", "", "", false},
        {"C", "", "", "", false},
        {"", "", "C.UTF-8", "", false},
        {"POSIX", "ru_RU.UTF-8", "ru_RU.UTF-8", "", false},
        {"", "C.utf8", "ru_RU.UTF-8", "", false},
        {"", "", "ru_RU.UTF-8", "", true},
        {"", "ru_RU.UTF-8", "C", "", true},
        {"en_US.UTF-8", "", "", "", true},
        {"", "", "C.UTF-8", "ru", true},
        {"", "", "Catalan", "", true},
    };
    for (const Case& c : cases) {
        test::ScopedEnv all("LC_ALL", c.all), messages("LC_MESSAGES", c.messages), lang("LANG", c.lang),
            language("LANGUAGE", c.language);
        EXPECT_EQ(LocaleMayTranslate(), c.mayTranslate)
            << "LC_ALL=" << c.all << " LC_MESSAGES=" << c.messages << " LANG=" << c.lang << " LANGUAGE=" << c.language;
    }
}

TEST(CatalogueFolder, IsTheShareLocaleFolderBesideTheProgramsFolder) {
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::equivalent(CatalogueFolder(), TARVEX_LOCALE_DIR, ec)) << CatalogueFolder();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(CatalogueFolder()) / "ru/LC_MESSAGES/tarvex.mo"));
}

}  // namespace
}  // namespace tarvex
