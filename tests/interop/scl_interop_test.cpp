// Our SCL -> TRD against scl2trd (fuse-emulator-utils), run as a black box on the sample archives.
#include <gtest/gtest.h>

#include "test_support.h"

namespace tarvex {
namespace {

using test::ReadFile;
using test::RunCli;
using test::RunCommand;
using test::ShellQuote;

constexpr size_t kSector = 256;
constexpr size_t kCatalogueBytes = 8 * kSector;
constexpr size_t kInfo = 8 * kSector;

bool HaveScl2trd() { return RunCommand("command -v scl2trd").exitCode == 0; }

TEST(SclInterop, CatalogueAndFileDataMatchScl2trd) {
    if (!HaveScl2trd())
        GTEST_SKIP() << "scl2trd is not installed: Debian package fuse-emulator-utils (make test installs it)";
    test::TempDir temp;
    unsigned compared = 0;
    for (const auto& scl : test::CorpusFiles("scl")) {
        const std::string theirs = temp / (scl.stem().string() + ".theirs.trd");
        const auto run = RunCommand("scl2trd " + ShellQuote(scl.string()) + " " + ShellQuote(theirs));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto ours = RunCli({"convert", "--to", "trd", "-q", "-o", temp / "ours", scl.string()});
        if (scl.filename() == "zxevo-dggs.scl") {
            // Its stored byte sum is wrong: we refuse it, scl2trd converts it regardless.
            EXPECT_NE(ours.out.find("Error open file! (Ошибка в контрольной сумме файла!)"), std::string::npos)
                << ours.out;
            continue;
        }
        ASSERT_EQ(ours.exitCode, 0) << ours.out;
        const Bytes a = ReadFile(temp.path() / "ours" / (scl.stem().string() + ".trd"));
        const Bytes b = ReadFile(theirs);
        ASSERT_EQ(a.size(), b.size()) << scl;
        EXPECT_EQ(Bytes(a.begin(), a.begin() + kCatalogueBytes), Bytes(b.begin(), b.begin() + kCatalogueBytes)) << scl;
        // The counters: first free sector and track, disk type, file count, free sectors, identification byte,
        // deleted files.
        for (size_t offset : {0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xF4})
            EXPECT_EQ(a[kInfo + offset], b[kInfo + offset]) << scl << " information byte " << offset;
        // The data of every file, from its first sector on.
        for (size_t i = 0; i < a[kInfo + 0xE4]; ++i) {
            const uint8_t* e = &a[16 * i];
            const size_t first = (size_t{e[15]} * 16 + e[14]) * kSector, bytes = size_t{e[13]} * kSector;
            ASSERT_LE(first + bytes, a.size());
            EXPECT_TRUE(std::equal(a.begin() + first, a.begin() + first + bytes, b.begin() + first))
                << scl << " file " << i;
        }
        // Nothing past the track 0 system area differs (the data tracks are identical).
        EXPECT_TRUE(std::equal(a.begin() + 16 * kSector, a.end(), b.begin() + 16 * kSector)) << scl;
        ++compared;
    }
    EXPECT_GE(compared, 5u);
}

}  // namespace
}  // namespace tarvex
