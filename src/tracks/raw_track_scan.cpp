// The sector scan of a raw MFM track: an address mark is the first byte without a clock mark after a run
// of marked bytes; an ID mark fills the next slot's C H R N and ID CRC state, and the data mark that
// follows (normal or deleted) fills its data, its CRC state and its deleted-data mark. A data mark with no
// ID before it fills a slot of its own, a data field without an ID. UDI and HFE tracks are both read
// through it.
#include <algorithm>

#include "disk/zx_disk.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

// Where the sector scan of a track leaves what it finds: the track's slots, and one spare slot that
// takes the sectors beyond the ones the model holds (they are skipped).
class SlotSink {
public:
    SlotSink(TZX_Disk& disk, TTrack& track) : disk_(disk), track_(track) {}
    TSectorSlot& Slot(unsigned k) { return k < kMaxSectors ? *track_.Sector(k) : *spare_; }
    // Keeps as much of a data field's bytes as a slot holds.
    void StoreData(unsigned k, ByteSpan data) {
        const size_t kept = std::min<size_t>(data.size(), kMaxStoredSectorBytes);
        TSectorSlot& slot = Slot(k);
        uint8_t* room = k < kMaxSectors ? disk_.ReserveData(slot, kept, false) : spare_.Reserve(kept);
        std::copy_n(data.begin(), kept, room);
        slot.DataLength = static_cast<uint16_t>(kept);
    }

private:
    TZX_Disk& disk_;
    TTrack& track_;
    SpareSlot spare_;
};

// Bytes the scan takes as a data field of the given size code; codes past the raw track's reach are
// capped so that such a field is taken as one running into the end of the track.
size_t ScanFieldBytes(uint8_t sizeCode) { return sizeCode <= 7 ? size_t{128} << sizeCode : size_t{1} << 20; }

constexpr uint8_t kLargestIdlessSizeCode = 6;

uint16_t StoredCrc(ByteSpan raw, size_t at) { return static_cast<uint16_t>((raw[at] << 8) | raw[at + 1]); }

// The size code of a data field without an ID whose mark stands at i. No ID gives the size: the field is
// the first of 128 .. 8192 bytes followed by its CRC, or by the complement of its CRC (a bad sector as the
// raw-track builder writes it); failing both, the largest that ends before the next clock mark.
uint8_t IdlessFieldSize(ByteSpan raw, ByteSpan marks, size_t i) {
    for (uint8_t code = 0; code <= kLargestIdlessSizeCode; ++code) {
        const size_t size = size_t{128} << code;
        if (i + size + 3 >= raw.size()) break;
        const uint16_t crc = TZX_Disk::Crc16(&raw[i - 3], size + 4), stored = StoredCrc(raw, i + size + 1);
        if (stored == crc || stored == static_cast<uint16_t>(~crc)) return code;
    }
    size_t next = i + 1;
    while (next < raw.size() && !((marks[next >> 3] >> (next & 7)) & 1)) ++next;
    uint8_t code = 0;
    while (code < kLargestIdlessSizeCode && i + (size_t{256} << code) + 3 <= next) ++code;
    return code;
}

}  // namespace

unsigned ScanRawTrack(TZX_Disk& disk, TTrack& track, ByteSpan raw, ByteSpan marks) {
    const size_t length = raw.size();
    SlotSink sink(disk, track);
    unsigned k = 0;
    bool afterSync = false, haveId = false;
    for (size_t i = 0; i < length;) {
        if ((marks[i >> 3] >> (i & 7)) & 1) {
            afterSync = true;
            ++i;
            continue;
        }
        if (!afterSync) {
            ++i;
            continue;
        }
        // An ID mark too near the end of the track to hold C H R N is no sector. One that follows an ID
        // whose data field never came leaves that one an ID without data, as a controller finds it.
        if (raw[i] == kIdMark && i + 4 < length) {
            if (haveId) ++k;
            TSectorSlot& slot = sink.Slot(k);
            slot.Used = kFlagSet;
            slot.Cylinder = raw[i + 1];
            slot.Head = raw[i + 2];
            slot.SectorNo = raw[i + 3];
            slot.SizeCode = raw[i + 4];
            // The ID's CRC over the three sync bytes before the mark, the mark and C H R N.
            if (i >= 3 && i + 6 < length)
                slot.IdCrcError = TZX_Disk::Crc16(&raw[i - 3], 8) == ((raw[i + 5] << 8) | raw[i + 6]) ? 0 : kFlagSet;
            haveId = true;
            i += 7;
        }
        const bool dataMark = i < length && (raw[i] == kDataMark || raw[i] == kDeletedDataMark);
        if (dataMark && !haveId && i >= 3) {
            TSectorSlot& slot = sink.Slot(k);
            slot.Used = kFlagSet;
            slot.IdMissing = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(track.Index / 2);
            slot.Head = static_cast<uint8_t>(track.Index % 2);
            slot.SizeCode = IdlessFieldSize(raw, marks, i);
            haveId = true;  // the data field below takes the slot as an ID would have given it
        }
        if (dataMark && haveId) {
            TSectorSlot& slot = sink.Slot(k);
            const size_t size = ScanFieldBytes(slot.SizeCode);
            slot.DeletedData = raw[i] == kDeletedDataMark ? kFlagSet : 0;
            if (i + size + 3 < length) {
                sink.StoreData(k, raw.subspan(i + 1, size));
                const uint16_t stored = static_cast<uint16_t>((raw[i + size + 1] << 8) | raw[i + size + 2]);
                const bool whole = size <= kMaxStoredSectorBytes;
                slot.DataCrcOk = whole && TZX_Disk::Crc16(&raw[i - 3], size + 4) == stored ? kFlagSet : 0;
                i += size + 1;
            } else {
                // The field runs into the end of the track: its last two bytes are taken as the CRC. A mark
                // among the last three bytes leaves no data at all.
                const size_t n = i + 3 <= length ? length - i - 3 : 0;
                sink.StoreData(k, raw.subspan(i + 1, n));
                slot.DataCrcOk = 0;
                i += n + 1;
            }
            ++k;
            haveId = false;
        }
        afterSync = false;
        ++i;
    }
    return k + (haveId ? 1u : 0u);
}

}  // namespace tarvex
