// Two runs of tarvex-cli without --overwrite writing the same names into one folder at once: each name is
// written by exactly one of them, holds that run's bytes, and the other run says "File exists!".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr int kFiles = 50;
constexpr int kRounds = 5;

std::string Name(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "d%02d.trd", i);
    return name;
}

std::vector<std::string> LinesOf(const std::string& file) {
    const Bytes bytes = ReadFile(file);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(ConcurrentRuns, EachNameIsConvertedByExactlyOneRunAndHoldsItsBytes) {
    for (int round = 0; round < kRounds; ++round) {
        TempDir dir;
        const std::string runs[] = {"first", "second"};
        // Both started by one shell, one right after the other; it prints their exit statuses.
        std::string script;
        for (int run = 0; run < 2; ++run) {
            std::filesystem::create_directory(dir.path() / runs[run]);
            script += test::ShellQuote(TARVEX_CLI_PATH) + " convert --to trd -q -o " + test::ShellQuote(dir / "out");
            for (int i = 0; i < kFiles; ++i) {
                const std::string source = (dir.path() / runs[run] / Name(i)).string();
                WriteFile(source, MakeTrdBytes(1, [=](size_t k) { return static_cast<uint8_t>(k + i * 2 + run); }));
                script += " " + test::ShellQuote(source);
            }
            script += " > " + test::ShellQuote(dir / (runs[run] + ".txt")) + " & p" + std::to_string(run) + "=$!; ";
        }
        std::filesystem::create_directory(dir.path() / "out");
        const auto both = test::RunCommand(script + "wait $p0; echo $?; wait $p1; echo $?");
        EXPECT_THAT(both.out, ::testing::MatchesRegex("[01]\n[01]\n")) << "no signal, no bad usage: " << both.err;
        const std::vector<std::string> lines[] = {LinesOf(dir / "first.txt"), LinesOf(dir / "second.txt")};
        ASSERT_EQ(lines[0].size(), size_t{kFiles});
        ASSERT_EQ(lines[1].size(), size_t{kFiles});
        for (int i = 0; i < kFiles; ++i) {
            const std::string output = (dir.path() / "out" / Name(i)).string();
            int writer = -1;
            for (int run = 0; run < 2; ++run) {
                const std::string start = (dir.path() / runs[run] / Name(i)).string() + " -> " + output + ": ";
                const std::string& line = lines[run][i];
                if (line == start + "Converted!") {
                    EXPECT_EQ(writer, -1) << "both runs converted " << output;
                    writer = run;
                } else {
                    EXPECT_EQ(line, start + "File exists!");
                }
            }
            ASSERT_NE(writer, -1) << "neither run converted " << output;
            EXPECT_EQ(ReadFile(output), ReadFile(dir.path() / runs[writer] / Name(i))) << output;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "out"), {}), kFiles);
    }
}

}  // namespace
}  // namespace tarvex
