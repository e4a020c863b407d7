// tarvex-cli: the converter from a shell, for scripts and whole collections.
#include <unistd.h>

#include <iostream>

#include "app/info.h"
#include "cli/batch.h"
#include "cli/cli_options.h"
#include "i18n/locale_setup.h"
#include "i18n/translate.h"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    using namespace tarvex::cli;
    tarvex::UseUserLocale();
    std::vector<std::string> args(argv + 1, argv + argc);
    ParseResult parsed = ParseArguments(args);
    if (!parsed.options) {
        std::cerr << "tarvex-cli: " << parsed.error << "\n"
                  << tarvex::Tr("Try 'tarvex-cli --help' for more information.") << "\n";
        return 2;
    }
    const Options& o = *parsed.options;
    switch (o.command) {
        case Command::Help:
            std::cout << UsageText();
            return 0;
        case Command::Version:
            std::cout << "tarvex-cli " TARVEX_VERSION "\n";
            return 0;
        case Command::Info:
            return tarvex::RunInfo(o.files, std::cout, o.from);
        case Command::Convert:
            return RunConvert(o, std::cout, std::cerr, !o.quiet && ::isatty(STDERR_FILENO));
    }
    return 2;
}
