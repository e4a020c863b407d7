// The tarvex program started from a shell without any display: what it can answer without a window (the
// version, the help, a mistaken option, the list of the FILEs given) it answers; a window it says it
// cannot open. It never ends on a signal.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_locale.h"
#include "test_support.h"

namespace tarvex::test {
namespace {

TEST(WindowProgramTest, AnswersWithoutADisplayWhatNeedsNoWindow) {
    const TempDir home;  // its settings
    const std::string image =
        std::filesystem::weakly_canonical(std::string(TARVEX_TEST_DATA) + "/corpus/trd/zxtune-tiden.trd");
    const std::string version = std::string("Tarvex ") + TARVEX_VERSION_TEXT + "\n";
    struct Case {
        const char* locale;
        std::string arguments;
        int exitCode;
        std::string out, err;  // the whole of standard output when it ends in a newline, else a part; a part
    };
    const Case cases[] = {
        {kEnglishLocale, "-V", 0, version, ""},
        {kEnglishLocale, "--version", 0, version, ""},
        {kEnglishLocale, "-platform xcb --help", 0, "--print-list", ""},
        {kRussianLocale, "-h", 0, "Образы для добавления в список.", ""},
        {kEnglishLocale, "--bogus a.trd", 1, "", "Unknown option 'bogus'."},
        {kRussianLocale, "-x", 1, "", "Неизвестный параметр"},
        {kEnglishLocale, "a.trd", 1, "", "no display to open the window on"},
        {kEnglishLocale, "--print-list " + ShellQuote(image), 0, "1\t" + image + "\n", ""},
    };
    for (const Case& c : cases) {
        const CommandResult run = RunCommand(
            "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANGUAGE= LC_ALL=" + std::string(c.locale) +
            " XDG_CONFIG_HOME=" + ShellQuote(home / "config") + " XDG_DATA_HOME=" + ShellQuote(home / "data") + " " +
            ShellQuote(TARVEX_GUI_PATH) + " " + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        if (c.out.ends_with('\n')) {
            EXPECT_EQ(run.out, c.out) << c.arguments;
        }
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.arguments << " printed:\n" << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.arguments << " said:\n" << run.err;
    }
}

}  // namespace
}  // namespace tarvex::test
