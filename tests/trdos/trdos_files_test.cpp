#include "trdos/trdos_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "disk/zx_disk.h"
#include "test_locale.h"
#include "test_support.h"
#include "trdos/hobeta.h"
#include "trdos/host_files.h"

namespace tarvex {
namespace {

TrdosFileEntry Entry(const std::string& name, uint8_t type = 'C') {
    TrdosFileEntry e;
    e.Name = *TrdosNameOf(name);
    e.Type = type;
    e.Start = 0x6000;
    return e;
}

Bytes Pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i * 7 + i / 256);
    return b;
}

Bytes Trd(TZX_Disk& disk) {
    Bytes out;
    EXPECT_TRUE(disk.BuildTRD(out)) << disk.StatusMessage;
    return out;
}

// The live files as the catalogue points at them, keyed by title, and the free-space counters checked
// against the sectors the files take.
std::map<std::string, Bytes> LiveFiles(TZX_Disk& disk, unsigned diskSectors) {
    TrdosCatalogue c;
    EXPECT_TRUE(disk.ReadCatalogue(c));
    std::map<std::string, Bytes> files;
    unsigned end = 16;
    for (unsigned i = 0; i < TrdosEntryCount(c); ++i) {
        const TrdosFileEntry& e = c.Entries[i];
        EXPECT_EQ(e.FirstTrack * 16u + e.FirstSector, end) << "files lie one after another";
        end += e.SectorCount;
        if (e.Deleted()) continue;
        Bytes sectors;
        EXPECT_TRUE(ReadTrdosFile(disk, e, sectors));
        sectors.resize(e.Length);
        files[TrdosFileTitle(e)] = sectors;
    }
    EXPECT_EQ(c.FirstFreeTrack * 16u + c.FirstFreeSector, end);
    EXPECT_EQ(c.FreeSectors, diskSectors - end);
    return files;
}

// Random files added, replaced, deleted and compacted away: the catalogue always holds exactly the files
// expected, with their bytes, and the counters agree with it.
TEST(TrdosFiles, RandomAddDeleteCompactKeepsEveryFile) {
    const test::ScopedLocale english(test::kEnglishLocale);
    std::mt19937 random(2024);
    for (int round = 0; round < 20; ++round) {
        TZX_Disk disk;
        ASSERT_TRUE(FormatTrdos(disk, {40, 2}, "RANDOM"));
        std::map<std::string, Bytes> expected;
        for (int step = 0; step < 40; ++step) {
            const unsigned action = random() % 10;
            const std::string name = "F" + std::to_string(random() % 12);
            if (action < 6) {
                const Bytes data = Pattern(random() % 30000, random());
                TrdosFileEntry e = Entry(name);
                e.Length = static_cast<uint16_t>(data.size());
                const bool replace = action == 5, known = expected.count(name + ".C") > 0;
                const Status added =
                    AddTrdosFile(disk, e, data, replace ? IfFileExists::kReplace : IfFileExists::kRefuse);
                if (known && !replace) {
                    EXPECT_EQ(added.reason(), "File " + name + ".C is already on the disk!");
                } else if (!added) {
                    EXPECT_TRUE(added.reason().starts_with("Disk full")) << added.reason();
                }
                if (added) expected[name + ".C"] = data;
            } else if (action < 9) {
                TrdosCatalogue c;
                ASSERT_TRUE(disk.ReadCatalogue(c));
                for (unsigned i = 0; i < TrdosEntryCount(c); ++i)
                    if (!c.Entries[i].Deleted() && TrdosFileTitle(c.Entries[i]) == name + ".C") {
                        ASSERT_TRUE(DeleteTrdosFile(disk, i));
                        expected.erase(name + ".C");
                    }
            } else {
                ASSERT_TRUE(CompactTrdosDisk(disk));
                TrdosCatalogue c;
                ASSERT_TRUE(disk.ReadCatalogue(c));
                EXPECT_EQ(c.DeletedCount, 0);
                EXPECT_EQ(c.FileCount, expected.size());
            }
            ASSERT_EQ(LiveFiles(disk, 80 * 16), expected) << "round " << round << " step " << step;
        }
    }
}

TEST(TrdosFiles, RefusalsNameTheReasonAndLeaveTheDiskAsItWas) {
    const test::ScopedLocale english(test::kEnglishLocale);
    struct Case {
        const char* what;
        std::function<void(TZX_Disk&)> prepare;
        const char* name;
        Bytes data;
        const char* reason;
    };
    const auto fill = [](unsigned files, unsigned sectors) {
        return [=](TZX_Disk& disk) {
            for (unsigned i = 0; i < files; ++i)
                ASSERT_TRUE(
                    AddTrdosFile(disk, Entry("N" + std::to_string(i)), Bytes(sectors * 256, 1), IfFileExists::kRefuse));
        };
    };
    const Case cases[] = {
        {"disk full", fill(10, 254), "Y", Bytes(4 * 256 - 10), "Disk full: Y.C needs 4 sectors, 3 are free!"},
        {"catalogue full", fill(127, 1), "Y", Bytes(1), "Catalogue full: the disk holds 128 files already!"},
        {"name there", fill(0, 0), "X", Bytes(1), "File X.C is already on the disk!"},
        {"too large", fill(0, 0), "Y", Bytes(256 * 256),
         "File Y.C is too large for TR-DOS: 65536 bytes, at most 65280!"},
        {"not TR-DOS", [](TZX_Disk& disk) { disk.Track(0)->Sector(8)->Data[0xE7] = 0; }, "Y", Bytes(1),
         "Not a TR-DOS disk image! Bad catalogue!"},
    };
    for (const Case& c : cases) {
        TZX_Disk disk;
        ASSERT_TRUE(FormatTrdos(disk, {80, 2}, "FULL"));
        ASSERT_TRUE(AddTrdosFile(disk, Entry("X"), Bytes(1), IfFileExists::kRefuse));
        c.prepare(disk);
        const Bytes before = Trd(disk);
        const Status added = AddTrdosFile(disk, Entry(c.name), c.data, IfFileExists::kRefuse);
        EXPECT_FALSE(added) << c.what;
        EXPECT_EQ(added.reason(), c.reason) << c.what;
        EXPECT_TRUE(Trd(disk) == before) << c.what;
    }
}

// Adding writes the file's sectors, the catalogue sector of its entry and the disk-information sector;
// nothing else of the image changes.
TEST(TrdosFiles, AddChangesOnlyTheSectorsItMust) {
    TZX_Disk disk;
    ASSERT_TRUE(FormatTrdos(disk, {80, 2}, "ONLY"));
    for (int i = 0; i < 17; ++i) ASSERT_TRUE(AddTrdosFile(disk, Entry("A" + std::to_string(i)), Bytes(300, 9), {}));
    const Bytes before = Trd(disk);
    ASSERT_TRUE(AddTrdosFile(disk, Entry("NEW"), Pattern(700, 3), IfFileExists::kRefuse));
    const Bytes after = Trd(disk);
    ASSERT_EQ(before.size(), after.size());
    std::vector<size_t> changed;
    for (size_t s = 0; s < before.size() / 256; ++s)
        if (std::memcmp(&before[s * 256], &after[s * 256], 256) != 0) changed.push_back(s);
    // 17 files of 2 sectors end at sector 16 + 34 = 50; entry 17 lies in catalogue sector 2 (index 1).
    EXPECT_EQ(changed, (std::vector<size_t>{1, 8, 50, 51, 52}));
}

// A TRD cut short after its last used track gets the tracks a file needs, up to those its disk type gives.
TEST(TrdosFiles, AnImageCutShortGrowsToTheTracksAFileNeeds) {
    TZX_Disk full;
    ASSERT_TRUE(FormatTrdos(full, {40, 2}, "SHORT"));
    ASSERT_TRUE(AddTrdosFile(full, Entry("FIRST"), Pattern(5000, 1), IfFileExists::kRefuse));
    const Bytes trd = Trd(full);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseTRD(ByteSpan(trd).first(3 * 16 * 256)));
    TrdosFileEntry second = Entry("SECOND");
    second.Length = 9000;
    ASSERT_TRUE(AddTrdosFile(disk, second, Pattern(9000, 2), IfFileExists::kRefuse));
    EXPECT_EQ(disk.CountTracks(), 5u) << "tracks 3 and 4 formatted";
    EXPECT_EQ(LiveFiles(disk, 80 * 16).at("SECOND.C"), Pattern(9000, 2));
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(AddTrdosFile(disk, Entry("H" + std::to_string(i)), Bytes(255 * 256, 3), IfFileExists::kRefuse));
    EXPECT_EQ(disk.CountTracks(), 69u) << "16 + 20 + 36 + 4 * 255 sectors";
    EXPECT_FALSE(AddTrdosFile(disk, Entry("H4"), Bytes(255 * 256), IfFileExists::kRefuse)) << "188 sectors free";
}

TEST(Hobeta, ChecksumAndRoundTrip) {
    const test::ScopedLocale english(test::kEnglishLocale);
    // "A       " C, start 0x8000, length 0x0100, one sector: the 15 bytes sum to 486, 257 * 486 + 105 = 125007,
    // which is 0xE84F modulo 65536.
    TrdosFileEntry e = Entry("A");
    e.Start = 0x8000;
    e.Length = 0x100;
    e.SectorCount = 1;
    const Bytes file = MakeHobeta(e, Pattern(256, 1));
    ASSERT_EQ(file.size(), 17u + 256u);
    EXPECT_EQ(file[13], 0);
    EXPECT_EQ(file[14], 1);
    EXPECT_EQ(file[15] | file[16] << 8, 0xE84F);
    TrdosFileEntry read;
    Bytes data;
    ASSERT_TRUE(ParseHobeta(file, read, data));
    EXPECT_EQ(read.Name, e.Name);
    EXPECT_EQ(read.Start, 0x8000);
    EXPECT_EQ(data, Pattern(256, 1));

    Bytes bad = file;
    bad[3] ^= 1;
    EXPECT_EQ(ParseHobeta(bad, read, data).reason(), "Hobeta header checksum error!");
    EXPECT_FALSE(ParseHobeta(ByteSpan(file).first(16), read, data));
    EXPECT_EQ(ParseHobeta(ByteSpan(file).first(17 + 255), read, data).reason(),
              "Hobeta file cut short: 1 sectors counted, 255 bytes there!");
}

TEST(HostFiles, NamesMapBothWays) {
    struct Case {
        const char* trdos;
        uint8_t type;
        const char* hobeta;
        const char* plain;
    };
    const Case cases[] = {
        {"BOOT    ", 'B', "BOOT.$B", "BOOT.B"},        {"A/B:C*? ", 'C', "A_B_C__.$C", "A_B_C__.C"},
        {"\xCC\xEE\xFF     ", 'C', "Моя.$C", "Моя.C"}, {"        ", '/', "_.$_", "_._"},
        {"MY GAME ", 0x01, "MY GAME.$_", "MY GAME._"},
    };
    for (const Case& c : cases) {
        TrdosFileEntry e;
        std::memcpy(e.Name.data(), c.trdos, 8);
        e.Type = c.type;
        EXPECT_EQ(HostFileName(e, true), c.hobeta);
        EXPECT_EQ(HostFileName(e, false), c.plain);
    }
    const std::vector<TrdosFileEntry> same = {Entry("X"), Entry("x"), Entry("X", 'B'), Entry("X")};
    EXPECT_EQ(UniqueHostFileNames(same, true), (std::vector<std::string>{"X.$C", "x~2.$C", "X.$B", "X~3.$C"}));
    EXPECT_EQ(*TrdosNameOf("Длинное имя"), *TrdosNameOf("Длинное"));
    EXPECT_FALSE(TrdosNameOf(""));
    EXPECT_FALSE(TrdosNameOf("\x01X"));
    EXPECT_TRUE(IsHobetaName("dir.x/GAME.$C"));
    EXPECT_FALSE(IsHobetaName("GAME.$CC"));
    EXPECT_FALSE(IsHobetaName(".$C"));

    TrdosFileEntry entry;
    Bytes data;
    ASSERT_TRUE(TrdosFileFromHost("dir/SCREEN.S", Bytes(6912), true, {}, entry, data));
    EXPECT_EQ(TrdosFileTitle(entry), "SCREEN.S");
    EXPECT_EQ(entry.Start, kDefaultPlainStart);
    EXPECT_EQ(entry.SectorCount, 27);
    ASSERT_TRUE(TrdosFileFromHost("x.$C", Bytes(10), true, {"Z", 'D', 16384}, entry, data)) << "plain wins";
    EXPECT_EQ(TrdosFileTitle(entry), "Z.D");
    EXPECT_EQ(entry.Start, 16384);
}

}  // namespace
}  // namespace tarvex
