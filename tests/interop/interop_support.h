// What the interop tests share: whether an independent tool is installed, and MAME's floptool run as a
// black box converting one image into another.
#pragma once

#include <filesystem>
#include <string>

#include "test_support.h"

namespace tarvex::test {

inline bool ToolPresent(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").exitCode == 0;
}

inline CommandResult Floptool(const std::string& from, const std::string& to, const fs::path& in, const fs::path& out) {
    return RunCommand("timeout 120 floptool flopconvert " + from + " " + to + " " + ShellQuote(in.string()) + " " +
                      ShellQuote(out.string()));
}

}  // namespace tarvex::test

#define REQUIRE_TOOL(name) \
    if (!::tarvex::test::ToolPresent(name)) GTEST_SKIP() << name << " is not installed (make test installs it)"
