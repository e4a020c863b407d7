#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_support.h"
#include "trdos/trdos_area.h"

namespace tarvex {
namespace {

using test::MakeSclBytes;
using test::SclFile;

const uint8_t* Info(TZX_Disk& disk) { return disk.Track(0)->Sector(8)->Data.data(); }
unsigned FreeSectors(TZX_Disk& disk) { return Info(disk)[0xE5] | (Info(disk)[0xE6] << 8); }

TEST(Scl, EmptyArchiveReadsAsBlankTrdosDiskAndCannotBeWrittenBack) {
    TZX_Disk disk;
    disk.StatusMessage = "before";
    ASSERT_TRUE(disk.ParseSCL(MakeSclBytes({})));
    EXPECT_EQ(disk.StatusMessage, "before");
    EXPECT_EQ(disk.CountTracks(), 160);
    for (unsigned k = 160; k < kMaxTracks; ++k) EXPECT_EQ(disk.Track(k)->Used, 0);
    for (unsigned k : {0u, 1u, 159u}) {
        TTrack& t = *disk.Track(k);
        EXPECT_EQ(t.CountSectors(), 16);
        EXPECT_EQ(t.RawLength, 0);
        EXPECT_EQ(t.RawValid, 0);
        for (unsigned s = 0; s < 16; ++s) {
            const TSectorSlot& slot = *t.Sector(s);
            EXPECT_EQ(slot.SectorNo, s + 1);
            EXPECT_EQ(slot.Cylinder, k / 2);
            EXPECT_EQ(slot.Head, 0);
            EXPECT_EQ(slot.SizeCode, 1);
            EXPECT_EQ(slot.DataCrcOk, kFlagSet);
            EXPECT_EQ(slot.DataLength, 256);
        }
    }
    const uint8_t* info = Info(disk);
    EXPECT_EQ(info[0xE1], 0);
    EXPECT_EQ(info[0xE2], 1);
    EXPECT_EQ(info[0xE3], 0x16);
    EXPECT_EQ(info[0xE4], 0);
    EXPECT_EQ(FreeSectors(disk), 2544u);
    EXPECT_EQ(info[0xE7], 0x10);
    EXPECT_EQ(info[0xF4], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info + 0xF5), 8), "NEW DISK");
    for (unsigned b = 0; b < 1100; ++b) {
        if (b == 0xE2 || b == 0xE3 || (b >= 0xE5 && b <= 0xE7) || (b >= 0xF5 && b < 0xFD)) continue;
        ASSERT_EQ(info[b], 0) << "byte " << b;
    }
    Bytes out;
    EXPECT_FALSE(disk.BuildSCL(out));
    EXPECT_EQ(disk.StatusMessage, "Missing of files");
}

TEST(Scl, FilesAreStoredInConsecutiveSectorsFromTrackOne) {
    // 3 sectors, then 20 sectors from sector 3 of track 1 (crossing into track 2), then 14 one-sector files.
    std::vector<SclFile> files = {{.name = "three", .type = 'B', .start = 0x1234, .length = 700, .sectors = 3},
                                  {.name = "twenty", .type = 'C', .start = 0x6000, .length = 5000, .sectors = 20}};
    for (int i = 0; i < 15; ++i) files.push_back({.name = "f" + std::to_string(i), .sectors = 1});
    const Bytes scl = MakeSclBytes(files);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseSCL(scl));

    TrdosCatalogue c;
    ASSERT_TRUE(disk.ReadCatalogue(c));
    ASSERT_EQ(c.Entries.size(), 17u);
    EXPECT_EQ(c.Entries[0].FirstTrack, 1);
    EXPECT_EQ(c.Entries[0].FirstSector, 0);
    EXPECT_EQ(c.Entries[0].Start, 0x1234);
    EXPECT_EQ(c.Entries[0].Length, 700);
    EXPECT_EQ(c.Entries[1].FirstTrack, 1);
    EXPECT_EQ(c.Entries[1].FirstSector, 3);
    EXPECT_EQ(c.Entries[2].FirstTrack, 2) << "3 + 20 sectors end at sector 6 of track 2";
    EXPECT_EQ(c.Entries[2].FirstSector, 7);
    // The data of the 20-sector file: its last sector is sector 6 (slot 6) of track 2.
    const size_t twentyData = 9 + 14 * files.size() + 3 * 256;
    EXPECT_EQ(0, std::memcmp(disk.Track(1)->Sector(3)->Data.data(), &scl[twentyData], 256));
    EXPECT_EQ(0, std::memcmp(disk.Track(2)->Sector(6)->Data.data(), &scl[twentyData + 19 * 256], 256));
    // Entry 16 (the 17th) is the first entry of catalogue sector 2.
    const uint8_t* sector2 = disk.Track(0)->Sector(1)->Data.data();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sector2), 8), "f14     ");
    EXPECT_EQ(sector2[8], 'C');
    EXPECT_EQ(c.FileCount, 17);
    EXPECT_EQ(c.FirstFreeTrack, 3) << "15 one-sector files from sector 7 of track 2 end at sector 5 of track 3";
    EXPECT_EQ(c.FirstFreeSector, 6);
    EXPECT_EQ(c.FreeSectors, 2544u - 3 - 20 - 15);

    Bytes out;
    ASSERT_TRUE(disk.BuildSCL(out));
    EXPECT_EQ(out, scl) << "a read archive writes back byte for byte";
}

TEST(Scl, TwentySectorFileFromTrackOneEndsInTrackTwo) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseSCL(MakeSclBytes({{.name = "long", .sectors = 20}, {.name = "next", .sectors = 1}})));
    TrdosCatalogue c;
    ASSERT_TRUE(disk.ReadCatalogue(c));
    ASSERT_EQ(c.Entries.size(), 2u);
    EXPECT_EQ(c.Entries[1].FirstTrack, 2);
    EXPECT_EQ(c.Entries[1].FirstSector, 4);
    EXPECT_EQ(disk.Track(2)->Sector(3)->Data[0], static_cast<uint8_t>(19 * 7)) << "the last sector of the first file";
    EXPECT_EQ(disk.Track(2)->Sector(4)->Data[0], 31) << "the first sector of the second file";
}

TEST(Scl, OneThreeSectorFileLeavesTheCountersAfterIt) {
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseSCL(MakeSclBytes({{.name = "abc", .sectors = 3}})));
    EXPECT_EQ(Info(disk)[0xE1], 3);
    EXPECT_EQ(Info(disk)[0xE2], 1);
    EXPECT_EQ(Info(disk)[0xE4], 1);
    EXPECT_EQ(FreeSectors(disk), 2541u);
    EXPECT_EQ(disk.Track(1)->Sector(2)->Data[0], static_cast<uint8_t>(2 * 7));
    EXPECT_EQ(disk.Track(1)->Sector(3)->Data[0], 0) << "sector 4 stays blank";
}

TEST(Scl, ReaderChecksInOrderAndNamesTheBadFile) {
    TZX_Disk disk;
    Bytes scl = MakeSclBytes({{.name = "one", .sectors = 2}});
    Bytes bad = scl;
    bad[0] = 's';  // both the signature and the sum are now wrong: the sum is checked first
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage, "Ошибка в контрольной сумме файла!");
    test::FixSclChecksum(bad);
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage, "Неверный дескриптор файла!");

    bad = {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', 3, 0, 0, 0, 0};  // three headers announced, none there
    test::FixSclChecksum(bad);
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage, "Ошибка в длинне файла!");
    EXPECT_EQ(disk.CountTracks(), 0u) << "nothing is formatted before the archive is found whole";

    std::vector<SclFile> many(129, SclFile{.name = "x", .sectors = 0});
    bad = MakeSclBytes(many);
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage, "Количество файлов превышает максимально возможное!");

    // The second file claims 10 sectors while only 9 are there.
    bad = MakeSclBytes({{.name = "first", .sectors = 1}, {.name = "game", .type = 'B', .sectors = 10}});
    bad.erase(bad.end() - 4 - 256, bad.end() - 4);
    test::FixSclChecksum(bad);
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage, "Ошибочный размер файла game    .B");

    // Headers that run into the checksum leave no room even for a file of no sectors.
    bad = {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', 1, 'n', 'a', 'm', 'e', ' ', ' ', ' ', ' ', 'C', 0, 0, 0, 0, 0};
    test::FixSclChecksum(bad);
    EXPECT_FALSE(disk.ParseSCL(bad));
    EXPECT_EQ(disk.StatusMessage.rfind("Ошибочный размер файла", 0), 0u) << disk.StatusMessage;
}

// An archive made from a disk larger than 80 cylinders holds more than a 160-track disk's free sectors: it
// reads onto a disk with the tracks it needs, so that every archive the writer makes reads back.
TEST(Scl, FilesBeyondAStandardDiskGetTheTracksTheyNeed) {
    TZX_Disk disk;
    std::vector<SclFile> files(10, SclFile{.name = "big", .sectors = 255});
    files.push_back({.name = "tail", .sectors = 7});  // 2557 sectors: 161 tracks with track 0
    const Bytes scl = MakeSclBytes(files);
    ASSERT_TRUE(disk.ParseSCL(scl)) << disk.StatusMessage;
    EXPECT_EQ(disk.CountTracks(), 161u);
    TrdosCatalogue c;
    ASSERT_TRUE(disk.ReadCatalogue(c));
    EXPECT_EQ(c.Entries.size(), 11u);
    EXPECT_EQ(c.FreeSectors, 161 * 16 - 16 - 2557);
    Bytes back;
    ASSERT_TRUE(disk.BuildSCL(back));
    EXPECT_TRUE(back == scl);
    const unsigned huge = (kMaxTracks - 1) * 16 / 255 + 1;  // more than every track can take
    EXPECT_FALSE(disk.ParseSCL(MakeSclBytes(std::vector<SclFile>(huge, SclFile{.name = "x", .sectors = 255}))));
    EXPECT_EQ(disk.StatusMessage, "Нет места на образе диска!");

    // Exactly 2544 sectors fit and fill the disk to its last sector.
    files.assign(9, SclFile{.name = "big", .sectors = 255});
    files.push_back({.name = "last", .sectors = 2544 - 9 * 255});
    const Bytes full = MakeSclBytes(files);
    ASSERT_TRUE(disk.ParseSCL(full));
    EXPECT_EQ(FreeSectors(disk), 0u);
    EXPECT_EQ(Info(disk)[0xE2], 160);
    EXPECT_EQ(Info(disk)[0xE1], 0);
    EXPECT_EQ(disk.CountTracks(), 160);
    Bytes out;
    ASSERT_TRUE(disk.BuildSCL(out));
    EXPECT_EQ(out, full);
}

TEST(Scl, ShortFilesStopWithTheStreamReadError) {
    TZX_Disk disk;
    for (size_t n = 0; n < 4; ++n) EXPECT_THROW(disk.ParseSCL(Bytes(n, 0)), StreamReadError) << n;
    EXPECT_THROW(disk.ParseSCL(Bytes(4, 0)), StreamReadError) << "sum 0 matches, the signature is cut";
    EXPECT_THROW(disk.ParseSCL(Bytes{'S', 'I', 'N', 0xEA, 0, 0, 0}), StreamReadError);
}

// A TR-DOS disk of 160 tracks holding files at given places, built through the SCL reader and then edited.
void MakeDiskWithDeletedFile(TZX_Disk& disk) {
    ASSERT_TRUE(disk.ParseSCL(MakeSclBytes({{.name = "keep1", .sectors = 2},
                                            {.name = "gone", .sectors = 1},
                                            {.name = "keep2", .type = 'B', .sectors = 17}})));
    uint8_t* entries = disk.Track(0)->Sector(0)->Data.data();
    entries[16] = 0x01;               // TR-DOS marks a deleted file by its first name byte
    disk.Track(0)->Sector(8)->Data[0xF4] = 1;
}

TEST(Scl, WriterSkipsDeletedFilesAndCollectsDataAcrossTracks) {
    TZX_Disk disk;
    MakeDiskWithDeletedFile(disk);
    Bytes out;
    ASSERT_TRUE(disk.BuildSCL(out));
    ASSERT_EQ(out[8], 2);
    EXPECT_EQ(std::string(out.begin() + 9, out.begin() + 17), "keep1   ");
    EXPECT_EQ(std::string(out.begin() + 23, out.begin() + 31), "keep2   ");
    ASSERT_EQ(out.size(), 9 + 2 * 14 + 19 * 256 + 4u);
    // keep2 starts at sector 3 of track 1 and runs into track 2.
    EXPECT_EQ(0, std::memcmp(&out[9 + 28 + 2 * 256], disk.Track(1)->Sector(3)->Data.data(), 256));
    EXPECT_EQ(0, std::memcmp(&out[9 + 28 + 18 * 256], disk.Track(2)->Sector(3)->Data.data(), 256));
    TZX_Disk back;
    ASSERT_TRUE(back.ParseSCL(out)) << back.StatusMessage;
}

TEST(Scl, WriterReportsBadDirectoryAndBadSectors) {
    TZX_Disk disk;
    Bytes out{7};
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(160, [](size_t) { return uint8_t{0}; })));
    EXPECT_FALSE(disk.BuildSCL(out));
    EXPECT_EQ(disk.StatusMessage, "Not TRDOS disk image! Bad directory!");
    EXPECT_EQ(out, Bytes{7}) << "nothing is produced";

    MakeDiskWithDeletedFile(disk);
    disk.Track(2)->Sector(2)->Used = 0;  // sector 3 of track 2, inside keep2
    EXPECT_FALSE(disk.BuildSCL(out));
    EXPECT_EQ(disk.StatusMessage, "Bad sector - (track 2 sector 3) !");

    MakeDiskWithDeletedFile(disk);
    disk.Track(1)->Sector(1)->DataLength = 100;
    EXPECT_FALSE(disk.BuildSCL(out));
    EXPECT_EQ(disk.StatusMessage, "Bad sector - (track 1 sector 2) !");

    for (uint8_t track : {uint8_t{170}, uint8_t{161}}) {
        MakeDiskWithDeletedFile(disk);
        disk.Track(0)->Sector(0)->Data[15] = track;  // keep1 now points past the disk
        EXPECT_FALSE(disk.BuildSCL(out));
        EXPECT_EQ(disk.StatusMessage, "Bad sector - (track " + std::to_string(track) + " sector 1) !");
    }
}

TEST(Scl, ArchiveCountFollowsTheHeadersWrittenWhenCountersDisagree) {
    TZX_Disk disk;
    MakeDiskWithDeletedFile(disk);
    disk.Track(0)->Sector(8)->Data[0xF4] = 0;  // the deleted counter forgot the deleted file
    Bytes out;
    ASSERT_TRUE(disk.BuildSCL(out));
    EXPECT_EQ(out[8], 2) << "two live headers follow, so the count says two";
    TZX_Disk back;
    EXPECT_TRUE(back.ParseSCL(out)) << back.StatusMessage;

    disk.Track(0)->Sector(8)->Data[0xE4] = 1;  // only the first position is counted
    ASSERT_TRUE(disk.BuildSCL(out));
    EXPECT_EQ(out[8], 1);
    disk.Track(0)->Sector(0)->Data[0] = 0x01;  // ... and that file is deleted
    EXPECT_FALSE(disk.BuildSCL(out));
    EXPECT_EQ(disk.StatusMessage, "Missing of files");
}

TEST(Scl, DamagedArchivesNeverCrashTheReaderOrTheWriter) {
    const Bytes good =
        MakeSclBytes({{.name = "a", .sectors = 3}, {.name = "b", .sectors = 40}, {.name = "c", .sectors = 1}});
    std::mt19937 rng(3);
    TZX_Disk disk;
    unsigned accepted = 0;
    auto feed = [&](const Bytes& bytes) {
        try {
            if (disk.ParseSCL(bytes)) {
                ++accepted;
                Bytes out;
                disk.BuildSCL(out);
            } else {
                EXPECT_FALSE(disk.StatusMessage.empty());
            }
        } catch (const StreamReadError&) {
        }
    };
    for (size_t n = 0; n < good.size(); n += 7) {
        Bytes cut(good.begin(), good.begin() + n);
        feed(cut);
        if (cut.size() >= 4) test::FixSclChecksum(cut);
        feed(cut);
    }
    for (int i = 0; i < 3000; ++i) {
        Bytes flipped = good;
        const size_t at = rng() % (9 + 14 * 3);  // the signature, the count and the headers
        flipped[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        test::FixSclChecksum(flipped);
        feed(flipped);
        Bytes random(rng() % 2000);
        for (auto& b : random) b = static_cast<uint8_t>(rng());
        if (random.size() > 9) std::memcpy(random.data(), "SINCLAIR", 8);
        if (random.size() >= 4) test::FixSclChecksum(random);
        feed(random);
    }
    EXPECT_GT(accepted, 0u) << "some flipped archives are still valid ones";
}

}  // namespace
}  // namespace tarvex
