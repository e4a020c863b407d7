// tarvex-cli files and new from the outside: every TR-DOS disk of the samples taken apart into Hobeta files
// and put together again, refusals that leave the image as it was, and the sectors an addition touches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::RunCli;
using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;

constexpr size_t kSector = 256;

// The live files of TRD bytes, in catalogue order: the 14 header bytes and the sectors.
std::vector<std::pair<Bytes, Bytes>> LiveFiles(const Bytes& trd) {
    std::vector<std::pair<Bytes, Bytes>> files;
    for (unsigned i = 0; i < trd[8 * kSector + 0xE4] && i < 128; ++i) {
        const uint8_t* e = &trd[16 * i];
        if (e[0] < 32) continue;
        const size_t first = (size_t{e[15]} * 16 + e[14]) * kSector, bytes = size_t{e[13]} * kSector;
        files.emplace_back(Bytes(e, e + 14), Bytes(trd.begin() + first, trd.begin() + first + bytes));
    }
    return files;
}

// 257 times the sum of header bytes 0 to 14, plus 105, modulo 65536.
uint16_t HobetaSum(const Bytes& file) {
    unsigned sum = 0;
    for (size_t i = 0; i < 15; ++i) sum += file[i];
    return static_cast<uint16_t>(sum * 257 + 105);
}

std::vector<std::string> OutputsOf(const std::string& lines) {
    std::vector<std::string> outputs;
    for (size_t at = 0, arrow; (arrow = lines.find(" -> ", at)) != std::string::npos; at = lines.find('\n', arrow)) {
        const size_t end = lines.find('\n', arrow);
        outputs.push_back(lines.substr(arrow + 4, end - arrow - 4));
    }
    return outputs;
}

TEST(FilesCommand, EveryTrdosSampleComesApartAndTogetherAgain) {
    TempDir temp;
    unsigned disks = 0, files = 0;
    for (const char* folder : {"trd", "scl", "udi", "td0", "fdi"}) {
        for (const auto& image : test::CorpusFiles(folder)) {
            if (RunCli({"files", "list", image.string()}).exitCode != 0) continue;
            const std::string name = std::string(folder) + "-" + image.stem().string();
            const auto extracted = RunCli({"files", "extract", "-o", temp / (name + "-files"), image.string()});
            ASSERT_EQ(extracted.exitCode, 0) << image << extracted.out << extracted.err;
            const std::vector<std::string> hobetas = OutputsOf(extracted.out);
            if (hobetas.empty()) continue;
            // The files as the SCL writer collects them, laid out again by the SCL reader, for a disk that is
            // not a plain TRD.
            auto trd = RunCli({"convert", "--to", "trd", "-q", "-o", temp / name, image.string()});
            if (trd.exitCode != 0) {
                ASSERT_EQ(RunCli({"convert", "--to", "scl", "-q", "-o", temp / name, image.string()}).exitCode, 0);
                trd = RunCli({"convert", "--to", "trd", "-q", "-o", temp / name,
                              temp / name + "/" + image.stem().string() + ".scl"});
            }
            ASSERT_EQ(trd.exitCode, 0) << trd.out;
            const Bytes original = ReadFile(temp.path() / name / (image.stem().string() + ".trd"));
            const auto live = LiveFiles(original);
            ASSERT_EQ(hobetas.size(), live.size()) << image;
            for (size_t i = 0; i < live.size(); ++i) {
                const Bytes hobeta = ReadFile(hobetas[i]);
                ASSERT_EQ(hobeta.size(), 17 + live[i].second.size()) << hobetas[i];
                EXPECT_TRUE(std::equal(live[i].first.begin(), live[i].first.begin() + 13, hobeta.begin()));
                EXPECT_EQ(hobeta[14], live[i].first[13]);
                EXPECT_EQ(hobeta[15] | hobeta[16] << 8, HobetaSum(hobeta)) << hobetas[i];
                EXPECT_TRUE(std::equal(live[i].second.begin(), live[i].second.end(), hobeta.begin() + 17));
                ++files;
            }
            std::vector<std::string> args = {"new", "--to", "trd", temp / (name + "-again.trd")};
            args.insert(args.end(), hobetas.begin(), hobetas.end());
            const auto rebuilt = RunCli(args);
            ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.out << rebuilt.err;
            EXPECT_EQ(LiveFiles(ReadFile(temp / (name + "-again.trd"))), live) << image;
            ++disks;
        }
    }
    EXPECT_GE(disks, 8u);
    EXPECT_GE(files, 100u);
}

// A refused addition leaves every byte of the image as it was.
TEST(FilesCommand, RefusalsLeaveTheImageAsItWas) {
    const test::ScopedLocale english(test::kEnglishLocale);
    TempDir temp;
    WriteFile(temp / "big.bin", Bytes(255 * kSector, 7));
    WriteFile(temp / "small.bin", Bytes(10, 1));
    std::vector<std::string> full = {"new", "--to", "trd", "--raw", temp / "full.trd"};
    for (int i = 0; i < 9; ++i) {
        WriteFile(temp / ("F" + std::to_string(i) + ".C"), Bytes(255 * kSector, static_cast<uint8_t>(i)));
        full.push_back(temp / ("F" + std::to_string(i) + ".C"));
    }
    std::vector<std::string> crowded = {"new", "--to", "scl", "--raw", temp / "crowded.scl"};
    for (int i = 0; i < 128; ++i) {
        WriteFile(temp / ("S" + std::to_string(i) + ".C"), Bytes(1, static_cast<uint8_t>(i)));
        crowded.push_back(temp / ("S" + std::to_string(i) + ".C"));
    }
    ASSERT_EQ(RunCli(full).exitCode, 0);
    ASSERT_EQ(RunCli(crowded).exitCode, 0);
    struct Case {
        std::string image;
        std::vector<std::string> args;
        const char* reason;
    };
    const std::string fullImage = temp / "full.trd";
    const Case cases[] = {
        {fullImage, {"files", "add", "--raw", fullImage, temp / "small.bin", temp / "big.bin"}, "Disk full"},
        {temp / "crowded.scl", {"files", "add", "--raw", temp / "crowded.scl", temp / "small.bin"}, "Catalogue full"},
        {fullImage, {"files", "add", "--raw", fullImage, temp / "F3.C"}, "F3.C is already on the disk"},
        {fullImage, {"files", "add", fullImage, temp / "missing.$C"}, "No such file"},
        {fullImage, {"files", "delete", fullImage, "F3.C", "NOPE"}, "No file NOPE on the disk"},
    };
    for (const Case& c : cases) {
        const Bytes before = ReadFile(c.image);
        const auto run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.reason;
        EXPECT_THAT(run.err, HasSubstr(c.reason));
        EXPECT_TRUE(ReadFile(c.image) == before) << c.reason;
    }
    EXPECT_EQ(RunCli({"new", "--to", "trd", temp / "full.trd"}).out, temp / "full.trd" + ": File exists!\n");
    WriteFile(temp / "F3.C", Bytes(100, 3));
    EXPECT_EQ(RunCli({"files", "add", "--raw", "--replace", temp / "full.trd", temp / "F3.C"}).exitCode, 0);
    EXPECT_EQ(RunCli({"files", "extract", "-o", temp.path().string(), temp / "full.trd", "F3"}).out,
              "F3.C -> " + temp / "F3.$C" + "\n");
    EXPECT_EQ(RunCli({"files", "extract", "--raw", "-o", temp.path().string(), temp / "full.trd", "#10"}).out,
              "F3.C -> " + temp / "F3.C" + ": File exists!\n");
}

// An addition to a TRD writes the file's sectors at the first free one, the catalogue sector of its entry and
// the disk-information sector; a deletion only the catalogue and information sectors, until --compact.
TEST(FilesCommand, AddAndDeleteChangeOnlyTheSectorsTheyMust) {
    TempDir temp;
    const std::string image = temp / "game.trd";
    test::fs::copy_file(test::CorpusDir() / "trd" / "zxtune-tiden.trd", image);
    const Bytes before = ReadFile(image);
    const unsigned firstFree = before[8 * kSector + 0xE2] * 16u + before[8 * kSector + 0xE1];
    const unsigned count = before[8 * kSector + 0xE4];
    WriteFile(temp / "three.C", Bytes(3 * kSector - 5, 0xA5));
    ASSERT_EQ(RunCli({"files", "add", "--raw", image, temp / "three.C"}).exitCode, 0);
    const Bytes after = ReadFile(image);
    ASSERT_EQ(after.size(), before.size());
    std::vector<unsigned> changed;
    for (unsigned s = 0; s < before.size() / kSector; ++s)
        if (std::memcmp(&before[s * kSector], &after[s * kSector], kSector) != 0) changed.push_back(s);
    EXPECT_EQ(changed, (std::vector<unsigned>{count / 16, 8, firstFree, firstFree + 1, firstFree + 2}));

    ASSERT_EQ(RunCli({"files", "delete", image, "#1"}).exitCode, 0);
    const Bytes deleted = ReadFile(image);
    EXPECT_EQ(deleted[0], 0x01);
    EXPECT_TRUE(std::equal(after.begin() + 16 * kSector, after.end(), deleted.begin() + 16 * kSector));
    const auto kept = LiveFiles(deleted);
    ASSERT_EQ(RunCli({"files", "delete", "--compact", image, "three"}).exitCode, 0);
    const Bytes compacted = ReadFile(image);
    EXPECT_EQ(LiveFiles(compacted), std::vector(kept.begin(), kept.end() - 1));
    EXPECT_EQ(compacted[8 * kSector + 0xF4], 0) << "no deleted files left";
    EXPECT_EQ(compacted[8 * kSector + 0xE4], count - 1);
}

}  // namespace
}  // namespace tarvex
