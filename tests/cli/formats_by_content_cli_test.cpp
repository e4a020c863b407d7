// tarvex-cli with images whose names do not say what they are: renamed copies of every format that has a
// signature convert and are named by info, a headerless TRD under another name needs --from, and DSK
// images the model cannot hold are refused without leaving a file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/format_table.h"
#include "cli/cli_options.h"
#include "disk/zx_disk.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using test::TempDir;
using ::testing::HasSubstr;

// A small image of every signed format, all holding the same TR-DOS disk (the SCL its catalogue's files).
std::vector<std::pair<std::string, Bytes>> SignedImages(TZX_Disk& disk) {
    EXPECT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    std::vector<std::pair<std::string, Bytes>> images = {{"udi", {}}, {"fdi", {}}, {"td0", {}}, {"dsk", {}}};
    EXPECT_TRUE(disk.BuildUDI(images[0].second));
    EXPECT_TRUE(disk.BuildFDI(images[1].second));
    EXPECT_TRUE(disk.BuildTD0(images[2].second, false));
    EXPECT_TRUE(disk.BuildDSK(images[3].second));
    images.push_back({"hfe", {}});
    EXPECT_TRUE(disk.BuildHFE(images.back().second));
    images.push_back({"scl", test::MakeSclBytes({{.name = "GAME", .sectors = 5}, {.name = "DATA", .sectors = 2}})});
    return images;
}

TEST(FormatsByContentCli, RenamedCopiesConvertAndInfoNamesWhatTheyHold) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TempDir dir;
    TZX_Disk disk;
    for (const auto& [format, bytes] : SignedImages(disk)) {
        SCOPED_TRACE(format);
        const std::string upper = [&] {
            std::string u = format;
            for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return u;
        }();
        for (const std::string& name : {"copy-" + format + ".img", "copy-" + format}) {
            test::WriteFile(dir / name, bytes);
            const test::CommandResult convert =
                RunCli({"convert", "--to", "trd", "-q", "--overwrite", "-o", dir / "out", dir / name});
            EXPECT_EQ(convert.exitCode, 0) << convert.out << convert.err;
            EXPECT_THAT(convert.out, HasSubstr("Converted!"));
            const test::CommandResult info = RunCli({"info", dir / name});
            EXPECT_EQ(info.exitCode, 0) << info.out;
            EXPECT_THAT(info.out, HasSubstr(dir / name + ": " + upper + " image\n"));
        }
        test::WriteFile(dir / "misnamed.trd", bytes);
        const test::CommandResult info = RunCli({"info", dir / "misnamed.trd"});
        EXPECT_THAT(info.out, HasSubstr(": " + upper + " image (named .trd)\n"));
        const test::CommandResult convert = RunCli({"convert", "--to", "udi", "-q", "--overwrite", "-o", dir / "out",
                                                    dir / "misnamed.trd"});
        EXPECT_EQ(convert.exitCode, 0) << convert.out;
    }
    // Every output holds the same disk; the SCL's is its own.
    for (const char* format : {"udi", "fdi", "td0", "dsk", "hfe"})
        EXPECT_EQ(test::ReadFile(dir.path() / "out" / (std::string("copy-") + format + ".trd")), test::MakeTrdBytes(4))
            << format;
}

TEST(FormatsByContentCli, TrdUnderAnotherNameConvertsWithFrom) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TempDir dir;
    test::WriteFile(dir / "game.bin", test::MakeTrdBytes(6));
    const test::CommandResult refused = RunCli({"convert", "--to", "dsk", "-q", dir / "game.bin"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.out, HasSubstr("Error open file! (This file type is not supported!)"));
    EXPECT_FALSE(fs::exists(dir / "game.dsk"));

    const test::CommandResult forced = RunCli({"convert", "--to", "dsk", "--from", "TRD", "-q", dir / "game.bin"});
    EXPECT_EQ(forced.exitCode, 0) << forced.out << forced.err;
    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadDSK(dir / "game.dsk")) << disk.StatusMessage;
    EXPECT_EQ(disk.CountTracks(), 6);

    const test::CommandResult info = RunCli({"info", "--from=trd", dir / "game.bin"});
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_THAT(info.out, HasSubstr("game.bin: TRD image\n"));
    EXPECT_THAT(RunCli({"info", "--from", "zip", dir / "game.bin"}).err, HasSubstr("unknown format 'zip'"));
}

TEST(FormatsByContentCli, FromIsParsedForBothCommands) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    auto r = cli::ParseArguments({"convert", "--to", "udi", "--from", "Dsk", "a"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->from, kDSK);
    r = cli::ParseArguments({"info", "--from=kdi", "--from", "pro", "a"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->from, kPRO) << "the last one wins";
    r = cli::ParseArguments({"info", "a"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->from, std::nullopt);
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "udi", "--from", "a"}).error, HasSubstr("unknown format 'a'"));
    EXPECT_THAT(cli::ParseArguments({"info", "x", "--from"}).error, HasSubstr("--from needs a format"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "udi", "--from=", "x"}).error,
                HasSubstr("--from needs a format"));
}

TEST(FormatsByContentCli, DskTheModelCannotHoldIsRefusedNamingTheTrackAndLeavesNoFile) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TempDir dir;
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(2)));
    Bytes dsk;
    ASSERT_TRUE(disk.BuildDSK(dsk));
    // Track 1's information block claims 30 sectors, one more than it has room to list.
    const size_t track1 = 256 + dsk[0x34] * 256u;
    dsk[track1 + 0x15] = 30;
    test::WriteFile(dir / "crowded.dsk", dsk);
    test::WriteFile(dir / "crowded.udi", Bytes{'o', 'l', 'd'});
    const test::CommandResult r = RunCli({"convert", "--to", "udi", "--overwrite", "-q", dir / "crowded.dsk"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("Error open file! (Track 1 (cylinder 0, side 1) of the DSK image lists 30 sectors, "
                                 "more than the 29 its information block holds!"));
    EXPECT_EQ(test::ReadFile(dir / "crowded.udi"), (Bytes{'o', 'l', 'd'}));
    const test::CommandResult toTrd = RunCli({"convert", "--to", "trd", "-q", dir / "crowded.dsk"});
    EXPECT_EQ(toTrd.exitCode, 1);
    EXPECT_FALSE(fs::exists(dir / "crowded.trd"));
}

}  // namespace
}  // namespace tarvex
