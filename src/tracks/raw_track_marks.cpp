// Walks a raw MFM track as the sector scan of a raw-track image does, by sync bytes instead of the clock
// marks the model does not keep: an ID mark opens the next slot, the data mark after it closes the slot
// and tells whether it is deleted; a second ID before any data field does not open another slot.
#include "tracks/raw_track_marks.h"

#include <algorithm>

#include "disk/zx_disk.h"
#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

constexpr size_t kSyncRun = 2;       // two A1 sync bytes before a mark are taken as the sync
constexpr size_t kIdFieldBytes = 6;  // C H R N and the CRC after the ID mark

bool SyncBefore(const uint8_t* raw, size_t i) {
    return i >= kSyncRun && raw[i - 1] == kSyncA1 && raw[i - 2] == kSyncA1;
}

}  // namespace

DeletedDataMarks FindDeletedDataMarks(const TTrack& track) {
    DeletedDataMarks deleted;
    if (!track.RawValid) return deleted;
    const uint8_t* raw = track.RawData.data();
    const size_t length = std::min<size_t>(track.RawLength, kRawTrackBytes);
    unsigned k = 0;
    bool haveId = false;
    for (size_t i = kSyncRun; i < length && k < kMaxSectors; ++i) {
        if (!SyncBefore(raw, i)) continue;
        if (raw[i] == kIdMark && !haveId) {
            haveId = true;
            i += kIdFieldBytes;
        } else if ((raw[i] == kDataMark || raw[i] == kDeletedDataMark) && haveId) {
            deleted[k] = raw[i] == kDeletedDataMark;
            i += MfmSectorBytes(track.Sector(k)->SizeCode);  // a sync pattern inside the data is no mark
            ++k;
            haveId = false;
        }
    }
    return deleted;
}

}  // namespace tarvex
