// The tarvex program started from a shell without any display: what it can answer without a window (the
// version, the help, a mistaken option, the list of the FILEs given) it answers; a window it says it
// cannot open. It never ends on a signal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_locale.h"
#include "test_support.h"

namespace tarvex::test {
namespace {

// The program with no display, no Wayland and no platform chosen: Qt's default would need an X server.
// Its settings go into a folder of the test's own.
CommandResult RunWithoutDisplay(const std::string& locale, const std::string& arguments) {
    const TempDir home;
    return RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=" + locale + " LANGUAGE= " +
                      "XDG_CONFIG_HOME=" + ShellQuote(home / "config") + " XDG_DATA_HOME=" + ShellQuote(home / "data") +
                      " " + ShellQuote(TARVEX_GUI_PATH) + " " + arguments);
}

TEST(WindowProgramTest, AnswersWithoutADisplayWhatNeedsNoWindow) {
    struct Case {
        const char* arguments;
        int exitCode;
        const char* out;  // a part of standard output, or of standard error when out is empty
        const char* err;
    };
    const std::string version = std::string("Tarvex ") + TARVEX_VERSION_TEXT + "\n";
    const Case cases[] = {
        {"-V", 0, version.c_str(), ""},
        {"-v", 0, version.c_str(), ""},
        {"--version", 0, version.c_str(), ""},
        {"--help", 0, "--print-list", ""},
        {"-h", 0, "[FILE...]", ""},
        {"-platform xcb --help", 0, "--version", ""},
        {"-x", 1, "", "Unknown option 'x'."},
        {"--bogus a.trd", 1, "", "Unknown option 'bogus'."},
        {"", 1, "", "no display to open the window on"},
        {"a.trd", 1, "", "tarvex-cli converts without one"},
    };
    for (const Case& c : cases) {
        const CommandResult run = RunWithoutDisplay(kEnglishLocale, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.arguments << " printed:\n" << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.arguments << " said:\n" << run.err;
    }
    EXPECT_EQ(RunWithoutDisplay(kEnglishLocale, "-V").out, version) << "the version line and nothing else";
}

TEST(WindowProgramTest, SpeaksTheUsersLanguageWithoutADisplay) {
    EXPECT_NE(RunWithoutDisplay(kRussianLocale, "--help").out.find("Образы для добавления в список."),
              std::string::npos);
    EXPECT_NE(RunWithoutDisplay(kRussianLocale, "-x").err.find("Неизвестный параметр"), std::string::npos);
    EXPECT_NE(RunWithoutDisplay(kRussianLocale, "").err.find("нет дисплея"), std::string::npos);
}

TEST(WindowProgramTest, ListsTheGivenFilesWithoutADisplay) {
    TempDir dir;
    WriteFile(dir / "game.trd", MakeTrdBytes(2));
    const CommandResult run = RunWithoutDisplay(kEnglishLocale, "--print-list " + ShellQuote(dir / "game.trd"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1\t" + (dir / "game.trd") + "\n");
}

}  // namespace
}  // namespace tarvex::test
