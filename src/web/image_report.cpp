// The viewer's JSON of one image: info's text, the sector map's tiles and the TR-DOS catalogue.
#include "web/image_report.h"

#include <sstream>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/info.h"
#include "disk/sector_map.h"
#include "disk/zx_disk.h"
#include "io/text_1251.h"
#include "trdos/trdos_area.h"
#include "app/json_text.h"

namespace tarvex::web {

namespace {

const char* TileName(TileKind tile) {
    switch (tile) {
        case TileKind::kHeaderRaw: return "raw";
        case TileKind::kHeaderSectors: return "sectors";
        case TileKind::kSectorGood: return "good";
        case TileKind::kSectorCrcError: return "crc";
        case TileKind::kSectorNoData: return "nodata";
        default: return "none";
    }
}

void WriteTrack(JsonWriter& json, const TZX_Disk& disk, int track) {
    const MapCell header = SectorMapCell(disk, 0, track);
    json.BeginObject().Key("track").Number(track).Key("label").String(header.text);
    json.Key("header").String(TileName(header.tile)).Key("sectors").BeginArray();
    int lastUsed = 0;
    for (int column = 1; column <= kMaxSectors; ++column)
        if (SectorMapCell(disk, column, track).tile != TileKind::kNone) lastUsed = column;
    for (int column = 1; column <= lastUsed; ++column) {
        const MapCell cell = SectorMapCell(disk, column, track);
        if (cell.tile == TileKind::kNone)
            json.Null();
        else
            json.BeginObject().Key("label").String(cell.text).Key("tile").String(TileName(cell.tile)).EndObject();
    }
    json.EndArray().EndObject();
}

}  // namespace

std::string DescribeImageJson(TZX_Disk& disk, const std::string& name, ByteSpan bytes) {
    JsonWriter json;
    json.BeginObject();
    disk.StatusMessage.clear();
    if (const Status read = ReadImageBytes(disk, name, bytes); !read) {
        const std::string reason = read.reason().empty() ? Tr(kUnreadableReason) : read.reason();
        json.Key("readable").Boolean(false).Key("result").String(kResultOpenError).Key("reason").String(reason);
        return json.EndObject().Text();
    }
    const int format = *ReaderFor(name, bytes);
    std::ostringstream info;
    DescribeImage(disk, FileNamePart(name), format, info);
    json.Key("readable").Boolean(true).Key("format").String(Formats()[format].name).Key("info").String(info.str());
    json.Key("tracks").BeginArray();
    for (const int track : MapTracks(disk)) WriteTrack(json, disk, track);
    json.EndArray().Key("catalogue");
    WriteCatalogueJson(json, disk);
    return json.EndObject().Text();
}

}  // namespace tarvex::web
