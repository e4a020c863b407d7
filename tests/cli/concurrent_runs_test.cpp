// Two runs of tarvex-cli without --overwrite writing the same names into one folder at once: each name is
// written by exactly one of them, holds that run's bytes, and the other run says "File exists!".
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Starts tarvex-cli with its standard output into a file; returns its process id.
pid_t StartCli(const std::vector<std::string>& args, const std::string& outFile) {
    std::vector<std::string> all = {TARVEX_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
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
        std::vector<std::string> args[2];
        for (int run = 0; run < 2; ++run) {
            std::filesystem::create_directory(dir.path() / runs[run]);
            args[run] = {"convert", "--to", "trd", "-q", "-o", dir / "out"};
            for (int i = 0; i < kFiles; ++i) {
                const std::string source = (dir.path() / runs[run] / Name(i)).string();
                WriteFile(source, MakeTrdBytes(1, [=](size_t k) { return static_cast<uint8_t>(k + i * 2 + run); }));
                args[run].push_back(source);
            }
        }
        std::filesystem::create_directory(dir.path() / "out");
        const pid_t pids[] = {StartCli(args[0], dir / "first.txt"), StartCli(args[1], dir / "second.txt")};
        for (const pid_t pid : pids) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << status;
        }
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
