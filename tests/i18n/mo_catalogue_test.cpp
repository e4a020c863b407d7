// The catalogue the browser build is handed: read from the very .mo the build compiles, it gives the same
// Russian as gettext does, texts with a context included; bytes that are not a catalogue, or that point
// outside themselves, are refused without reading past them.
#include "i18n/mo_catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace tarvex {
namespace {

std::vector<uint8_t> BuiltCatalogue() {
    std::ifstream in(TARVEX_LOCALE_DIR "/ru/LC_MESSAGES/tarvex.mo", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MoCatalogue, GivesTheRussianTextsOfTheBuiltCatalogue) {
    const std::vector<uint8_t> bytes = BuiltCatalogue();
    ASSERT_FALSE(bytes.empty());
    MoCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(bytes));
    const std::string* unsupported = catalogue.Find("This file type is not supported!");
    ASSERT_NE(unsupported, nullptr);
    EXPECT_EQ(*unsupported, "Данный тип файлов не поддерживается!");
    EXPECT_EQ(catalogue.Find("a text nobody marked"), nullptr);
    EXPECT_EQ(catalogue.Find(""), nullptr);  // the catalogue's own header is no translation
    EXPECT_EQ(catalogue.Language(), "ru");  // named by its header
    EXPECT_FALSE(catalogue.Load({}));
    EXPECT_EQ(catalogue.Language(), "en") << "a refused catalogue keeps no language of an earlier one";
}

TEST(MoCatalogue, RefusesBytesThatAreNotACatalogueOrPointOutsideThemselves) {
    MoCatalogue catalogue;
    EXPECT_FALSE(catalogue.Load({}));
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'c', 'a', 't', 'a', 'l', 'o', 'g', 'u', 'e'};
    EXPECT_FALSE(catalogue.Load(text));

    std::vector<uint8_t> bytes = BuiltCatalogue();
    ASSERT_GT(bytes.size(), 28u);
    ASSERT_TRUE(catalogue.Load(bytes));
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
    EXPECT_FALSE(catalogue.Load(cut));
    EXPECT_TRUE(catalogue.Empty());  // a refused catalogue leaves none behind
    bytes[8] = 0xff;  // a count of texts far beyond the bytes
    bytes[9] = 0xff;
    bytes[10] = 0xff;
    EXPECT_FALSE(catalogue.Load(bytes));
}

}  // namespace
}  // namespace tarvex
