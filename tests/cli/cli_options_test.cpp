// The command line's GNU forms and its bad-usage reasons: every spelling of an option gives the same parsed
// options, every mistake one line that names it and exit status 2, and "--" lets file names start with "-".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/format_table.h"
#include "cli/cli_options.h"
#include "test_support.h"
#include "test_locale.h"

namespace tarvex {
namespace {

using Args = std::vector<std::string>;
constexpr unsigned kTrdTracks = 160;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

cli::Options ParseOk(const Args& args) {
    const cli::ParseResult r = cli::ParseArguments(args);
    EXPECT_TRUE(r.options) << r.error;
    return r.options.value_or(cli::Options{});
}

std::string ParseError(const Args& args) {
    const cli::ParseResult r = cli::ParseArguments(args);
    EXPECT_FALSE(r.options) << "accepted";
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    return r.error;
}

TEST(CliOptionsGnuForms, EverySpellingOfJobsParsesTheSame) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const Args& jobs : {Args{"-j4"}, Args{"-j", "4"}, Args{"--jobs=4"}, Args{"--jobs", "4"}, Args{"-qj4"}}) {
        Args args{"convert", "--to", "trd"};
        args.insert(args.end(), jobs.begin(), jobs.end());
        args.push_back("a.udi");
        const cli::Options o = ParseOk(args);
        EXPECT_EQ(o.command, cli::Command::Convert);
        EXPECT_EQ(o.jobs, 4u) << jobs.front();
        EXPECT_THAT(o.files, ElementsAre("a.udi")) << jobs.front();
    }
}

TEST(CliOptionsGnuForms, FormatAndFolderSpellingsParseTheSame) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const Args& to : {Args{"--to=trd"}, Args{"--to", "TRD"}, Args{"-t", "Trd"}, Args{"-ttrd"}}) {
        Args args{"convert"};
        args.insert(args.end(), to.begin(), to.end());
        args.push_back("a.udi");
        EXPECT_EQ(ParseOk(args).format, kTRD) << to.front();
    }
    for (const Args& out : {Args{"-qo", "DIR"}, Args{"-q", "-o", "DIR"}, Args{"-q", "--output-dir=DIR"},
                            Args{"--quiet", "-oDIR"}}) {
        Args args{"convert", "--to", "scl"};
        args.insert(args.end(), out.begin(), out.end());
        args.push_back("a.trd");
        const cli::Options o = ParseOk(args);
        EXPECT_TRUE(o.quiet) << out.front();
        EXPECT_EQ(o.outputDir, "DIR") << out.front();
        EXPECT_THAT(o.files, ElementsAre("a.trd")) << out.front();
    }
}

TEST(CliOptionsGnuForms, OptionsMayFollowFilesAndQuietWorksForInfo) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    const cli::Options o = ParseOk({"convert", "a.trd", "--to", "udi", "b.trd", "--overwrite", "--log", "run.log"});
    EXPECT_THAT(o.files, ElementsAre("a.trd", "b.trd"));
    EXPECT_TRUE(o.overwrite);
    EXPECT_EQ(o.logFile, "run.log");
    EXPECT_FALSE(o.compress);
    EXPECT_EQ(o.jobs, 0u);

    const cli::Options info = ParseOk({"info", "-q", "x.udi", "y.scl"});
    EXPECT_EQ(info.command, cli::Command::Info);
    EXPECT_TRUE(info.quiet);
    EXPECT_THAT(info.files, ElementsAre("x.udi", "y.scl"));
}

TEST(CliOptionsGnuForms, AnOptionGivenTwiceTakesItsLastValue) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    const cli::Options o = ParseOk({"convert", "-t", "udi", "-o", "one", "-j2", "a.trd", "--to=kdi", "-o", "two",
                                    "--jobs", "5", "--log", "x.log", "--log=y.log"});
    EXPECT_EQ(o.format, kKDI);
    EXPECT_EQ(o.outputDir, "two");
    EXPECT_EQ(o.jobs, 5u);
    EXPECT_EQ(o.logFile, "y.log");
}

TEST(CliOptionsGnuForms, DoubleDashMakesEveryLaterArgumentAFile) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    EXPECT_THAT(ParseOk({"convert", "--to", "trd", "--", "-x.trd"}).files, ElementsAre("-x.trd"));
    EXPECT_THAT(ParseOk({"convert", "--to", "trd", "a.trd", "--", "--", "--to", "-q"}).files,
                ElementsAre("a.trd", "--", "--to", "-q"));
    EXPECT_FALSE(ParseOk({"convert", "--to", "trd", "--", "-q"}).quiet);
    // A command's name after the command is a file name too.
    EXPECT_THAT(ParseOk({"info", "--", "convert"}).files, ElementsAre("convert"));
    EXPECT_THAT(ParseOk({"convert", "--to", "trd", "info"}).files, ElementsAre("info"));
    EXPECT_THAT(ParseOk({"info", "a.trd", "convert", "-q"}).files, ElementsAre("a.trd", "convert"));
    EXPECT_THAT(ParseError({"-q", "convert", "--to", "trd", "a"}), HasSubstr("'-q'"));
    // Before the command, "--" leaves nothing to run.
    EXPECT_THAT(ParseError({"--", "convert"}), HasSubstr("no command"));
}

TEST(CliOptionsGnuForms, HelpAndVersionAnywhereTheyAreTaken) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"help"}, Args{"convert", "-h"},
                             Args{"convert", "--to", "trd", "a.trd", "--help"}, Args{"info", "x", "--help"}})
        EXPECT_EQ(ParseOk(args).command, cli::Command::Help) << args.back();
    EXPECT_EQ(ParseOk({"--version"}).command, cli::Command::Version);
    EXPECT_EQ(ParseOk({"-V"}).command, cli::Command::Version);
}

TEST(CliOptionsBadUsage, EachMistakeIsNamedOnOneLine) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "--frob", "a"}), HasSubstr("unknown option '--frob'"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "-qx", "a"}), HasSubstr("unknown option '-x'"));
    EXPECT_THAT(ParseError({"info", "--to", "trd", "a"}), HasSubstr("unknown option '--to'"));
    EXPECT_THAT(ParseError({"--quiet", "info", "a"}), HasSubstr("'--quiet'"));
    EXPECT_THAT(ParseError({"export", "a"}), HasSubstr("unknown command 'export'"));
    EXPECT_THAT(ParseError({"convert", "--to", "xyz", "a"}), HasSubstr("unknown format 'xyz'"));
    EXPECT_THAT(ParseError({"convert", "--to", "xyz", "a"}), HasSubstr("kdi"));
    EXPECT_THAT(ParseError({"convert", "-o", "out", "a"}), HasSubstr("needs --to"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "-q"}), HasSubstr("no files"));
    EXPECT_THAT(ParseError({"info"}), HasSubstr("no files"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "--"}), HasSubstr("no files"));
}

TEST(CliOptionsBadUsage, JobsMustBeAWholeNumberFromOneTo256) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const char* bad : {"0", "-1", "+3", "2x", "", "257", "99999999999"})
        EXPECT_THAT(ParseError({"convert", "--to", "trd", std::string("--jobs=") + bad, "a"}), HasSubstr("jobs"))
            << bad;
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "-j0", "a"}), HasSubstr("from 1 to 256"));
    EXPECT_EQ(ParseOk({"convert", "--to", "trd", "-j256", "a"}).jobs, 256u);
    EXPECT_EQ(ParseOk({"convert", "--to", "trd", "-j1", "a"}).jobs, 1u);
}

TEST(CliOptionsBadUsage, MissingOrEmptyValuesAreNamed) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    EXPECT_THAT(ParseError({"convert", "a", "--to"}), HasSubstr("--to needs a format"));
    EXPECT_THAT(ParseError({"convert", "--to=", "a"}), HasSubstr("--to needs a format"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "a", "-o"}), HasSubstr("needs a folder"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "--output-dir=", "a"}), HasSubstr("needs a folder"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "-o", "", "a"}), HasSubstr("needs a folder"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "a", "-j"}), HasSubstr("jobs"));
    // An empty inline value never takes the next argument in its place.
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "--log=", "a"}), HasSubstr("--log needs a file name"));
    EXPECT_THAT(ParseError({"convert", "--to", "trd", "a", "--log"}), HasSubstr("--log needs a file name"));
}

TEST(CliOptionsHelp, ListsEveryOptionTheFormatsAndBothCommands) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    const std::string help = cli::UsageText();
    for (const char* text : {"tarvex-cli convert --to FORMAT [options] FILE...", "tarvex-cli info", "--help",
                             "--version", "-t, --to FORMAT", "-o, --output-dir DIR", "--overwrite",
                             "-j, --jobs N", "--log FILE", "--compress", "-q, --quiet", "Exit status"})
        EXPECT_THAT(help, HasSubstr(text));
    for (const auto& format : Formats()) {
        if (!format.Present()) continue;
        std::string name = format.name;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_THAT(help, HasSubstr(name + " "));
    }
    EXPECT_THAT(help, Not(HasSubstr("REQUIRED")));
}

TEST(CliOptionsBadUsage, TheProgramExitsWithTwoAndOneReasonLine) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    for (const Args& args : {Args{"convert", "--to", "trd", "--frob", "a"}, Args{"convert", "--to", "trd", "-j"},
                             Args{"convert", "--to", "trd", "-j0", "a"}, Args{"info"}, Args{"nonsense"}}) {
        const test::CommandResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_TRUE(r.out.empty()) << r.out;
        std::istringstream lines(r.err);
        std::string reason, hint, extra;
        std::getline(lines, reason);
        std::getline(lines, hint);
        EXPECT_THAT(reason, HasSubstr("tarvex-cli: ")) << r.err;
        EXPECT_THAT(hint, HasSubstr("--help")) << r.err;
        EXPECT_FALSE(std::getline(lines, extra)) << r.err;
    }
}

TEST(CliOptionsGnuForms, TheProgramTakesAFileNamedLikeAnOptionAfterDoubleDash) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    test::TempDir dir;
    const std::string source = (dir.path() / "-x.trd").string();
    test::WriteFile(source, test::MakeTrdBytes(kTrdTracks));
    const std::string out = (dir.path() / "out").string();
    const test::CommandResult r = test::RunCli({"convert", "-qo", out, "--to=udi", "-j2", "--", source});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr("Converted!"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out" / "-x.udi"));
}

}  // namespace
}  // namespace tarvex
