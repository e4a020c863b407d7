// JSON strings and the writer's commas.
#include "web/json_text.h"

#include <gtest/gtest.h>

namespace tarvex::web {
namespace {

TEST(JsonText, StringsAreQuotedAndEscaped) {
    EXPECT_EQ(JsonString(""), R"("")");
    EXPECT_EQ(JsonString("say \"hi\"\\"), R"("say \"hi\"\\")");
    EXPECT_EQ(JsonString("a\nb\tc\r"), R"("a\nb\tc\r")");
    EXPECT_EQ(JsonString(std::string("\x01\x1f", 2) + std::string(1, '\0')), R"("\u0001\u001f\u0000")");
    EXPECT_EQ(JsonString("Каталог"), "\"Каталог\"");
}

TEST(JsonText, WriterSeparatesMembersAtEveryDepth) {
    JsonWriter json;
    json.BeginObject().Key("a").Number(-1).Key("b").BeginArray();
    json.Boolean(true).Null().BeginObject().EndObject().BeginArray().EndArray().String("x");
    json.EndArray().Key("c").BeginObject().Key("d").Boolean(false).EndObject().EndObject();
    EXPECT_EQ(json.Text(), R"({"a":-1,"b":[true,null,{},[],"x"],"c":{"d":false}})");
}

}  // namespace
}  // namespace tarvex::web
