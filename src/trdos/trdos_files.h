// Files on a TR-DOS disk held in the disk model: a file's bytes taken out, a file added where TR-DOS would
// put it, a file deleted, the disk compacted as TR-DOS's MOVE does, and a new empty disk of any of TR-DOS's
// four geometries. Every change goes into the model's sectors, so that any writer saves the disk after it;
// a change that cannot be made whole is refused, with its reason, before any sector is touched.
#pragma once

#include <string>

#include "io/bytes.h"
#include "io/status.h"
#include "trdos/trdos_area.h"

namespace tarvex {

// TR-DOS addresses its tracks as cylinder * 2 + side on a two-sided disk and as the cylinder on a one-sided
// one; like every image format here, the model holds TR-DOS track t as its track t.
struct TrdosGeometry {
    unsigned cylinders = 80;  // 80 or 40
    unsigned sides = 2;       // 2 or 1
};

// The disk-type byte of a geometry (0x16 80 x 2, 0x17 40 x 2, 0x18 80 x 1, 0x19 40 x 1).
uint8_t TrdosDiskType(TrdosGeometry geometry);

// Formats the disk as an empty TR-DOS disk of the geometry with the label (cut to 8 bytes of Windows-1251).
Status FormatTrdos(TZX_Disk& disk, TrdosGeometry geometry, const std::string& label);

// The catalogue of a TR-DOS disk, or a failure saying that the disk is not one.
Status ReadTrdosCatalogue(TZX_Disk& disk, TrdosCatalogue& catalogue);

// The catalogue positions a file may be found at: those the disk-information sector counts.
unsigned TrdosEntryCount(const TrdosCatalogue& catalogue);

// The SectorCount * 256 bytes a catalogue entry points at.
Status ReadTrdosFile(const TZX_Disk& disk, const TrdosFileEntry& entry, Bytes& sectors);

// The bytes of the file itself within its sectors: Length bytes, for a BASIC program the program and its
// variables (its Start field), never more than its sectors hold.
size_t TrdosFileBytes(const TrdosFileEntry& entry);

enum class IfFileExists { kRefuse, kReplace };

// Adds a file of the entry's name, type, start and length with the data (padded with zeros to whole sectors)
// at the disk's first free sector, as the next catalogue entry, and updates the disk-information sector. A
// live file of the same name and type is a refusal, or with kReplace is deleted first. Refuses when the disk
// is not a TR-DOS disk, its catalogue is full, it has too few free sectors or the data is longer than 255
// sectors; the disk is then as it was.
Status AddTrdosFile(TZX_Disk& disk, const TrdosFileEntry& entry, ByteSpan data, IfFileExists ifExists);

// Marks the file at catalogue position `index` deleted, as TR-DOS does: the first byte of its name becomes
// 0x01 and the deleted count grows; its sectors stay taken until the disk is compacted.
Status DeleteTrdosFile(TZX_Disk& disk, unsigned index);

// Moves the live files down over the sectors of deleted ones, in catalogue order, drops the deleted entries
// and zeroes the sectors set free.
Status CompactTrdosDisk(TZX_Disk& disk);

// "NAME.T" with trailing spaces cut, for messages.
std::string TrdosFileTitle(const TrdosFileEntry& entry);

}  // namespace tarvex
