// Round trips of sector images through tarvex-cli, and conversions between geometries that must fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::CommandResult;
using test::fs::path;
using test::ReadFile;
using test::RunCli;
using test::TempDir;
using test::WriteFile;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

struct Conversion {
    CommandResult result;
    path output;
};

Conversion Convert(const path& source, const std::string& format, const path& outDir, bool overwrite = false) {
    std::vector<std::string> args = {"convert", "-q", "--to", format, "-o", outDir.string()};
    if (overwrite) args.push_back("--overwrite");
    args.push_back(source.string());
    return {RunCli(args), outDir / (source.stem().string() + "." + Lower(format))};
}

// source -> via -> back into fresh folders; the outcome of each step and the final file.
struct RoundTrip {
    Conversion there, back;
};
RoundTrip Through(const path& source, const std::string& via, const std::string& backFormat, const TempDir& dir) {
    RoundTrip trip;
    const std::string name = source.filename().string();
    trip.there = Convert(source, via, dir.path() / (name + "-" + via));
    if (trip.there.result.exitCode == 0)
        trip.back = Convert(trip.there.output, backFormat, dir.path() / (name + "-" + via + "-" + backFormat));
    return trip;
}

void ExpectSameFileAfter(const RoundTrip& trip, const Bytes& expected) {
    ASSERT_EQ(trip.there.result.exitCode, 0) << trip.there.result.out << trip.there.result.err;
    ASSERT_EQ(trip.back.result.exitCode, 0) << trip.back.result.out << trip.back.result.err;
    EXPECT_TRUE(ReadFile(trip.back.output) == expected) << trip.back.output;
}

// The KDI samples of the corpus (there are no real PRO images among them) and generated 160-track
// images of both.
std::vector<path> FiveSectorImages(const TempDir& dir, const std::string& format) {
    std::vector<path> files = format == "KDI" ? test::CorpusFiles("kdi") : std::vector<path>{};
    const path made = dir.path() / ("generated-160." + Lower(format));
    WriteFile(made, test::MakeSectorDumpBytes(160, 5, 1024));
    files.push_back(made);
    return files;
}

TEST(SectorImagesCli, EveryCorpusTrdSurvivesFdi) {
    TempDir dir;
    const auto files = test::CorpusFiles("trd");
    ASSERT_FALSE(files.empty());
    for (const path& trd : files) {
        SCOPED_TRACE(trd.string());
        Bytes source = ReadFile(trd);
        source.resize((source.size() + 4095) / 4096 * 4096, 0);  // a track cut short is filled up with zeros
        const RoundTrip trip = Through(trd, "FDI", "TRD", dir);
        ExpectSameFileAfter(trip, source);
        const Conversion again = Convert(trip.there.output, "fdi", dir.path() / (trd.filename().string() + "-again"));
        ASSERT_EQ(again.result.exitCode, 0) << again.result.out;
        EXPECT_TRUE(ReadFile(again.output) == ReadFile(trip.there.output)) << "FDI -> FDI changed the image";
    }
}

TEST(SectorImagesCli, ProAndKdiSurviveFdi) {
    TempDir dir;
    for (const std::string format : {"PRO", "KDI"}) {
        for (const path& file : FiveSectorImages(dir, format)) {
            SCOPED_TRACE(file.string());
            const RoundTrip trip = Through(file, "FDI", format, dir);
            ExpectSameFileAfter(trip, ReadFile(file));
            const Conversion again =
                Convert(trip.there.output, "fdi", dir.path() / (file.filename().string() + "-again"));
            ASSERT_EQ(again.result.exitCode, 0) << again.result.out;
            EXPECT_TRUE(ReadFile(again.output) == ReadFile(trip.there.output)) << "FDI -> FDI changed the image";
        }
    }
}

TEST(SectorImagesCli, ProSurvivesUdi) {
    TempDir dir;
    for (const path& file : FiveSectorImages(dir, "PRO")) {
        SCOPED_TRACE(file.string());
        const RoundTrip trip = Through(file, "UDI", "PRO", dir);
        ExpectSameFileAfter(trip, ReadFile(file));
    }
}

TEST(SectorImagesCli, KdiSurvivesTd0) {
    TempDir dir;
    for (const path& file : FiveSectorImages(dir, "KDI")) {
        SCOPED_TRACE(file.string());
        const RoundTrip trip = Through(file, "TD0", "KDI", dir);
        ExpectSameFileAfter(trip, ReadFile(file));
    }
}

// Two cylinders written on head 0 only, 16 sectors of 256 bytes each: a one-sided TR-DOS disk.
Bytes OneSidedFdi() {
    Bytes f{'F', 'D', 'I', 0};
    for (uint16_t v : {2, 1, 0, 0, 0}) PutU16(f, v);
    for (uint8_t c = 0; c < 2; ++c) {
        PutU32(f, c * 4096u);
        PutU16(f, 0);
        PutU8(f, 16);
        for (uint8_t r = 1; r <= 16; ++r) {
            for (uint8_t b : {c, uint8_t{0}, r, uint8_t{1}, uint8_t{2}}) PutU8(f, b);
            PutU16(f, static_cast<uint16_t>((r - 1) * 256));
        }
    }
    const size_t text = f.size();
    PutU8(f, 0);
    f[8] = static_cast<uint8_t>(text);
    f[9] = static_cast<uint8_t>(text >> 8);
    f[10] = static_cast<uint8_t>(f.size());
    f[11] = static_cast<uint8_t>(f.size() >> 8);
    f.resize(f.size() + 2 * 4096, 0xE5);
    return f;
}

TEST(SectorImagesCli, ConversionsBetweenGeometriesFailAndLeaveNoFile) {
    TempDir dir;
    WriteFile(dir / "disk.trd", test::MakeTrdBytes(4));
    WriteFile(dir / "disk.pro", test::MakeSectorDumpBytes(4, 5, 1024));
    WriteFile(dir / "disk.kdi", test::MakeSectorDumpBytes(4, 5, 1024));
    WriteFile(dir / "one-sided.fdi", OneSidedFdi());
    const struct {
        const char* source;
        const char* target;
        const char* message;
    } cases[] = {
        {"disk.trd", "PRO", "Not Profi CPM disk format! Bad sector size! (T-0 / S-1: 256 байт)"},
        {"disk.pro", "KDI", "Not Korvet format! Sector (T-0 / S-5) not found!"},
        {"disk.kdi", "PRO", "Not Profi CPM disk format! Sector (T-0 / S-9) not found!"},
        {"one-sided.fdi", "TRD", "Not TR-DOS disk format! Sector (T-1 / S-1) not found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        const path out = dir.path() / ("out-" + std::string(c.source) + "-" + c.target);
        Conversion conversion = Convert(dir / c.source, c.target, out);
        EXPECT_EQ(conversion.result.exitCode, 1);
        EXPECT_NE(conversion.result.out.find(std::string("Error save file! (") + c.message + ")"), std::string::npos)
            << conversion.result.out;
        EXPECT_FALSE(test::fs::exists(conversion.output));
        EXPECT_TRUE(test::fs::is_empty(out)) << "no temporary file is left behind";

        const Bytes earlier{'o', 'l', 'd'};
        WriteFile(conversion.output, earlier);
        conversion = Convert(dir / c.source, c.target, out, true);
        EXPECT_EQ(conversion.result.exitCode, 1);
        EXPECT_EQ(ReadFile(conversion.output), earlier) << "an existing file stays as it was";
    }
}

TEST(SectorImagesCli, InfoShowsProAndKdiGeometry) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    WriteFile(dir / "disk.pro", test::MakeSectorDumpBytes(160, 5, 1024));
    WriteFile(dir / "disk.kdi", test::MakeSectorDumpBytes(160, 5, 1024));
    Bytes tooBig = test::MakeSectorDumpBytes(257, 5, 1024);
    WriteFile(dir / "big.pro", tooBig);

    CommandResult info = RunCli({"info", dir / "disk.pro"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("tracks: 160 (cylinders 80, sides 2), sectors: 800"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("5 x 1024: 01 02 03 04 09\n"), std::string::npos) << info.out;
    info = RunCli({"info", dir / "disk.kdi"});
    EXPECT_NE(info.out.find("tracks: 160 (cylinders 80, sides 2), sectors: 800"), std::string::npos) << info.out;
    EXPECT_EQ(info.out.find("09\n"), std::string::npos) << "no sector 9 on a Korvet disk";

    const Conversion refused = Convert(dir / "big.pro", "KDI", dir.path() / "out");
    EXPECT_EQ(refused.result.exitCode, 1);
    EXPECT_NE(refused.result.out.find("PRO image has 257 tracks; at most 256 are supported!"), std::string::npos)
        << refused.result.out;
}

}  // namespace
}  // namespace tarvex
