// tarvex-cli killed while it replaces existing outputs: every output is whole, old or new, and the folder
// holds nothing else.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "test_support.h"

namespace tarvex {
namespace {

using test::MakeTrdBytes;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr int kFiles = 100;
constexpr unsigned kSourceTracks = 80;
constexpr mode_t kOldMode = 0640;

std::string Name(int i, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "d%03d%s", i, extension);
    return name;
}

Bytes OldOutput(int i) { return Bytes(3000 + i, static_cast<uint8_t>(i)); }

// Starts tarvex-cli with its output thrown away; returns its process id.
pid_t StartCli(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TARVEX_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

struct InterruptedOverwrite : ::testing::Test {
    TempDir dir;
    std::vector<std::string> args = {"convert", "--to", "udi", "--overwrite", "-q", "-j", "1", "-o"};

    InterruptedOverwrite() {
        std::filesystem::create_directory(dir.path() / "src");
        args.push_back(dir / "out");
        for (int i = 0; i < kFiles; ++i) {
            const std::string source = (dir.path() / "src" / Name(i, ".trd")).string();
            WriteFile(source, MakeTrdBytes(kSourceTracks, [i](size_t k) { return static_cast<uint8_t>(k / 256 + i); }));
            args.push_back(source);
        }
    }

    void MakeOldOutputs() {
        std::filesystem::remove_all(dir.path() / "out");
        std::filesystem::create_directory(dir.path() / "out");
        for (int i = 0; i < kFiles; ++i) {
            const std::filesystem::path out = dir.path() / "out" / Name(i, ".udi");
            WriteFile(out, OldOutput(i));
            std::filesystem::permissions(out, static_cast<std::filesystem::perms>(kOldMode));
        }
    }

    Bytes NewOutput(int i) {
        TZX_Disk disk;
        Bytes udi;
        EXPECT_TRUE(disk.ParseTRD(ReadFile(dir.path() / "src" / Name(i, ".trd"))));
        EXPECT_TRUE(disk.BuildUDI(udi));
        return udi;
    }

    // Every output old or new and nothing else in the folder; returns how many are new.
    int CheckOutputs() {
        int entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path() / "out")) ++entries;
        EXPECT_EQ(entries, kFiles) << "a file besides the outputs";
        int replaced = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::filesystem::path out = dir.path() / "out" / Name(i, ".udi");
            const Bytes now = ReadFile(out);
            const bool isNew = now == NewOutput(i);
            EXPECT_TRUE(isNew || now == OldOutput(i)) << out << " is neither the old nor the new file";
            struct stat st {};
            EXPECT_EQ(::stat(out.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, kOldMode) << out;
            replaced += isNew;
        }
        return replaced;
    }
};

TEST_F(InterruptedOverwrite, KilledAtAnyMomentLeavesWholeOutputsAndNoStrayFile) {
    for (const int delay : {20, 50, 100, 200}) {
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms");
        MakeOldOutputs();
        const pid_t cli = StartCli(args);
        ASSERT_GT(cli, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        ::kill(cli, SIGKILL);
        int status = 0;
        ::waitpid(cli, &status, 0);
        const int replaced = CheckOutputs();
        std::printf("killed after %d ms: %s, %d of %d outputs replaced\n", delay,
                    WIFSIGNALED(status) ? "killed" : "had finished", replaced, kFiles);
    }
    // Run to its end after the interrupted runs, everything is replaced.
    int status = 0;
    ::waitpid(StartCli(args), &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(CheckOutputs(), kFiles);
}

}  // namespace
}  // namespace tarvex
