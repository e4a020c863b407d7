// Command-line parsing for tarvex-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex::cli {

enum class Command { Convert, Info, Help, Version };

struct Options {
    Command command = Command::Help;
    int format = -1;
    std::optional<int> from;  // the reader every file is read with; none: by content, then by extension
    std::optional<std::string> outputDir;  // "-": the one output goes to standard output
    bool overwrite = false;
    unsigned jobs = 0;  // 0: the number of cores
    std::optional<std::string> logFile;
    bool compress = false;
    bool lossless = false;  // refuse a conversion that drops anything
    bool salvage = false;   // read images whose checksum does not match, as a loss
    bool quiet = false;
    bool json = false;  // info: one JSON object per line
    std::vector<std::string> files;  // "-": standard input

    bool ToStandardOutput() const;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // a one-line reason when options is empty
};

ParseResult ParseArguments(const std::vector<std::string>& args);
const char* UsageText();

}  // namespace tarvex::cli
