// What a conversion drops is said on a line under its result, and --lossless refuses it: a real disk with
// deleted-data marks and a weak sector, a TRD cut short, an SCL whose byte sum is wrong (--salvage); what
// the TR-DOS writers rewrite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/format_table.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Deleted-data marks and data CRC errors the disk's sectors carry, from `info --json`.
std::pair<size_t, size_t> MarksOf(const std::string& image) {
    const std::string json = test::RunCli({"info", "--json", image}).out;
    auto count = [&](const std::string& key) {
        size_t n = 0;
        for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1)) ++n;
        return n;
    };
    return {count("\"deletedData\":true"), count("\"dataCrcOk\":false")};
}

TEST(LossLine, AfterburnerKeepsItsMarksWhereTheFormatHoldsThemAndSaysWhatGoesElsewhere) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TempDir dir;
    const std::string source = (test::CorpusDir() / "dsk/cpccore-afterburner.dsk").string();
    ASSERT_EQ(MarksOf(source).first, 56u);
    struct Case {
        const char* format;
        const char* loss;  // "" when the format keeps the whole disk
    };
    for (const Case& c : {Case{"td0", "dropped: 2 other reads of weak sectors (track 0)"},
                          Case{"fdi", "dropped: 56 deleted-data marks (tracks 6, 8, 10, 12, ..., 28), 2 other reads "
                                      "of weak sectors (track 0)"},
                          Case{"dsk", ""}}) {
        const std::string output = (dir.path() / c.format / "cpccore-afterburner.").string() + c.format;
        const auto r = test::RunCli({"convert", "-q", "--to", c.format, "-o", dir / c.format, source});
        const std::string result = source + " -> " + output + ": Converted!\n";
        EXPECT_EQ(r.out, *c.loss ? result + "  " + c.loss + "\n" : result) << c.format;
        EXPECT_EQ(r.exitCode, 0);
        const auto lossless = test::RunCli({"convert", "-q", "--lossless", "--to", c.format, "-o", dir / "l", source});
        if (*c.loss) {
            EXPECT_EQ(lossless.out, source + " -> " + dir / "l/cpccore-afterburner." + c.format +
                                        ": Error save file! (" + c.loss + ")\n");
            EXPECT_EQ(lossless.exitCode, 1);
            EXPECT_FALSE(std::filesystem::exists(dir / ("l/cpccore-afterburner." + std::string(c.format))));
        } else {
            EXPECT_EQ(lossless.exitCode, 0) << lossless.out;
        }
        // Back to DSK, which holds all of it: the marks are where the target kept them.
        const auto back = test::RunCli({"convert", "-q", "--to", "dsk", "-o", dir / "back", output});
        ASSERT_EQ(back.exitCode, 0) << back.out;
        const auto marks = MarksOf(dir / "back/cpccore-afterburner.dsk");
        EXPECT_EQ(marks.first, std::string(c.format) == "fdi" ? 0u : 56u) << c.format;
        EXPECT_EQ(marks.second, MarksOf(source).second) << c.format;
        std::filesystem::remove_all(dir / "back");
    }
}

TEST(LossLine, CutTrdAndSalvagedSclConvertWithTheirLossAndLosslessRefusesThem) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TempDir dir;
    Bytes cut = test::MakeTrdBytes(3);
    cut.resize(cut.size() - 256 * 3 - 100);  // three whole sectors and part of another gone
    WriteFile(dir / "cut.trd", cut);
    Bytes badSum = test::MakeSclBytes({{"file"}});
    badSum.back() ^= 1;
    WriteFile(dir / "bad.scl", badSum);
    struct Case {
        const char* source;
        std::vector<std::string> options;
        std::string line;  // the whole output
    };
    const std::string cutOut = dir / "o/cut.udi", sclOut = dir / "o/bad.udi";
    const std::string sumLoss = "dropped: the file's checksum did not match (read anyway)";
    for (const Case& c : {
             Case{"cut.trd", {}, dir / "cut.trd" + " -> " + cutOut + ": Converted!\n  dropped: 4 sectors missing "
                                                                       "from the file (track 2)\n"},
             Case{"bad.scl", {"--salvage"}, dir / "bad.scl" + " -> " + sclOut + ": Converted!\n  " + sumLoss + "\n"},
             Case{"bad.scl", {}, dir / "bad.scl" + ": Error open file! (File checksum error!)\n"},
             Case{"bad.scl", {"--salvage", "--lossless"},
                  dir / "bad.scl" + " -> " + sclOut + ": Error save file! (" + sumLoss + ")\n"},
         }) {
        std::vector<std::string> args = {"convert", "-q", "--to", "udi", "-o", dir / "o", dir / c.source};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = test::RunCli(args);
        EXPECT_EQ(r.out, c.line);
        std::filesystem::remove_all(dir / "o");
    }
    const auto info = test::RunCli({"info", "--salvage", dir / "bad.scl"});
    EXPECT_THAT(info.out, HasSubstr("  not read from the file: the file's checksum did not match (read anyway)\n"));
    EXPECT_THAT(test::RunCli({"info", dir / "cut.trd"}).out,
                HasSubstr("  not read from the file: 4 sectors missing from the file (track 2)\n"));
}

// What a sector dump and an archive rewrite of a TR-DOS disk is told: IDs of head 1 (TR-DOS writes head 0
// on both sides) and a blank label (read back as "NEW DISK").
TEST(LossLine, TrdosWritersTellTheIdsAndLabelTheyRewrite) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    for (unsigned k : {1u, 3u})
        for (TSectorSlot& slot : disk.Track(k)->Sectors) slot.Head = 1;
    Bytes out;
    ASSERT_TRUE(BuildImageBytes(disk, kTRD, false, out).ok());
    EXPECT_EQ(disk.WriteLosses.Text(), "dropped: 32 sector IDs written otherwise (tracks 1, 3)");
    ASSERT_TRUE(BuildImageBytes(disk, kUDI, false, out).ok());
    EXPECT_TRUE(disk.WriteLosses.Empty()) << disk.WriteLosses.Text();

    ASSERT_TRUE(disk.ParseSCL(test::MakeSclBytes({{"boot", 'B', 10, 256, 1}})));
    ASSERT_TRUE(BuildImageBytes(disk, kSCL, false, out).ok());
    EXPECT_TRUE(disk.WriteLosses.Empty()) << "its label is the one an archive reads back";
    std::fill_n(disk.FindSector(0, 9)->Data.data() + 0xF5, 8, uint8_t{' '});
    ASSERT_TRUE(BuildImageBytes(disk, kSCL, false, out).ok());
    EXPECT_EQ(disk.WriteLosses.Text(), "dropped: the disk label");
}

}  // namespace
}  // namespace tarvex
