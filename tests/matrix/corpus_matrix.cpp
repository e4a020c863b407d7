// The cross-format matrix: every image given (or every file of a folder given) is read, written in every
// target format, read back, written in its own format again and read back, and compared after each leg
// with what was first read, sector by sector: the ID fields and their
// order, the deleted-data mark, CRC states, IDs without data and data without an ID, the weak reads, the
// data bytes, the data rate and the comment. Each change must be told by the loss report of the
// conversion, by a loss of a kind that explains it on the track it happened on; a refusal must name what
// it refuses. Prints one line per image and target and, at the end, the counts; exits 1 when an image
// does not read, a conversion changed something it did not tell, an image we wrote does not read back, or
// a refusal gives no reason.
//   tarvex-matrix FILE|FOLDER...
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "app/format_table.h"
#include "disk/losses.h"
#include "disk/zx_disk.h"

namespace fs = std::filesystem;
using namespace tarvex;

namespace {

struct Target {
    int format;
    bool compress;
    const char* name;
};
constexpr Target kTargets[] = {{kUDI, false, "udi"}, {kTRD, false, "trd"}, {kTD0, false, "td0"}, {kTD0, true, "td0c"},
                               {kFDI, false, "fdi"}, {kPRO, false, "pro"}, {kSCL, false, "scl"}, {kKDI, false, "kdi"},
                               {kHFE, false, "hfe"}, {kDSK, false, "dsk"}};

// One change found on the way back, with the loss kinds any of which tells it.
struct Change {
    std::string what;
    int track;
    std::vector<LossKind> toldBy;
};

// The kinds that may stand for a lost or rewritten part of a TR-DOS disk written as files (SCL).
constexpr LossKind kTrdosAreaKinds[] = {LossKind::kLabel, LossKind::kDeletedFiles, LossKind::kFreeSpace};

std::vector<const TSectorSlot*> UsedSlots(const TTrack& track) {
    std::vector<const TSectorSlot*> slots;
    for (const TSectorSlot& slot : track.Sectors)
        if (slot.Used) slots.push_back(&slot);
    return slots;
}

void CompareSlots(const TSectorSlot& a, const TSectorSlot& b, int t, std::vector<Change>& changes) {
    auto change = [&](const char* what, std::initializer_list<LossKind> kinds) { changes.push_back({what, t, kinds}); };
    using K = LossKind;
    const bool noId = a.IdMissing && b.IdMissing;  // its ID fields are the imaging program's, not the disk's
    if (!noId && (a.Cylinder != b.Cylinder || a.Head != b.Head))
        change("sector ID (C, H)", {K::kSectorIds, K::kSectors});
    if (!noId && (a.SectorNo != b.SectorNo || a.SizeCode != b.SizeCode)) change("sector ID (R, N)", {K::kSectors});
    if (a.IdCrcError != b.IdCrcError) change("ID CRC state", {K::kIdCrcErrors});
    if (a.IdMissing != b.IdMissing) change("data without an ID", {K::kDataWithoutId});
    if ((a.DataLength == 0) != (b.DataLength == 0)) {
        change("ID without data", {K::kIdsWithoutData, K::kSectorBytes});
        return;
    }
    if (a.DataLength == 0) return;
    if ((a.DeletedData != 0) != (b.DeletedData != 0)) change("deleted-data mark", {K::kDeletedMarks});
    if ((a.DataCrcOk != 0) != (b.DataCrcOk != 0)) change("data CRC state", {K::kDataCrcErrors, K::kSectorBytes});
    if (a.CopyCount() != b.CopyCount()) change("weak reads", {K::kWeakCopies});
    const size_t n = std::min(a.HeldBytes(), b.HeldBytes());
    if (b.HeldBytes() < a.HeldBytes()) change("data length", {K::kSectorBytes});
    if (a.CopyCount() == b.CopyCount() && a.DataLength == b.DataLength && a.Data.size() >= a.CopyCount() * n &&
        b.Data.size() >= b.CopyCount() * n)
        for (unsigned c = 1; c < a.CopyCount(); ++c)
            if (!std::equal(a.Copy(c), a.Copy(c) + n, b.Copy(c))) change("weak reads", {K::kWeakCopies});
    if (!std::equal(a.Data.data(), a.Data.data() + n, b.Data.data()))
        change("data bytes", {K::kSectorBytes, K::kFreeSpace, K::kDeletedFiles, K::kLabel, K::kWeakCopies});
}

std::vector<Change> CompareDisks(const TZX_Disk& a, const TZX_Disk& b) {
    std::vector<Change> changes;
    for (unsigned k = 0; k < kMaxTracks; ++k) {
        const int t = static_cast<int>(k);
        const TTrack& ta = *a.Track(k);
        const TTrack& tb = *b.Track(k);
        const auto sa = UsedSlots(ta);
        const auto sb = UsedSlots(tb);
        const bool otherRate = ta.RateKbps != 0 && ta.RateKbps != 250 && ta.RateKbps != 300;
        if ((otherRate || ta.Encoding == TrackEncoding::kFm) &&
            (ta.RateKbps != tb.RateKbps || ta.Encoding != tb.Encoding) && !sa.empty())
            changes.push_back({"data rate", t, {LossKind::kDataRate}});
        if (sa.empty()) continue;
        if (sb.empty()) {
            changes.push_back({"track", t, {LossKind::kTracks, LossKind::kMissingSectors}});
            continue;
        }
        if (sb.size() < sa.size()) {
            changes.push_back(
                {"sector count",
                 t,
                 {LossKind::kSectors, LossKind::kIdsWithoutData, LossKind::kDataWithoutId, LossKind::kMissingSectors}});
            continue;
        }
        // Each sector is compared with the first one not yet taken of the same number (the order of a
        // track's sectors is its interleave, which a sector dump does not record), else the one at its
        // place; a data field without an ID has no number of its own, so those pair up in their order.
        std::vector<bool> taken(sb.size());
        for (size_t i = 0; i < sa.size(); ++i) {
            size_t j = 0;
            while (j < sb.size() && (taken[j] || sb[j]->IdMissing != sa[i]->IdMissing ||
                                     (!sa[i]->IdMissing && sb[j]->SectorNo != sa[i]->SectorNo)))
                ++j;
            if (j == sb.size()) j = taken[i] ? sb.size() : i;
            if (j == sb.size()) {
                changes.push_back({"sector count", t, {LossKind::kSectors}});
                continue;
            }
            taken[j] = true;
            CompareSlots(*sa[i], *sb[j], t, changes);
        }
    }
    if (!a.Comment.empty() && a.Comment != b.Comment) changes.push_back({"comment", -1, {LossKind::kComment}});
    return changes;
}

bool Told(const Change& change, const LossReport& losses, bool trdosFiles) {
    for (LossKind kind : change.toldBy)
        if (losses.Touches(kind, change.track)) return true;
    if (trdosFiles)
        for (LossKind kind : kTrdosAreaKinds)
            if (losses.Count(kind)) return true;
    return false;
}

// A refusal names what it refuses: the place and detail in brackets or after a colon, a second sentence
// (the reason after the verdict), or a verdict that is its own reason.
bool Explained(const std::string& why) {
    if (why.find('(') != std::string::npos || why.find(':') != std::string::npos) return true;
    const size_t first = why.find('!');
    return (first != std::string::npos && first + 1 < why.size()) || why == "No files on the disk!";
}

std::vector<fs::path> Images(int argc, char** argv) {
    std::vector<fs::path> images;
    for (int i = 1; i < argc; ++i) {
        const fs::path p = argv[i];
        if (fs::is_directory(p)) {
            for (const auto& e : fs::recursive_directory_iterator(p)) {
                const std::string name = e.path().filename().string();
                if (e.is_regular_file() && name != "MANIFEST.tsv" && name != "README.md") images.push_back(e.path());
            }
        } else {
            images.push_back(p);
        }
    }
    std::sort(images.begin(), images.end());
    return images;
}

// One leg of a trip: `from` written in a format and read back into `to`. "" when it went, else what went
// wrong; `losses` gets what the writer told.
std::string Leg(TZX_Disk& from, int format, bool compress, TZX_Disk& to, LossReport& losses, bool& refused) {
    Bytes out;
    refused = false;
    if (Status built = BuildImageBytes(from, format, compress, out); !built.ok()) {
        refused = true;
        return built.reason();
    }
    losses.Add(from.WriteLosses);
    std::string name = "back";
    name += Formats()[format].extension;
    if (Status again = ReadImageBytes(to, name, out, format); !again.ok())
        return "OUR IMAGE DOES NOT READ BACK: " + again.reason();
    return "";
}

// The changes from `a` to `b` that `losses` does not tell, named once each.
std::string Untold(const TZX_Disk& a, const TZX_Disk& b, const LossReport& losses, bool trdosFiles) {
    std::string untold;
    for (const Change& change : CompareDisks(a, b)) {
        if (Told(change, losses, trdosFiles) || untold.find(change.what) != std::string::npos) continue;
        untold += (untold.empty() ? "" : ", ") + change.what + " (track " + std::to_string(change.track) + ")";
    }
    return untold;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvex-matrix FILE|FOLDER...\n");
        return 2;
    }
    std::map<std::string, unsigned> counts;
    bool failed = false;
    TZX_Disk source, back, again;
    for (const fs::path& image : Images(argc, argv)) {
        const std::string name = image.string();
        if (!FormatByExtension(name) && !FormatOfContent(name)) {
            std::printf("%s: skipped, not an image\n", name.c_str());
            continue;
        }
        source.SalvageChecksums = true;  // an image whose checksum does not match reads with a loss told
        int sourceFormat = kUDI;
        if (Status read = ReadImageFile(source, name, std::nullopt, &sourceFormat); !read.ok()) {
            std::printf("%s: does not read: %s\n", name.c_str(), read.reason().c_str());
            ++counts["unreadable"];
            failed = true;
            continue;
        }
        if (!source.ReadLosses.Empty())
            std::printf("%s: read with %s\n", name.c_str(), source.ReadLosses.Text().c_str());
        for (const Target& target : kTargets) {
            const std::string head = name + " -> " + target.name + ": ";
            LossReport losses;
            bool refused = false;
            std::string fault = Leg(source, target.format, target.compress, back, losses, refused);
            if (refused) {
                const bool named = Explained(fault);
                std::printf("%srefused: %s%s\n", head.c_str(), fault.c_str(), named ? "" : "  [NO REASON]");
                ++counts[named ? "refused" : "refused without a reason"];
                failed |= !named;
                continue;
            }
            const bool scl = target.format == kSCL || sourceFormat == kSCL;
            std::string untold = fault.empty() ? Untold(source, back, losses, scl) : "";
            // And back to the source's own format: what the two legs change together is told by them.
            if (fault.empty() && untold.empty()) {
                fault = Leg(back, sourceFormat, false, again, losses, refused);
                if (refused && Explained(fault)) {
                    std::printf("%srefused on the way back: %s\n", head.c_str(), fault.c_str());
                    ++counts["refused on the way back"];
                    continue;
                }
                if (refused) fault = "refused on the way back without a reason: " + fault;
                if (fault.empty()) untold = Untold(source, again, losses, scl);
            }
            if (!fault.empty() || !untold.empty()) {
                std::printf("%s%s%s%s%s\n", head.c_str(), fault.c_str(), untold.empty() ? "" : "UNTOLD CHANGE: ",
                            untold.c_str(), losses.Empty() ? "" : ("; told: " + losses.Text()).c_str());
                ++counts[fault.empty() ? "untold change" : "failed"];
                failed = true;
            } else if (!losses.Empty()) {
                std::printf("%s%s\n", head.c_str(), losses.Text().c_str());
                ++counts["told losses"];
            } else {
                ++counts["kept"];
            }
        }
    }
    std::printf("--\n");
    for (const auto& [what, n] : counts) std::printf("%s: %u\n", what.c_str(), n);
    return failed ? 1 : 0;
}
