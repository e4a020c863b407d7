// The in-memory floppy disk that every image format reads into and writes from.
// A disk holds up to 256 tracks (128 cylinders on two sides, index = cylinder * 2 + side), each with up
// to 64 sector slots and, optionally, the raw bytes of the track as a raw-track image stores them.
// Besides the ID fields and data of a sector the model keeps what real disks carry and copy protections
// rely on: the deleted-data mark, a data field found without an ID before it, an ID field with a bad CRC,
// the several reads of a weak sector; and per track the data rate and encoding where an image tells them.
// Sector data and raw tracks live in one store that grows with the disk: a slot holds exactly the bytes
// its reader gave it, so a TR-DOS disk costs its 640 KB and a disk of 8 KB sectors what those take.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/losses.h"
#include "io/bytes.h"

namespace tarvex {

constexpr int kMaxCylinders = 128;
constexpr int kMaxTracks = 2 * kMaxCylinders;
constexpr int kMaxSectors = 64;
// The largest sector a size code describes whole (code 6); larger codes keep the bytes an image stores.
constexpr int kSectorDataBytes = 8192;
// The most data bytes a slot keeps of one read of a sector.
constexpr int kMaxStoredSectorBytes = 0xFFFF;
// A raw track as long as a high-density rotation and more (a long track, an extra-density one).
constexpr int kRawTrackBytes = 0xFFFF;

constexpr uint8_t kFlagSet = 0xFF;

// Bytes kept in the disk's store (or a spare holder's); the object only knows where they are. Assigning
// one copies the bytes, as assigning an array would, and zeroes what the source does not hold; the place
// stays where it is. Comparing compares the bytes, a shorter run read as zeros after its end. A place
// bound to nothing has no bytes and reads as an empty run.
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
    uint16_t DataLength = 0;  // bytes of one read of the data field; 0: an ID without data
    // The data: DataLength bytes, or Copies reads of DataLength bytes each, one after another. Its place
    // is given by the disk (TZX_Disk::ReserveData) before a reader writes it.
    BoundBytes Data;
    // Non-zero: the data field carries the deleted-data mark (F8) instead of the normal one (FB).
    uint8_t DeletedData = 0;
    // Non-zero: the ID field was read with a CRC error.
    uint8_t IdCrcError = 0;
    // Non-zero: a data field found with no ID field before it; its C H R N are the imaging program's.
    uint8_t IdMissing = 0;
    // The reads of a weak sector the image keeps (each read gave other bytes); 0 or 1: one read.
    uint8_t Copies = 0;

    unsigned CopyCount() const { return Copies > 1 ? Copies : 1u; }
    // The bytes of the first read the slot holds: DataLength, or fewer when it was given less room (a slot
    // filled in by hand); writers take the rest as zeros.
    size_t HeldBytes() const { return DataLength < Data.size() ? DataLength : Data.size(); }
    // Read c (0 .. CopyCount() - 1) of the data.
    const uint8_t* Copy(unsigned c) const { return Data.data() + size_t{c} * DataLength; }
};

// The slots of a track, indexed and iterated like an array of kMaxSectors. The first kNearSlots lie with
// the other tracks' first slots and the rest in a block of their own, which is not even read until a slot
// of it is handed out for writing (until then they read as blank slots): a disk of a few sectors a track
// (a TR-DOS disk has 16) costs the memory of those only.
class SlotArray {
public:
    static constexpr size_t kNearSlots = 16;

    template <class Slot, class Array>
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TSectorSlot;
        using difference_type = std::ptrdiff_t;
        using pointer = Slot*;
        using reference = Slot&;
        Iterator() = default;
        Iterator(Array* array, size_t i) : array_(array), i_(i) {}
        Slot& operator*() const { return (*array_)[i_]; }
        Slot* operator->() const { return &(*array_)[i_]; }
        Iterator& operator++() { return ++i_, *this; }
        Iterator operator++(int) { return Iterator(array_, i_++); }
        bool operator==(const Iterator& other) const { return i_ == other.i_; }

    private:
        Array* array_ = nullptr;
        size_t i_ = 0;
    };
    using iterator = Iterator<TSectorSlot, SlotArray>;
    using const_iterator = Iterator<const TSectorSlot, const SlotArray>;

    TSectorSlot& operator[](size_t i) {
        if (i < kNearSlots) return near_[i];
        farInUse_ = true;
        return far_[i - kNearSlots];
    }
    const TSectorSlot& operator[](size_t i) const {
        if (i < kNearSlots) return near_[i];
        return farInUse_ ? far_[i - kNearSlots] : kBlankSlot;
    }
    // Whether a slot past the near ones has been handed out for writing since FarOutOfUse.
    bool FarInUse() const { return farInUse_; }
    void FarOutOfUse() { farInUse_ = false; }
    static constexpr size_t size() { return kMaxSectors; }
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, kMaxSectors); }
    // Reading, the slots past the near ones that have not been handed out are blank and left out.
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, farInUse_ ? kMaxSectors : kNearSlots); }

    void Bind(TSectorSlot* nearSlots, TSectorSlot* farSlots) {
        near_ = nearSlots;
        far_ = farSlots;
    }

private:
    static const TSectorSlot kBlankSlot;
    TSectorSlot* near_ = nullptr;
    TSectorSlot* far_ = nullptr;
    bool farInUse_ = false;
};

// What a track's raw bytes are recorded with, where an image says.
enum class TrackEncoding : uint8_t { kUnknown = 0, kMfm, kFm };

class TTrack {
public:
    // The small fields lead, so that they share a memory page with the first slots.
    uint8_t Index = 0;
    uint8_t Used = 0;
    uint8_t SectorCount = 0;
    uint8_t RawValid = 0;
    uint16_t RawLength = 0;
    // The data rate in kbit/s (250 double density, 300, 500 high density, 1000); 0 where no image said.
    uint16_t RateKbps = 0;
    TrackEncoding Encoding = TrackEncoding::kUnknown;
    SlotArray Sectors;  // its place is given by the disk
    BoundBytes RawData;   // RawLength bytes; its place is given by the disk (TZX_Disk::ReserveRaw)
    BoundBytes RawMarks;  // the clock-mark bitmap of RawData (bit j of byte i marks raw byte 8i + j), if kept

    void Clear();
    void ClearSector(unsigned i);
    uint8_t CountSectors();           // also stores the count in SectorCount
    uint8_t UsedSectorCount() const;  // the same count, stored nowhere
    // Slot i (0..63); nullptr for any other index.
    TSectorSlot* Sector(unsigned i) { return i < kMaxSectors ? &Sectors[i] : nullptr; }
    const TSectorSlot* Sector(unsigned i) const { return i < kMaxSectors ? &Sectors[i] : nullptr; }
};

// A slot with bytes of its own, for sectors a reader reads before it knows where they go.
class SpareSlot {
public:
    SpareSlot() = default;
    SpareSlot(const SpareSlot&) = delete;
    SpareSlot& operator=(const SpareSlot&) = delete;
    TSectorSlot& operator*() { return slot_; }
    TSectorSlot* operator->() { return &slot_; }
    // Gives the slot room for `bytes`, zeroed, keeping nothing it held.
    uint8_t* Reserve(size_t bytes);

private:
    Bytes bytes_;
    TSectorSlot slot_;
};

// Told when the disk model is cleared (a view scrolls back to its first row and repaints).
class DiskObserver {
public:
    virtual ~DiskObserver() = default;
    virtual void DiskCleared() = 0;
};

struct TrdosCatalogue;  // the decoded TR-DOS system area (trdos_area.h)

class TZX_Disk {
public:
    TZX_Disk();
    ~TZX_Disk();
    TZX_Disk(const TZX_Disk&) = delete;
    TZX_Disk& operator=(const TZX_Disk&) = delete;

    uint16_t TrackCount = 0;
    std::vector<std::string> Comment;
    std::string StatusMessage;
    bool ShowDisabledSectors = false;
    // Read an image whose checksum does not match all the same (a loss says so) instead of refusing it.
    bool SalvageChecksums = false;
    // What the reader could not take from its image (a file cut short, a checksum that did not match);
    // emptied by Clear.
    LossReport ReadLosses;
    // What the last writer could not put in its image; emptied when a writer starts.
    LossReport WriteLosses;

    void Clear();
    // Track k (0..255); nullptr for any other index. Clear resets the tracks handed out since the last
    // Clear; writers read through the const overloads, which hand out nothing.
    TTrack* Track(unsigned k);
    const TTrack* Track(unsigned k) const;
    unsigned CountTracks();
    // First slot 0..63 of track k whose SectorNo is r, used or not; nullptr when none matches.
    TSectorSlot* FindSector(unsigned k, unsigned r);
    const TSectorSlot* FindSector(unsigned k, unsigned r) const;

    // Gives a slot of this disk room for `bytes` data bytes and returns where they go. A slot that has
    // room already keeps its place and bytes; otherwise it moves to new room, its bytes going with it.
    // Room the slot had not used reads as zeros, unless `zeroed` is false, for a reader that writes all of
    // it at once. The room lasts until the disk is cleared.
    uint8_t* ReserveData(TSectorSlot& slot, size_t bytes, bool zeroed = true);
    // A slot's ID fields, states and data, made the same as another's (of this disk or any other).
    void CopySector(TSectorSlot& to, const TSectorSlot& from);
    // Gives a track room for `bytes` raw bytes and, with marks, its clock-mark bitmap; the same rules.
    uint8_t* ReserveRaw(TTrack& track, size_t bytes, bool marks, bool zeroed = true);
    // Room for a headerless dump's bytes of `bytes` in one run, which its reader hands out slot by slot
    // with BindData: a file of whole tracks is read into it in one go. Not zeroed.
    uint8_t* ReserveRun(size_t bytes);
    // The same, its bytes from zeroFrom on zeros; cheaper than zeroing them, as the disk knows which of its
    // room is still zero.
    uint8_t* ReserveRunZeroedFrom(size_t bytes, size_t zeroFrom);
    // Binds a slot to bytes of a run from ReserveRun.
    static void BindData(TSectorSlot& slot, uint8_t* bytes, size_t size) { slot.Data.Bind(bytes, size); }

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

    // The tracks, and their slots in memory taken zeroed from the system, which hands out pages only when
    // first used: a disk costs the memory of the slots it uses.
    struct Tracks;
    std::unique_ptr<Tracks> tracks_;
    struct FreeSlots {
        void operator()(TSectorSlot* slots) const;
    };
    std::unique_ptr<TSectorSlot[], FreeSlots> nearSlots_, farSlots_;
    // The bytes of the slots and raw tracks, in chunks that stay where they are until the disk goes; Clear
    // starts handing them out again from the first.
    class Store;
    std::unique_ptr<Store> store_;
    std::bitset<kMaxTracks> touched_;  // tracks handed out for writing since the last Clear
    DiskObserver* observer_ = nullptr;
};

// Half goes to the even neighbour: 2.5 -> 2, 3.5 -> 4.
long long RoundHalfEven(long long numerator, long long denominator);

}  // namespace tarvex
