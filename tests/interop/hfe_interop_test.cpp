// Our HFE images read by MAME's floptool: every TR-DOS disk of the corpus comes back as the TRD it was
// made from, and PC disks (360 KB and 720 KB) as their raw sector dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "disk/zx_disk.h"
#include "interop_tools.h"
#include "mfm_test_decoder.h"
#include "test_support.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::Floptool;

constexpr size_t kFullTrd = 655360;
constexpr size_t kTrdTrackBytes = 4096;

// This floptool loads no HFE image of 42 cylinders or fewer, whatever its header says, real ones of the
// corpus included; such images are checked with the test decoder only, and floptool's refusal of them is
// held to be its own by its refusing the corpus's real 42-cylinder image too.
constexpr unsigned kFewestCylindersFloptoolLoads = 43;

bool FloptoolRefusesRealShortHfe(const fs::path& dir) {
    const fs::path out = dir / "real-short.mfm";
    fs::remove(out);
    return Floptool("hfe", "mfm", test::CorpusDir() / "hfe" / "cpccore-30ymd.hfe", out).exitCode != 0;
}

TEST(HfeInterop, FloptoolReadsOurHfeBackToTheOriginalTrd) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    size_t compared = 0;
    for (const fs::path& trd : test::CorpusFiles("trd")) {
        SCOPED_TRACE(trd.filename().string());
        const Bytes original = test::ReadFile(trd);
        const CommandResult convert =
            test::RunCli({"convert", "--to", "hfe", "-o", dir.path().string(), "--overwrite", "-q", trd.string()});
        const fs::path hfe = dir.path() / (trd.stem().string() + ".hfe");
        if (original.size() % kTrdTrackBytes != 0 && convert.exitCode != 0) {
            // A TRD whose size rounds to more whole tracks than it holds is refused by our TRD reader.
            EXPECT_FALSE(fs::exists(hfe));
            continue;
        }
        ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
        const fs::path back = dir.path() / "back.trd";
        fs::remove(back);
        const CommandResult read = Floptool("hfe", "trd", hfe, back);
        if (test::ReadFile(hfe)[9] < kFewestCylindersFloptoolLoads) {
            if (read.exitCode != 0) {
                EXPECT_TRUE(FloptoolRefusesRealShortHfe(dir.path()));
                continue;
            }
        }
        ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
        const Bytes got = test::ReadFile(back);
        if (original.size() == kFullTrd) {
            EXPECT_TRUE(got == original);
            ++compared;
            continue;
        }
        // Odd sizes: floptool writes its own geometry (zero-filled where we have no track); every whole
        // track of the original must come back.
        const size_t held = std::min(original.size() / kTrdTrackBytes * kTrdTrackBytes, got.size());
        EXPECT_GT(held, 0u);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + held, original.begin()));
    }
    EXPECT_GE(compared, 5u);
}

// The dump as the test decoder reads our HFE: sectors 1..9 of every side in order of number.
Bytes DecodedDump(const Bytes& hfe, unsigned cylinders) {
    Bytes dump;
    const size_t list = 512;
    for (unsigned k = 0; k < 2 * cylinders; ++k) {
        const size_t at = (hfe[list + 4 * (k / 2)] | hfe[list + 4 * (k / 2) + 1] << 8) * 512u;
        const size_t length = (hfe[list + 4 * (k / 2) + 2] | hfe[list + 4 * (k / 2) + 3] << 8) / 2u;
        Bytes stream;
        for (size_t i = 0; i < length; ++i) stream.push_back(hfe[at + (i / 256) * 512 + (k % 2) * 256 + i % 256]);
        std::vector<test::FoundSector> found = test::MfmTrack(stream, test::CellOrder::kLsbFirst).Sectors();
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.r < b.r; });
        for (const auto& f : found)
            if (f.dataCrcOk && f.c == k / 2 && f.h == k % 2) dump.insert(dump.end(), f.data.begin(), f.data.end());
    }
    return dump;
}

TEST(HfeInterop, FloptoolReadsOurHfeOfPcDisksBackToTheirRawDumps) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    TZX_Disk disk;
    for (unsigned cylinders : {40u, 80u}) {  // 360 KB and 720 KB
        SCOPED_TRACE(cylinders);
        const Bytes dump = test::MakeSectorDumpBytes(2 * cylinders, 9, 512);
        disk.Clear();
        test::FillPcDisk(disk, dump, cylinders);
        const fs::path hfe = dir.path() / "pc.hfe";
        ASSERT_TRUE(disk.SaveHFE(hfe.string())) << disk.StatusMessage;
        EXPECT_TRUE(DecodedDump(test::ReadFile(hfe), cylinders) == dump);

        const fs::path raw = dir.path() / "pc.img";
        fs::remove(raw);
        const CommandResult read = Floptool("hfe", "pc", hfe, raw);
        if (cylinders < kFewestCylindersFloptoolLoads && read.exitCode != 0) {
            EXPECT_TRUE(FloptoolRefusesRealShortHfe(dir.path())) << read.err;
            continue;
        }
        ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
        EXPECT_TRUE(test::ReadFile(raw) == dump);
    }
}

}  // namespace
}  // namespace tarvex
