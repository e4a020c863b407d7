// The reader and writer shared by the headerless sector dumps (TRD, PRO, KDI), which differ only in their
// layout: the track count from the file length, the disk filled from the file's bytes or told where they
// go, and the image built as bytes or gathered as runs of the disk's own bytes.
#include "formats/sector_dump.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "formats/writer_losses.h"
#include "io/byte_reader.h"

namespace tarvex {

unsigned long long DumpTrackCount(uint64_t trackBytes, uint64_t fileBytes) {
    return (fileBytes + trackBytes - 1) / trackBytes;
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

// Clears the disk and gives it the dump's tracks and sectors, ID fields and all, their bytes in `run`
// one after another in file order (tracks * the track's bytes of it).
void FillSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, unsigned tracks, uint8_t* run) {
    for (unsigned t = 0; t < tracks; ++t) {
        TTrack& track = *disk.Track(t);
        track.Used = kFlagSet;
        for (unsigned s = 0; s < layout.sectorsPerTrack; ++s) {
            TSectorSlot& slot = *track.Sector(s);
            slot.Used = kFlagSet;
            slot.Cylinder = static_cast<uint8_t>(t / 2);
            slot.Head = layout.headIsSide ? static_cast<uint8_t>(t % 2) : 0;
            slot.SectorNo = layout.SectorNumber(t, s);
            slot.SizeCode = layout.sizeCode;
            slot.DataCrcOk = kFlagSet;
            slot.DataLength = layout.sectorBytes;
            TZX_Disk::BindData(slot, run, layout.sectorBytes);
            run += layout.sectorBytes;
        }
    }
}
}  // namespace

bool ParseSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ByteSpan bytes) {
    disk.Clear();
    if (bytes.size() < layout.TrackBytes()) {
        disk.StatusMessage =
            Fill(Tr("%s image holds less than one track (%s bytes, a track has %s)!"),
                 {layout.formatName, std::to_string(bytes.size()), std::to_string(layout.TrackBytes())});
        return false;
    }
    const unsigned long long tracks = DumpTrackCount(layout, bytes.size());
    if (tracks > kMaxTracks) {
        disk.StatusMessage = TooManyTracksText(layout.formatName, tracks);
        return false;
    }
    const size_t runBytes = static_cast<size_t>(tracks) * layout.TrackBytes();
    uint8_t* run = disk.ReserveRunZeroedFrom(runBytes, bytes.size());
    std::memcpy(run, bytes.data(), bytes.size());
    FillSectorDump(disk, layout, static_cast<unsigned>(tracks), run);
    // Sectors the file holds only part of, or none of, are there as zeros: said to be missing.
    const unsigned whole = static_cast<unsigned>(bytes.size() / layout.sectorBytes);
    const unsigned total = static_cast<unsigned>(tracks) * layout.sectorsPerTrack;
    if (whole < total)
        disk.ReadLosses.Add(LossKind::kMissingSectors, static_cast<int>(tracks - 1), total - whole);
    return true;
}

bool PlaceSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, uint64_t fileBytes, WritablePieces& places) {
    const unsigned long long tracks = fileBytes / layout.TrackBytes();
    if (tracks == 0 || tracks > kMaxTracks || tracks * layout.TrackBytes() != fileBytes) return false;
    disk.Clear();
    uint8_t* run = disk.ReserveRun(static_cast<size_t>(fileBytes));
    FillSectorDump(disk, layout, static_cast<unsigned>(tracks), run);
    places = {std::span<uint8_t>(run, static_cast<size_t>(fileBytes))};
    return true;
}

namespace {
// What a sector dump keeps of a sector: its bytes, at the place its number and track give it.
constexpr KeptFeatures kDumpKeeps{};

// A track with nothing in its slots: unformatted.
bool Blank(const TTrack& track) {
    for (const TSectorSlot& slot : track.Sectors)
        if (slot.Used || slot.DataLength) return false;
    return true;
}

// Zeros for the part of a sector that its slot does not hold (an ID without data, a short read).
const std::array<uint8_t, kSectorDataBytes> kZeroSector{};

// Calls take(bytes, n) for every sector of the dump in file order: sector r of a track is the first of
// its first sectorsPerTrack slots numbered r, which must have the layout's size; bytes short of the
// layout's size are given as zeros. False, with the refusal in StatusMessage, at the first sector missing
// or of another size. Notes what the dump does not keep in the disk's WriteLosses.
template <typename Take>
bool ForEachDumpedSector(TZX_Disk& disk, const SectorDumpLayout& layout, unsigned tracks, Take take) {
    disk.WriteLosses.Clear();
    if (tracks == 0) {
        disk.StatusMessage = Tr("The disk has no tracks to write!");
        return false;
    }
    NoteFeatureLosses(disk, kDumpKeeps, disk.WriteLosses);
    constexpr uint8_t kNone = 0xFF;
    std::array<uint8_t, 256> firstSlot;  // of each sector number, in the track at hand
    for (unsigned t = 0; t < tracks; ++t) {
        const TTrack& track = *std::as_const(disk).Track(t);
        firstSlot.fill(kNone);
        for (unsigned i = layout.sectorsPerTrack; i-- > 0;)
            firstSlot[track.Sector(i)->SectorNo] = static_cast<uint8_t>(i);
        unsigned written = 0;
        for (unsigned s = 0; s < layout.sectorsPerTrack; ++s) {
            const uint8_t r = layout.SectorNumber(t, s);
            if (firstSlot[r] == kNone) {
                disk.StatusMessage = Fill(Tr(layout.missingSectorText), {std::to_string(t), std::to_string(r)});
                return false;
            }
            const TSectorSlot& found = *track.Sector(firstSlot[r]);
            if (found.SizeCode != layout.sizeCode) {
                // The format's words, then where: the sector and the size it has.
                disk.StatusMessage = Fill(Tr("%s (T-%s / S-%s: %s bytes)"),
                                          {Tr(layout.badSizeText), std::to_string(t), std::to_string(r),
                                           std::to_string(128u << std::min<uint8_t>(found.SizeCode, 7))});
                return false;
            }
            const uint8_t head = layout.headIsSide ? static_cast<uint8_t>(t % 2) : 0;
            if (found.Used && (found.Cylinder != t / 2 || found.Head != head))
                disk.WriteLosses.Add(LossKind::kSectorIds, static_cast<int>(t));
            const size_t held = std::min<size_t>(found.HeldBytes(), layout.sectorBytes);
            if (held) take(found.Data.data(), held);
            if (held < layout.sectorBytes) take(kZeroSector.data(), layout.sectorBytes - held);
            ++written;
        }
        const unsigned used = track.UsedSectorCount();
        const unsigned others = used - std::min(used, written);
        if (others) disk.WriteLosses.Add(LossKind::kSectors, static_cast<int>(t), others);
    }
    for (unsigned t = tracks; t < kMaxTracks; ++t) {
        const TTrack& track = *std::as_const(disk).Track(t);
        if (track.Used && !Blank(track)) disk.WriteLosses.Add(LossKind::kTracks, static_cast<int>(t));
    }
    return true;
}

// The tracks a dump holds: up to the last one with a sector. Unformatted tracks past it (a raw image read
// from a drive that stepped on) hold nothing to lose.
unsigned DumpedTracks(TZX_Disk& disk) {
    unsigned tracks = disk.CountTracks();
    for (const TZX_Disk& d = disk; tracks > 0 && d.Track(tracks - 1)->Used && Blank(*d.Track(tracks - 1));)
        --tracks;
    return tracks;
}
}  // namespace

bool BuildSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, Bytes& out) {
    const unsigned tracks = DumpedTracks(disk);
    Bytes image;
    image.reserve(static_cast<size_t>(tracks) * layout.TrackBytes());
    const bool whole = ForEachDumpedSector(disk, layout, tracks, [&](const uint8_t* bytes, size_t n) {
        image.insert(image.end(), bytes, bytes + n);
    });
    if (!whole) return false;
    out = std::move(image);
    return true;
}

bool GatherSectorDump(TZX_Disk& disk, const SectorDumpLayout& layout, ImagePieces& pieces) {
    const unsigned tracks = DumpedTracks(disk);
    ImagePieces runs;
    const bool whole = ForEachDumpedSector(disk, layout, tracks,
                                           [&](const uint8_t* bytes, size_t n) { AppendRun(runs, bytes, n); });
    if (!whole) return false;
    pieces = std::move(runs);
    return true;
}

}  // namespace tarvex
