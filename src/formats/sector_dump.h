// Headerless sector dumps (TRD, PRO, KDI): the file is the sectors of every track in number order,
// track after track (index = cylinder * 2 + side), and the track count comes from the file length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

struct SectorDumpLayout {
    const char* formatName;
    unsigned sectorsPerTrack;
    uint8_t sizeCode;
    uint16_t sectorBytes;
    bool headIsSide;            // false: head 0 on both sides (TR-DOS)
    const char* missingSectorText;  // with "%s" for the track and the sector number
    const char* badSizeText;
    // The number of the sector stored in slot s of track t; null: s + 1.
    uint8_t (*sectorNumber)(unsigned track, unsigned slot) = nullptr;

    unsigned TrackBytes() const { return sectorsPerTrack * sectorBytes; }
    uint8_t SectorNumber(unsigned track, unsigned slot) const {
        return sectorNumber ? sectorNumber(track, slot) : static_cast<uint8_t>(slot + 1);
    }
};

// The tracks a dump of fileBytes holds: every track it has a byte of. A last track cut short is filled up
// with zeros by its reader and the sectors it lacks said to be missing.
unsigned long long DumpTrackCount(const SectorDumpLayout& layout, size_t fileBytes);
unsigned long long DumpTrackCount(uint64_t trackBytes, uint64_t fileBytes);

// The refusal of a dump of more tracks than the model holds.
std::string TooManyTracksText(const char* formatName, unsigned long long tracks);

// Clears the disk and fills it from the dump. Refuses (false, StatusMessage) a file of more tracks than
// the model holds; throws StreamReadError when the rounded track count runs past the end of the file.
bool ParseSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ByteSpan bytes);

// What ParseSectorDump does with a file of fileBytes bytes, except that the sectors' bytes are not
// filled in: `places` receives where each of them goes, the file's bytes in order (sectors lying side by
// side in the model make one place). Only a file of whole tracks, at least one and no more than the model
// holds, is placed; false (the disk untouched) for any other, which ParseSectorDump reads as usual. The
// places stay valid until the disk is next handed out. Their bytes are not zeroed first: until every one
// of them is written, or the disk is cleared, nothing may read the disk.
bool PlaceSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, uint64_t fileBytes, WritablePieces& places);

// Tracks 0 .. CountTracks - 1, each sector looked up by number among the first sectorsPerTrack slots.
bool BuildSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, Bytes& out);

// The same image as BuildSectorDump, or the same refusal, as the runs of the disk's own bytes it is made
// of, in order (sectors lying side by side in the model make one run): saved as they are, the image is
// never copied into a buffer of its own. The runs stay valid until the disk is next handed out.
bool GatherSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ImagePieces& pieces);

}  // namespace tarvex
