// Terminals and broken pipes of the standard streams; the arguments, which are already the program's bytes.
#include "io/console.h"

#include <signal.h>
#include <unistd.h>

namespace tarvex {

bool IsTerminal(StandardStream stream) {
    return ::isatty(stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void PrepareStandardStreams() { ::signal(SIGPIPE, SIG_IGN); }

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace tarvex
