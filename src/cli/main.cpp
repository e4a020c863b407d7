// tarvex-cli: the converter from a shell, for scripts and whole collections.
#include <iostream>

#include "app/info.h"
#include "cli/batch.h"
#include "cli/cli_options.h"
#include "cli/files_command.h"
#include "i18n/locale_setup.h"
#include "i18n/translate.h"
#include "io/console.h"
#include "io/status.h"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.0.0"
#endif

namespace {

int BadUsage(const std::string& reason) {
    std::cerr << "tarvex-cli: " << reason << "\n"
              << tarvex::Tr("Try 'tarvex-cli --help' for more information.") << "\n";
    return 2;
}

int Run(int argc, char** argv) {
    using namespace tarvex::cli;
    tarvex::UseUserLocale();
    // A reader of standard output that goes away makes writes fail, which the run reports, instead of
    // ending it by a signal.
    tarvex::PrepareStandardStreams();
    std::vector<std::string> args = tarvex::ProgramArguments(argc, argv);
    if (IsFilesCommand(args)) return RunFilesCommand(args, std::cout, std::cerr);
    ParseResult parsed = ParseArguments(args);
    if (!parsed.options) return BadUsage(parsed.error);
    const Options& o = *parsed.options;
    switch (o.command) {
        case Command::Help:
            std::cout << UsageText();
            return 0;
        case Command::Version:
            std::cout << "tarvex-cli " TARVEX_VERSION "\n";
            return 0;
        case Command::Info:
            return tarvex::RunInfo(o.files, std::cout, o.from,
                                   o.json ? tarvex::InfoStyle::kJson : tarvex::InfoStyle::kText, o.salvage);
        case Command::Convert:
            if (o.ToStandardOutput() && tarvex::IsTerminal(tarvex::StandardStream::kOutput))
                return BadUsage(tarvex::Tr("standard output is a terminal: no image is written to it (-o -)"));
            return RunConvert(o, std::cout, std::cerr,
                              !o.quiet && tarvex::IsTerminal(tarvex::StandardStream::kError));
    }
    return 2;
}

}  // namespace

// Every failure of a file is that file's result line; anything that still escapes ends the run with
// status 1 and its reason, never with a signal.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        std::cerr << "tarvex-cli: " << tarvex::ReasonOfCurrentException() << "\n";
        return 1;
    }
}
