// The in-memory floppy disk that every image format reads into and writes from.
// A disk holds up to 166 tracks (83 cylinders on two sides, index = cylinder * 2 + side),
// each with up to 20 sector slots and, optionally, the raw MFM bytes of the track.
// All storage is allocated once, when the disk is made; Clear resets it in place.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "io/bytes.h"

namespace tarvex {

constexpr int kMaxTracks = 166;
constexpr int kMaxSectors = 20;
constexpr int kSectorDataBytes = 1100;
constexpr int kRawTrackBytes = 14000;
constexpr int kRawClearedBytes = 6500;  // Clear zeroes only this much of RawData
// Sectors of TR-DOS disks and the like: a track handed out for sectors no longer than this keeps its
// slots' bytes side by side, a page for a whole track.
constexpr int kNarrowSectorBytes = 256;

constexpr uint8_t kFlagSet = 0xFF;

// Bytes kept in storage that a disk (or a spare holder) owns; the object only knows where they are.
// Assigning one copies the bytes, as assigning an array would, and zeroes what the source does not
// hold; the place stays where it is. Comparing compares the bytes, a shorter run read as zeros after
// its end.
class BoundBytes {
public:
    BoundBytes() = default;
    BoundBytes(const BoundBytes&) = delete;
    BoundBytes& operator=(const BoundBytes& other);
    bool operator==(const BoundBytes& other) const;

    uint8_t* data() { return bytes_; }
    const uint8_t* data() const { return bytes_; }
    uint8_t* begin() { return bytes_; }
    const uint8_t* begin() const { return bytes_; }
    uint8_t* end() { return bytes_ + size_; }
    const uint8_t* end() const { return bytes_ + size_; }
    size_t size() const { return size_; }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    const uint8_t& operator[](size_t i) const { return bytes_[i]; }
    void fill(uint8_t value);

    void Bind(uint8_t* bytes, size_t size) {
        bytes_ = bytes;
        size_ = size;
    }

private:
    uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
};

struct TSectorSlot {
    uint8_t Used = 0;
    uint8_t Cylinder = 0;
    uint8_t Head = 0;
    uint8_t SectorNo = 0;
    uint8_t SizeCode = 0;
    uint8_t DataCrcOk = 0;
    uint16_t DataLength = 0;
    // Up to kSectorDataBytes bytes; a slot of a track handed out for sectors of at most kNarrowSectorBytes
    // holds that many, which is all its reader writes and all a writer reads of such a sector.
    BoundBytes Data;
};

class TTrack {
public:
    // The small fields lead, so that they share a memory page with the slots.
    uint8_t Index = 0;
    uint8_t Used = 0;
    uint8_t SectorCount = 0;
    uint8_t RawValid = 0;
    uint16_t RawLength = 0;
    std::array<TSectorSlot, kMaxSectors> Sectors{};
    BoundBytes RawData;  // kRawTrackBytes

    void Clear();
    // Clear for a track whose writers kept to the first `slotCount` slots (their ID fields and the first
    // dataBytes of their data) and to the track's own fields, raw bytes aside. The first keptBytes of the
    // first keptSlots slots are left as they are (a reader is about to overwrite them).
    void ClearWithin(unsigned slotCount, unsigned dataBytes, unsigned keptSlots = 0, unsigned keptBytes = 0);
    void ClearSector(unsigned i);
    uint8_t CountSectors();               // also stores the count in SectorCount
    uint8_t UsedSectorCount() const;      // the same count, stored nowhere
    // Slot i (0..19); nullptr for any other index.
    TSectorSlot* Sector(unsigned i) { return i < kMaxSectors ? &Sectors[i] : nullptr; }
    const TSectorSlot* Sector(unsigned i) const { return i < kMaxSectors ? &Sectors[i] : nullptr; }
};

// A slot with bytes of its own, for sectors a reader reads and does not keep.
class SpareSlot {
public:
    SpareSlot() { slot_.Data.Bind(bytes_.data(), bytes_.size()); }
    SpareSlot(const SpareSlot&) = delete;
    SpareSlot& operator=(const SpareSlot&) = delete;
    TSectorSlot& operator*() { return slot_; }

private:
    std::array<uint8_t, kSectorDataBytes> bytes_{};
    TSectorSlot slot_;
};

// A track with bytes of its own, outside any disk: a reader's scratch track.
class SpareTrack {
public:
    SpareTrack();
    SpareTrack(const SpareTrack&) = delete;
    SpareTrack& operator=(const SpareTrack&) = delete;
    TTrack& operator*() { return track_; }
    TTrack* operator->() { return &track_; }

private:
    std::vector<uint8_t> bytes_;
    TTrack track_;
};

// Told when the disk model is cleared (a view scrolls back to its first row and repaints).
class DiskObserver {
public:
    virtual ~DiskObserver() = default;
    virtual void DiskCleared() = 0;
};

struct TrdosCatalogue;  // the decoded TR-DOS system area (trdos_area.h)

// Where a disk keeps its slots' bytes. Compact: a track handed out for narrow sectors keeps them side by
// side, so a TR-DOS disk fills 640 KB rather than every slot's full size; Wide: every slot has its full
// size at all times. Both hold the same sectors; Wide is the plain layout that Compact is tested against.
enum class SlotLayout { kCompact, kWide };

class TZX_Disk {
public:
    explicit TZX_Disk(SlotLayout layout = SlotLayout::kCompact);
    TZX_Disk(const TZX_Disk&) = delete;
    TZX_Disk& operator=(const TZX_Disk&) = delete;

    uint8_t TrackCount = 0;
    // Data fields the reader found with no ID field before them and left out of the tracks: their ID
    // was made up by the imaging program, so no sector of the disk carries it.
    uint16_t SkippedIdlessSectors = 0;
    std::vector<std::string> Comment;
    std::string StatusMessage;
    bool ShowDisabledSectors = false;

    void Clear();
    // Clear for a reader about to overwrite the first dataBytes of the first slotCount slots of tracks 0 ..
    // trackCount - 1, which it hands out with TrackWithin for that much: those bytes are left as they are
    // where they will stay in place, instead of being zeroed. Until the reader has written every one of
    // them, or the disk is cleared again, nothing may read the disk.
    void ClearForRefill(unsigned trackCount, unsigned slotCount, unsigned dataBytes);
    // Track k (0..165); nullptr for any other index. Clear resets the tracks handed out since the last
    // Clear, so a reference kept across a Clear must be taken again before it is written through.
    // Writers read through the const overloads: an image written leaves no track for Clear to reset.
    TTrack* Track(unsigned k);
    const TTrack* Track(unsigned k) const;
    // Track k for a reader that writes no more than the first `slotCount` slots, their ID fields and their
    // first dataBytes data bytes, and the track's own fields but no raw bytes: the next Clear resets only
    // that much, unless the track is also handed out whole. While every hand-out of a track since the last
    // Clear asked for at most kNarrowSectorBytes, its slots hold that many bytes each, side by side; a
    // wider one moves them to their full size (a pointer taken into a slot's bytes before then is stale).
    TTrack* TrackWithin(unsigned k, unsigned slotCount, unsigned dataBytes);
    uint8_t CountTracks();
    // First slot 0..19 of track k whose SectorNo is r, used or not; nullptr when none matches.
    TSectorSlot* FindSector(unsigned k, unsigned r);
    const TSectorSlot* FindSector(unsigned k, unsigned r) const;

    void SetObserver(DiskObserver* observer) { observer_ = observer; }

    // Checksums: MFM ID/data fields, the UDI file checksum, the TeleDisk checksum.
    static uint16_t Crc16(const uint8_t* data, size_t n);
    static uint32_t Crc32(const uint8_t* data, size_t n);
    static uint16_t Crc16TD0(const uint8_t* data, size_t n);

    // Readers: Load* takes a file, Parse* the file's bytes. Both clear the disk first.
    // False with the reason in StatusMessage; a file cut short throws StreamReadError.
    // Writers: Build* makes the image bytes, Save* builds and saves them atomically.
    bool LoadTRD(const std::string& fileName);
    bool ParseTRD(ByteSpan bytes);
    // ParseTRD for a file of `size` bytes read straight into the disk: everything but the sectors' bytes,
    // and where those go (see PlaceSectorDump). False, the disk untouched, when the file is to be parsed
    // from its bytes instead.
    bool PlaceTRD(uint64_t size, WritablePieces& places);
    bool SaveTRD(const std::string& fileName);
    bool BuildTRD(Bytes& out);
    // The image BuildTRD makes, as runs of the disk's own bytes (see GatherSectorDump).
    bool GatherTRD(ImagePieces& pieces);

    bool LoadSCL(const std::string& fileName);
    bool ParseSCL(ByteSpan bytes);
    bool SaveSCL(const std::string& fileName);
    bool BuildSCL(Bytes& out);
    void FormatBlankDisk(const std::string& label);
    bool ReadCatalogue(TrdosCatalogue& catalogue);

    bool LoadUDI(const std::string& fileName);
    bool ParseUDI(ByteSpan bytes);
    bool SaveUDI(const std::string& fileName);
    bool BuildUDI(Bytes& out);
    // Builds the raw MFM bytes (6256) of a track and, when marksOut is given, its 782-byte clock-mark bitmap.
    bool BuildRawTrack(uint8_t trackIndex, uint8_t* rawOut, uint8_t* marksOut);

    bool LoadFDI(const std::string& fileName);
    bool ParseFDI(ByteSpan bytes);
    bool SaveFDI(const std::string& fileName);
    bool BuildFDI(Bytes& out);

    bool LoadTD0(const std::string& fileName);
    bool ParseTD0(ByteSpan bytes);
    bool SaveTD0(const std::string& fileName, bool Compress = false);
    bool BuildTD0(Bytes& out, bool Compress);

    bool LoadPRO(const std::string& fileName);
    bool ParsePRO(ByteSpan bytes);
    bool PlacePRO(uint64_t size, WritablePieces& places);
    bool SavePRO(const std::string& fileName);
    bool BuildPRO(Bytes& out);
    bool GatherPRO(ImagePieces& pieces);

    bool LoadKDI(const std::string& fileName);
    bool ParseKDI(ByteSpan bytes);
    bool PlaceKDI(uint64_t size, WritablePieces& places);
    bool SaveKDI(const std::string& fileName);
    bool BuildKDI(Bytes& out);
    bool GatherKDI(ImagePieces& pieces);

    bool LoadHFE(const std::string& fileName);
    bool ParseHFE(ByteSpan bytes);
    bool SaveHFE(const std::string& fileName);
    bool BuildHFE(Bytes& out);
    bool LoadDSK(const std::string& fileName);
    bool ParseDSK(ByteSpan bytes);
    bool SaveDSK(const std::string& fileName);
    bool BuildDSK(Bytes& out);

private:
    // The common frame of every reader and writer: file checks, whole-file I/O, atomic save.
    bool LoadWith(const std::string& fileName, bool (TZX_Disk::*parse)(ByteSpan));
    bool SaveWith(const std::string& fileName, bool (TZX_Disk::*build)(Bytes&));

    // Storage of the tracks and their bytes, taken zeroed from the system, which hands out pages of a
    // large block only when first used: bytes nobody wrote cost nothing.
    struct Storage;
    struct FreeStorage {
        void operator()(Storage* storage) const;
    };
    static Storage* AllocateStorage();
    // How a track's slots hold their bytes: not at all yet (they read as zeros from a block nothing
    // writes to), side by side at kNarrowSectorBytes, or each at its full size.
    enum class SlotBytes : uint8_t { kNone, kNarrow, kFull };
    void BindSlots(unsigned k, SlotBytes bytes);
    // Where a track handed out for sectors of dataBytes keeps its slots' bytes.
    SlotBytes SlotBytesFor(unsigned dataBytes) const;
    std::unique_ptr<Storage, FreeStorage> storage_;
    std::array<TTrack, kMaxTracks>* tracks_ = nullptr;
    std::array<SlotBytes, kMaxTracks> slotBytes_{};
    SlotLayout layout_;
    std::bitset<kMaxTracks> touched_;  // tracks handed out for writing since the last Clear
    // How much of each touched track was handed out: the slots and their data bytes (whole when
    // handed out by Track).
    struct WrittenPart {
        uint8_t slotCount = 0;
        uint16_t dataBytes = 0;
    };
    std::array<WrittenPart, kMaxTracks> written_{};
    DiskObserver* observer_ = nullptr;
};

// Half goes to the even neighbour: 2.5 -> 2, 3.5 -> 4.
long long RoundHalfEven(long long numerator, long long denominator);

}  // namespace tarvex
