// Running the independent tools of the interop tests: whether one is installed, and floptool's conversion
// from one floppy format to another.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace tarvex::test {

inline bool ToolPresent(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").exitCode == 0;
}

// MAME's floptool: `floptool flopconvert FROM TO IN OUT`, given two minutes at most.
inline CommandResult Floptool(const std::string& from, const std::string& to, const std::filesystem::path& in,
                              const std::filesystem::path& out) {
    return RunCommand("timeout 120 floptool flopconvert " + from + " " + to + " " + ShellQuote(in.string()) + " " +
                      ShellQuote(out.string()));
}

}  // namespace tarvex::test

#define REQUIRE_TOOL(name) \
    if (!::tarvex::test::ToolPresent(name)) GTEST_SKIP() << name << " is not installed (make test installs it)"
