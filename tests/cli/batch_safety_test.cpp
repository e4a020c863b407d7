// tarvex-cli under misuse: a log that would land on a source or an output, names and folders the system
// refuses, long names replaced, outputs two sources would write, names holding control characters.
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::ShellQuote;
using test::TempDir;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Runs tarvex-cli in a folder, as the user `prefix` makes it (nothing: as this one).
test::CommandResult RunCliIn(const std::filesystem::path& dir, const std::vector<std::string>& args,
                             const std::string& prefix = "") {
    std::string line = "cd " + ShellQuote(dir.string()) + " && " + prefix + ShellQuote(TARVEX_CLI_PATH);
    for (const auto& a : args) line += " " + ShellQuote(a);
    return test::RunCommand(line);
}

std::map<std::string, Bytes> Snapshot(const std::filesystem::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : Bytes{};
    return files;
}

TEST(CliLog, ALogThatWouldLandOnASourceOrAnOutputIsRefusedBeforeAnythingIsWritten) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TempDir dir;
    for (const char* name : {"a.trd", "b.trd", "c.trd"}) WriteFile(dir / name, MakeTrdBytes(2));
    std::filesystem::create_symlink("a.trd", dir.path() / "link.txt");
    std::filesystem::create_hard_link(dir.path() / "b.trd", dir.path() / "hard.txt");
    WriteFile(dir / "disk.img", test::MakeSclBytes({{"file"}}));
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        // `--log *.trd`: the shell's pattern put an image where the log's name was forgotten.
        {{"--log", "a.trd", "b.trd", "c.trd"}, "the log file \"a.trd\" is named like a disk image"},
        {{"--log", "a.trd", "a.trd"}, "the log file \"a.trd\" is a source of this run"},
        {{"--log", "./x/../a.udi", "a.trd"}, "the log file \"./x/../a.udi\" is an output of this run"},
        {{"--log", "link.txt", "a.trd"}, "the log file \"link.txt\" is a source of this run"},
        {{"--log", "hard.txt", "b.trd"}, "the log file \"hard.txt\" is a source of this run"},
        {{"--log", "disk.img", "c.trd"}, "the log file \"disk.img\" holds a disk image"},
    };
    const auto before = Snapshot(dir.path());
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "--to", "udi", "-q", "--overwrite"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = RunCliIn(dir.path(), args);
        EXPECT_EQ(r.exitCode, 2) << c.reason;
        EXPECT_THAT(Lines(r.err), ElementsAre("tarvex-cli: " + c.reason, HasSubstr("--help")));
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Snapshot(dir.path()), before) << c.reason;
    }
}

TEST(CliLog, AnExistingLogIsAppendedToNeverCut) {
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(1));
    WriteFile(dir / "run.log", Bytes{'o', 'l', 'd', '\r', '\n'});
    ASSERT_EQ(test::RunCli({"convert", "--to", "fdi", "-q", "--log", dir / "run.log", dir / "a.trd"}).exitCode, 0);
    const Bytes log = ReadFile(dir / "run.log");
    ASSERT_GT(log.size(), 5u);
    EXPECT_EQ(Bytes(log.begin(), log.begin() + 5), (Bytes{'o', 'l', 'd', '\r', '\n'}));
}

// Run as an ordinary user, so that a folder closed to others is closed to the program too.
std::string AsOrdinaryUser() {
    return ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}

TEST(CliMisuse, NamesAndFoldersTheSystemRefusesFailThatFileAndTheRunGoesOn) {
    const test::ScopedLocale english(test::kEnglishLocale);
    if (::geteuid() == 0 && test::RunCommand("command -v setpriv").exitCode != 0)
        GTEST_SKIP() << "needs setpriv (Debian package util-linux) to run as an ordinary user";
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string longName(253, 'n');  // its output takes four bytes more: 257
    WriteFile(dir / longName, MakeTrdBytes(1));
    WriteFile(dir / "a.trd", MakeTrdBytes(2));
    WriteFile(dir / "b.trd", MakeTrdBytes(1));
    std::filesystem::create_symlink("loop", dir.path() / "loop");
    std::filesystem::create_symlink("b.udi", dir.path() / "b.udi");
    std::filesystem::create_directories(dir.path() / "closed" / "inside");
    std::filesystem::permissions(dir.path() / "closed", std::filesystem::perms::owner_read);
    const std::string longFolder(256, 'f');
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } cases[] = {
        {{"--from", "trd", longName, "a.trd"},
         {longName + " -> " + longName + ".udi: Error save file! (Cannot create file \"" + longName +
              ".udi\": File name too long)",
          "a.trd -> a.udi: Converted!"}},
        {{"-o", "out/" + longFolder, "a.trd"},
         {"a.trd -> out/" + longFolder + "/a.udi: Error save file! (Cannot create file \"out/" + longFolder +
          "/a.udi\": File name too long)"}},
        {{"-o", "loop", "a.trd"},
         {"a.trd -> loop/a.udi: Error save file! (Cannot create file \"loop/a.udi\": Too many levels of symbolic "
          "links)"}},
        {{"-o", "closed/inside", "a.trd"},
         {"a.trd -> closed/inside/a.udi: Error save file! (Cannot create file \"closed/inside/a.udi\": Permission "
          "denied)"}},
        {{"b.trd"}, {"b.trd -> b.udi: File exists!"}},  // b.udi: a link that leads to itself
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"convert", "--to", "udi", "-q"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = RunCliIn(dir.path(), args, AsOrdinaryUser());
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(Lines(r.out), c.lines);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "b.udi"));
}

TEST(CliMisuse, OutputNamesOfAnyLegalLengthAreReplacedWithOverwrite) {
    TempDir dir;
    for (const size_t length : {236u, 248u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".trd";
        std::filesystem::create_directories(dir.path() / "out");
        WriteFile(dir / name, MakeTrdBytes(1, [length](size_t i) { return static_cast<uint8_t>(i + length); }));
        WriteFile(dir.path() / "out" / name, Bytes{1, 2, 3});
        const auto r = test::RunCli({"convert", "--to", "trd", "--overwrite", "-q", "-o", dir / "out", dir / name});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(ReadFile(dir.path() / "out" / name), ReadFile(dir / name)) << length;
        EXPECT_EQ(Snapshot(dir.path() / "out").size(), 1u) << "no temporary left";
        std::filesystem::remove_all(dir.path() / "out");
    }
}

TEST(CliLines, AnOutputBelongsToTheFirstSourceThatCouldBeRead) {
    TempDir dir;
    for (const char* folder : {"x", "y", "z", "w"}) std::filesystem::create_directory(dir.path() / folder);
    Bytes cut = MakeTrdBytes(1);
    cut.resize(100);  // less than a track: refused
    WriteFile(dir.path() / "x" / "a.trd", cut);
    WriteFile(dir.path() / "y" / "a.trd", MakeTrdBytes(3));
    WriteFile(dir.path() / "z" / "a.trd", MakeTrdBytes(4));
    WriteFile(dir.path() / "w" / "a.scl", test::MakeSclBytes({{"file"}}));
    const auto r = RunCliIn(dir.path(), {"convert", "--to", "trd", "-q", "-j", "4", "-o", "out", "x/a.trd", "y/a.trd",
                                         "z/a.trd", "w/a.scl"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(Lines(r.out),
                ElementsAre("x/a.trd: Error open file! (Образ TRD меньше одной дорожки (байт: 100, в дорожке 4096)!)", "y/a.trd -> out/a.trd: Converted!",
                            "z/a.trd -> out/a.trd: Error save file! (Файл с именем \"a.trd\" уже есть в списке...)",
                            "w/a.scl -> out/a.trd: Error save file! (Этот результат принадлежит более раннему файлу "
                            "этого запуска (y/a.trd))"));
    EXPECT_EQ(ReadFile(dir.path() / "out" / "a.trd"), MakeTrdBytes(3));
}

TEST(CliLines, NamesWithControlCharactersArePrintedEscapedAsLsDoes) {
    TempDir dir;
    const std::string odd = "g\nl\x1b[31m\t.trd";
    const std::string plain = "q\"\\ \xD0\xB6.trd";  // quotes, backslashes and letters stay as they are
    WriteFile(dir / odd, MakeTrdBytes(1));
    WriteFile(dir / plain, MakeTrdBytes(1));
    const auto r = RunCliIn(dir.path(), {"convert", "--to", "fdi", "-q", "--log", "run.log", odd, plain});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(Lines(r.out), ElementsAre(R"("g\nl\033[31m\t.trd" -> "g\nl\033[31m\t.fdi": Converted!)",
                                          plain + " -> q\"\\ \xD0\xB6.fdi: Converted!"));
    const Bytes log = ReadFile(dir / "run.log");
    const std::string text(log.begin(), log.end());
    EXPECT_THAT(text, HasSubstr(R"("g\nl\033[31m\t.trd")"));
    size_t lineEnds = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_FALSE(log[i] < 0x20 && log[i] != '\r' && log[i] != '\n') << "byte " << i;
        if (log[i] == '\n') ++lineEnds;
    }
    EXPECT_EQ(lineEnds, 2u + 4u * 2u) << "one line per step";
}

}  // namespace
}  // namespace tarvex
