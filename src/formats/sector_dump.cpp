// The reader and writer shared by the headerless sector dumps (TRD, PRO, KDI), which differ only in their
// layout: the track count from the file length, the disk filled from the file's bytes or told where they
// go, and the image built as bytes or gathered as runs of the disk's own bytes.
#include "formats/sector_dump.h"

#include <array>
#include <string>
#include <utility>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"

namespace tarvex {

unsigned long long DumpTrackCount(uint64_t trackBytes, uint64_t fileBytes) {
    return static_cast<unsigned long long>(
        RoundHalfEven(static_cast<long long>(fileBytes), static_cast<long long>(trackBytes)));
}

unsigned long long DumpTrackCount(const SectorDumpLayout& layout, size_t fileBytes) {
    return DumpTrackCount(layout.TrackBytes(), fileBytes);
}

std::string TooManyTracksText(const char* formatName, unsigned long long tracks) {
    return Fill(Tr("%s image has %s tracks; at most %s are supported!"),
                {formatName, std::to_string(tracks), std::to_string(kMaxTracks)});
}

namespace {
// Adds n bytes at `bytes` to the runs, joined to the last run when they follow it in memory.
template <typename Span, typename Byte>
void AppendRun(std::vector<Span>& runs, Byte* bytes, size_t n) {
    if (!runs.empty() && runs.back().data() + runs.back().size() == bytes)
        runs.back() = Span(runs.back().data(), runs.back().size() + n);
    else
        runs.emplace_back(bytes, n);
}

// Clears the disk and gives it the dump's tracks and sectors, ID fields and all; the bytes of each sector,
// in file order, go where take(data) puts them. With `refill`, the sectors' bytes are not zeroed first
// where take's caller is sure to overwrite them.
template <typename Take>
void FillSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, unsigned long long tracks, bool refill, Take take) {
    if (refill)
        disk.ClearForRefill(static_cast<unsigned>(tracks), layout.sectorsPerTrack, layout.sectorBytes);
    else
        disk.Clear();
    for (unsigned t = 0; t < tracks; ++t) {
        TTrack& track = *disk.TrackWithin(t, layout.sectorsPerTrack, layout.sectorBytes);
        track.Used = kFlagSet;
        track.RawLength = 0;
        for (unsigned s = 0; s < layout.sectorsPerTrack; ++s) {
            TSectorSlot& slot = *track.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(t / 2);
            slot.Head = layout.headIsSide ? static_cast<uint8_t>(t % 2) : 0;
            slot.SectorNo = layout.SectorNumber(t, s);
            slot.SizeCode = layout.sizeCode;
            slot.DataCrcOk = kFlagSet;
            slot.DataLength = layout.sectorBytes;
            take(slot.Data.data());
        }
    }
}
}  // namespace

bool ParseSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ByteSpan bytes) {
    const unsigned long long tracks = DumpTrackCount(layout, bytes.size());
    if (tracks > kMaxTracks) {
        disk.StatusMessage = TooManyTracksText(layout.formatName, tracks);
        return false;
    }
    ByteReader in(bytes);
    FillSectorDump(disk, layout, tracks, false, [&](uint8_t* data) { in.Read(data, layout.sectorBytes); });
    return true;
}

bool PlaceSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, uint64_t fileBytes, WritablePieces& places) {
    const unsigned long long tracks = DumpTrackCount(layout.TrackBytes(), fileBytes);
    if (tracks == 0 || tracks > kMaxTracks || tracks * layout.TrackBytes() != fileBytes) return false;
    WritablePieces runs;
    FillSectorDump(disk, layout, tracks, true, [&](uint8_t* data) { AppendRun(runs, data, layout.sectorBytes); });
    places = std::move(runs);
    return true;
}

namespace {
// Calls take(slot) for every sector of the dump in file order: sector r of a track is the first of its
// first sectorsPerTrack slots numbered r, which must have the layout's size. False, with the refusal in
// StatusMessage, at the first sector missing or of another size.
template <typename Take>
bool ForEachDumpedSector(TZX_Disk& disk, const SectorDumpLayout& layout, unsigned tracks, Take take) {
    constexpr uint8_t kNone = 0xFF;
    std::array<uint8_t, 256> firstSlot;  // of each sector number, in the track at hand
    for (unsigned t = 0; t < tracks; ++t) {
        const TTrack& track = *std::as_const(disk).Track(t);
        firstSlot.fill(kNone);
        for (unsigned i = layout.sectorsPerTrack; i-- > 0;)
            firstSlot[track.Sector(i)->SectorNo] = static_cast<uint8_t>(i);
        for (unsigned s = 0; s < layout.sectorsPerTrack; ++s) {
            const uint8_t r = layout.SectorNumber(t, s);
            if (firstSlot[r] == kNone) {
                disk.StatusMessage = Fill(Tr(layout.missingSectorText), {std::to_string(t), std::to_string(r)});
                return false;
            }
            const TSectorSlot& found = *track.Sector(firstSlot[r]);
            if (found.SizeCode != layout.sizeCode) {
                disk.StatusMessage = Tr(layout.badSizeText);
                return false;
            }
            take(found);
        }
    }
    return true;
}
}  // namespace

bool BuildSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, Bytes& out) {
    const unsigned tracks = disk.CountTracks();
    Bytes image;
    image.reserve(static_cast<size_t>(tracks) * layout.TrackBytes());
    const bool whole = ForEachDumpedSector(disk, layout, tracks, [&](const TSectorSlot& found) {
        image.insert(image.end(), found.Data.begin(), found.Data.begin() + layout.sectorBytes);
    });
    if (!whole) return false;
    out = std::move(image);
    return true;
}

bool GatherSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ImagePieces& pieces) {
    const unsigned tracks = disk.CountTracks();
    ImagePieces runs;
    const bool whole = ForEachDumpedSector(disk, layout, tracks, [&](const TSectorSlot& found) {
        AppendRun(runs, found.Data.data(), layout.sectorBytes);
    });
    if (!whole) return false;
    pieces = std::move(runs);
    return true;
}

}  // namespace tarvex
