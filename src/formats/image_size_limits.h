// The largest file each image format can describe, worked out from what its reader accepts. A source
// larger than its format's limit is refused before it is read, and a source of unknown length (a pipe,
// a device, a /proc file) is read no further than its limit, so bad input costs bounded time and memory.
#pragma once

#include <cstdint>
#include <string>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/size_limit.h"
#include "trdos/trdos_area.h"

namespace tarvex {

// A headerless dump too large for the model: the reader's own refusal, naming the track count.
std::string DumpOversizeText(const FileSizeLimit& limit, uint64_t size);

namespace size_limits {

// Headerless dumps: every track the file holds a byte of is a track (a last track cut short is filled up
// with zeros), so a file longer than the model's tracks makes one track too many, which the reader refuses.
constexpr uint64_t kTrdTrackBytes = kTrdosSectorsPerTrack * kTrdosSectorBytes;
constexpr uint64_t kProKdiTrackBytes = 5 * 1024;
constexpr uint64_t SectorDumpBytes(uint64_t trackBytes) { return kMaxTracks * trackBytes; }

// UDI: the 16-byte header, one record per track (type, 16-bit length, the raw bytes, one clock-mark bit
// per raw byte; a compressed record is smaller) and the CRC-32. The reader refuses more records than the
// model has tracks. It does not look at bytes between the last record and the CRC, which one emulator
// leaves there: room is left for a record's worth of them.
constexpr uint64_t kUdiHeaderBytes = 16;
constexpr uint64_t kUdiRecordHeadBytes = 3;
constexpr uint64_t kUdiLargestRecord = kUdiRecordHeadBytes + kRawTrackBytes + (kRawTrackBytes + 7) / 8;
constexpr uint64_t kUdiTrailingBytes = kUdiLargestRecord;
constexpr uint64_t kUdiCrcBytes = 4;

// FDI: track and sector data are found through the 16-bit offset of the data area, a 32-bit offset per
// track and a 16-bit offset per sector within its track; the largest sector the reader takes has size
// code 8 (32 KB). A track's data therefore ends at most 64 KB + 32 KB after the track's own offset, and
// an image whose tracks follow one another, as every FDI writer lays them out, ends within 166 such
// spans after the data area. (The 32-bit track offsets could leave gaps of unused bytes between tracks;
// no writer does.) The headers (at most 14 + 65535 + 166 * 7 + 3320 * 7 bytes) end well before that.
constexpr uint64_t kFdiLargestDataAreaOffset = 0xFFFF;
constexpr uint64_t kFdiLargestSectorOffset = 0xFFFF;
constexpr uint64_t kFdiLargestSector = 128u << 8;

// SCL: "SINCLAIR", the file count, 14 bytes per file header, the files' sectors and a 32-bit sum. The
// reader takes at most 128 files (a TR-DOS catalogue's size), and a file's length in sectors is one byte.
// It also refuses more sectors than a TR-DOS disk has free (2544), but with a message of its own, so the
// limit leaves room for 128 files of 255 sectors and every archive of a catalogue's size gets that message.
constexpr uint64_t kSclHeadBytes = 8 + 1;
constexpr uint64_t kSclFileHeaderBytes = 14;
constexpr uint64_t kSclMaxFiles = kTrdosMaxFiles;
constexpr uint64_t kSclMaxFileSectors = 255;
constexpr uint64_t kSclSumBytes = 4;

// TD0: no length bounds every image the reader accepts: it reads a track record again when it comes
// again, and a data block coded as runs may be padded with empty runs up to its 16-bit length (65,535
// bytes per sector), so the limit is chosen to cover every real image by a wide margin instead. An image
// of 166 tracks of 20 sectors of 1,100 bytes, each stored plainly, and the longest comment is under 4 MB; a compressed image is smaller than the body it expands to, except by a small
// fraction on data that does not compress. Real images are under 2 MB (an 80-track high-density disk).
constexpr uint64_t kTd0Bytes = 16u << 20;

// HFE: a header block, the list of at most 255 cylinders (two blocks), and per cylinder its 16-bit length
// of both sides in whole blocks. (The 16-bit block offsets could leave unused blocks between cylinders;
// no writer does.)
constexpr uint64_t kHfeBlockBytes = 512;
constexpr uint64_t kHfeMaxCylinders = 255;
constexpr uint64_t kHfeLargestCylinder = (0xFFFF + kHfeBlockBytes - 1) / kHfeBlockBytes * kHfeBlockBytes;
constexpr uint64_t kHfeBytes = 3 * kHfeBlockBytes + kHfeMaxCylinders * kHfeLargestCylinder;
// DSK: the 256-byte disk information block and one block per track the model holds, at most 65,535 bytes
// (a standard image's 16-bit track size; an extended one's blocks end at 255 x 256). Blocks after the last
// track, such as an offset table, are not read; room is left for one of a track block's size.
constexpr uint64_t kDskInfoBytes = 256;
constexpr uint64_t kDskLargestTrackBlock = 0xFFFF;
constexpr uint64_t kDskTrailingBytes = kDskLargestTrackBlock;

constexpr uint64_t kUdiBytes = kUdiHeaderBytes + kMaxTracks * kUdiLargestRecord + kUdiTrailingBytes + kUdiCrcBytes;
constexpr uint64_t kFdiBytes = kFdiLargestDataAreaOffset + kMaxTracks * (kFdiLargestSectorOffset + kFdiLargestSector);
constexpr uint64_t kSclBytes =
    kSclHeadBytes + kSclMaxFiles * (kSclFileHeaderBytes + kSclMaxFileSectors * kTrdosSectorBytes) + kSclSumBytes;
constexpr uint64_t kTrdBytes = SectorDumpBytes(kTrdTrackBytes);
constexpr uint64_t kProKdiBytes = SectorDumpBytes(kProKdiTrackBytes);
constexpr uint64_t kDskBytes = kDskInfoBytes + kMaxTracks * kDskLargestTrackBlock + kDskTrailingBytes;
}  // namespace size_limits

inline constexpr FileSizeLimit kTrdFileLimit{TrMark("a TRD image"), size_limits::kTrdBytes, "TRD",
                                             size_limits::kTrdTrackBytes, DumpOversizeText};
inline constexpr FileSizeLimit kProFileLimit{TrMark("a PRO image"), size_limits::kProKdiBytes, "PRO",
                                             size_limits::kProKdiTrackBytes, DumpOversizeText};
inline constexpr FileSizeLimit kKdiFileLimit{TrMark("a KDI image"), size_limits::kProKdiBytes, "KDI",
                                             size_limits::kProKdiTrackBytes, DumpOversizeText};
inline constexpr FileSizeLimit kUdiFileLimit{TrMark("a UDI image"), size_limits::kUdiBytes};
inline constexpr FileSizeLimit kFdiFileLimit{TrMark("an FDI image"), size_limits::kFdiBytes};
inline constexpr FileSizeLimit kSclFileLimit{TrMark("an SCL image"), size_limits::kSclBytes};
inline constexpr FileSizeLimit kTd0FileLimit{TrMark("a TD0 image"), size_limits::kTd0Bytes};
inline constexpr FileSizeLimit kHfeFileLimit{TrMark("an HFE image"), size_limits::kHfeBytes};
inline constexpr FileSizeLimit kDskFileLimit{TrMark("a DSK image"), size_limits::kDskBytes};



static_assert(kTrdFileLimit.maxBytes == 1048576);
static_assert(kProFileLimit.maxBytes == 1310720);
static_assert(kUdiFileLimit.maxBytes == 18948630);
static_assert(kFdiFileLimit.maxBytes == 25231103);
static_assert(kSclFileLimit.maxBytes == 8357645);
static_assert(kAnyFileLimit.maxBytes >= kTd0FileLimit.maxBytes);
static_assert(kAnyFileLimit.maxBytes >= kUdiFileLimit.maxBytes);
static_assert(kAnyFileLimit.maxBytes >= kFdiFileLimit.maxBytes);
static_assert(kAnyFileLimit.maxBytes >= kHfeFileLimit.maxBytes);
static_assert(kAnyFileLimit.maxBytes >= kDskFileLimit.maxBytes);

}  // namespace tarvex
