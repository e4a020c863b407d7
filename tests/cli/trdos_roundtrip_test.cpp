// Round trips of the sample images through tarvex-cli: TRD, SCL and UDI into each other and back.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "test_support.h"
#include "test_locale.h"

namespace tarvex {
namespace {

using test::CorpusFiles;
using test::ReadFile;
using test::RunCli;
using test::TempDir;

constexpr size_t kTrack = 4096;
constexpr size_t kSector = 256;

std::vector<std::string> Strings(const std::vector<test::fs::path>& paths) {
    std::vector<std::string> v;
    for (const auto& p : paths) v.push_back(p.string());
    return v;
}

// Converts every file to the format into dir; returns the output line of each source (without the indented
// loss line that may follow it).
std::map<std::string, std::string> Convert(const std::string& format, const std::string& dir,
                                           const std::vector<std::string>& files) {
    std::vector<std::string> args = {"convert", "--to", format, "-q", "-o", dir};
    args.insert(args.end(), files.begin(), files.end());
    const auto result = RunCli(args);
    std::map<std::string, std::string> lines;
    size_t at = 0;
    for (const auto& f : files) {
        const size_t end = result.out.find('\n', at);
        lines[f] = result.out.substr(at, end - at);
        at = end + 1;
        if (result.out.compare(at, 2, "  ") == 0) at = result.out.find('\n', at) + 1;
    }
    return lines;
}

std::string Output(const std::string& dir, const test::fs::path& source, const std::string& extension) {
    return (test::fs::path(dir) / source.stem()).string() + extension;
}

bool Converted(const std::string& line) { return line.ends_with(": Converted!"); }

// The live files of a TR-DOS disk image held as TRD bytes: the 14 header bytes and the file's data.
struct LiveFile {
    Bytes header;
    Bytes data;
};

std::vector<LiveFile> LiveFiles(const Bytes& trd) {
    std::vector<LiveFile> files;
    const uint8_t* info = &trd[8 * kSector];
    for (unsigned i = 0; i < info[0xE4] && i < 128; ++i) {
        const uint8_t* e = &trd[16 * i];
        if (std::all_of(e, e + 8, [](uint8_t b) { return b == 0; })) break;
        if (e[0] < 32) continue;
        LiveFile f{Bytes(e, e + 14), {}};
        const size_t first = (size_t{e[15]} * 16 + e[14]) * kSector;
        const size_t bytes = size_t{e[13]} * kSector;
        if (first + bytes <= trd.size()) f.data.assign(trd.begin() + first, trd.begin() + first + bytes);
        files.push_back(std::move(f));
    }
    return files;
}

bool HasTrdosCatalogue(const Bytes& trd) { return trd.size() >= 9 * kSector && trd[8 * kSector + 0xE7] == 0x10; }

TEST(TrdosRoundTrip, TrdThroughUdiComesBackIdentical) {
    TempDir temp;
    const std::string udiDir = temp / "udi", trdDir = temp / "trd";
    std::vector<test::fs::path> whole;
    for (const auto& f : CorpusFiles("trd"))
        if (test::fs::file_size(f) % (2 * kTrack) == 0) whole.push_back(f);
    ASSERT_GE(whole.size(), 5u);
    const auto toUdi = Convert("udi", udiDir, Strings(whole));
    std::vector<std::string> udis;
    for (const auto& f : whole) {
        ASSERT_TRUE(Converted(toUdi.at(f.string()))) << toUdi.at(f.string());
        udis.push_back(Output(udiDir, f, ".udi"));
        EXPECT_EQ(test::fs::file_size(udis.back()), 16 + 7041 * (test::fs::file_size(f) / kTrack) + 4);
    }
    const auto toTrd = Convert("TRD", trdDir, udis);
    for (const auto& f : whole) {
        ASSERT_TRUE(Converted(toTrd.at(Output(udiDir, f, ".udi"))));
        EXPECT_EQ(ReadFile(Output(trdDir, f, ".trd")), ReadFile(f)) << f;
    }
    // UDI written again from a UDI: every byte, and so every address mark, stays where it was.
    const std::string againDir = temp / "again";
    const auto again = Convert("udi", againDir, udis);
    for (const auto& u : udis) {
        ASSERT_TRUE(Converted(again.at(u))) << again.at(u);
        EXPECT_EQ(ReadFile(againDir + "/" + test::fs::path(u).filename().string()), ReadFile(u)) << u;
    }
}

TEST(TrdosRoundTrip, TrdThroughSclKeepsEveryLiveFile) {
    TempDir temp;
    std::vector<test::fs::path> trdos;
    for (const auto& f : CorpusFiles("trd"))
        if (HasTrdosCatalogue(ReadFile(f))) trdos.push_back(f);
    ASSERT_GE(trdos.size(), 6u);
    const auto toScl = Convert("scl", temp / "scl", Strings(trdos));
    std::vector<std::string> scls;
    unsigned kept = 0;
    for (const auto& f : trdos) {
        const std::string& line = toScl.at(f.string());
        const Bytes trd = ReadFile(f);
        const auto live = LiveFiles(trd);
        if (!Converted(line)) {
            // No live file, a file cut off by the end of a truncated image, or an image the TRD reader refuses.
            const bool known = line.find("(Missing of files)") != std::string::npos ||
                               line.find("(Bad sector - (track ") != std::string::npos ||
                               line.find("Error open file! (Stream read error)") != std::string::npos;
            EXPECT_TRUE(known) << line;
            if (line.find("Missing of files") != std::string::npos) {
                EXPECT_TRUE(live.empty()) << f;
            }
            continue;
        }
        const auto toTrd = Convert("trd", temp / "trd", {Output(temp / "scl", f, ".scl")});
        const std::string& back = toTrd.begin()->second;
        if (!Converted(back)) {
            // A disk with more file sectors than a fresh 80-track TR-DOS disk holds cannot come back.
            size_t sectors = 0;
            for (const auto& l : live) sectors += l.header[13];
            EXPECT_GT(sectors, 2544u) << back;
            EXPECT_NE(back.find("Нет места на образе диска!"), std::string::npos) << back;
            continue;
        }
        const auto again = LiveFiles(ReadFile(Output(temp / "trd", f, ".trd")));
        ASSERT_EQ(again.size(), live.size()) << f;
        for (size_t i = 0; i < live.size(); ++i) {
            EXPECT_EQ(again[i].header, live[i].header) << f << " file " << i;
            EXPECT_EQ(again[i].data, live[i].data) << f << " file " << i;
        }
        ++kept;
    }
    EXPECT_GE(kept, 4u);
}

TEST(TrdosRoundTrip, SclThroughTrdAndUdiComesBackIdentical) {
    TempDir temp;
    const auto scls = CorpusFiles("scl");
    ASSERT_GE(scls.size(), 5u);
    for (const std::string via : {"trd", "udi"}) {
        const std::string viaDir = temp / via, backDir = temp / (via + "-scl");
        const auto there = Convert(via, viaDir, Strings(scls));
        std::vector<std::string> middle;
        for (const auto& f : scls) {
            const std::string& line = there.at(f.string());
            if (f.filename() == "zxevo-dggs.scl") {
                EXPECT_EQ(line, f.string() + ": Error open file! (Ошибка в контрольной сумме файла!)");
                continue;
            }
            ASSERT_TRUE(Converted(line)) << line;
            middle.push_back(Output(viaDir, f, "." + via));
        }
        const auto back = Convert("scl", backDir, middle);
        for (const auto& f : scls) {
            if (f.filename() == "zxevo-dggs.scl") continue;
            ASSERT_TRUE(Converted(back.at(Output(viaDir, f, "." + via))));
            EXPECT_EQ(ReadFile(Output(backDir, f, ".scl")), ReadFile(f)) << f << " via " << via;
        }
    }
}

TEST(TrdosRoundTrip, InfoListsTheCatalogue) {
    const test::ScopedLocale english(test::kEnglishLocale);
    const auto blank = RunCli({"info", (test::CorpusDir() / "udi" / "unrealng-beta128-empty.udi").string()});
    EXPECT_EQ(blank.exitCode, 0) << "a UDI of 86 cylinders reads";
    EXPECT_NE(blank.out.find("tracks: 172 (cylinders 86, sides 2), sectors: 2752"), std::string::npos) << blank.out;
    const auto result = RunCli({"info", (test::CorpusDir() / "trd" / "zxevo-256c-5.trd").string()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("files 42 (deleted 1), free sectors 225, first free track 145 sector 15"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("?oot      B    806    734       4     1      0  deleted\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("PAL0      C      0    512       2     1      4\n"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace tarvex
