// The text of `tarvex-cli info` and of the page's viewer: geometry, a line of sector numbers per track and
// the TR-DOS catalogue.
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
#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "i18n/translate.h"
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
    return cell;
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
    for (const auto& line : disk.Comment) out << "  " << Fill(Tr("comment: %s"), {line}) << "\n";
    if (const std::string beyond = DiskFeatures(disk).ItemsText(); !beyond.empty())
        out << "  " << Fill(Tr("beyond plain sectors: %s"), {beyond}) << "\n";
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
    out << name << ": " << FormatFoundText(format, name) << "\n";
    if (!disk.StatusMessage.empty()) out << "  " << Fill(Tr("note: %s"), {disk.StatusMessage}) << "\n";
    DescribeDisk(disk, out);
}

int RunInfo(const std::vector<std::string>& files, std::ostream& out, std::optional<int> from) {
    auto disk = std::make_unique<TZX_Disk>();
    int status = 0;
    for (const auto& file : files) {
        disk->StatusMessage.clear();
        int format = -1;
        if (const Status read = ReadImageFile(*disk, file, from, &format); !read) {
            const std::string reason = read.reason().empty() ? Tr(kUnreadableReason) : read.reason();
            out << file << ": " << kResultOpenError << " (" << reason << ")\n";
            status = 1;
            continue;
        }
        DescribeImage(*disk, file, format, out);
    }
    return status;
}

}  // namespace tarvex
