// Terminals and broken pipes of the standard streams.
#include "io/console.h"

#include <signal.h>
#include <unistd.h>

namespace tarvex {

bool IsTerminal(StandardStream stream) {
    return ::isatty(stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace tarvex
