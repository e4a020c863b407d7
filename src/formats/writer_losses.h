// What a writer's format keeps of a sector and a track beyond their ID fields and data, and the losses a
// disk then suffers in it: every used sector's deleted-data mark, CRC states, missing ID or data and weak
// reads the format has no place for, counted on the tracks they stand on. A raw track's gaps are not
// counted: what a controller reads of a track is its sectors. A format that records no data rate is taken
// as double-density MFM, so only other rates and FM count against it.
#pragma once

#include "disk/losses.h"
#include "disk/zx_disk.h"

namespace tarvex {

struct KeptFeatures {
    bool deletedMarks = false;
    bool dataCrcErrors = false;
    bool idCrcErrors = false;
    bool idsWithoutData = false;
    bool dataWithoutId = false;
    bool weakCopies = false;
    bool dataRate = false;  // a rate other than double density's, or FM
    bool comment = false;
};

// Adds to `losses` what the used sectors and tracks of the disk hold that a format keeping `keeps` drops.
void NoteFeatureLosses(const TZX_Disk& disk, const KeptFeatures& keeps, LossReport& losses);

// What the disk holds beyond plain sectors (the losses of a format that keeps nothing but IDs and data,
// the comment and data rates aside), for `info` and the viewer.
LossReport DiskFeatures(const TZX_Disk& disk);

}  // namespace tarvex
