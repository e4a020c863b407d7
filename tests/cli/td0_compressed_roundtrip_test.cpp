// Whole TR-DOS disks through tarvex-cli into compressed TD0 and back into TRD, byte for byte: disks
// whose compressed code once came back with changed bytes (a catalogue fragment alone, and the same
// fragment over a whole disk).
#include <gtest/gtest.h>

#include "test_support.h"

namespace tarvex {
namespace {

using test::RunCli;
using test::TempDir;

constexpr size_t kDiskBytes = 655360;

Bytes Fragment() { return test::ReadFile(test::TestData("lzh-roundtrip-1575.bin")); }

// The TRD at `trd` converted to a compressed TD0 and that back to TRD; returns the TRD's bytes.
Bytes ThroughCompressedTd0(const TempDir& temp, const std::string& trd) {
    const auto toTd0 = RunCli({"convert", "--to", "td0", "--compress", "-q", "-o", temp / "td0", trd});
    EXPECT_EQ(toTd0.exitCode, 0) << toTd0.out << toTd0.err;
    const std::string td0 = temp / "td0/disk.td0";
    const Bytes image = test::ReadFile(td0);
    EXPECT_TRUE(!image.empty() && image[0] == 't') << "a compressed image starts with \"td\"";
    const auto toTrd = RunCli({"convert", "--to", "trd", "-q", "-o", temp / "back", td0});
    EXPECT_EQ(toTrd.exitCode, 0) << toTrd.out << toTrd.err;
    return test::ReadFile(temp / "back/disk.trd");
}

void ExpectRoundTrip(const Bytes& disk) {
    TempDir temp;
    test::WriteFile(temp / "disk.trd", disk);
    const Bytes back = ThroughCompressedTd0(temp, temp / "disk.trd");
    ASSERT_EQ(back.size(), disk.size());
    size_t changed = 0;
    for (size_t i = 0; i < disk.size(); ++i) changed += back[i] != disk[i];
    EXPECT_EQ(changed, 0u) << "bytes changed on the way";
}

TEST(Td0CompressedRoundTrip, CatalogueFragmentOnAnEmptyDisk) {
    const Bytes fragment = Fragment();
    ASSERT_EQ(fragment.size(), 1575u);
    Bytes disk(kDiskBytes, 0);
    std::copy(fragment.begin(), fragment.end(), disk.begin());
    ExpectRoundTrip(disk);
}

TEST(Td0CompressedRoundTrip, CatalogueFragmentOverAWholeDisk) {
    const Bytes fragment = Fragment();
    Bytes disk(kDiskBytes);
    for (size_t i = 0; i < disk.size(); ++i) disk[i] = fragment[i % fragment.size()];
    ExpectRoundTrip(disk);
}

}  // namespace
}  // namespace tarvex
