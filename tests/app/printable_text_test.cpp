// Names and texts escaped as `ls --quoting-style=c` shows them, and only when they need it.
#include "app/printable_text.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

TEST(PrintableText, NamesAreQuotedAndEscapedOnlyWhenTheyHoldWhatATerminalWouldActOn) {
    const struct {
        std::string name, shown;
    } cases[] = {
        {"disk.trd", "disk.trd"},
        {"q\"\\ x.trd", "q\"\\ x.trd"},
        {"Диск.trd", "Диск.trd"},
        {"a\nb.trd", R"("a\nb.trd")"},
        {"\x1b[2J\t\r\a\b\v\f", R"("\033[2J\t\r\a\b\v\f")"},
        {"q\"\x7f\\", R"("q\"\177\\")"},
        {"\xff\xd0.trd", R"("\377\320.trd")"},        // not UTF-8
        {"c1\xc2\x9b", R"("c1\302\233")"},             // U+009B, a terminal's control sequence introducer
        {"\xed\xa0\x80", R"("\355\240\200")"},         // a surrogate
        {std::string("z\0", 2), R"("z\000")"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownName(c.name), c.shown) << c.shown;
    EXPECT_EQ(ShownText("Cannot create file \"a\nb\": x\\y"), R"(Cannot create file "a\nb": x\\y)");
    EXPECT_EQ(ShownText("plain \"x\\y\""), "plain \"x\\y\"");
}

}  // namespace
}  // namespace tarvex
