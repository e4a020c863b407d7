// tarvex-cli convert: a batch of files converted by N workers, each with its own disk model, the
// results printed and logged in the order the files were given.
#pragma once

#include <iosfwd>

#include "app/run_log.h"
#include "cli/cli_options.h"

namespace tarvex::cli {

// Returns the exit status: 0 when every file was converted, 1 otherwise. Every worker stamps its own log
// steps, so the clock is called from several threads at once.
int RunConvert(const Options& options, std::ostream& out, std::ostream& err, bool progressBar,
               const Clock& clock = SystemLocalTime);

}  // namespace tarvex::cli
