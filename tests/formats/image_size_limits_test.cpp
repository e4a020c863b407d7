#include "formats/image_size_limits.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "io/byte_reader.h"
#include "test_locale.h"
#include "test_support.h"
#include "trdos/trdos_area.h"

// Each format's limit against its reader: the largest image the reader takes is exactly at the limit
// (or, for SCL, the largest archive of a catalogue's size), and one byte more is refused unread.
namespace tarvex {
namespace {

using test::TempDir;
using test::WriteFile;
using ::testing::HasSubstr;

std::string TooLarge(const FileSizeLimit& limit, uint64_t size) {
    return std::string("File too large for ") + limit.what + ": " + std::to_string(size) + " bytes, at most " +
           std::to_string(limit.maxBytes);
}

// Reads bytes written to a file of the given name through the driver's helper.
struct ReadResult {
    bool read;
    std::string message;
};
ReadResult ReadThroughDriver(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    WriteFile(dir / name, bytes);
    TZX_Disk disk;
    ReadResult r{};
    r.read = test::WithReason(ReadImageFile(disk, dir / name), r.message);
    return r;
}

TEST(ImageSizeLimits, HeaderlessDumpsTakeEveryTrackTheModelHolds) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    const struct {
        const char* name;
        const FileSizeLimit& limit;
        bool (TZX_Disk::*parse)(ByteSpan);
    } dumps[] = {{"d.trd", kTrdFileLimit, &TZX_Disk::ParseTRD},
                 {"d.pro", kProFileLimit, &TZX_Disk::ParsePRO},
                 {"d.kdi", kKdiFileLimit, &TZX_Disk::ParseKDI}};
    for (const auto& d : dumps) {
        SCOPED_TRACE(d.name);
        const Bytes largest(d.limit.maxBytes, 0xE5);
        const Bytes over(d.limit.maxBytes + 1, 0xE5);
        TZX_Disk disk;
        EXPECT_TRUE((disk.*d.parse)(largest)) << "the reader takes the limit itself";
        EXPECT_EQ(disk.CountTracks(), kMaxTracks);
        EXPECT_FALSE((disk.*d.parse)(over)) << "and refuses one byte more";

        const ReadResult atLimit = ReadThroughDriver(dir, d.name, largest);
        EXPECT_TRUE(atLimit.read) << atLimit.message;
        const ReadResult beyond = ReadThroughDriver(dir, d.name, over);
        EXPECT_FALSE(beyond.read);
        // Refused by its length alone, in the reader's own words.
        EXPECT_EQ(beyond.message, std::string(d.limit.dumpName) + " image has 257 tracks; at most 256 are supported!");
    }
}

// A two-sided UDI of a record for every track, each as long as the reader allows, and as many bytes
// between the last record and the CRC as the limit leaves room for.
Bytes LargestUdi(size_t extraBeforeCrc = size_limits::kUdiTrailingBytes) {
    Bytes image{'U', 'D', 'I', '!', 0, 0, 0, 0, 0, kMaxTracks / 2 - 1, 1, 0, 0, 0, 0, 0};
    for (int t = 0; t < kMaxTracks; ++t) {
        PutU8(image, 0);
        PutU16(image, kRawTrackBytes);
        image.resize(image.size() + kRawTrackBytes, 0x4E);
        image.resize(image.size() + (kRawTrackBytes + 7) / 8, 0);  // no clock marks
    }
    image.resize(image.size() + extraBeforeCrc, 0);
    const uint32_t body = static_cast<uint32_t>(image.size());
    for (int i = 0; i < 4; ++i) image[4 + i] = static_cast<uint8_t>(body >> (8 * i));
    PutU32(image, TZX_Disk::Crc32(image.data(), image.size()));
    return image;
}

TEST(ImageSizeLimits, UdiOfEveryTrackAtItsLongestIsExactlyTheLimit) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    const Bytes largest = LargestUdi();
    ASSERT_EQ(largest.size(), kUdiFileLimit.maxBytes);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseUDI(largest)) << disk.StatusMessage;
    EXPECT_EQ(disk.Track(kMaxTracks - 1)->RawLength, kRawTrackBytes);
    EXPECT_TRUE(ReadThroughDriver(dir, "d.udi", largest).read);
    EXPECT_EQ(ReadThroughDriver(dir, "d.udi", LargestUdi(size_limits::kUdiTrailingBytes + 1)).message,
              TooLarge(kUdiFileLimit, largest.size() + 1));
}

// An FDI whose every track holds one sector of size code 8 at the largest 16-bit offset, the tracks
// following one another after a data area that starts at the largest 16-bit offset.
Bytes LargestFdi() {
    constexpr uint32_t kTrackSpan = 0xFFFF + (128u << 8);
    Bytes image{'F', 'D', 'I', 0};
    PutU16(image, kMaxTracks / 2);
    PutU16(image, 2);
    PutU16(image, 0);       // no description text
    PutU16(image, 0xFFFF);  // data area
    PutU16(image, 0);
    for (uint32_t t = 0; t < kMaxTracks; ++t) {
        PutU32(image, t * kTrackSpan);
        PutU16(image, 0);
        PutU8(image, 1);
        for (uint8_t b : {uint8_t(t / 2), uint8_t(t % 2), uint8_t(1), uint8_t(8), uint8_t(1 << 3)}) PutU8(image, b);
        PutU16(image, 0xFFFF);
    }
    image.resize(0xFFFF + size_t{kMaxTracks} * kTrackSpan, 0);
    for (uint32_t t = 0; t < kMaxTracks; ++t) image[0xFFFF + t * kTrackSpan + 0xFFFF] = static_cast<uint8_t>(t + 1);
    return image;
}

TEST(ImageSizeLimits, FdiOfTracksAtTheirFurthestOffsetsIsExactlyTheLimit) {
    const tarvex::test::ScopedLocale english(tarvex::test::kEnglishLocale);
    TempDir dir;
    Bytes largest = LargestFdi();
    ASSERT_EQ(largest.size(), kFdiFileLimit.maxBytes);
    TZX_Disk disk;
    ASSERT_TRUE(disk.ParseFDI(largest)) << disk.StatusMessage;
    EXPECT_EQ(disk.Track(kMaxTracks - 2)->Sector(0)->Data[0], kMaxTracks - 1);
    EXPECT_EQ(disk.Track(kMaxTracks - 1)->Sector(0)->DataLength, 128u << 8);
    EXPECT_TRUE(ReadThroughDriver(dir, "d.fdi", largest).read);
    largest.push_back(0);
    EXPECT_EQ(ReadThroughDriver(dir, "d.fdi", largest).message, TooLarge(kFdiFileLimit, largest.size()));
}

TEST(ImageSizeLimits, SclOfAFullCatalogueOfLongestFilesGetsTheReadersOwnRefusal) {
    TempDir dir;
    std::vector<test::SclFile> files;
    for (unsigned i = 0; i < kTrdosMaxFiles; ++i)
        files.push_back({.name = "F" + std::to_string(i), .sectors = 255, .data = Bytes(255 * 256, 0)});
    Bytes largest = test::MakeSclBytes(files);
    ASSERT_EQ(largest.size(), kSclFileLimit.maxBytes);
    const ReadResult full = ReadThroughDriver(dir, "d.scl", largest);
    EXPECT_FALSE(full.read);
    EXPECT_EQ(full.message, "Нет места на образе диска!");
    largest.insert(largest.end() - 4, 0);
    const test::ScopedLocale english(test::kEnglishLocale);
    EXPECT_EQ(ReadThroughDriver(dir, "d.scl", largest).message, TooLarge(kSclFileLimit, largest.size()));
}

TEST(ImageSizeLimits, EveryFormatHasALimitThatNamesIt) {
    for (const FormatInfo& f : Formats()) {
        if (!f.Present()) continue;
        ASSERT_NE(f.sizeLimit, nullptr) << f.name;
        EXPECT_THAT(f.sizeLimit->what, HasSubstr(std::string(f.name) + " image"));
        EXPECT_LE(f.sizeLimit->maxBytes, kAnyFileLimit.maxBytes) << f.name;
    }
}

}  // namespace
}  // namespace tarvex
