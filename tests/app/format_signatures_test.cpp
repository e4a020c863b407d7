// Formats told by content: the signature table, the choice between content and extension, and reading
// through the driver's helper with the reader the content, the extension or the caller names.
#include "app/format_signatures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "test_locale.h"
#include "test_support.h"

namespace tarvex {
namespace {

using test::TempDir;

ByteSpan Text(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

TEST(FormatSignatures, EverySignatureNamesItsFormat) {
    EXPECT_EQ(FormatByContent(Text("UDI!\x10\0\0\0")), kUDI);
    EXPECT_EQ(FormatByContent(Text("FDI\0\x50")), kFDI);
    EXPECT_EQ(FormatByContent(Text(std::string("TD\0\0\x15", 5))), kTD0);
    EXPECT_EQ(FormatByContent(Text(std::string("td\0\0\x0A", 5))), kTD0);
    EXPECT_EQ(FormatByContent(Text("SINCLAIR\x02")), kSCL);
    EXPECT_EQ(FormatByContent(Text("MV - CPCEMU Disk-File\r\n")), kDSK);
    EXPECT_EQ(FormatByContent(Text("EXTENDED CPC DSK File\r\n")), kDSK);
    EXPECT_EQ(FormatByContent(Text("HXCPICFE\0\x50")), kHFE);
    EXPECT_EQ(FormatByContent(Text("HXCHFEV3\0\x50")), kHFE);
}

TEST(FormatSignatures, NearMissesAndHeaderlessImagesNameNothing) {
    // TeleDisk's two letters alone are too common: the version after them must be one TeleDisk wrote.
    EXPECT_EQ(FormatByContent(Text(std::string("TD\0\0\x09", 5))), std::nullopt);
    EXPECT_EQ(FormatByContent(Text(std::string("TD\0\0\x16", 5))), std::nullopt);
    EXPECT_EQ(FormatByContent(Text(std::string("Td\0\0\x15", 5))), std::nullopt);
    EXPECT_EQ(FormatByContent(Text("TD")), std::nullopt) << "too short to carry a version";
    EXPECT_EQ(FormatByContent(Text("UDI")), std::nullopt);
    EXPECT_EQ(FormatByContent(Text("SINCLAI")), std::nullopt);
    EXPECT_EQ(FormatByContent(Text("EXTENDED CPC")), std::nullopt);
    EXPECT_EQ(FormatByContent(Text("MV - CP")), std::nullopt);
    EXPECT_EQ(FormatByContent(test::MakeTrdBytes(1)), std::nullopt);
    EXPECT_EQ(FormatByContent({}), std::nullopt);
}

TEST(FormatSignatures, ContentComesBeforeTheExtensionWhichTellsHeaderlessImages) {
    const std::string udi = "UDI!\x10";
    const Bytes zeros(16, 0);
    EXPECT_EQ(ReaderFor("/x/game.trd", Text(udi)), kUDI);
    EXPECT_EQ(ReaderFor("/x/game", Text(udi)), kUDI);
    EXPECT_EQ(ReaderFor("/x/GAME.TRD", zeros), kTRD);
    EXPECT_EQ(ReaderFor("/x/cpm.pro", zeros), kPRO);
    EXPECT_EQ(ReaderFor("/x/game.bin", zeros), std::nullopt);
    // A damaged image without its signature is still given to the reader its name names, for its message.
    EXPECT_EQ(ReaderFor("/x/broken.udi", zeros), kUDI);
}

// ---- reading files ----------------------------------------------------------------------------

struct Sample {
    const char* name;
    int format;
    Bytes bytes;
};

std::vector<Sample> SignedSamples() {
    TZX_Disk disk;
    EXPECT_TRUE(disk.ParseTRD(test::MakeTrdBytes(4)));
    std::vector<Sample> samples = {{"udi", kUDI, {}}, {"fdi", kFDI, {}}, {"td0", kTD0, {}}, {"dsk", kDSK, {}}};
    EXPECT_TRUE(disk.BuildUDI(samples[0].bytes));
    EXPECT_TRUE(disk.BuildFDI(samples[1].bytes));
    EXPECT_TRUE(disk.BuildTD0(samples[2].bytes, true));
    EXPECT_TRUE(disk.BuildDSK(samples[3].bytes));
    samples.push_back({"hfe", kHFE, {}});
    EXPECT_TRUE(disk.BuildHFE(samples.back().bytes));
    samples.push_back({"scl", kSCL, test::MakeSclBytes({{.name = "GAME", .sectors = 3}})});
    return samples;
}

TEST(FormatSignatures, RenamedImagesAreReadByTheirContentAndSayWhatTheyAre) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TempDir dir;
    for (const Sample& s : SignedSamples()) {
        SCOPED_TRACE(s.name);
        for (const std::string& name : {std::string("image.img"), std::string("image"), std::string("image.trd")}) {
            test::WriteFile(dir / name, s.bytes);
            TZX_Disk disk;
            std::string message;
            int format = -1;
            EXPECT_TRUE(test::WithReason(ReadImageFile(disk, dir / name, std::nullopt, &format), message))
                << name << ": " << message;
            EXPECT_EQ(format, s.format) << name;
            EXPECT_GT(disk.CountTracks(), 0) << name;
        }
        const std::string upper = Formats()[s.format].name;
        EXPECT_EQ(FormatFoundText(s.format, dir / "image.img"), upper + " image");
        EXPECT_EQ(FormatFoundText(s.format, dir / "image"), upper + " image");
        EXPECT_EQ(FormatFoundText(s.format, dir / "image.trd"), upper + " image (named .trd)");
        EXPECT_EQ(FormatFoundText(s.format, dir / (std::string("image") + Formats()[s.format].extension)),
                  upper + " image");
        EXPECT_EQ(FormatOfContent(dir / "image"), s.format);
    }
}

TEST(FormatSignatures, AForcedReaderReadsWhatNoNameOrContentTells) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    TempDir dir;
    const Bytes trd = test::MakeTrdBytes(3);
    test::WriteFile(dir / "game.bin", trd);
    TZX_Disk disk;
    std::string message;
    EXPECT_FALSE(test::WithReason(ReadImageFile(disk, dir / "game.bin"), message));
    EXPECT_EQ(message, "This file type is not supported!");
    EXPECT_EQ(FormatOfContent(dir / "game.bin"), std::nullopt);

    int format = -1;
    EXPECT_TRUE(test::WithReason(ReadImageFile(disk, dir / "game.bin", kTRD, &format), message)) << message;
    EXPECT_EQ(format, kTRD);
    EXPECT_EQ(disk.CountTracks(), 3);

    // Forced, the reader is used even against the content: a UDI read as TRD is a TRD of its bytes.
    const Sample udi = SignedSamples()[0];
    test::WriteFile(dir / "disk.udi", udi.bytes);
    EXPECT_FALSE(test::WithReason(ReadImageFile(disk, dir / "disk.udi", kDSK), message));
    EXPECT_EQ(message, "Not a DSK image!");
}

TEST(FormatSignatures, AFileOfAnotherFormatIsHeldToTheLimitOfTheFormatItHolds) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);  // pins the English texts
    // A TRD's limit is 681,984 bytes; a larger file named .trd that is in fact a DSK is held to the DSK's.
    TempDir dir;
    Bytes dsk = test::ReadFile(test::CorpusDir() / "dsk" / "cpccore-apb.dsk");
    dsk.resize(700000, 0);  // trailing bytes after the last track are not part of the disk
    test::WriteFile(dir / "big.trd", dsk);
    TZX_Disk disk;
    std::string message;
    int format = -1;
    EXPECT_TRUE(test::WithReason(ReadImageFile(disk, dir / "big.trd", std::nullopt, &format), message)) << message;
    EXPECT_EQ(format, kDSK);
    EXPECT_EQ(FormatFoundText(format, dir / "big.trd"), "DSK image (named .trd)");
}

}  // namespace
}  // namespace tarvex
