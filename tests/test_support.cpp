#include "disk/zx_disk.h"
#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>

namespace tarvex::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tarvex-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes MakeTrdBytes(unsigned tracks, const std::function<uint8_t(size_t)>& pattern) {
    Bytes bytes(static_cast<size_t>(tracks) * 4096);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = pattern ? pattern(i) : static_cast<uint8_t>((i / 256) * 7 + (i % 256));
    return bytes;
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CommandResult RunCommand(const std::string& commandLine) {
    TempDir temp;
    const std::string errFile = temp / "stderr";
    CommandResult result;
    FILE* pipe = ::popen((commandLine + " 2>" + ShellQuote(errFile) + " </dev/null").c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed");
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile);
    std::stringstream ss;
    ss << err.rdbuf();
    result.err = ss.str();
    return result;
}

CommandResult RunCli(const std::vector<std::string>& args) {
    const char* other = std::getenv("TARVEX_TEST_CLI");
    std::string line = ShellQuote(other && *other ? other : TARVEX_CLI_PATH);
    for (const auto& a : args) line += " " + ShellQuote(a);
    return RunCommand(line);
}

fs::path CorpusDir() {
    const fs::path dir(TARVEX_CORPUS_DIR);
    if (!fs::is_directory(dir)) throw std::runtime_error("sample corpus not found at " + dir.string());
    return dir;
}

std::vector<fs::path> CorpusFiles(const std::string& subfolder) {
    std::vector<fs::path> files;
    const fs::path dir = CorpusDir() / subfolder;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
    if (files.empty()) throw std::runtime_error("no sample images in " + dir.string());
    std::sort(files.begin(), files.end());
    return files;
}

fs::path TestData(const std::string& name) { return fs::path(TARVEX_TEST_DATA) / name; }

Bytes MakeSectorDumpBytes(unsigned tracks, unsigned sectorsPerTrack, unsigned sectorBytes) {
    Bytes bytes(static_cast<size_t>(tracks) * sectorsPerTrack * sectorBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i / sectorBytes) * 13 + (i % 251));
    return bytes;
}

namespace {
void ExpectSameSlot(const TSectorSlot& x, const TSectorSlot& y) {
    ASSERT_EQ(x.Used != 0, y.Used != 0);
    EXPECT_EQ(x.Cylinder, y.Cylinder);
    EXPECT_EQ(x.Head, y.Head);
    EXPECT_EQ(x.SectorNo, y.SectorNo);
    EXPECT_EQ(x.SizeCode, y.SizeCode);
    EXPECT_EQ(x.DataCrcOk != 0, y.DataCrcOk != 0);
    ASSERT_EQ(x.DataLength, y.DataLength);
    EXPECT_TRUE(std::equal(x.Data.begin(), x.Data.begin() + x.DataLength, y.Data.begin()));
}

void ExpectSameSlots(const TTrack& a, const TTrack& b) {
    for (unsigned s = 0; s < kMaxSectors; ++s) {
        SCOPED_TRACE("track " + std::to_string(a.Index) + " slot " + std::to_string(s));
        ExpectSameSlot(*a.Sector(s), *b.Sector(s));
    }
}
}  // namespace

void ExpectSameDisk(const TZX_Disk& expected, const TZX_Disk& actual) {
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        ASSERT_EQ(expected.Track(k)->Used != 0, actual.Track(k)->Used != 0) << "track " << k;
        ExpectSameSlots(*expected.Track(k), *actual.Track(k));
    }
}

void ExpectSameSectors(const TZX_Disk& expected, const TZX_Disk& actual) {
    for (unsigned k = 0; k < kMaxTracks; ++k) ExpectSameSlots(*expected.Track(k), *actual.Track(k));
}

void SwapSlots(TSectorSlot& a, TSectorSlot& b) {
    std::swap(a.Used, b.Used);
    std::swap(a.Cylinder, b.Cylinder);
    std::swap(a.Head, b.Head);
    std::swap(a.SectorNo, b.SectorNo);
    std::swap(a.SizeCode, b.SizeCode);
    std::swap(a.DataCrcOk, b.DataCrcOk);
    std::swap(a.DataLength, b.DataLength);
    std::swap(a.DeletedData, b.DeletedData);
    std::swap(a.IdCrcError, b.IdCrcError);
    std::swap(a.IdMissing, b.IdMissing);
    std::swap(a.Copies, b.Copies);
    uint8_t* bytes = a.Data.data();
    const size_t size = a.Data.size();
    a.Data.Bind(b.Data.data(), b.Data.size());
    b.Data.Bind(bytes, size);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        had_ = true;
        old_ = old;
    }
    ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        ::setenv(name_.c_str(), old_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

void FixSclChecksum(Bytes& scl) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 4 < scl.size(); ++i) sum += scl[i];
    for (int i = 0; i < 4; ++i) scl[scl.size() - 4 + i] = static_cast<uint8_t>(sum >> (8 * i));
}

Bytes MakeSclBytes(const std::vector<SclFile>& files, bool fixChecksum) {
    Bytes scl = {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', static_cast<uint8_t>(files.size())};
    for (const auto& f : files) {
        std::string name = f.name;
        name.resize(8, ' ');
        scl.insert(scl.end(), name.begin(), name.end());
        scl.push_back(static_cast<uint8_t>(f.type));
        for (uint16_t v : {f.start, f.length}) {
            scl.push_back(static_cast<uint8_t>(v));
            scl.push_back(static_cast<uint8_t>(v >> 8));
        }
        scl.push_back(f.sectors);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& f = files[i];
        if (!f.data.empty()) {
            scl.insert(scl.end(), f.data.begin(), f.data.end());
            continue;
        }
        for (size_t b = 0; b < size_t{f.sectors} * 256; ++b)
            scl.push_back(static_cast<uint8_t>(i * 31 + (b / 256) * 7 + b % 256));
    }
    scl.insert(scl.end(), 4, 0);
    if (fixChecksum) FixSclChecksum(scl);
    return scl;
}

}  // namespace tarvex::test
