// Helpers shared by the test suites: temporary folders, files, small images, the command line.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "io/status.h"

namespace tarvex::test {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

Bytes ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const Bytes& bytes);

// A TRD image of n tracks whose byte i is pattern(i) (by default a pattern that differs per sector).
Bytes MakeTrdBytes(unsigned tracks, const std::function<uint8_t(size_t)>& pattern = {});

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a shell command line and collects its exit code, standard output and standard error.
CommandResult RunCommand(const std::string& commandLine);
// Runs tarvex-cli with the given arguments (each quoted for the shell): the tests' build, or the program
// TARVEX_TEST_CLI names (such as a script that runs the Windows build under Wine).
CommandResult RunCli(const std::vector<std::string>& args);
std::string ShellQuote(const std::string& s);

// The real sample images the tests read: tests/data/corpus/ (TARVEX_CORPUS_DIR at configure time may name a
// larger collection of the same layout). A missing folder throws, so the test that wanted it fails.
fs::path CorpusDir();
// The files of one format's subfolder, sorted; throws when the folder is missing or empty.
std::vector<fs::path> CorpusFiles(const std::string& subfolder);
fs::path TestData(const std::string& name);

// A headerless sector dump of n tracks of sectorsPerTrack sectors of sectorBytes each, every sector
// filled with a pattern of its own.
Bytes MakeSectorDumpBytes(unsigned tracks, unsigned sectorsPerTrack, unsigned sectorBytes);

// Expects two disk models to hold the same tracks and sectors (fields and the valid data bytes).
void ExpectSameDisk(const TZX_Disk& expected, const TZX_Disk& actual);
// The same sectors in every slot, whichever tracks are present (a raw-track format writes whole cylinders
// on two sides, so an absent track can come back as an empty one).
void ExpectSameSectors(const TZX_Disk& expected, const TZX_Disk& actual);
// Slots a and b change places, ID fields, states and bytes.
void SwapSlots(TSectorSlot& a, TSectorSlot& b);

// Sets an environment variable for the life of the object and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};
// One file of an SCL archive built by MakeSclBytes: the name is padded with spaces to 8 bytes, and the
// data (sectors * 256 bytes) is data when given, else a pattern that differs per file and per sector.
struct SclFile {
    std::string name;
    char type = 'C';
    uint16_t start = 0x8000;
    uint16_t length = 0;
    uint8_t sectors = 1;
    Bytes data = {};
};
// "SINCLAIR", the count, the headers, the data and the byte sum (fixChecksum false leaves it 0).
Bytes MakeSclBytes(const std::vector<SclFile>& files, bool fixChecksum = true);
// Recomputes the byte sum in the last 4 bytes of an SCL image.
void FixSclChecksum(Bytes& scl);

// A Status as the Boolean and reason a test checks: the reason goes to `reason`.
inline bool WithReason(const Status& status, std::string& reason) {
    reason = status.reason();
    return status.ok();
}

}  // namespace tarvex::test
