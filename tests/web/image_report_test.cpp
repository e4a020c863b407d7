// The viewer's description of an image: the tiles of the sector map, the TR-DOS catalogue, the text of
// `tarvex-cli info`, and a refusal in the command line's words.
#include "web/image_report.h"

#include <gtest/gtest.h>

#include <memory>

#include "disk/zx_disk.h"
#include "test_support.h"
#include "web/json_text.h"

namespace tarvex::web {
namespace {

using namespace tarvex::test;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ImageReportTest : public ::testing::Test {
protected:
    std::unique_ptr<TZX_Disk> disk = std::make_unique<TZX_Disk>();
};

TEST_F(ImageReportTest, TilesFollowTheSectorMapRules) {
    ASSERT_TRUE(disk->ParseTRD(MakeTrdBytes(2)));
    disk->Track(0)->Sector(1)->DataCrcOk = 0;
    disk->Track(1)->Sector(2)->DataLength = 0;
    Bytes udi;
    ASSERT_TRUE(disk->BuildUDI(udi));
    Bytes td0;
    ASSERT_TRUE(disk->BuildTD0(td0, false));
    Bytes trd;
    ASSERT_TRUE(disk->BuildTRD(trd));

    const std::string fromUdi = DescribeImageJson(*disk, "bad.udi", udi);
    EXPECT_TRUE(Has(fromUdi, R"("readable":true,"format":"UDI")")) << fromUdi;
    EXPECT_TRUE(Has(fromUdi, R"({"track":0,"label":"T000","header":"raw","sectors":[{"label":"s01","tile":"good"},)"
                             R"({"label":"s02","tile":"crc"},)"))
        << fromUdi;
    EXPECT_FALSE(Has(fromUdi, R"("track":2,)"));

    const std::string fromTd0 = DescribeImageJson(*disk, "bad.td0", td0);
    EXPECT_TRUE(Has(fromTd0, R"({"track":1,"label":"T001","header":"sectors","sectors":[{"label":"s01","tile":"good"},)"
                             R"({"label":"s02","tile":"good"},{"label":"s03","tile":"nodata"},)"))
        << fromTd0;

    const std::string fromTrd = DescribeImageJson(*disk, "plain.trd", trd);
    EXPECT_TRUE(
        Has(fromTrd, R"({"track":1,"label":"T001","header":"sectors","sectors":[{"label":"s01","tile":"good"})"))
        << fromTrd;
    EXPECT_FALSE(Has(fromTrd, R"("tile":"crc")"));
}

TEST_F(ImageReportTest, SingleSidedDiskHasRowsForItsOwnTracksAndWholeSectorNumbers) {
    const Bytes dsk = ReadFile(std::string(TARVEX_TEST_DATA) + "/corpus/dsk/zesarux-paw-plus3.dsk");
    const std::string json = DescribeImageJson(*disk, "paw.dsk", dsk);
    EXPECT_TRUE(Has(json, R"({"track":0,"label":"T000","header":"sectors","sectors":[{"label":"s193","tile":"good"},)"))
        << json.substr(0, 300);
    EXPECT_TRUE(Has(json, R"({"track":78,"label":"T078",)"));
    for (const int odd : {1, 39, 79}) EXPECT_FALSE(Has(json, "{\"track\":" + std::to_string(odd) + ",")) << odd;
    EXPECT_TRUE(Has(json, R"({"label":"s201","tile":"good"})"));
}

TEST_F(ImageReportTest, CatalogueAndInfoTextOfAnScl) {
    TempDir dir;
    WriteFile(dir / "two.scl", MakeSclBytes({{"hello", 'B', 10, 300, 2}, {"world", 'C', 0x8000, 256, 1}}));
    const std::string json = DescribeImageJson(*disk, "two.scl", ReadFile(dir / "two.scl"));
    EXPECT_TRUE(Has(json, R"("files":2,"deleted":0,)")) << json;
    EXPECT_TRUE(Has(json, R"({"name":"hello   ","type":"B","start":10,"length":300,"sectors":2,"track":1,"sector":0,)"
                          R"("deleted":false})"))
        << json;
    EXPECT_TRUE(
        Has(json, R"("name":"world   ","type":"C","start":32768,"length":256,"sectors":1,"track":1,"sector":2,)"))
        << json;

    const CommandResult info = RunCli({"info", dir / "two.scl"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const std::string text = info.out.substr(dir.path().string().size() + 1);  // the name without its folder
    EXPECT_TRUE(Has(json, R"("info":)" + JsonString(text))) << json << "\n" << text;
}

TEST_F(ImageReportTest, UnreadableImageGivesTheReadersReason) {
    const std::string json = DescribeImageJson(*disk, "short.td0", Bytes{'T', 'D', 0});
    EXPECT_EQ(json, R"({"readable":false,"result":"Error open file!","reason":"Stream read error"})");
    EXPECT_TRUE(
        Has(DescribeImageJson(*disk, "notes.txt", Bytes{}), R"("reason":"Данный тип файлов не поддерживается!")"));
}

}  // namespace
}  // namespace tarvex::web
