// TD0: the sector image of TeleDisk, Sydex's MS-DOS program for copying floppy disks. A 12-byte header
// ("TD", or "td" when everything after it is LZH coded), an optional comment block with the creation
// date, then one record per track with a record and a data block per sector, and an end marker whose
// sector count is 0xFF.
// Sector flags: 0x02 marks data read with a CRC error; 0x10 and 0x20 mark a sector without a data block;
// 0x40 marks a data field found with no ID field before it, whose ID TeleDisk made up. A size code of 8
// or more has no data block whatever the flags say: TeleDisk stores no data for a size it cannot read.
#include "formats/td0.h"

#include <algorithm>
#include <cstring>
#include <array>
#include <cctype>
#include <utility>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "io/status.h"
#include "io/image_file.h"
#include "io/text_1251.h"
#include "formats/writer_losses.h"
#include "lzh/lzh.h"

namespace tarvex {

namespace {

constexpr size_t kHeaderBytes = 12;
constexpr uint8_t kLowestCompressedVersion = 20;
constexpr uint8_t kCommentFollows = 0x80;  // in the stepping byte
constexpr uint8_t kEndOfImage = 0xFF;
constexpr unsigned kHighestCylinder = kMaxCylinders - 1;
constexpr unsigned kHighestHead = 1;
constexpr uint8_t kHeadFm = 0x80;  // in a track record's head byte: the track is recorded in FM

constexpr uint8_t kFlagDataCrcError = 0x02;
constexpr uint8_t kFlagDeletedData = 0x04;
constexpr uint8_t kFlagsWithoutData = 0x10 | 0x20;  // unallocated sector skipped; ID without data
constexpr uint8_t kFlagIdWithoutData = 0x20;
constexpr uint8_t kFlagNoIdField = 0x40;
constexpr uint8_t kFirstSizeCodeWithoutData = 8;

constexpr uint8_t kMethodRaw = 0;
constexpr uint8_t kMethodPattern = 1;
constexpr uint8_t kMethodRuns = 2;
constexpr uint8_t kRunLiteral = 0;
constexpr uint8_t kRunPattern = 1;

// Longest comment text the reader keeps, and the longest the writer puts together from the lines.
constexpr size_t kCommentTextKept = 2991;
constexpr size_t kCommentTextWritten = 1016;
// No real image comes near this; a coded body that claims more is cut here.
constexpr size_t kLongestDecodedBody = 32u << 20;

// Zero bytes after the LZH code. Some TeleDisk readers decode a symbol only while about two more bytes
// of input follow it; without this tail they miss the end marker and never finish.
constexpr size_t kCodeTailBytes = 2;

// What the writer puts into the header besides signature, version and CRC.
constexpr uint8_t kWrittenVersion = 21;
constexpr uint8_t kWrittenDriveType = 3;
// A disk with a track holding more sector data than one double-density rotation (6250 bytes at
// 250 kbit/s and 300 rpm) can only have been a high-density disk: its header says 500 kbit/s and a
// 1.44 MB drive, or readers that follow the data rate find no sector on it.
constexpr unsigned kDoubleDensityTrackBytes = 6250;
constexpr uint8_t kHighDensityRate = 2;
// The header's data rate byte: its two low bits the rate, bit 7 set for FM.
constexpr uint8_t kRateMask = 0x03;
constexpr uint8_t kRateFm = 0x80;

uint16_t RateOf(uint8_t rateByte) {
    static constexpr uint16_t kRates[4] = {250, 300, 500, 1000};
    return kRates[rateByte & kRateMask];
}
constexpr uint8_t kHighDensityDriveType = 4;
constexpr uint8_t kWrittenSides = 2;

constexpr std::array<uint16_t, 256> MakeTeleDiskCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        uint16_t reg = static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            reg = (reg & 0x8000) ? static_cast<uint16_t>((reg << 1) ^ 0xA097) : static_cast<uint16_t>(reg << 1);
        table[b] = reg;
    }
    return table;
}
constexpr auto kTeleDiskCrcTable = MakeTeleDiskCrcTable();

// The nominal size 128 << N of a sector with a data block; 0 for the codes that have none.
unsigned SlotBytesForSizeCode(uint8_t sizeCode) {
    return sizeCode < kFirstSizeCodeWithoutData ? 128u << sizeCode : 0u;
}

// What a TeleDisk image keeps beyond IDs and data: deleted-data marks, data CRC errors, IDs without data,
// data fields without an ID, data rates and the comment; not ID CRC errors or the other reads of a weak
// sector.
constexpr KeptFeatures kTd0Keeps{.deletedMarks = true,
                                 .dataCrcErrors = true,
                                 .idsWithoutData = true,
                                 .dataWithoutId = true,
                                 .dataRate = true,
                                 .comment = true};

bool NeedsHighDensity(const TZX_Disk& disk) {
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const TTrack& track = *disk.Track(k);
        if (!track.Used) continue;
        unsigned bytes = 0;
        for (const TSectorSlot& slot : track.Sectors)
            if (slot.Used && slot.SizeCode < kFirstSizeCodeWithoutData) bytes += 128u << slot.SizeCode;
        if (bytes > kDoubleDensityTrackBytes) return true;
    }
    return false;
}

bool Fail(TZX_Disk& disk, const char* message) {
    disk.StatusMessage = Tr(message);
    return false;
}

// Reads one data block (method byte and coded bytes, `blockBytes` in all) into the slot's Data and
// counts the bytes it decodes. A refused block is a failure with its reason.
Status ReadDataBlock(ByteReader& in, unsigned blockBytes, TSectorSlot& slot, size_t& decoded) {
    const uint8_t method = in.U8();
    switch (method) {
        case kMethodRaw:
            if (blockBytes - 1 > kMaxStoredSectorBytes) return Status::Failure(Tr("Sector size error!"));
            in.Read(slot.Data.data(), blockBytes - 1);
            decoded = blockBytes - 1;
            return Status::Ok();
        case kMethodPattern: {
            const unsigned count = in.U16();
            const uint8_t low = in.U8();
            const uint8_t high = in.U8();
            if (2u * count > kMaxStoredSectorBytes) return Status::Failure(Tr("Sector size error!"));
            for (unsigned i = 0; i < count; ++i) {
                slot.Data[2 * i] = low;
                slot.Data[2 * i + 1] = high;
            }
            decoded = 2u * count;
            return Status::Ok();
        }
        case kMethodRuns: {
            size_t position = 0;
            size_t consumed = 0;
            while (consumed < blockBytes - 1) {
                const uint8_t type = in.U8();
                ++consumed;
                if (type == kRunLiteral) {
                    const unsigned n = in.U8();
                    ++consumed;
                    if (position + n > kMaxStoredSectorBytes) return Status::Failure(Tr("Sector size error!"));
                    in.Read(slot.Data.data() + position, n);
                    position += n;
                    consumed += n;
                } else if (type == kRunPattern) {
                    const unsigned n = in.U8();
                    const uint8_t low = in.U8();
                    const uint8_t high = in.U8();
                    consumed += 3;
                    if (position + 2u * n > kMaxStoredSectorBytes) return Status::Failure(Tr("Sector size error!"));
                    for (unsigned i = 0; i < n; ++i) {
                        slot.Data[position++] = low;
                        slot.Data[position++] = high;
                    }
                } else {
                    return Status::Failure(Tr("TD0 format error!"));
                }
            }
            decoded = position;
            return Status::Ok();
        }
        default:
            return Status::Failure(Tr("TD0 format error!"));
    }
}

bool SizeHasDataBlock(uint8_t sizeCode) { return sizeCode < kFirstSizeCodeWithoutData; }
bool HasDataBlock(uint8_t flags, uint8_t sizeCode) {
    return !(flags & kFlagsWithoutData) && SizeHasDataBlock(sizeCode);
}

struct SectorRecord {
    uint8_t cylinder, head, sectorNo, sizeCode, flags;
};

SectorRecord ReadSectorRecord(ByteReader& in) {
    SectorRecord r{};
    r.cylinder = in.U8();
    r.head = in.U8();
    r.sectorNo = in.U8();
    r.sizeCode = in.U8();
    r.flags = in.U8();
    in.Skip(1);  // CRC
    return r;
}

// Fills the slot from a sector record and reads its data block, if it has one, into the slot's bytes
// (room for kMaxStoredSectorBytes). A refused block is a failure with its reason.
Status ReadSector(ByteReader& in, const SectorRecord& record, TSectorSlot& slot) {
    slot.Used = kFlagSet;
    slot.Cylinder = record.cylinder;
    slot.Head = record.head;
    slot.SectorNo = record.sectorNo;
    slot.SizeCode = record.sizeCode;
    slot.DataCrcOk = (record.flags & kFlagDataCrcError) ? 0 : kFlagSet;
    slot.DeletedData = (record.flags & kFlagDeletedData) ? kFlagSet : 0;
    slot.IdMissing = (record.flags & kFlagNoIdField) ? kFlagSet : 0;
    const unsigned size = SlotBytesForSizeCode(record.sizeCode);
    std::fill_n(slot.Data.begin(), size, uint8_t{0});
    if (!HasDataBlock(record.flags, record.sizeCode)) {
        slot.DataLength = 0;
        return Status::Ok();
    }
    const unsigned blockBytes = in.U16();
    if (blockBytes > in.Remaining()) return Status::Failure(Tr("Block size error!"));
    if (blockBytes == 0) return Status::Failure(Tr("TD0 format error!"));
    size_t decodedBytes = 0;
    if (Status block = ReadDataBlock(in, blockBytes, slot, decodedBytes); !block) return block;
    slot.DataLength = static_cast<uint16_t>(std::max<size_t>(size, decodedBytes));
    return Status::Ok();
}

// Puts a sector read by ReadSector in slot i of track k: its ID fields, states and data.
void PlaceSector(TZX_Disk& disk, unsigned k, unsigned i, const TSectorSlot& read) {
    TSectorSlot& slot = *disk.Track(k)->Sector(i);
    slot.Used = read.Used;
    slot.Cylinder = read.Cylinder;
    slot.Head = read.Head;
    slot.SectorNo = read.SectorNo;
    slot.SizeCode = read.SizeCode;
    slot.DataCrcOk = read.DataCrcOk;
    slot.DataLength = read.DataLength;
    slot.DeletedData = read.DeletedData;
    slot.IdMissing = read.IdMissing;
    if (read.DataLength) std::memcpy(disk.ReserveData(slot, read.DataLength, false), read.Data.data(), read.DataLength);
}

void ReadComment(TZX_Disk& disk, ByteReader& in) {
    in.Skip(2);  // CRC of the block; TeleDisk readers do not check it
    const unsigned length = in.U16();
    uint8_t date[6];
    in.Read(date, sizeof date);
    disk.StatusMessage = TD0CreationText(date[0], date[1], date[2], date[3], date[4], date[5]);
    const ByteSpan text = in.Take(length).first(std::min<size_t>(length, kCommentTextKept));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != 0) ++end;
        if (end > start) disk.Comment.push_back(Cp1251ToUtf8(text.subspan(start, end - start)));
        start = end + 1;
    }
}

void PutCommentBlock(const std::vector<std::string>& comment, const std::tm& when, Bytes& body) {
    Bytes text;
    if (!comment.empty()) {
        for (const std::string& line : comment) {
            const std::string bytes = Utf8ToCp1251(line);
            if (bytes.empty()) continue;
            if (text.size() + bytes.size() > kCommentTextWritten) break;
            text.insert(text.end(), bytes.begin(), bytes.end());
            text.push_back(0);
        }
        text.push_back(0);
        text.push_back(0);
    }
    Bytes block;
    PutU16(block, 0);  // CRC, filled in below
    PutU16(block, static_cast<uint16_t>(text.size()));
    PutU8(block, static_cast<uint8_t>((when.tm_year) & 0xFF));
    PutU8(block, static_cast<uint8_t>(when.tm_mon + 1));
    PutU8(block, static_cast<uint8_t>(when.tm_mday));
    PutU8(block, static_cast<uint8_t>(when.tm_hour));
    PutU8(block, static_cast<uint8_t>(when.tm_min));
    PutU8(block, static_cast<uint8_t>(std::min(when.tm_sec, 59)));
    block.insert(block.end(), text.begin(), text.end());
    const uint16_t crc = TZX_Disk::Crc16TD0(block.data() + 2, block.size() - 2);
    block[0] = static_cast<uint8_t>(crc);
    block[1] = static_cast<uint8_t>(crc >> 8);
    body.insert(body.end(), block.begin(), block.end());
}

// A zero block for the part of a sector's nominal size its slot does not hold.
const std::array<uint8_t, 128u << (kFirstSizeCodeWithoutData - 1)> kZeroData{};

void PutTrack(const TTrack& track, unsigned index, Bytes& body, LossReport& losses) {
    const uint8_t record[3] = {track.UsedSectorCount(), static_cast<uint8_t>(index / 2),
                               static_cast<uint8_t>(index % 2)};
    PutBytes(body, record, sizeof record);
    PutU8(body, static_cast<uint8_t>(TZX_Disk::Crc16TD0(record, sizeof record)));
    unsigned written = 0;
    for (unsigned i = 0; i < kMaxSectors && written < record[0]; ++i) {
        const TSectorSlot& slot = *track.Sector(i);
        if (!slot.Used) continue;
        ++written;
        PutU8(body, slot.Cylinder);
        PutU8(body, slot.Head);
        PutU8(body, slot.SectorNo);
        PutU8(body, slot.SizeCode);
        uint8_t flags = slot.DataCrcOk ? 0 : kFlagDataCrcError;
        if (slot.IdMissing) flags |= kFlagNoIdField;
        if (slot.DataLength == 0 || !SizeHasDataBlock(slot.SizeCode)) {
            // TeleDisk keeps no data for a size code of 8 or more: such a sector's data goes.
            if (slot.DataLength) losses.Add(LossKind::kSectorBytes, static_cast<int>(index), slot.DataLength);
            PutU8(body, static_cast<uint8_t>(kFlagIdWithoutData | flags));
            PutU8(body, 0);  // CRC of no data
            continue;
        }
        if (slot.DeletedData) flags |= kFlagDeletedData;
        const unsigned size = SlotBytesForSizeCode(slot.SizeCode);
        const unsigned held = std::min<unsigned>(size, static_cast<unsigned>(slot.HeldBytes()));
        if (slot.DataLength > size)
            losses.Add(LossKind::kSectorBytes, static_cast<int>(index), slot.DataLength - size);
        Bytes data(slot.Data.data(), slot.Data.data() + held);
        data.insert(data.end(), kZeroData.begin(), kZeroData.begin() + (size - held));
        PutU8(body, flags);
        PutU8(body, static_cast<uint8_t>(TZX_Disk::Crc16TD0(data.data(), size)));
        PutU16(body, static_cast<uint16_t>(size + 1));
        PutU8(body, kMethodRaw);
        PutBytes(body, data.data(), size);
    }
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

// Reads the image into a disk that has just been cleared.
bool ParseIntoClearedDisk(TZX_Disk& disk, ByteSpan bytes) {
    ByteReader file(bytes);
    const ByteSpan header = file.Take(kHeaderBytes);
    if (std::toupper(header[0]) != 'T' || std::toupper(header[1]) != 'D') return Fail(disk, TrMark("Not a TD0 file!"));
    const uint8_t version = header[4];
    if (version < kTd0LowestVersion || version > kTd0HighestVersion)
        return Fail(disk, TrMark("Unsupported TD0 version!"));
    if (TZX_Disk::Crc16TD0(header.data(), 10) != static_cast<uint16_t>(header[10] | header[11] << 8))
        return Fail(disk, TrMark("TD0 header CRC error!"));

    Bytes decoded;
    ByteSpan body = bytes.subspan(kHeaderBytes);
    if (header[0] == 't' && header[1] == 'd') {
        if (version < kLowestCompressedVersion) return Fail(disk, TrMark("Old TD0 compression is not supported!"));
        LzhDecode(bytes, kHeaderBytes, decoded, kLongestDecodedBody);
        body = decoded;
    }
    ByteReader in(body);

    if (header[7] & kCommentFollows) ReadComment(disk, in);

    unsigned highestCylinder = 0;
    unsigned highestHead = 0;
    SpareSlot read;  // each sector is read here first, then put in its slot
    read.Reserve(kMaxStoredSectorBytes);
    const uint16_t rate = RateOf(header[5]);
    while (!in.AtEnd()) {
        const uint8_t sectors = in.U8();
        if (sectors == kEndOfImage) break;
        const unsigned cylinder = in.U8();
        const uint8_t headByte = in.U8();
        const unsigned head = headByte & ~kHeadFm;
        highestCylinder = std::max(highestCylinder, cylinder);
        highestHead = std::max(highestHead, head);
        in.Skip(1);  // CRC
        if (head > kHighestHead || cylinder > kHighestCylinder || sectors > kMaxSectors)
            return Fail(disk, TrMark("Bad disk parameter!"));
        const unsigned k = cylinder * 2 + head;
        TTrack& track = *disk.Track(k);
        track.Used = kFlagSet;
        track.RateKbps = rate;
        track.Encoding = ((headByte & kHeadFm) || (header[5] & kRateFm)) ? TrackEncoding::kFm : TrackEncoding::kMfm;

        // A data field found without an ID (flag 0x40) keeps its place among the sectors, marked so: its
        // ID is TeleDisk's own, which no controller finds on the disk.
        for (unsigned j = 0; j < sectors; ++j) {
            const SectorRecord record = ReadSectorRecord(in);
            if (const Status sector = ReadSector(in, record, *read); !sector) {
                disk.StatusMessage = sector.reason();
                return false;
            }
            PlaceSector(disk, k, j, *read);
        }
    }
    disk.TrackCount = static_cast<uint16_t>((highestCylinder + 1) * (highestHead + 1));
    return true;
}

}  // namespace

uint16_t TZX_Disk::Crc16TD0(const uint8_t* data, size_t n) {
    uint16_t reg = 0;
    for (size_t i = 0; i < n; ++i)
        reg = static_cast<uint16_t>((reg << 8) ^ kTeleDiskCrcTable[((reg >> 8) ^ data[i]) & 0xFF]);
    return reg;
}

std::string TD0CreationText(uint8_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute, uint8_t second) {
    const std::string date = std::to_string(day) + "." + std::to_string(month) + "." + std::to_string(year + 1900);
    const std::string time = std::to_string(hour) + ":" + std::to_string(minute) + ":" + std::to_string(second);
    return Fill(Tr("Created: %s"), {date + " " + time});
}

// Unlike the other readers, a missing file is not a quiet false: the disk is cleared and the
// system's reason comes back as an exception.
bool TZX_Disk::LoadTD0(const std::string& fileName) {
    Clear();
    const Bytes bytes = ReadWholeFile(fileName);
    return ParseIntoClearedDisk(*this, bytes);
}

bool TZX_Disk::ParseTD0(ByteSpan bytes) {
    Clear();
    return ParseIntoClearedDisk(*this, bytes);
}

bool TZX_Disk::SaveTD0(const std::string& fileName, bool Compress) {
    Bytes out;
    if (!BuildTD0(out, Compress)) return false;
    SaveFileAtomic(fileName, out);
    return true;
}

bool TZX_Disk::BuildTD0(Bytes& out, bool Compress) { return BuildTD0At(*this, out, Compress, LocalTimeNow()); }

bool BuildTD0At(TZX_Disk& disk, Bytes& out, bool compress, const std::tm& when) {
    out.clear();
    disk.WriteLosses.Clear();
    NoteFeatureLosses(disk, kTd0Keeps, disk.WriteLosses);
    const bool highDensity = NeedsHighDensity(disk);
    const uint8_t header[10] = {static_cast<uint8_t>(compress ? 't' : 'T'),
                                static_cast<uint8_t>(compress ? 'd' : 'D'),
                                0,
                                0,
                                kWrittenVersion,
                                highDensity ? kHighDensityRate : uint8_t{0},
                                highDensity ? kHighDensityDriveType : kWrittenDriveType,
                                kCommentFollows,
                                0,
                                kWrittenSides};
    PutBytes(out, header, sizeof header);
    PutU16(out, TZX_Disk::Crc16TD0(header, sizeof header));

    Bytes body;
    PutCommentBlock(disk.Comment, when, body);
    const unsigned tracks = disk.CountTracks();
    unsigned written = 0;
    for (unsigned k = 0; k < kMaxTracks && written < tracks; ++k) {
        const TTrack& track = *std::as_const(disk).Track(k);
        if (!track.Used) continue;
        ++written;
        PutTrack(track, k, body, disk.WriteLosses);
    }
    const uint8_t endMarker[4] = {kEndOfImage, 0, 0, 0};
    PutBytes(body, endMarker, sizeof endMarker);

    if (compress) {
        LzhEncode(body, out);
        out.insert(out.end(), kCodeTailBytes, uint8_t{0});
    } else {
        out.insert(out.end(), body.begin(), body.end());
    }
    return true;
}

}  // namespace tarvex
