// Our compressed TD0 images read by MAME's floptool: disks whose compressed code once came back with
// changed bytes (a TR-DOS catalogue fragment alone, and the same fragment over a whole disk) must be
// read back to the very TRD they were made from.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;
using test::ShellQuote;

constexpr size_t kDiskBytes = 655360;

bool FloptoolPresent() { return RunCommand("command -v floptool >/dev/null 2>&1").exitCode == 0; }

Bytes Fragment() { return test::ReadFile(test::TestData("lzh-roundtrip-1575.bin")); }

// Our compressed TD0 of `disk`, as floptool reads it back to TRD.
Bytes FloptoolReadsOurCompressedTd0(const Bytes& disk) {
    test::TempDir temp;
    test::WriteFile(temp / "disk.trd", disk);
    const auto convert =
        test::RunCli({"convert", "--to", "td0", "--compress", "-q", "-o", temp / "td0", temp / "disk.trd"});
    EXPECT_EQ(convert.exitCode, 0) << convert.out << convert.err;
    const std::string td0 = temp / "td0/disk.td0", back = temp / "back.trd";
    const auto read =
        RunCommand("timeout 120 floptool flopconvert td0 trd " + ShellQuote(td0) + " " + ShellQuote(back));
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    return test::ReadFile(back);
}

TEST(Td0CompressedInterop, FloptoolReadsTheFragmentDisksBack) {
    if (!FloptoolPresent())
        GTEST_SKIP() << "floptool is not installed: Debian package mame-tools (make test installs it)";
    const Bytes fragment = Fragment();
    ASSERT_EQ(fragment.size(), 1575u);
    Bytes alone(kDiskBytes, 0);
    std::copy(fragment.begin(), fragment.end(), alone.begin());
    Bytes repeated(kDiskBytes);
    for (size_t i = 0; i < repeated.size(); ++i) repeated[i] = fragment[i % fragment.size()];

    EXPECT_TRUE(FloptoolReadsOurCompressedTd0(alone) == alone) << "fragment on an empty disk";
    EXPECT_TRUE(FloptoolReadsOurCompressedTd0(repeated) == repeated) << "fragment over a whole disk";
}

}  // namespace
}  // namespace tarvex
