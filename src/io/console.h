// The program's standard streams and arguments as the system hands them over: whether a stream is a
// terminal, streams set up for the program's UTF-8 text and its writes to a pipe whose reader has gone
// (failing with their error instead of ending the program by a signal), and the arguments in UTF-8.
#pragma once

#include <string>
#include <vector>

namespace tarvex {

enum class StandardStream { kOutput, kError };
bool IsTerminal(StandardStream stream);

void PrepareStandardStreams();

// The arguments after the program's name, as main() received them, in UTF-8 on every system.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace tarvex
