// An SCL archive made by `tarvex-cli new` from Hobeta files, read by scl2trd (fuse-emulator-utils) as a black
// box: the disk it writes holds the files of the disk the Hobeta files came from, header and bytes.
#include <gtest/gtest.h>

#include "interop/interop_tools.h"
#include "test_support.h"

namespace tarvex {
namespace {

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

TEST(FilesInterop, Scl2trdReadsAnSclMadeFromHobetaFiles) {
    REQUIRE_TOOL("scl2trd");
    test::TempDir temp;
    unsigned compared = 0;
    for (const auto& image : test::CorpusFiles("trd")) {
        const auto original = LiveFiles(test::ReadFile(image));
        if (original.empty()) continue;
        const std::string folder = temp / image.stem().string();
        const auto extracted = test::RunCli({"files", "extract", "-o", folder, image.string()});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        // In catalogue order, as the extraction lines list them.
        std::vector<std::string> args = {"new", "--to", "scl", folder + ".scl"};
        for (size_t at = 0, arrow; (arrow = extracted.out.find(" -> ", at)) != std::string::npos;) {
            at = extracted.out.find('\n', arrow);
            args.push_back(extracted.out.substr(arrow + 4, at - arrow - 4));
        }
        const auto made = test::RunCli(args);
        ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
        const auto run = test::RunCommand("scl2trd " + test::ShellQuote(folder + ".scl") + " " +
                                          test::ShellQuote(folder + ".theirs.trd"));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(LiveFiles(test::ReadFile(folder + ".theirs.trd")), original) << image;
        ++compared;
    }
    EXPECT_GE(compared, 4u);
}

}  // namespace
}  // namespace tarvex
