// Running the independent tools of the interop tests: whether one is installed, and floptool's conversion
// from one floppy format to another.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "disk/zx_disk.h"
#include "test_support.h"

namespace tarvex::test {

inline bool ToolPresent(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").exitCode == 0;
}

// MAME's floptool: `floptool flopconvert FROM TO IN OUT`, given two minutes at most.
inline CommandResult Floptool(const std::string& from, const std::string& to, const std::filesystem::path& in,
                              const std::filesystem::path& out) {
    return RunCommand("timeout 120 floptool flopconvert " + from + " " + to + " " + ShellQuote(in.string()) + " " +
                      ShellQuote(out.string()));
}

// A two-sided PC disk of nine 512-byte sectors per track (IDs carry the real cylinder and head), from a raw
// dump: sector r of track k holds the dump's bytes of sector k * 9 + r - 1.
inline void FillPcDisk(TZX_Disk& disk, const Bytes& dump, unsigned cylinders) {
    constexpr unsigned kSectors = 9, kSectorBytes = 512;
    for (unsigned k = 0; k < 2 * cylinders; ++k) {
        disk.Track(k)->Used = kFlagSet;
        for (unsigned s = 0; s < kSectors; ++s) {
            TSectorSlot& slot = *disk.Track(k)->Sector(s);
            slot = {.Used = kFlagSet, .Cylinder = static_cast<uint8_t>(k / 2), .Head = static_cast<uint8_t>(k % 2),
                    .SectorNo = static_cast<uint8_t>(s + 1), .SizeCode = 2, .DataCrcOk = kFlagSet,
                    .DataLength = kSectorBytes};
            const size_t at = (size_t{k} * kSectors + s) * kSectorBytes;
            std::copy_n(dump.begin() + static_cast<std::ptrdiff_t>(at), kSectorBytes, disk.ReserveData(slot, kSectorBytes));
        }
    }
}

// The Debian package that brings an independent tool the interop tests run.
inline const char* ToolPackage(const std::string& name) {
    if (name == "floptool") return "mame-tools";
    if (name == "dsktrans") return "libdsk-utils";
    if (name == "scl2trd") return "fuse-emulator-utils";
    return "unknown package";
}

}  // namespace tarvex::test

#define REQUIRE_TOOL(name)                                                                                  \
    if (!::tarvex::test::ToolPresent(name))                                                                 \
    GTEST_SKIP() << name << " is not installed: Debian package " << ::tarvex::test::ToolPackage(name)      \
                 << " (make test installs it)"
