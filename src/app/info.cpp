// The text of `tarvex-cli info` and of the page's viewer: geometry, a line of sector numbers per track and
// the TR-DOS catalogue; and the same facts as JSON for scripts.
#include "app/info.h"

#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/json_text.h"
#include "app/printable_text.h"
#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "i18n/translate.h"
#include "io/text_1251.h"
#include "trdos/trdos_area.h"

namespace tarvex {

namespace {

unsigned SectorBytes(uint8_t sizeCode) { return sizeCode < 8 ? 128u << sizeCode : 0; }

// The size in bytes, or "N" and the code for a size code no controller reads (8 and more).
std::string SizeText(uint8_t sizeCode) {
    return sizeCode < 8 ? std::to_string(SectorBytes(sizeCode)) : "N" + std::to_string(sizeCode);
}

// "01" for a good sector, "05!" with a CRC error, "07?" for an ID without data, "/512" for an odd size.
std::string SectorCell(const TSectorSlot& s, uint8_t commonSize) {
    char number[8];
    std::snprintf(number, sizeof number, "%02u", s.SectorNo);
    std::string cell = number;
    if (s.SizeCode != commonSize) cell += "/" + SizeText(s.SizeCode);
    if (s.DataLength == 0)
        cell += "?";
    else if (!s.DataCrcOk)
        cell += "!";
    if (s.DeletedData && s.DataLength) cell += "d";
    if (s.IdCrcError) cell += "x";
    if (s.CopyCount() > 1) cell += "+" + std::to_string(s.CopyCount() - 1);
    if (s.IdMissing) cell = "~" + cell;
    return cell;
}

bool HasMarkedSectors(const TTrack& t) {
    for (const auto& s : t.Sectors)
        if (s.Used && ((s.DeletedData && s.DataLength) || s.IdCrcError || s.CopyCount() > 1 || s.IdMissing))
            return true;
    return false;
}

}  // namespace

void DescribeDisk(TZX_Disk& disk, std::ostream& out) {
    const unsigned tracks = disk.CountTracks();
    std::set<unsigned> cylinders, sides;
    unsigned sectors = 0, rawTracks = 0;
    std::map<uint8_t, unsigned> sizeCounts;  // by size code, which orders them as their sizes
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& t = *disk.Track(k);
        if (!t.Used) continue;
        cylinders.insert(k / 2);
        sides.insert(k % 2);
        if (t.RawLength) ++rawTracks;
        sectors += t.CountSectors();
        for (const auto& s : t.Sectors)
            if (s.Used) ++sizeCounts[s.SizeCode];
    }
    out << "  " << Fill(Tr("tracks: %s (cylinders %s, sides %s), sectors: %s"),
                        {std::to_string(tracks), std::to_string(cylinders.size()), std::to_string(sides.size()),
                         std::to_string(sectors)});
    if (rawTracks) out << Fill(Tr(", raw tracks: %s"), {std::to_string(rawTracks)});
    out << "\n";
    if (!sizeCounts.empty()) {
        out << "  " << Tr("sector sizes:");
        const char* separator = " ";
        for (auto [code, count] : sizeCounts) {
            out << separator << count << " x " << SizeText(code);
            separator = ", ";
        }
        out << "\n";
    }
    for (const auto& line : disk.Comment) out << "  " << Fill(Tr("comment: %s"), {ShownText(line)}) << "\n";
    if (const std::string beyond = DiskFeatures(disk).ItemsText(); !beyond.empty())
        out << "  " << Fill(Tr("beyond plain sectors: %s"), {beyond}) << "\n";
    if (const std::string notRead = disk.ReadLosses.ItemsText(); !notRead.empty())
        out << "  " << Fill(Tr("not read from the file: %s"), {notRead}) << "\n";
    std::map<std::pair<unsigned, bool>, unsigned> rates;  // (kbit/s, FM) -> tracks
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const TTrack& t = *std::as_const(disk).Track(k);
        if (t.Used && (t.RateKbps || t.Encoding == TrackEncoding::kFm))
            ++rates[{t.RateKbps, t.Encoding == TrackEncoding::kFm}];
    }
    for (const auto& [rate, tracks] : rates)
        out << "  " << Fill(Tr("data rate: %s kbit/s%s on %s tracks"),
                            {rate.first ? std::to_string(rate.first) : "?", rate.second ? " FM" : "", std::to_string(tracks)})
            << "\n";

    out << "  " << Tr("sector map (NN sector number, ! data CRC error, ? ID without data, /N other size):") << "\n";
    bool marked = false;
    for (unsigned k = 0; k < kMaxTracks && !marked; ++k)
        marked = disk.Track(k)->Used && HasMarkedSectors(*disk.Track(k));
    if (marked)
        out << "  " << Tr("  (d deleted-data mark, x ID CRC error, +N other reads of a weak sector, ~NN data without an ID)")
            << "\n";
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& t = *disk.Track(k);
        if (!t.Used) continue;
        std::map<uint8_t, unsigned> codes;
        for (const auto& s : t.Sectors)
            if (s.Used) ++codes[s.SizeCode];
        uint8_t common = 0;
        unsigned best = 0;
        for (auto [code, count] : codes)
            if (count > best) common = code, best = count;
        char header[32];
        std::snprintf(header, sizeof header, "  T%03u c%02u h%u %2u x %4u:", k, k / 2, k % 2, t.SectorCount,
                      SectorBytes(common));
        out << header;
        for (const auto& s : t.Sectors)
            if (s.Used) out << " " << SectorCell(s, common);
        if (t.RawLength) out << "  " << Fill(Tr("[raw %s bytes]"), {std::to_string(t.RawLength)});
        out << "\n";
    }
    const std::string trdos = DescribeTrdosSystemArea(disk);
    if (!trdos.empty()) out << trdos;
}

void DescribeImage(TZX_Disk& disk, const std::string& name, int format, std::ostream& out) {
    out << ShownName(name) << ": " << FormatFoundText(format, name) << "\n";
    if (!disk.StatusMessage.empty()) out << "  " << Fill(Tr("note: %s"), {ShownText(disk.StatusMessage)}) << "\n";
    DescribeDisk(disk, out);
}

namespace {

void WriteSectorsJson(JsonWriter& json, const TTrack& t) {
    json.Key("sectors").BeginArray();
    for (const TSectorSlot& s : t.Sectors) {
        if (!s.Used) continue;
        json.BeginObject().Key("cylinder").Number(s.Cylinder).Key("head").Number(s.Head);
        json.Key("number").Number(s.SectorNo).Key("sizeCode").Number(s.SizeCode);
        json.Key("dataLength").Number(s.DataLength).Key("dataCrcOk").Boolean(s.DataLength > 0 && s.DataCrcOk);
        json.Key("idWithoutData").Boolean(s.DataLength == 0 && !s.IdMissing);
        json.Key("deletedData").Boolean(s.DeletedData != 0).Key("idCrcError").Boolean(s.IdCrcError != 0);
        json.Key("dataWithoutId").Boolean(s.IdMissing != 0).Key("reads").Number(s.CopyCount()).EndObject();
    }
    json.EndArray();
}

}  // namespace

void WriteCatalogueJson(JsonWriter& json, TZX_Disk& disk) {
    TrdosCatalogue c;
    if (!disk.ReadCatalogue(c)) {
        json.Null();
        return;
    }
    json.BeginObject().Key("label").String(TrdosNameText(c.Label)).Key("diskType").Number(c.DiskType);
    json.Key("files").Number(c.FileCount).Key("deleted").Number(c.DeletedCount);
    json.Key("freeSectors").Number(c.FreeSectors).Key("firstFreeTrack").Number(c.FirstFreeTrack);
    json.Key("firstFreeSector").Number(c.FirstFreeSector).Key("entries").BeginArray();
    for (const TrdosFileEntry& e : c.Entries) {
        const std::string type = e.Type < 32 ? std::string("?") : Cp1251ToUtf8(ByteSpan(&e.Type, 1));
        json.BeginObject().Key("name").String(TrdosNameText(e.Name)).Key("type").String(type);
        json.Key("start").Number(e.Start).Key("length").Number(e.Length).Key("sectors").Number(e.SectorCount);
        json.Key("track").Number(e.FirstTrack).Key("sector").Number(e.FirstSector);
        json.Key("deleted").Boolean(e.Deleted()).EndObject();
    }
    json.EndArray().EndObject();
}

std::string DescribeImageJson(TZX_Disk& disk, const std::string& name, int format) {
    JsonWriter json;
    json.BeginObject().Key("file").String(name).Key("format").String(Formats()[format].name);
    json.Key("namedFormat");
    if (const auto named = FormatByExtension(name))
        json.String(Formats()[*named].name);
    else
        json.Null();
    json.Key("note");
    if (disk.StatusMessage.empty())
        json.Null();
    else
        json.String(disk.StatusMessage);
    json.Key("comment").BeginArray();
    for (const std::string& line : disk.Comment) json.String(line);
    json.EndArray();

    std::set<unsigned> cylinders, sides;
    unsigned sectors = 0, rawTracks = 0;
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        TTrack& t = *disk.Track(k);
        if (!t.Used) continue;
        cylinders.insert(k / 2);
        sides.insert(k % 2);
        sectors += t.UsedSectorCount();
        if (t.RawLength) ++rawTracks;
    }
    json.Key("geometry").BeginObject().Key("tracks").Number(disk.CountTracks());
    json.Key("cylinders").Number(static_cast<long long>(cylinders.size()));
    json.Key("sides").Number(static_cast<long long>(sides.size())).Key("sectors").Number(sectors);
    json.Key("rawTracks").Number(rawTracks).EndObject();
    json.Key("beyondPlainSectors").String(DiskFeatures(disk).ItemsText());
    json.Key("notRead").String(disk.ReadLosses.ItemsText());

    json.Key("tracks").BeginArray();
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const TTrack& t = *disk.Track(k);
        if (!t.Used) continue;
        json.BeginObject().Key("track").Number(k).Key("cylinder").Number(k / 2).Key("head").Number(k % 2);
        json.Key("rawLength").Number(t.RawLength).Key("rateKbps").Number(t.RateKbps);
        json.Key("encoding").String(t.Encoding == TrackEncoding::kFm    ? "FM"
                                    : t.Encoding == TrackEncoding::kMfm ? "MFM"
                                                                        : "");
        WriteSectorsJson(json, t);
        json.EndObject();
    }
    json.EndArray().Key("catalogue");
    WriteCatalogueJson(json, disk);
    return json.EndObject().Text();
}

std::string UnreadableImageJson(const std::string& name, const std::string& reason) {
    JsonWriter json;
    json.BeginObject().Key("file").String(name).Key("result").String(kResultOpenError);
    return json.Key("reason").String(reason).EndObject().Text();
}

int RunInfo(const std::vector<std::string>& files, std::ostream& out, std::optional<int> from, InfoStyle style,
            bool salvage) {
    auto disk = std::make_unique<TZX_Disk>();
    disk->SalvageChecksums = salvage;
    int status = 0;
    for (const auto& file : files) {
        disk->StatusMessage.clear();
        int format = -1;
        Status read;
        if (file == kStandardStreamName) {
            Bytes bytes;
            read = ReadStandardInputBytes(from, bytes);
            if (read) read = ReadImageBytes(*disk, file, bytes, from, &format);
        } else {
            read = ReadImageFile(*disk, file, from, &format);
        }
        if (!read) {
            const std::string reason = read.reason().empty() ? Tr(kUnreadableReason) : read.reason();
            if (style == InfoStyle::kJson)
                out << UnreadableImageJson(file, reason) << "\n";
            else
                out << ShownName(file) << ": " << kResultOpenError << " (" << ShownText(reason) << ")\n";
            status = 1;
            continue;
        }
        if (style == InfoStyle::kJson)
            out << DescribeImageJson(*disk, file, format) << "\n";
        else
            DescribeImage(*disk, file, format, out);
    }
    out.flush();
    return out ? status : 1;
}

}  // namespace tarvex
