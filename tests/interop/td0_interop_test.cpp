// Our TD0 images read by independent programs, and their reading of real TD0 images compared with
// ours: MAME's floptool (TD0 to TRD, and TD0 to the HxC MFM bitstream format, whose sectors we decode
// here) and libdsk's dsktrans (TD0 to a raw sector dump).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "disk/zx_disk.h"
#include "formats/td0.h"
#include "interop_tools.h"
#include "io/byte_reader.h"
#include "io/image_file.h"
#include "mfm_test_decoder.h"
#include "test_support.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::Floptool;
using test::FoundSector;
using test::MfmTrack;
using test::RunCommand;
using test::ShellQuote;

bool AllZero(const Bytes& b, size_t from) {
    return std::all_of(b.begin() + static_cast<std::ptrdiff_t>(std::min(from, b.size())), b.end(),
                       [](uint8_t x) { return x == 0; });
}

// ---- Sectors decoded from an HxC MFM bitstream image -----------------------------------------

// Track index (cylinder * 2 + side) -> sectors in the order they pass the head.
std::map<unsigned, std::vector<FoundSector>> ReadHxcMfm(const Bytes& file) {
    std::map<unsigned, std::vector<FoundSector>> tracks;
    ByteReader in(file);
    const ByteSpan signature = in.Take(7);
    if (std::memcmp(signature.data(), "HXCMFM", 6) != 0) return tracks;
    const unsigned count = in.U16();
    const unsigned sides = in.U8();
    in.Skip(5);
    in.Seek(in.U32());
    for (unsigned t = 0; t < count * sides; ++t) {
        const unsigned cylinder = in.U16();
        const unsigned side = in.U8();
        const uint32_t size = in.U32();
        const uint32_t offset = in.U32();
        ByteReader track(file);
        track.Seek(offset);
        tracks[cylinder * 2 + side] = MfmTrack(track.Take(size), test::CellOrder::kMsbFirst).Sectors();
    }
    return tracks;
}

// ---- Our TD0 read by floptool ----------------------------------------------------------------

TEST(Td0Interop, FloptoolReadsOurTd0BackToTheOriginalTrd) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    for (const fs::path& trd : test::CorpusFiles("trd")) {
        SCOPED_TRACE(trd.filename().string());
        const Bytes original = test::ReadFile(trd);
        TZX_Disk disk;
        bool readable = false;
        try {
            readable = disk.LoadTRD(trd.string());
        } catch (const StreamReadError&) {
        }
        if (!readable) {
            // A TRD whose size rounds to more whole tracks than it holds is refused by our TRD reader,
            // so there is no TD0 to make.
            EXPECT_NE(original.size() % 4096, 0u) << "only a cut-short TRD may be refused";
            continue;
        }
        const size_t held = static_cast<size_t>(disk.CountTracks()) * 4096;
        for (bool compress : {false, true}) {
            const fs::path out = dir.path() / (compress ? "packed" : "plain");
            std::vector<std::string> args = {"convert",    "--to",        "td0", "-o",
                                             out.string(), "--overwrite", "-q",  trd.string()};
            if (compress) args.push_back("--compress");
            const CommandResult convert = test::RunCli(args);
            ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
            const fs::path td0 = out / (trd.stem().string() + ".td0");
            EXPECT_EQ(test::ReadFile(td0)[0], compress ? 't' : 'T');

            const fs::path back = dir.path() / "back.trd";
            fs::remove(back);
            const CommandResult read = Floptool("td0", "trd", td0, back);
            ASSERT_EQ(read.exitCode, 0) << read.out << read.err;
            const Bytes got = test::ReadFile(back);
            if (original.size() == 655360) {
                EXPECT_EQ(got, original) << (compress ? "compressed" : "plain");
                continue;
            }
            // Odd sizes: floptool writes its own geometry (at most 80 cylinders, zero-filled); every
            // track we hold must come back, and nothing else.
            const size_t common = std::min(held, got.size());
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + common, original.begin())) << compress;
            EXPECT_TRUE(AllZero(got, held)) << compress;
            if (got.size() < held) {
                EXPECT_EQ(got.size(), 655360u) << compress;
            }
        }
    }
}

TEST(Td0Interop, FloptoolReadsOurIdsWithoutData) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    TTrack& t = *disk.Track(1);
    for (unsigned s : {4u, 9u}) {
        t.Sectors[s].DataLength = 0;
        t.Sectors[s].Data.fill(0);
    }
    t.Sectors[9].DataCrcOk = 0;
    TSectorSlot& unreadable = t.Sectors[16];  // an ID whose size no controller can read
    unreadable.Used = kFlagSet;
    unreadable.Cylinder = 164;
    unreadable.Head = 66;
    unreadable.SectorNo = 247;
    unreadable.SizeCode = 247;
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        const fs::path td0 = dir.path() / "idonly.td0";
        const fs::path mfm = dir.path() / "idonly.mfm";
        ASSERT_TRUE(disk.SaveTD0(td0.string(), compress));
        fs::remove(mfm);
        const CommandResult convert = Floptool("td0", "mfm", td0, mfm);
        ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
        const auto theirs = ReadHxcMfm(test::ReadFile(mfm));
        ASSERT_EQ(theirs.count(1), 1u);
        const std::vector<FoundSector>& found = theirs.at(1);
        ASSERT_EQ(found.size(), 17u);
        for (unsigned s = 0; s < 17; ++s) {
            const TSectorSlot& slot = t.Sectors[s];
            SCOPED_TRACE(s);
            EXPECT_EQ(found[s].r, slot.SectorNo);
            EXPECT_EQ(found[s].n, slot.SizeCode);
            EXPECT_EQ(found[s].hasData, slot.DataLength != 0);
            if (found[s].hasData) {
                EXPECT_EQ(found[s].data, Bytes(slot.Data.begin(), slot.Data.begin() + 256));
            }
        }
    }
}

TEST(Td0Interop, FloptoolFinishesOurCompressedTd0WhateverItsDate) {
    // The comment block's date changes every bit of the code after it, and so where the last symbols
    // fall in the last bytes. Without the zero tail after the code, floptool never finished about a
    // third of these.
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    const fs::path trd = test::CorpusDir() / "trd" / "zxevo-256c-5.trd";
    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadTRD(trd.string()));
    const Bytes original = test::ReadFile(trd);
    for (int v = 0; v < 12; ++v) {
        std::tm when{};
        when.tm_year = 120 + v;
        when.tm_mon = v;
        when.tm_mday = 1 + 2 * v;
        when.tm_hour = v;
        when.tm_min = 5 * v;
        when.tm_sec = 7 * v % 60;
        Bytes image;
        ASSERT_TRUE(BuildTD0At(disk, image, true, when));
        const fs::path td0 = dir.path() / "dated.td0";
        const fs::path back = dir.path() / "dated.trd";
        SaveFileAtomic(td0.string(), image);
        fs::remove(back);
        ASSERT_EQ(Floptool("td0", "trd", td0, back).exitCode, 0) << v;
        EXPECT_EQ(test::ReadFile(back), original) << v;
    }
}

// ---- Real TD0 images: floptool's and dsktrans's reading against ours -------------------------

TEST(Td0Interop, CorpusTd0SectorsAgreeWithFloptool) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    for (const fs::path& td0 : test::CorpusFiles("td0")) {
        if (td0.extension() != ".td0") continue;
        // floptool's MFM output of a high-density disk holds no sector we can decode; those are held
        // against dsktrans below.
        if (td0.filename().string().starts_with("ecat2-")) continue;
        SCOPED_TRACE(td0.filename().string());
        TZX_Disk disk;
        ASSERT_TRUE(disk.LoadTD0(td0.string())) << disk.StatusMessage;

        const fs::path mfm = dir.path() / "image.mfm";
        fs::remove(mfm);
        const CommandResult convert = Floptool("td0", "mfm", td0, mfm);
        ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
        const auto theirs = ReadHxcMfm(test::ReadFile(mfm));
        ASSERT_FALSE(theirs.empty());

        size_t compared = 0;
        for (unsigned k = 0; k < kMaxTracks; ++k) {
            TTrack& track = *disk.Track(k);
            const auto it = theirs.find(k);
            const std::vector<FoundSector> none;
            const std::vector<FoundSector>& found = it == theirs.end() ? none : it->second;
            ASSERT_EQ(track.CountSectors(), found.size()) << "track " << k;
            for (unsigned s = 0; s < found.size(); ++s) {
                const TSectorSlot& slot = *track.Sector(s);
                const FoundSector& f = found[s];
                SCOPED_TRACE("track " + std::to_string(k) + " slot " + std::to_string(s));
                test::ExpectSlotHoldsFound(slot, f);
                if (!f.hasData) continue;
                ++compared;
            }
        }
        EXPECT_GT(compared, 0u);
    }
}

TEST(Td0Interop, TrdosTd0ReadsAsFloptoolReadsIt) {
    REQUIRE_TOOL("floptool");
    test::TempDir dir;
    for (const char* name : {"zxtune-ufo1.td0"}) {
        SCOPED_TRACE(name);
        const fs::path td0 = test::CorpusDir() / "td0" / name;
        const CommandResult ours =
            test::RunCli({"convert", "--to", "trd", "-o", dir.path().string(), "-q", td0.string()});
        ASSERT_EQ(ours.exitCode, 0) << ours.out << ours.err;
        const fs::path theirs = dir.path() / "floptool.trd";
        fs::remove(theirs);
        ASSERT_EQ(Floptool("td0", "trd", td0, theirs).exitCode, 0);
        const Bytes ourTrd = test::ReadFile(dir.path() / (td0.stem().string() + ".trd"));
        EXPECT_EQ(ourTrd, test::ReadFile(theirs));
    }
}

// libdsk's dsktrans: a TD0 image to a raw dump of the named PC geometry ("ibm720", "ibm1440").
CommandResult Dsktrans(const std::string& geometry, const fs::path& td0, const fs::path& raw) {
    fs::remove(raw);
    return RunCommand("dsktrans -itype tele -otype raw -format " + geometry + " " + ShellQuote(td0.string()) + " " +
                      ShellQuote(raw.string()) + " </dev/null >/dev/null");
}

// Our disk as a raw PC dump: sectors 1..sectorsPerTrack of 512 bytes on each of the tracks; a missing or
// other-sized sector is a failure and gives an empty dump.
Bytes PcSectorDump(TZX_Disk& disk, unsigned sectorsPerTrack, unsigned tracks = 160) {
    Bytes dump;
    for (unsigned k = 0; k < tracks; ++k) {
        for (unsigned r = 1; r <= sectorsPerTrack; ++r) {
            const TSectorSlot* slot = disk.FindSector(k, r);
            if (slot == nullptr || slot->DataLength != 512) {
                ADD_FAILURE() << "track " << k << " sector " << r << (slot ? " is not 512 bytes" : " is missing");
                return {};
            }
            dump.insert(dump.end(), slot->Data.begin(), slot->Data.begin() + 512);
        }
    }
    return dump;
}

TEST(Td0Interop, HighDensityDiskWithDataFieldsWithoutAnIdReadsAsDsktransReadsIt) {
    // Every track also holds a data field without an ID (sector 118), which we keep as such; the 18 real
    // sectors must be exactly what dsktrans reads, from both captures.
    REQUIRE_TOOL("dsktrans");
    test::TempDir dir;
    for (const char* name : {"ecat2-216adv.td0", "ecat2-216norm.td0"}) {
        SCOPED_TRACE(name);
        const fs::path td0 = test::CorpusDir() / "td0" / name;
        const fs::path raw = dir.path() / "dsktrans.raw";
        const CommandResult read = Dsktrans("ibm1440", td0, raw);
        ASSERT_EQ(read.exitCode, 0) << read.err;
        TZX_Disk disk;
        ASSERT_TRUE(disk.LoadTD0(td0.string())) << disk.StatusMessage;
        for (unsigned k = 0; k < 160; ++k) {
            ASSERT_EQ(disk.Track(k)->CountSectors(), 19) << k;
            ASSERT_TRUE(disk.FindSector(k, 118) && disk.FindSector(k, 118)->IdMissing) << k;
        }
        const Bytes ours = PcSectorDump(disk, 18);
        ASSERT_FALSE(ours.empty());
        EXPECT_EQ(ours, test::ReadFile(raw));

        // Written again by us, plain and compressed: the header says high density, so dsktrans finds
        // the same sectors.
        for (bool compress : {false, true}) {
            const fs::path again = dir.path() / (compress ? "packed.td0" : "plain.td0");
            ASSERT_TRUE(disk.SaveTD0(again.string(), compress));
            EXPECT_EQ(test::ReadFile(again)[5], 2) << compress;  // 500 kbit/s
            const CommandResult reread = Dsktrans("ibm1440", again, raw);
            ASSERT_EQ(reread.exitCode, 0) << reread.err;
            EXPECT_EQ(test::ReadFile(raw), ours) << compress;
        }
    }
}

TEST(Td0Interop, PcDiskReadsAsDsktransReadsIt) {
    // A 360 KB PC disk (40 cylinders, 2 sides, 9 x 512) saved with advanced compression by another writer.
    REQUIRE_TOOL("dsktrans");
    test::TempDir dir;
    const fs::path td0 = test::CorpusDir() / "td0" / "fluxfox-sector-test-360k.td0";
    const fs::path raw = dir.path() / "dsktrans.raw";
    const CommandResult read = Dsktrans("ibm360", td0, raw);
    ASSERT_EQ(read.exitCode, 0) << read.err;

    TZX_Disk disk;
    ASSERT_TRUE(disk.LoadTD0(td0.string()));
    const Bytes ours = PcSectorDump(disk, 9, 80);
    ASSERT_EQ(ours.size(), 368640u);
    EXPECT_EQ(ours, test::ReadFile(raw));

    // And the same disk written by us, plain and compressed, read by dsktrans.
    for (bool compress : {false, true}) {
        const fs::path again = dir.path() / (compress ? "packed.td0" : "plain.td0");
        ASSERT_TRUE(disk.SaveTD0(again.string(), compress));
        const CommandResult reread = Dsktrans("ibm360", again, raw);
        ASSERT_EQ(reread.exitCode, 0) << reread.err;
        EXPECT_EQ(test::ReadFile(raw), ours) << compress;
    }
}

}  // namespace
}  // namespace tarvex
