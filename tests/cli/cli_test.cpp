#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <map>
#include <sstream>

#include "app/conversion_driver.h"
#include "app/format_table.h"
#include "cli/batch.h"
#include "cli/cli_options.h"
#include "io/text_1251.h"
#include "test_support.h"
#include "test_locale.h"
#include <cstring>

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::RunCli;
using test::TempDir;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(CliOptions, ParsesConvertAndInfo) {
    auto r = cli::ParseArguments({"convert", "--to", "TD0", "-o", "out", "--overwrite", "-j", "3", "--log=l.txt",
                                  "--compress", "-q", "a.trd", "--", "-b.trd"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->format, 2);
    EXPECT_EQ(r.options->outputDir, "out");
    EXPECT_TRUE(r.options->overwrite);
    EXPECT_EQ(r.options->jobs, 3u);
    EXPECT_EQ(r.options->logFile, "l.txt");
    EXPECT_TRUE(r.options->compress);
    EXPECT_TRUE(r.options->quiet);
    EXPECT_THAT(r.options->files, ElementsAre("a.trd", "-b.trd"));

    r = cli::ParseArguments({"info", "x.udi"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->command, cli::Command::Info);
}

TEST(CliOptions, BadUsageGivesAReason) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    EXPECT_THAT(cli::ParseArguments({}).error, HasSubstr("no command"));
    EXPECT_THAT(cli::ParseArguments({"convert", "a.trd"}).error, HasSubstr("--to"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "dmk", "a.trd"}).error, HasSubstr("unknown format 'dmk'"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "trd"}).error, HasSubstr("no files"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "trd", "--jobs", "0", "a"}).error, HasSubstr("jobs"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "trd", "-j", "2x", "a"}).error, HasSubstr("jobs"));
    EXPECT_THAT(cli::ParseArguments({"convert", "--to", "trd", "--bogus", "a"}).error, HasSubstr("--bogus"));
    EXPECT_THAT(cli::ParseArguments({"info", "--compress", "a"}).error, HasSubstr("--compress"));
    EXPECT_THAT(cli::ParseArguments({"frobnicate"}).error, HasSubstr("frobnicate"));
}

TEST(Cli, ExitStatusTwoForBadUsageWithAHint) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"convert", "--to", "xyz", "a.trd"}, {"convert", "--to", "trd"}, {"convert", "--nope"}, {}}) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(Lines(r.err).size(), 2u) << r.err;
        EXPECT_THAT(r.err, HasSubstr("--help"));
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(RunCli({"--help"}).exitCode, 0);
    EXPECT_THAT(RunCli({"--help"}).out, HasSubstr("tarvex-cli convert --to FORMAT"));
    EXPECT_THAT(RunCli({"--version"}).out, StartsWith("tarvex-cli "));
}

TEST(Cli, ParallelResultsArePrintedInTheOrderGiven) {
    TempDir dir;
    std::vector<std::string> args = {"convert", "--to", "trd", "-o", (dir.path() / "out" / "nested").string(),
                                     "-j", "4", "-q"};
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "disk" + std::to_string(i) + (i % 5 == 3 ? ".txt" : ".trd");
        WriteFile(dir / name, MakeTrdBytes(1 + i % 3));
        args.push_back(dir / name);
        const std::string out = (dir.path() / "out" / "nested" / ("disk" + std::to_string(i) + ".trd")).string();
        expected.push_back(i % 5 == 3 ? (dir / name) + ": Error open file! (Данный тип файлов не поддерживается!)"
                                      : (dir / name) + " -> " + out + ": Converted!");
    }
    const auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.out), expected);
    EXPECT_EQ(ReadFile((dir.path() / "out" / "nested" / "disk5.trd")), MakeTrdBytes(3));
}

// A user allowed no more threads than the program itself (a process limit) still gets every file
// converted, by the one thread there is.
TEST(Cli, ABatchWhoseWorkersCannotStartIsConvertedByTheOneThreadThereIs) {
    if (::geteuid() != 0 || test::RunCommand("command -v setpriv && command -v prlimit").exitCode != 0)
        GTEST_SKIP()
            << "needs root, and setpriv and prlimit (Debian package util-linux), to run as a user held to one process";
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    std::string line = "setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1 " +
                       test::ShellQuote(TARVEX_CLI_PATH) + " convert --to trd -j 4 -o " + test::ShellQuote(dir / "out");
    std::vector<std::string> expected;
    for (int i = 0; i < 6; ++i) {
        const std::string name = dir / ("disk" + std::to_string(i) + ".trd");
        WriteFile(name, MakeTrdBytes(1 + i));
        line += " " + test::ShellQuote(name);
        expected.push_back(name + " -> " + (dir / "out") + "/disk" + std::to_string(i) + ".trd: Converted!");
    }
    const auto r = test::RunCommand(line);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out), expected);
    EXPECT_EQ(ReadFile(dir.path() / "out" / "disk5.trd"), MakeTrdBytes(6));
}

TEST(Cli, ExistingOutputsAreKeptUnlessOverwriteIsGiven) {
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(2));
    WriteFile(dir / "a.pro", Bytes{1, 2, 3});
    WriteFile(dir / "b.pro", Bytes(5120 * 2, 7));
    const auto kept = RunCli({"convert", "--to", "pro", dir / "b.pro"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.out, (dir / "b.pro") + " -> " + (dir / "b.pro") + ": File exists!\n");

    const auto replaced = RunCli({"convert", "--to", "pro", "--overwrite", dir / "b.pro"});
    EXPECT_EQ(replaced.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "b.pro"), Bytes(5120 * 2, 7)) << "a PRO written onto itself is the same file";

    const auto refused = RunCli({"convert", "--to", "pro", "--overwrite", dir / "a.trd"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, (dir / "a.trd") + " -> " + (dir / "a.pro") +
                               ": Error save file! (Not Profi CPM disk format! Bad sector size! (T-0 / S-1: 256 байт))\n");
    EXPECT_EQ(ReadFile(dir / "a.pro"), (Bytes{1, 2, 3})) << "a failing writer keeps the existing file";
}

TEST(Cli, SameNamesIntoOneFolderAreRefusedLikeTheWindowDoes) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "x");
    std::filesystem::create_directories(dir.path() / "y");
    WriteFile(dir.path() / "x" / "game.trd", MakeTrdBytes(1));
    WriteFile(dir.path() / "y" / "game.trd", MakeTrdBytes(2));
    const std::string second = (dir.path() / "y" / "game.trd").string();
    const auto r =
        RunCli({"convert", "--to", "trd", "-o", dir / "out", (dir.path() / "x" / "game.trd").string(), second});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.out).at(1), second + " -> " + (dir / "out") + "/game.trd: Error save file! (Файл с именем "
                                                                  "\"game.trd\" уже есть в списке...)");
    EXPECT_EQ(ReadFile(dir.path() / "out" / "game.trd"), MakeTrdBytes(1));
}

TEST(Cli, UnreadableSourcesFailThatFileAndWriteNothing) {
    TempDir dir;
    WriteFile(dir / "cut.trd", Bytes{'F', 'D', 'I', 0, 1, 0, 2});  // an FDI by its content, cut inside its header
    WriteFile(dir / "notes.txt", Bytes{1});
    const auto r = RunCli({"convert", "--to", "udi", "-o", dir / "out", dir / "cut.trd", dir / "gone.trd",
                           dir / "notes.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(
        Lines(r.out),
        ElementsAre((dir / "cut.trd") + ": Error open file! (Stream read error)",
                    AllOf(StartsWith((dir / "gone.trd") + ": Error open file! ("), HasSubstr(std::strerror(ENOENT))),
                    (dir / "notes.txt") + ": Error open file! (Данный тип файлов не поддерживается!)"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "out"));
}

TEST(Cli, SourcesNoImageCouldBeAreRefusedAtOnceWithTheCause) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    std::filesystem::create_symlink("/dev/zero", dir.path() / "z.trd");
    std::filesystem::create_symlink("/dev/urandom", dir.path() / "n.td0");
    WriteFile(dir / "b.fdi", Bytes{'F', 'D', 'I'});
    std::filesystem::resize_file(dir.path() / "b.fdi", uint64_t{3} << 30);  // sparse: nothing to read
    std::filesystem::create_directory(dir.path() / "f.scl");
    const auto r = RunCli({"convert", "--to", "udi", "-q", "-o", dir / "out", dir / "z.trd", dir / "n.td0",
                           dir / "b.fdi", dir / "f.scl"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(
        Lines(r.out),
        ElementsAre((dir / "z.trd") + ": Error open file! (File too large for a TRD image: more than 1048576 bytes)",
                    (dir / "n.td0") + ": Error open file! (File too large for a TD0 image: more than 16777216 bytes)",
                    (dir / "b.fdi") + ": Error open file! (File too large for an FDI image: 3221225472 bytes, "
                                      "at most 25231103)",
                    (dir / "f.scl") + ": Error open file! (Is a directory)"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "out"));
}

TEST(Cli, AnUnwritableTargetFolderGivesTheSystemsReasonAndNoFile) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(2));
    WriteFile(dir / "blocker", Bytes{1});  // a file where the output folder should be
    const std::string folder = (dir.path() / "blocker" / "out").string();
    const auto r = RunCli({"convert", "--to", "fdi", "-o", folder, dir / "a.trd"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, (dir / "a.trd") + " -> " + folder + "/a.fdi: Error save file! (Cannot create file \"" + folder +
                         "/a.fdi\": Not a directory)\n");
    EXPECT_THAT(r.err, HasSubstr("cannot create folder"));
    EXPECT_EQ(ReadFile(dir / "blocker"), Bytes{1});
}

TEST(Cli, RunLogIsWindows1251WithTheDriversTexts) {
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(1));
    const auto r = RunCli({"convert", "--to", "kdi", "--log", dir / "run.log", dir / "a.trd"});
    EXPECT_EQ(r.exitCode, 1);
    const Bytes raw = ReadFile(dir / "run.log");
    const std::string log = Cp1251ToUtf8(raw);
    EXPECT_THAT(log, HasSubstr("| Начало конвертирования образов.\r\n"));
    EXPECT_THAT(log, HasSubstr("| Ошибка создания образа \"" + (dir / "a.kdi") +
                                   "\" (Not Korvet format! Bad sector size! (T-0 / S-1: 256 байт))\r\n"));
    EXPECT_THAT(log, HasSubstr("| Конвертирование завершено.\r\n"));
    const std::string bytes(raw.begin(), raw.end());
    EXPECT_THAT(bytes, HasSubstr("\xCD\xE0\xF7\xE0\xEB\xEE")) << "\"Начало\" in Windows-1251";
    EXPECT_THAT(bytes, ::testing::Not(HasSubstr("Начало"))) << "not UTF-8";
}

TEST(Cli, AnUnwritableLogIsReportedOnceAndTheRunGoesOnWithoutIt) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    std::vector<std::string> args = {"convert", "--to", "fdi", "--log", dir / "nonexistent/dir/log.txt", "-j", "2"};
    for (const char* name : {"a.trd", "b.trd", "c.trd"}) {
        WriteFile(dir / name, MakeTrdBytes(2));
        args.push_back(dir / name);
    }
    const auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out).size(), 3u) << r.out;
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Error")));
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_THAT(r.err, HasSubstr("Cannot write log file \"" + (dir / "nonexistent/dir/log.txt") +
                                 "\": No such file or directory"));
    EXPECT_TRUE(std::filesystem::exists(dir / "c.fdi"));
}

// The seconds of a log line's time stamp "dd.mm.yy hh:mm:ss:zzz| ...".
int StampSeconds(const std::string& line) { return std::stoi(line.substr(15, 2)); }

// Convert options for `count` TRD sources of 1, 2, ... tracks written into dir, the outputs into dir/out.
cli::Options ConvertTrdSources(const TempDir& dir, int format, unsigned jobs, int count) {
    cli::Options o;
    o.command = cli::Command::Convert;
    o.format = format;
    o.outputDir = (dir.path() / "out").string();
    o.jobs = jobs;
    for (int i = 0; i < count; ++i) {
        o.files.push_back(dir / ("d" + std::to_string(i) + ".trd"));
        WriteFile(o.files.back(), MakeTrdBytes(1 + i));
    }
    return o;
}

TEST(Cli, EachLogLineCarriesTheTimeOfItsStepNotOfItsPrinting) {
    TempDir dir;
    cli::Options o = ConvertTrdSources(dir, kFDI, 3, 6);
    o.logFile = dir / "log.txt";
    // The clock tells how many outputs exist when it is read: a step's stamp then shows when it happened.
    const Clock outputsSoFar = [&] {
        std::error_code ec;
        int n = 0;
        for (std::filesystem::directory_iterator it(*o.outputDir, ec), end; !ec && it != end; it.increment(ec)) ++n;
        return LocalTime{2026, 1, 2, 3, 4, n, 0};
    };
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunConvert(o, out, err, false, outputsSoFar), 0) << err.str();

    const std::string log = Cp1251ToUtf8(ReadFile(dir / "log.txt"));
    std::map<std::string, int> opened, saved;
    for (const std::string& line : Lines(log)) {
        const std::string text = line.substr(line.find("| ") + 2);
        for (const std::string& file : o.files) {
            const std::string output = OutputFileName(file, o.format, o.outputDir);
            if (text.starts_with(Quoted("Открытие файла ", file))) opened[file] = StampSeconds(line);
            if (text.starts_with(Quoted("Образ сохранен в файл ", output))) saved[file] = StampSeconds(line);
        }
    }
    ASSERT_EQ(saved.size(), o.files.size()) << log;
    for (const std::string& file : o.files) EXPECT_LT(opened.at(file), saved.at(file)) << file;
    EXPECT_EQ(StampSeconds(Lines(log).back()), 6) << "the final line after every output";
}

TEST(Cli, WithoutALogTheClockIsNeverRead) {
    TempDir dir;
    cli::Options o = ConvertTrdSources(dir, kTRD, 2, 3);
    std::atomic<int> readings{0};
    const Clock counting = [&] {
        ++readings;
        return LocalTime{2026, 1, 2, 3, 4, 5, 0};
    };
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunConvert(o, out, err, false, counting), 0) << err.str();
    EXPECT_EQ(Lines(out.str()).size(), 3u);
    EXPECT_EQ(readings, 0);

    o.logFile = dir / "log.txt";
    o.overwrite = true;
    ASSERT_EQ(cli::RunConvert(o, out, err, false, counting), 0) << err.str();
    EXPECT_EQ(readings, 2 + 4 * 3) << "run start and end, and four steps of every file";
}

TEST(Cli, InfoShowsGeometryAndSectorMap) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(3));
    const auto r = RunCli({"info", dir / "a.trd", dir / "missing.trd"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("tracks: 3 (cylinders 2, sides 2), sectors: 48"));
    EXPECT_THAT(r.out, HasSubstr("T002 c01 h0 16 x  256: 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 16\n"));
    EXPECT_THAT(r.out, HasSubstr((dir / "missing.trd") + ": Error open file!"));
}

TEST(Cli, EveryCorpusTrdOfWholeTracksConvertsToAnIdenticalTrd) {
    TempDir dir;
    std::vector<std::string> args = {"convert", "--to", "trd", "-o", dir / "out", "-q"};
    for (const auto& f : test::CorpusFiles("trd")) args.push_back(f.string());
    const auto r = RunCli(args);
    for (const auto& f : test::CorpusFiles("trd")) {
        const Bytes in = ReadFile(f);
        const size_t tracks = (in.size() + 4095) / 4096;  // a track cut short is filled up with zeros
        const auto out = dir.path() / "out" / f.filename();
        ASSERT_TRUE(std::filesystem::exists(out)) << f;
        Bytes expected = in;
        expected.resize(tracks * 4096, 0);
        EXPECT_EQ(ReadFile(out), expected) << f;
    }
}

}  // namespace
}  // namespace tarvex
