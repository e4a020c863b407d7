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

#include "disk/zx_disk.h"
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

    // Puts the old outputs back in place, in the same folder, so that each run is its second writer.
    void MakeOldOutputs() {
        std::filesystem::create_directories(dir.path() / "out");
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

    // Every output old or new. Besides them the folder may hold only what a writer killed in the instant
    // between naming a finished replacement and renaming it leaves: one temporary of the killed process,
    // holding the new bytes of one of the targets. Returns how many outputs are new.
    int CheckOutputs(pid_t killed) {
        int entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path() / "out")) {
            ++entries;
            const std::string name = e.path().filename().string();
            if (name.ends_with(".udi")) continue;
            ++leftovers;
            const std::string ours = ".tarvex-" + std::to_string(killed) + "-";
            const bool temporary = name.starts_with(ours) && name.ends_with(".tmp");
            EXPECT_TRUE(temporary) << name;
            if (!temporary) continue;
            std::printf("left in the instant of its rename: %s\n", name.c_str());
            const Bytes bytes = ReadFile(e.path());
            bool someNewOutput = false;
            for (int i = 0; i < kFiles && !someNewOutput; ++i) someNewOutput = bytes == NewOutput(i);
            EXPECT_TRUE(someNewOutput) << name;
        }
        EXPECT_LE(entries, kFiles + 1) << "files besides the outputs";
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

    size_t Entries() {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path() / "out")) ++n;
        return n;
    }

    int leftovers = 0;
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
        const int replaced = CheckOutputs(cli);
        std::printf("killed after %d ms: %s, %d of %d outputs replaced\n", delay,
                    WIFSIGNALED(status) ? "killed" : "had finished", replaced, kFiles);
    }
    std::printf("temporaries caught in the instant of their rename: %d\n", leftovers);

    // The next run into the folder removes what killed runs left, and replaces everything.
    const pid_t dead = StartCli({"--version"});
    ::waitpid(dead, nullptr, 0);
    WriteFile(dir.path() / "out" / (".tarvex-" + std::to_string(dead) + "-0.tmp"), Bytes{1});
    int status = 0;
    ::waitpid(StartCli(args), &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(CheckOutputs(0), kFiles);
    EXPECT_EQ(Entries(), static_cast<size_t>(kFiles));
}

}  // namespace
}  // namespace tarvex
