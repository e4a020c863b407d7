#include "model_roundtrip.h"

#include <cstring>
#include <ctime>
#include <vector>

#include "disk/zx_disk.h"
#include "formats/td0.h"
#include "io/status.h"
#include "io/text_1251.h"
#include "trdos/trdos_area.h"

namespace tarvex::roundtrip {

namespace {

constexpr unsigned kMostReported = 8;       // differences listed before the rest is counted only
constexpr unsigned kSizeCodesUpToKb = 4;    // 0..3: the sizes of real sectors, 128 to 1024 bytes
constexpr unsigned kFewTracks = 6;
constexpr uint8_t kLargestWeakSizeCode = 7;
constexpr unsigned kCommentLines = 8;
constexpr unsigned kLongestCommentLine = 200;
constexpr uint8_t kCp1251Hole = 0x98;       // the one Windows-1251 byte without a character
constexpr unsigned kSmallestTrdosDisk = 80; // tracks
constexpr unsigned kTrdosFirstFileSector = kTrdosSectorsPerTrack;  // files start on track 1

// ---- building ---------------------------------------------------------------------------------

// A sector's contents: one byte, a two-byte pattern, pseudo-random bytes, or the input's own bytes.
void FillData(FuzzInput& in, uint8_t* data, size_t n) {
    switch (in.Below(4)) {
        case 0: std::memset(data, in.Byte(), n); break;
        case 1: {
            const uint8_t pattern[2] = {in.Byte(), in.Byte()};
            for (size_t i = 0; i < n; ++i) data[i] = pattern[i & 1];
            break;
        }
        case 2: {
            const uint32_t high = in.Word();
            uint32_t x = (high << 16 | in.Word()) | 1;
            for (size_t i = 0; i < n; ++i) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                data[i] = static_cast<uint8_t>(x);
            }
            break;
        }
        default: {
            const ByteSpan taken = in.Take(n);
            std::copy(taken.begin(), taken.end(), data);
            std::memset(data + taken.size(), 0, n - taken.size());
        }
    }
}

uint8_t PickSizeCode(const FormatFields& fields, FuzzInput& in) {
    const unsigned span = fields.largestSizeCode - fields.smallestSizeCode + 1u;
    if (fields.largestSizeCode < kSizeCodesUpToKb || !in.OneIn(8))
        return static_cast<uint8_t>(fields.smallestSizeCode + in.Below(std::min(span, kSizeCodesUpToKb)));
    return static_cast<uint8_t>(kSizeCodesUpToKb + in.Below(fields.largestSizeCode - kSizeCodesUpToKb + 1u));
}

// An ID without data: mostly a size a sector with data could have, now and then any size code.
SectorShape PickIdOnlyShape(const FormatFields& fields, FuzzInput& in) {
    const unsigned lowest = fields.idOnlyFromSizeCode;
    if (lowest <= fields.largestSizeCode && !in.OneIn(4)) return {PickSizeCode(fields, in), false};
    return {static_cast<uint8_t>(lowest + in.Below(256 - lowest)), false};
}

// The sectors of one track, as many as the track has room for.
std::vector<SectorShape> TrackShapes(const FormatFields& fields, FuzzInput& in) {
    if (fields.room == TrackRoom::kFixedGeometry)
        return std::vector<SectorShape>(fields.maxSectors, SectorShape{fields.smallestSizeCode, true});
    std::vector<SectorShape> shapes(in.Below(fields.maxSectors + 1));
    const uint8_t common = PickSizeCode(fields, in);
    const bool mixed = in.OneIn(4);
    const bool idsWithoutData = (fields.keeps & kKeepsIdsWithoutData) && in.OneIn(3);
    const bool weak = (fields.keeps & kKeepsWeakCopies) && in.OneIn(4);
    for (SectorShape& shape : shapes) {
        if (idsWithoutData && in.OneIn(3))
            shape = PickIdOnlyShape(fields, in);
        else
            shape = {mixed ? PickSizeCode(fields, in) : common, true};
        // Reads of a sector past size code 7 (16 KB and more) are no sector a controller reads twice.
        if (weak && shape.hasData && shape.sizeCode <= kLargestWeakSizeCode && in.OneIn(3))
            shape.reads = static_cast<uint8_t>(2 + in.Below(3));
    }
    while (!TrackFits(fields, shapes)) shapes.pop_back();
    return shapes;
}

// Sector numbers in slot order: the format's own numbers in a shuffled physical order, or free ones.
std::vector<uint8_t> TrackSectorNumbers(const FormatFields& fields, FuzzInput& in, unsigned track, size_t count) {
    std::vector<uint8_t> numbers(count);
    if (fields.fixedSectorNumber) {
        for (size_t s = 0; s < count; ++s) numbers[s] = fields.fixedSectorNumber(track, static_cast<unsigned>(s));
        for (size_t s = count; s > 1; --s) std::swap(numbers[s - 1], numbers[in.Below(static_cast<unsigned>(s))]);
    } else if (in.OneIn(2)) {
        const uint8_t first = in.Byte();
        for (size_t s = 0; s < count; ++s) numbers[s] = static_cast<uint8_t>(first + s);
    } else {
        for (uint8_t& r : numbers) r = in.Byte();
    }
    return numbers;
}

void BuildTrack(const FormatFields& fields, FuzzInput& in, TZX_Disk& disk, TTrack& track, unsigned k) {
    track.Used = kFlagSet;
    const std::vector<SectorShape> shapes = TrackShapes(fields, in);
    const std::vector<uint8_t> numbers = TrackSectorNumbers(fields, in, k, shapes.size());
    const bool recordedIds = in.OneIn(2);  // C and H as a controller would find them, or anything
    for (size_t s = 0; s < shapes.size(); ++s) {
        TSectorSlot& slot = *track.Sector(static_cast<unsigned>(s));
        slot.Used = kFlagSet;
        slot.Cylinder = recordedIds ? static_cast<uint8_t>(k / 2) : in.Byte();
        slot.Head = recordedIds ? static_cast<uint8_t>(k % 2) : in.Byte();
        slot.SectorNo = numbers[s];
        slot.SizeCode = shapes[s].sizeCode;
        slot.DataCrcOk = in.OneIn(4) ? 0 : kFlagSet;
        slot.DataLength = shapes[s].hasData ? static_cast<uint16_t>(SlotDataBytes(slot.SizeCode)) : uint16_t{0};
        slot.Copies = shapes[s].reads > 1 ? shapes[s].reads : 0;
        const size_t held = size_t{slot.DataLength} * slot.CopyCount();
        FillData(in, disk.ReserveData(slot, held), held);
        if ((fields.keeps & kKeepsDeletedMarks) && slot.DataLength && in.OneIn(5)) slot.DeletedData = kFlagSet;
        if ((fields.keeps & kKeepsIdCrcErrors) && in.OneIn(7)) slot.IdCrcError = kFlagSet;
        if ((fields.keeps & kKeepsDataWithoutId) && slot.DataLength && in.OneIn(9)) slot.IdMissing = kFlagSet;
    }
}

// Which tracks are used: all up to a chosen count, the even ones only (one side), or one by one.
std::vector<unsigned> ChooseTracks(const FormatFields& fields, FuzzInput& in) {
    // Mostly a few tracks, which keeps a fuzzer's round trips quick; now and then up to the whole disk.
    const unsigned most = in.OneIn(4) ? fields.maxTracks : std::min(kFewTracks, fields.maxTracks);
    const unsigned span = in.Below(most + 1);
    const unsigned pattern = fields.tracksFromZero ? 0 : in.Below(3);
    std::vector<unsigned> tracks;
    for (unsigned k = 0; k < span; ++k)
        if (pattern == 0 || (pattern == 1 && k % 2 == 0) || (pattern == 2 && !in.OneIn(4))) tracks.push_back(k);
    for (unsigned k = 0; tracks.size() < fields.minTracks; ++k)
        if (std::find(tracks.begin(), tracks.end(), k) == tracks.end()) tracks.push_back(k);
    return tracks;
}

void BuildComment(const FormatFields& fields, FuzzInput& in, TZX_Disk& disk) {
    size_t used = 0;
    for (unsigned lines = in.Below(kCommentLines + 1); lines > 0; --lines) {
        const size_t length = 1 + in.Below(kLongestCommentLine);
        if (used + length + 1 > fields.commentBytes) break;
        Bytes line(length);
        for (uint8_t& b : line) {
            b = in.Byte();
            if (b == 0) b = ' ';
            if (b == kCp1251Hole) b = '?';
        }
        disk.Comment.push_back(Cp1251ToUtf8(line));
        used += length + 1;
    }
}

// A TR-DOS disk in any physical sector order, with live and deleted files anywhere from track 1 on
// (live ones within what an archive holds) and catalogue entries past the counted ones.
void BuildTrdosDisk(const FormatFields& fields, FuzzInput& in, TZX_Disk& disk) {
    const unsigned tracks =
        in.OneIn(4) ? kSmallestTrdosDisk + in.Below(kMaxTracks - kSmallestTrdosDisk + 1) : kTrdosTracks;
    const unsigned step = 1 + 2 * in.Below(kTrdosSectorsPerTrack / 2);  // odd: every number once
    for (unsigned t = 0; t < tracks; ++t) {
        TTrack& track = *disk.Track(t);
        track.Used = kFlagSet;
        for (unsigned s = 0; s < kTrdosSectorsPerTrack; ++s) {
            TSectorSlot& slot = *track.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(t / 2);
            slot.SectorNo = static_cast<uint8_t>((s * step) % kTrdosSectorsPerTrack + 1);
            slot.SizeCode = kTrdosSizeCode;
            slot.DataCrcOk = kFlagSet;
            slot.DataLength = kTrdosSectorBytes;
            disk.ReserveData(slot, kTrdosSectorBytes);
        }
    }
    const unsigned diskSectors = tracks * kTrdosSectorsPerTrack;
    const unsigned entries = 1 + in.Below(fields.catalogueFiles);
    const unsigned listed = std::min(fields.catalogueFiles, entries + (in.OneIn(4) ? 1u : 0u));
    unsigned liveSectors = 0, liveFiles = 0;
    for (unsigned i = 0; i < listed; ++i) {
        const bool counted = i < entries;
        const bool deleted = in.OneIn(4) && !(i + 1 == entries && liveFiles == 0);
        TrdosFileEntry e;
        for (uint8_t& b : e.Name) b = in.Byte();
        e.Name[0] = deleted ? static_cast<uint8_t>(in.Below(' ')) : static_cast<uint8_t>(' ' + in.Below(256 - ' '));
        if (deleted) e.Name[7] |= 1;  // an all-zero name would end the catalogue
        e.Type = in.Byte();
        e.Start = in.Word();
        e.Length = in.Word();
        const bool live = counted && !deleted;
        e.SectorCount = live
                            ? static_cast<uint8_t>(std::min<unsigned>(in.Byte(), fields.catalogueSectors - liveSectors))
                            : in.Byte();
        const unsigned first =
            kTrdosFirstFileSector + in.Below(diskSectors - kTrdosFirstFileSector - e.SectorCount + 1);
        e.FirstTrack = static_cast<uint8_t>(first / kTrdosSectorsPerTrack);
        e.FirstSector = static_cast<uint8_t>(first % kTrdosSectorsPerTrack);
        e.Encode(
            &disk.FindSector(0, i / kTrdosEntriesPerSector + 1)->Data[kTrdosEntryBytes * (i % kTrdosEntriesPerSector)]);
        if (!live) continue;
        ++liveFiles;
        liveSectors += e.SectorCount;
        for (unsigned k = 0; k < e.SectorCount; ++k) {
            const unsigned at = first + k;
            FillData(in, disk.FindSector(at / kTrdosSectorsPerTrack, at % kTrdosSectorsPerTrack + 1)->Data.data(),
                     kTrdosSectorBytes);
        }
    }
    uint8_t* info = disk.FindSector(0, kTrdosInfoSectorNo)->Data.data();
    info[trdos_info::kFirstFreeSector] = static_cast<uint8_t>(in.Below(kTrdosSectorsPerTrack));
    info[trdos_info::kFirstFreeTrack] = in.Byte();
    info[trdos_info::kDiskType] = static_cast<uint8_t>(kTrdosDiskType80x2 + in.Below(4));
    info[trdos_info::kFileCount] = static_cast<uint8_t>(entries);
    info[trdos_info::kFreeSectors] = in.Byte();
    info[trdos_info::kFreeSectors + 1] = in.Byte();
    info[trdos_info::kIdByte] = kTrdosIdByte;
    info[trdos_info::kDeletedCount] = in.Byte();
    for (unsigned i = 0; i < 8; ++i) info[trdos_info::kLabel + i] = in.Byte();
}

// ---- comparing --------------------------------------------------------------------------------

class Differences {
public:
    void Add(const std::string& what) {
        if (count_++ < kMostReported) text_ += what + "\n";
    }
    std::string Text() const {
        if (count_ <= kMostReported) return text_;
        return text_ + "... and " + std::to_string(count_ - kMostReported) + " more\n";
    }

private:
    unsigned count_ = 0;
    std::string text_;
};

std::string Num(unsigned v) { return std::to_string(v); }

// The used slots of a track in the order the format keeps them.
std::vector<const TSectorSlot*> KeptSectors(const FormatFields& fields, const TTrack& track) {
    std::vector<const TSectorSlot*> sectors;
    for (const TSectorSlot& slot : track.Sectors)
        if (slot.Used) sectors.push_back(&slot);
    if (!(fields.keeps & kKeepsSectorOrder))
        std::stable_sort(sectors.begin(), sectors.end(),
                         [](const TSectorSlot* a, const TSectorSlot* b) { return a->SectorNo < b->SectorNo; });
    return sectors;
}

void CompareSector(const FormatFields& fields, const std::string& where, const TSectorSlot& a, const TSectorSlot& b,
                   Differences& diffs) {
    auto field = [&](const char* name, unsigned x, unsigned y) {
        if (x != y) diffs.Add(where + ": " + name + " " + Num(x) + ", read back " + Num(y));
    };
    if (fields.keeps & kKeepsSectorIds) {
        field("Cylinder", a.Cylinder, b.Cylinder);
        field("Head", a.Head, b.Head);
    }
    field("SectorNo", a.SectorNo, b.SectorNo);
    field("SizeCode", a.SizeCode, b.SizeCode);
    field("DataLength", a.DataLength, b.DataLength);
    // A sector without data has no CRC state to keep.
    if ((fields.keeps & kKeepsDataCrcState) && a.DataLength > 0) field("DataCrcOk", a.DataCrcOk != 0, b.DataCrcOk != 0);
    if ((fields.keeps & kKeepsDeletedMarks) && a.DataLength > 0)
        field("DeletedData", a.DeletedData != 0, b.DeletedData != 0);
    if (fields.keeps & kKeepsIdCrcErrors) field("IdCrcError", a.IdCrcError != 0, b.IdCrcError != 0);
    if (fields.keeps & kKeepsDataWithoutId) field("IdMissing", a.IdMissing != 0, b.IdMissing != 0);
    if (fields.keeps & kKeepsWeakCopies) field("reads", a.CopyCount(), b.CopyCount());
    // Every read the format keeps, one after another.
    const size_t reads = (fields.keeps & kKeepsWeakCopies) ? std::min(a.CopyCount(), b.CopyCount()) : 1u;
    const size_t n = std::min(a.DataLength, b.DataLength) * reads;
    const auto mismatch = std::mismatch(a.Data.begin(), a.Data.begin() + n, b.Data.begin());
    if (mismatch.first != a.Data.begin() + n)
        diffs.Add(where + ": data byte " + Num(static_cast<unsigned>(mismatch.first - a.Data.begin())) + " is " +
                  Num(*mismatch.first) + ", read back " + Num(*mismatch.second));
}

void CompareTracks(const FormatFields& fields, const TZX_Disk& expected, const TZX_Disk& actual, Differences& diffs) {
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const TTrack& a = *expected.Track(k);
        const TTrack& b = *actual.Track(k);
        const auto sa = KeptSectors(fields, a);
        const auto sb = KeptSectors(fields, b);
        const bool keepsPresence = fields.keeps & kKeepsTrackPresence;
        const bool presentA = a.Used && (keepsPresence || !sa.empty());
        const bool presentB = b.Used && (keepsPresence || !sb.empty());
        const std::string where = "track " + Num(k);
        if (presentA != presentB) {
            diffs.Add(where + (presentA ? ": used, read back absent" : ": absent, read back used"));
            continue;
        }
        if (sa.size() != sb.size()) {
            diffs.Add(where + ": " + Num(static_cast<unsigned>(sa.size())) + " sectors, read back " +
                      Num(static_cast<unsigned>(sb.size())));
            continue;
        }
        for (size_t i = 0; i < sa.size(); ++i)
            CompareSector(fields, where + " sector " + Num(static_cast<unsigned>(i)), *sa[i], *sb[i], diffs);
    }
}

std::vector<std::string> NonEmptyLines(const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        if (!line.empty()) kept.push_back(line);
    return kept;
}

void CompareComment(const TZX_Disk& expected, const TZX_Disk& actual, Differences& diffs) {
    const auto a = NonEmptyLines(expected.Comment);
    const auto b = NonEmptyLines(actual.Comment);
    if (a.size() != b.size()) diffs.Add("comment: " + Num(static_cast<unsigned>(a.size())) + " lines, read back " +
                                        Num(static_cast<unsigned>(b.size())));
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            diffs.Add("comment line " + Num(static_cast<unsigned>(i)) + ": \"" + a[i] + "\", read back \"" + b[i] +
                      "\"");
}

struct CatalogueFile {
    Bytes header;  // the 14 bytes an archive stores
    Bytes data;    // its sectors, one after another
};

// The live files of the disk's TR-DOS catalogue and their sectors; false with the reason otherwise.
bool LiveFiles(TZX_Disk& disk, std::vector<CatalogueFile>& files, std::string& why) {
    TrdosCatalogue catalogue;
    if (!disk.ReadCatalogue(catalogue)) {
        why = "no TR-DOS catalogue";
        return false;
    }
    for (unsigned i = 0; i < catalogue.FileCount && i < catalogue.Entries.size(); ++i) {
        const TrdosFileEntry& e = catalogue.Entries[i];
        if (e.Deleted()) continue;
        CatalogueFile file;
        file.header.resize(TrdosFileEntry::kHeaderBytes);
        e.EncodeHeader(file.header.data());
        const unsigned first = e.FirstTrack * kTrdosSectorsPerTrack + e.FirstSector;
        for (unsigned k = 0; k < e.SectorCount; ++k) {
            const unsigned at = first + k;
            const TSectorSlot* slot = disk.FindSector(at / kTrdosSectorsPerTrack, at % kTrdosSectorsPerTrack + 1);
            if (!slot || !slot->Used) {
                why = "file " + Num(i) + " lacks its sector " + Num(k);
                return false;
            }
            file.data.insert(file.data.end(), slot->Data.begin(), slot->Data.begin() + kTrdosSectorBytes);
        }
        files.push_back(std::move(file));
    }
    return true;
}

void CompareCatalogueFiles(TZX_Disk& expected, TZX_Disk& actual, Differences& diffs) {
    std::vector<CatalogueFile> a, b;
    std::string why;
    if (!LiveFiles(expected, a, why)) return diffs.Add("built disk: " + why);
    if (!LiveFiles(actual, b, why)) return diffs.Add("read back: " + why);
    if (a.size() != b.size())
        diffs.Add(Num(static_cast<unsigned>(a.size())) + " live files, read back " +
                  Num(static_cast<unsigned>(b.size())));
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i].header != b[i].header) diffs.Add("file " + Num(static_cast<unsigned>(i)) + ": header differs");
        if (a[i].data != b[i].data) diffs.Add("file " + Num(static_cast<unsigned>(i)) + ": data differs");
    }
}

std::string FirstDifference(const Bytes& a, const Bytes& b) {
    const size_t n = std::min(a.size(), b.size());
    const size_t at = static_cast<size_t>(std::mismatch(a.begin(), a.begin() + n, b.begin()).first - a.begin());
    return "at byte " + std::to_string(at) + " (sizes " + std::to_string(a.size()) + " and " +
           std::to_string(b.size()) + ")";
}

// The comment block of a TD0 image carries the time of writing; a fixed one keeps images comparable.
std::tm FixedWritingTime() {
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 9;
    when.tm_hour = 6;
    when.tm_min = 30;
    return when;
}

}  // namespace

void BuildModel(const FormatFields& fields, FuzzInput& in, TZX_Disk& disk) {
    disk.Clear();
    if (fields.keeps & kKeepsCatalogueFiles) return BuildTrdosDisk(fields, in, disk);
    if (fields.keeps & kKeepsComment) BuildComment(fields, in, disk);
    for (unsigned k : ChooseTracks(fields, in)) BuildTrack(fields, in, disk, *disk.Track(k), k);
}

std::string CompareKeptFields(const FormatFields& fields, TZX_Disk& expected, TZX_Disk& actual) {
    Differences diffs;
    if (fields.keeps & kKeepsCatalogueFiles) {
        CompareCatalogueFiles(expected, actual, diffs);
    } else {
        CompareTracks(fields, expected, actual, diffs);
        if (fields.keeps & kKeepsComment) CompareComment(expected, actual, diffs);
    }
    return diffs.Text();
}

// Every writer as the program calls it, but TD0 at a fixed writing time, so that two images compare.
bool WriteImage(TZX_Disk& disk, int format, bool compress, Bytes& out, std::string& message) {
    const Status written = format != kTD0 ? BuildImageBytes(disk, format, compress, out) : Attempt([&] {
        return Status::Of(BuildTD0At(disk, out, compress, FixedWritingTime()), disk.StatusMessage);
    });
    message = written.reason();
    return written.ok();
}

bool ReadImage(TZX_Disk& disk, int format, ByteSpan bytes, std::string& message) {
    if (format < 0 || format >= kFormatCount || !Formats()[format].Present()) {
        message = "no such format";
        return false;
    }
    const Status read = Attempt([&] { return Status::Of((disk.*Formats()[format].parse)(bytes), disk.StatusMessage); });
    message = read.reason();
    return read.ok();
}

std::string RoundTrip(int format, bool compress, ByteSpan input, Disks& disks) {
    const FormatFields& fields = FieldsOf(format);
    FuzzInput in(input);
    BuildModel(fields, in, disks.built);
    std::string message;
    Bytes first;
    if (!WriteImage(disks.built, format, compress, first, message))
        return "the writer refused a disk the format can hold: " + message;
    if (!ReadImage(disks.read, format, first, message)) return "the reader refused what the writer wrote: " + message;
    if (std::string diff = CompareKeptFields(fields, disks.built, disks.read); !diff.empty())
        return "read back, the disk differs from the one written:\n" + diff;
    Bytes second;
    if (!WriteImage(disks.read, format, compress, second, message))
        return "the writer refused the disk read back: " + message;
    if (!(fields.keeps & kKeepsRawTracks)) {
        if (second != first)
            return "the disk read back is written as a different image, " + FirstDifference(first, second);
        return "";
    }
    // The disk read from a raw-track image carries raw tracks: written from them, it must keep them.
    if (!ReadImage(disks.reread, format, second, message))
        return "the reader refused the image written again: " + message;
    if (std::string diff = CompareKeptFields(fields, disks.read, disks.reread); !diff.empty())
        return "read back from its raw tracks, the disk differs:\n" + diff;
    Bytes third;
    if (!WriteImage(disks.reread, format, compress, third, message))
        return "the writer refused the disk read back from raw tracks: " + message;
    if (third != second)
        return std::string("an image read and written again changed ") + FirstDifference(second, third);
    return "";
}

}  // namespace tarvex::roundtrip
