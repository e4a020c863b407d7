// What a conversion could not carry over: the reader found an image that did not hold all of the disk, or
// the target format has no place for something the disk has. Each kind of loss is counted and the tracks
// it touched kept, so that the user reads one line of what went: "dropped: 56 deleted-data marks (tracks
// 0-39), 1 weak sector's other reads (track 3)". A conversion with losses still converts; under
// --lossless it is refused with that line as the reason.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>

namespace tarvex {

enum class LossKind : uint8_t {
    kMissingSectors,    // sectors a file cut short does not hold
    kChecksum,          // an image read although its checksum did not match
    kTracks,            // tracks the target has no room for
    kSectors,           // sectors the target has no room for (count, size, number)
    kSectorBytes,       // bytes of sectors longer than the target keeps
    kSectorIds,         // ID fields the target writes otherwise (cylinder, head)
    kDeletedMarks,      // deleted-data marks written as normal ones
    kDataCrcErrors,     // data CRC errors written as good data
    kIdCrcErrors,       // ID CRC errors written as good IDs
    kIdsWithoutData,    // IDs without data the target cannot keep so
    kDataWithoutId,     // data fields without an ID
    kWeakCopies,        // the other reads of weak sectors
    kRawLayout,         // raw tracks (gaps, mark positions) rebuilt from their sectors
    kDataRate,          // data rates or encodings the target does not record
    kComment,           // comment lines
    kLabel,             // the disk label
    kDeletedFiles,      // deleted files of a TR-DOS catalogue
    kFreeSpace,         // contents of free TR-DOS sectors
    kCount
};

class LossReport {
public:
    // `count` more of a kind, on track `track` (none: -1).
    void Add(LossKind kind, int track = -1, unsigned count = 1);
    void Add(const LossReport& other);
    bool Empty() const;
    void Clear();
    unsigned Count(LossKind kind) const { return entries_[static_cast<size_t>(kind)].count; }
    // Whether some of a kind went on track `track`, or on no track in particular (or, for -1, anywhere).
    bool Touches(LossKind kind, int track) const;

    // "dropped: 56 deleted-data marks (tracks 0-39), ..." in the user's language; "" when nothing went.
    std::string Text() const;
    // The same without "dropped: ", for a report of what a disk holds.
    std::string ItemsText() const;

private:
    struct Entry {
        unsigned count = 0;
        std::bitset<256> tracks;
    };
    std::array<Entry, static_cast<size_t>(LossKind::kCount)> entries_{};
};

}  // namespace tarvex
