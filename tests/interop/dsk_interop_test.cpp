// Our DSK images read by MAME's floptool, run as a black box: every full TR-DOS disk of the corpus comes
// back as the same TRD, and a 360 KB PC disk made here comes back as its raw dump.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "disk/zx_disk.h"
#include "interop_tools.h"
#include "test_support.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::Floptool;

constexpr size_t kFullTrdBytes = 80 * 2 * 16 * 256;

TEST(DskInterop, FloptoolReadsOurDskOfEveryFullTrdBackToTheSameTrd) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    unsigned compared = 0;
    for (const fs::path& trd : test::CorpusFiles("trd")) {
        const Bytes original = test::ReadFile(trd);
        if (original.size() != kFullTrdBytes) continue;  // floptool writes a TRD of its own geometry
        SCOPED_TRACE(trd.filename().string());
        const CommandResult convert =
            test::RunCli({"convert", "--to", "dsk", "-q", "--overwrite", "-o", dir.path().string(), trd.string()});
        ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
        const fs::path back = dir.path() / "back.trd";
        fs::remove(back);
        const CommandResult read = Floptool("dsk", "trd", dir.path() / (trd.stem().string() + ".dsk"), back);
        ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
        EXPECT_EQ(test::ReadFile(back), original);
        ++compared;
    }
    EXPECT_GE(compared, 5u);
}

// A 40-cylinder, two-sided PC disk of nine 512-byte sectors per track (IDs carry the real cylinder and
// head), from a raw dump of pseudo-random bytes.
constexpr unsigned kPcCylinders = 40, kPcSides = 2, kPcSectors = 9, kPcSectorBytes = 512;

Bytes PcRawDump() {
    Bytes dump(kPcCylinders * kPcSides * kPcSectors * kPcSectorBytes);
    std::mt19937 generator(360);
    for (uint8_t& b : dump) b = static_cast<uint8_t>(generator());
    return dump;
}

TEST(DskInterop, FloptoolReadsOurDskOfA360KbPcDiskBackToItsRawDump) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    const Bytes dump = PcRawDump();
    TZX_Disk disk;
    test::FillPcDisk(disk, dump, kPcCylinders);
    const fs::path dsk = dir.path() / "pc360.dsk";
    ASSERT_TRUE(disk.SaveDSK(dsk.string())) << disk.StatusMessage;
    const fs::path raw = dir.path() / "pc360.img";
    const CommandResult read = Floptool("dsk", "pc", dsk, raw);
    ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_EQ(test::ReadFile(raw), dump);

    // The same disk through our UDI and back to DSK.
    const fs::path udi = dir.path() / "pc360.udi";
    ASSERT_TRUE(disk.SaveUDI(udi.string()));
    const CommandResult convert = test::RunCli(
        {"convert", "--to", "dsk", "-q", "--overwrite", "-o", (dir.path() / "again").string(), udi.string()});
    ASSERT_EQ(convert.exitCode, 0) << convert.out;
    const fs::path rawAgain = dir.path() / "again.img";
    ASSERT_EQ(Floptool("dsk", "pc", dir.path() / "again" / "pc360.dsk", rawAgain).exitCode, 0);
    EXPECT_EQ(test::ReadFile(rawAgain), dump);
}

}  // namespace
}  // namespace tarvex
