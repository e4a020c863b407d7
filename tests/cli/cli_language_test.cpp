// tarvex-cli in the user's language: the reasons, the info lines and the run log in English under every
// locale but a Russian one, with not one byte of Cyrillic; the original Russian texts under a Russian locale.
// The result words before the reasons are the same in both.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "io/text_1251.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::RunCli;
using test::TempDir;
using ::testing::HasSubstr;

bool AllAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A conversion of a text file and of an archive whose checksum is wrong, with a log, and the info of a TD0
// image whose comment block carries a date.
struct FailingRun {
    test::CommandResult convert, info;
    Bytes log;
};

FailingRun RunTheFailingFiles(const TempDir& dir) {
    test::WriteFile(dir / "notes.txt", Bytes{'h', 'i'});
    FailingRun run;
    run.convert = RunCli({"convert", "--to", "trd", "-q", "--log", dir / "run.log", dir / "notes.txt",
                          (test::CorpusDir() / "scl" / "zxevo-dggs.scl").string()});
    run.info = RunCli({"info", (test::CorpusDir() / "td0" / "ecat2-216adv.td0").string()});
    run.log = test::ReadFile(dir / "run.log");
    return run;
}

TEST(CliLanguage, EnglishLocalesGiveEnglishTextsWithoutCyrillic) {
    for (const char* locale : {"C", "C.UTF-8", "en_US.UTF-8"}) {
        const test::ScopedLocale english(locale);
        TempDir dir;
        const FailingRun run = RunTheFailingFiles(dir);
        EXPECT_EQ(run.convert.exitCode, 1) << locale;
        EXPECT_THAT(run.convert.out, HasSubstr("notes.txt: Error open file! (This file type is not supported!)\n"));
        EXPECT_THAT(run.convert.out, HasSubstr("zxevo-dggs.scl: Error open file! (File checksum error!)\n"));
        EXPECT_THAT(run.info.out, HasSubstr("  note: Created: 1.0.2001 0:21:20\n")) << locale;
        const std::string log = AsText(run.log);
        EXPECT_THAT(log, HasSubstr("| Conversion started.\r\n"));
        EXPECT_THAT(log, HasSubstr("| Error loading image \"" + (dir / "notes.txt") +
                                   "\" (This file type is not supported!)\r\n"));
        EXPECT_THAT(log, HasSubstr("| Conversion finished.\r\n"));
        for (const std::string& text : {run.convert.out, run.convert.err, run.info.out, run.info.err, log})
            EXPECT_TRUE(AllAscii(text)) << locale << ": " << text;
    }
}

TEST(CliLanguage, RussianLocaleGivesTheOriginalTextsAndA1251Log) {
    const test::ScopedLocale russian(test::kRussianLocale);
    TempDir dir;
    const FailingRun run = RunTheFailingFiles(dir);
    EXPECT_THAT(run.convert.out, HasSubstr("notes.txt: Error open file! (Данный тип файлов не поддерживается!)\n"));
    EXPECT_THAT(run.convert.out, HasSubstr("zxevo-dggs.scl: Error open file! (Ошибка в контрольной сумме файла!)\n"));
    EXPECT_THAT(run.info.out, HasSubstr(": Создан: 1.0.2001 0:21:20\n"));
    EXPECT_THAT(Cp1251ToUtf8(run.log), HasSubstr("| Ошибка загрузки образа \"" + (dir / "notes.txt") +
                                                  "\" (Данный тип файлов не поддерживается!)\r\n"));
    EXPECT_THAT(AsText(run.log), ::testing::Not(HasSubstr("Ошибка"))) << "Windows-1251, not UTF-8";
}

TEST(CliLanguage, UsageMistakesAndHelpFollowTheLocale) {
    {
        const test::ScopedLocale english("C");
        const auto r = RunCli({"convert", "--to", "xyz", "a.trd"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "tarvex-cli: unknown format 'xyz' (use udi, trd, td0, fdi, pro, scl, kdi, hfe or dsk)\n"
                         "Try 'tarvex-cli --help' for more information.\n");
        const auto help = RunCli({"--help"});
        EXPECT_TRUE(AllAscii(help.out)) << help.out;
        EXPECT_THAT(help.out, HasSubstr("Commands:\n"));
    }
    const auto r = RunCli({"convert", "--to", "xyz", "a.trd"});
    EXPECT_EQ(r.err, "tarvex-cli: неизвестный формат 'xyz' (допустимы udi, trd, td0, fdi, pro, scl, kdi, hfe или dsk)\n"
                     "Подробнее: 'tarvex-cli --help'.\n");
    EXPECT_THAT(RunCli({"--help"}).out, HasSubstr("Команды:\n"));
}

}  // namespace
}  // namespace tarvex
