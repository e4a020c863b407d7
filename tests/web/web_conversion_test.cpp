// The browser's conversions against the command line's: the same bytes for every target, the same result
// words and reasons for refusals, whether the image comes from a file or is handed over in memory.
#include "web/web_conversion.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/conversion_driver.h"
#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "test_support.h"

namespace tarvex::web {
namespace {

using namespace tarvex::test;

// The line tarvex-cli prints for a source that cannot be read: "SRC: Error open file! (REASON)".
std::string CliReadRefusal(const std::string& source, const std::string& target) {
    TempDir out;
    const CommandResult r = RunCli({"convert", "-q", "--to", target, "-o", out.path().string(), source});
    return r.out;
}

class WebConversionTest : public ::testing::Test {
protected:
    std::unique_ptr<TZX_Disk> disk = std::make_unique<TZX_Disk>();
};

// Every target format, for a TR-DOS disk in each of the formats it can come in: the bytes of the
// in-memory conversion are the command line's file, except TD0, whose comment carries the time of
// writing and is checked in the browser tests under a fixed clock.
TEST_F(WebConversionTest, SameBytesAsTheCommandLineForEveryTarget) {
    TempDir dir;
    const std::string trd = dir / "disk.trd";
    WriteFile(trd, MakeTrdBytes(160));
    ASSERT_EQ(RunCli({"convert", "-q", "--to", "udi", trd}).exitCode, 0);
    ASSERT_EQ(RunCli({"convert", "-q", "--to", "fdi", trd}).exitCode, 0);
    for (const std::string source : {"disk.trd", "disk.udi", "disk.fdi"}) {
        const Bytes bytes = ReadFile(dir / source);
        for (int format = 0; format < kFormatCount; ++format) {
            if (format == kTD0 || !Formats()[format].Present()) continue;
            SCOPED_TRACE(source + " -> " + Formats()[format].name);
            TempDir out;
            const CommandResult cli =
                RunCli({"convert", "-q", "--to", Formats()[format].name, "-o", out.path().string(), dir / source});
            const WebConversion web = ConvertImageBytes(*disk, source, bytes, format, false);
            EXPECT_EQ(web.outputName, std::string("disk") + Formats()[format].extension);
            if (cli.exitCode == 0) {
                EXPECT_EQ(web.result, kResultConverted);
                EXPECT_EQ(web.reason, "");
                EXPECT_EQ(web.output, ReadFile(out / web.outputName));
            } else {
                EXPECT_EQ(web.result, kResultSaveError);
                EXPECT_TRUE(web.output.empty());
                EXPECT_NE(cli.out.find(std::string(kResultSaveError) + " (" + web.reason + ")"), std::string::npos)
                    << cli.out;
            }
        }
    }
}

// A compressed TD0 read back holds the disk it was made from, and the name asks for the TD0 reader.
TEST_F(WebConversionTest, CompressedTd0HoldsTheSourceDisk) {
    const Bytes trd = MakeTrdBytes(160);
    const WebConversion td0 = ConvertImageBytes(*disk, "Game.TRD", trd, kTD0, true);
    ASSERT_EQ(td0.result, kResultConverted) << td0.reason;
    EXPECT_EQ(td0.outputName, "Game.td0");
    ASSERT_GE(td0.output.size(), 2u);
    EXPECT_EQ(td0.output[0], 't');
    EXPECT_EQ(td0.output[1], 'd');
    const WebConversion back = ConvertImageBytes(*disk, td0.outputName, td0.output, kTRD, false);
    ASSERT_EQ(back.result, kResultConverted) << back.reason;
    EXPECT_EQ(back.output, trd);
}

TEST_F(WebConversionTest, RefusalsCarryTheCommandLinesReasons) {
    TempDir dir;
    struct Case {
        std::string name;
        Bytes bytes;
    };
    Bytes oversize = MakeTrdBytes(257);
    Bytes notScl = MakeTrdBytes(2);
    const std::vector<Case> cases = {
        {"readme.txt", Bytes(100, 'x')},  // no reader for the name
        {"big.trd", oversize},            // more tracks than the model holds
        {"short.scl", Bytes{'S', 'I', 'N'}},   // cut short: the stream read error
        {"fake.scl", notScl},             // not an SCL archive
        {"empty.udi", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(dir / c.name, c.bytes);
        const WebConversion web = ConvertImageBytes(*disk, c.name, c.bytes, kTRD, false);
        EXPECT_EQ(web.result, kResultOpenError);
        EXPECT_FALSE(web.reason.empty());
        EXPECT_TRUE(web.output.empty());
        const std::string expected = dir / c.name + ": " + kResultOpenError + " (" + web.reason + ")\n";
        EXPECT_EQ(CliReadRefusal(dir / c.name, "trd"), expected);
    }
}

// A disk the target cannot hold is refused by the writer, with its words, and gives no bytes.
TEST_F(WebConversionTest, WriterRefusalGivesNoOutput) {
    const WebConversion web = ConvertImageBytes(*disk, "cpm.pro", MakeSectorDumpBytes(160, 5, 1024), kSCL, false);
    EXPECT_EQ(web.result, kResultSaveError);
    EXPECT_FALSE(web.reason.empty());
    EXPECT_TRUE(web.output.empty());
}

}  // namespace
}  // namespace tarvex::web
