// tarvex-cli for pipes and scripts: "-" as standard input, "-o -" as standard output, info as JSON.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::ShellQuote;
using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;

// A tarvex-cli command line run in a group of its own, so that its own redirections hold.
test::CommandResult RunPiped(const std::string& arguments) {
    return test::RunCommand("{ " + ShellQuote(TARVEX_CLI_PATH) + " " + arguments + "; }");
}

TEST(CliStandardStreams, AnImageGoesFromStandardInputToStandardOutput) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TempDir dir;
    WriteFile(dir / "a.trd", MakeTrdBytes(3));
    ASSERT_EQ(test::RunCli({"convert", "--to", "udi", "-q", dir / "a.trd"}).exitCode, 0);
    const auto piped = RunPiped("convert --from trd --to udi -o - - < " + ShellQuote(dir / "a.trd") + " > " +
                                ShellQuote(dir / "piped.udi"));
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "- -> -: Converted!\n") << "the result line goes to standard error";
    EXPECT_EQ(ReadFile(dir / "piped.udi"), ReadFile(dir / "a.udi"));

    const auto named = RunPiped("convert --to udi -o - " + ShellQuote(dir / "a.trd") + " > " +
                                ShellQuote(dir / "named.udi"));
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_EQ(ReadFile(dir / "named.udi"), ReadFile(dir / "a.udi"));

    const auto info = RunPiped("info --from trd - < " + ShellQuote(dir / "a.trd"));
    EXPECT_THAT(info.out, ::testing::StartsWith("-: TRD image\n"));
    EXPECT_EQ(info.exitCode, 0);
}

TEST(CliStandardStreams, StandardStreamsThatCannotServeAreBadUsage) {
    const test::ScopedLocale english(test::kEnglishLocale);
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{"convert", "--to", "udi", "-"}, "written to standard output only (-o -)"},
        {{"convert", "--to", "udi", "-o", "-", "a.trd", "b.trd"}, "takes exactly one file"},
        {{"info", "-", "-"}, "can be given only once"},
    };
    for (const auto& c : cases) {
        const auto r = test::RunCli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_THAT(r.err, HasSubstr(c.reason));
    }
}

TEST(CliStandardStreams, InfoGivesOneJsonObjectPerImage) {
    if (test::RunCommand("command -v python3").exitCode != 0)
        GTEST_SKIP() << "needs python3 (Debian package python3) to read the JSON";
    TempDir dir;
    WriteFile(dir / "a.trd", test::MakeSclBytes({{"one"}}));
    ASSERT_EQ(test::RunCli({"convert", "--to", "trd", "-q", "-o", dir / "out", dir / "a.trd"}).exitCode, 0);
    const std::string script =
        "import json, sys\n"
        "for line in sys.stdin:\n"
        "    d = json.loads(line)\n"
        "    if 'result' in d: print(d['file'][-11:], d['result']); continue\n"
        "    t = d['tracks'][1]; s = t['sectors'][15]\n"
        "    print(d['format'], d['geometry']['tracks'], d['geometry']['sectors'], t['cylinder'], t['head'],\n"
        "          s['number'], s['sizeCode'], s['dataLength'], s['dataCrcOk'], s['idWithoutData'],\n"
        "          d['catalogue']['files'], d['catalogue']['entries'][0]['name'].strip())\n";
    const auto r = test::RunCommand("{ " + ShellQuote(TARVEX_CLI_PATH) + " info --json " +
                                    ShellQuote((dir.path() / "out" / "a.trd").string()) + " " +
                                    ShellQuote(dir / "missing.trd") + " | python3 -c " + ShellQuote(script) + "; }");
    EXPECT_EQ(r.out, "TRD 160 2560 0 1 16 1 256 True False 1 one\nmissing.trd Error open file!\n") << r.err;
}

}  // namespace
}  // namespace tarvex
