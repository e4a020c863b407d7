// The losses of a format that keeps only some of what a disk carries.
#include "formats/writer_losses.h"

namespace tarvex {

void NoteFeatureLosses(const TZX_Disk& disk, const KeptFeatures& keeps, LossReport& losses) {
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const TTrack& track = *disk.Track(k);
        if (!track.Used) continue;
        const int t = static_cast<int>(k);
        const bool doubleDensity = track.RateKbps == 0 || track.RateKbps == 250 || track.RateKbps == 300;
        if (!keeps.dataRate && (!doubleDensity || track.Encoding == TrackEncoding::kFm))
            losses.Add(LossKind::kDataRate, t);
        for (const TSectorSlot& slot : track.Sectors) {
            // Most sectors are plain: one test passes them.
            if (!slot.Used || (slot.DataLength && slot.DataCrcOk &&
                               !(slot.DeletedData | slot.IdCrcError | slot.IdMissing | (slot.Copies > 1))))
                continue;
            if (!keeps.deletedMarks && slot.DeletedData && slot.DataLength) losses.Add(LossKind::kDeletedMarks, t);
            if (!keeps.dataCrcErrors && !slot.DataCrcOk && slot.DataLength) losses.Add(LossKind::kDataCrcErrors, t);
            if (!keeps.idCrcErrors && slot.IdCrcError) losses.Add(LossKind::kIdCrcErrors, t);
            if (!keeps.idsWithoutData && !slot.DataLength && !slot.IdMissing) losses.Add(LossKind::kIdsWithoutData, t);
            if (!keeps.dataWithoutId && slot.IdMissing) losses.Add(LossKind::kDataWithoutId, t);
            if (!keeps.weakCopies && slot.CopyCount() > 1) losses.Add(LossKind::kWeakCopies, t, slot.CopyCount() - 1);
        }
    }
    if (!keeps.comment && !disk.Comment.empty())
        losses.Add(LossKind::kComment, -1, static_cast<unsigned>(disk.Comment.size()));
}

LossReport DiskFeatures(const TZX_Disk& disk) {
    LossReport features;
    NoteFeatureLosses(disk, KeptFeatures{.dataRate = true, .comment = true}, features);
    return features;
}

}  // namespace tarvex
