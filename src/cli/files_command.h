// tarvex-cli files list|extract|add|delete and tarvex-cli new: TR-DOS files in and out of disk images, and
// new empty disks in any format.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvex::cli {

// Whether the command line is one of these commands (its first word is "files" or "new").
bool IsFilesCommand(const std::vector<std::string>& args);

// Runs it; returns the exit status: 0 done, 1 a file or image failed, 2 bad usage (with a reason on err).
int RunFilesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage lines of these commands, for the program's help.
std::string FilesUsageLines();

}  // namespace tarvex::cli
