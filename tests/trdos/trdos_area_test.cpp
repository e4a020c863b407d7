#include "trdos/trdos_area.h"

#include <gtest/gtest.h>

#include <cstring>

#include "disk/zx_disk.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

TEST(TrdosArea, BlankDiskPadsAndCutsTheLabel) {
    TZX_Disk disk;
    disk.FormatBlankDisk("Мой");
    TrdosCatalogue c;
    ASSERT_TRUE(disk.ReadCatalogue(c));
    EXPECT_EQ(TrdosNameText(c.Label), "Мой     ");
    EXPECT_EQ(c.Label[0], 0xCC) << "stored in Windows-1251";
    disk.FormatBlankDisk("A LONG LABEL");
    ASSERT_TRUE(disk.ReadCatalogue(c));
    EXPECT_EQ(TrdosNameText(c.Label), "A LONG L");
    EXPECT_TRUE(c.Entries.empty());
    EXPECT_EQ(c.FreeSectors, 2544);
}

TEST(TrdosArea, CatalogueNeedsTrackZeroWithTrdosSectorsAndIdentification) {
    TZX_Disk disk;
    TrdosCatalogue c;
    EXPECT_FALSE(disk.ReadCatalogue(c)) << "no track 0";

    auto fresh = [&] { disk.FormatBlankDisk("X"); };
    fresh();
    disk.Track(0)->Sector(2)->SizeCode = 2;
    EXPECT_FALSE(disk.ReadCatalogue(c)) << "a catalogue sector of 512 bytes";
    fresh();
    disk.Track(0)->Sector(8)->DataLength = 255;
    EXPECT_FALSE(disk.ReadCatalogue(c)) << "a short information sector";
    fresh();
    disk.Track(0)->Sector(3)->DataLength = 0;
    EXPECT_TRUE(disk.ReadCatalogue(c)) << "only sector 9 must be whole";
    fresh();
    disk.Track(0)->Sector(8)->Data[0xE7] = 0x11;
    EXPECT_FALSE(disk.ReadCatalogue(c)) << "identification byte";
    for (uint8_t type : {uint8_t{0x15}, uint8_t{0x16}, uint8_t{0x19}, uint8_t{0x1A}}) {
        fresh();
        disk.Track(0)->Sector(8)->Data[0xE3] = type;
        EXPECT_EQ(disk.ReadCatalogue(c), type >= 0x16 && type <= 0x19) << int(type);
    }
    // A missing catalogue sector reads as zeros; sectors with other numbers are passed over.
    fresh();
    disk.Track(0)->Sector(0)->SectorNo = 42;
    disk.Track(0)->Sector(0)->SizeCode = 3;
    EXPECT_TRUE(disk.ReadCatalogue(c));
    EXPECT_TRUE(c.Entries.empty());
}

TEST(TrdosArea, CatalogueEndsAtTheFirstEmptyNameOrAfter128Entries) {
    TZX_Disk disk;
    disk.FormatBlankDisk("X");
    TrdosCatalogue c;
    for (unsigned i = 0; i < 128; ++i) {
        uint8_t* e = &disk.Track(0)->Sector(i / 16)->Data[16 * (i % 16)];
        std::memcpy(e, "FILE    ", 8);
        e[7] = static_cast<uint8_t>('0' + i % 10);
        e[13] = static_cast<uint8_t>(i);
    }
    ASSERT_TRUE(disk.ReadCatalogue(c));
    ASSERT_EQ(c.Entries.size(), 128u);
    EXPECT_EQ(c.Entries[127].SectorCount, 127);
    std::memset(&disk.Track(0)->Sector(2)->Data[16 * 5], 0, 8);  // entry 37: all name bytes zero
    ASSERT_TRUE(disk.ReadCatalogue(c));
    EXPECT_EQ(c.Entries.size(), 37u);
}

TEST(TrdosArea, DescriptionListsEntriesAndMarksDeletedFiles) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TZX_Disk disk;
    EXPECT_EQ(DescribeTrdosSystemArea(disk), "");
    ASSERT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    EXPECT_EQ(DescribeTrdosSystemArea(disk), "") << "no disk-information sector";

    ASSERT_TRUE(disk.ParseSCL(
        test::MakeSclBytes({{.name = "\xC8\xC3\xD0\xC0", .type = 'B', .start = 10, .length = 300, .sectors = 2},
                            {.name = "old", .sectors = 1}})));
    disk.Track(0)->Sector(0)->Data[16] = 0x01;
    disk.Track(0)->Sector(8)->Data[0xF4] = 1;
    const std::string text = DescribeTrdosSystemArea(disk);
    EXPECT_NE(text.find("label \"NEW DISK\""), std::string::npos) << text;
    EXPECT_NE(text.find("files 2 (deleted 1)"), std::string::npos) << text;
    EXPECT_NE(text.find("free sectors 2541"), std::string::npos) << text;
    EXPECT_NE(text.find("first free track 1 sector 3"), std::string::npos) << text;
    EXPECT_NE(text.find("ИГРА      B     10    300       2     1      0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("?ld       C  32768      0       1     1      2  deleted\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace tarvex
