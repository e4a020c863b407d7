// tarvex-cli info: what a disk image holds, as text.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "disk/zx_disk.h"

namespace tarvex {

class JsonWriter;

// Geometry, the per-track sector map, the reader's note, comment lines and the TR-DOS catalogue.
void DescribeDisk(TZX_Disk& disk, std::ostream& out);

// What `info` prints for one image read with the given format's reader: the name and the format found
// (with the name's own format where that differs), the reader's note, then DescribeDisk.
void DescribeImage(TZX_Disk& disk, const std::string& name, int format, std::ostream& out);

// One image as one line of JSON: {"file", "format", "namedFormat", "note", "comment": [...], "geometry":
// {"tracks", "cylinders", "sides", "sectors", "rawTracks"}, "idlessDataLeftOut", "tracks": [{"track",
// "cylinder", "head", "rawLength", "sectors": [{"cylinder", "head", "number", "sizeCode", "dataLength",
// "dataCrcOk", "idWithoutData"}]}], "catalogue": null or {"label", "diskType", "files", "deleted",
// "freeSectors", "firstFreeTrack", "firstFreeSector", "entries": [{"name", "type", "start", "length",
// "sectors", "track", "sector", "deleted"}]}}.
std::string DescribeImageJson(TZX_Disk& disk, const std::string& name, int format);
// The disk's TR-DOS catalogue as a JSON value: null, or the label, the counters and every entry.
void WriteCatalogueJson(JsonWriter& json, TZX_Disk& disk);
// The line of an image that cannot be read: {"file", "result": "Error open file!", "reason"}.
std::string UnreadableImageJson(const std::string& name, const std::string& reason);

// How `info` shows what it read.
enum class InfoStyle { kText, kJson };

// Reads every file (with the reader `from` names, when given; "-" is standard input) and describes it;
// returns 0 when all could be read, 1 otherwise. With salvage an image whose checksum does not match is read
// all the same, and said so.
int RunInfo(const std::vector<std::string>& files, std::ostream& out, std::optional<int> from = std::nullopt,
            InfoStyle style = InfoStyle::kText, bool salvage = false);

}  // namespace tarvex
