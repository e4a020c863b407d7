// The program's standard streams as the system sees them: whether one is a terminal, and writes to a
// pipe whose reader has gone failing with their error instead of ending the program by a signal.
#pragma once

namespace tarvex {

enum class StandardStream { kOutput, kError };
bool IsTerminal(StandardStream stream);

void IgnoreBrokenPipes();

}  // namespace tarvex
