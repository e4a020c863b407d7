// The cross-format matrix: each image (or each file under a folder) is written in every target format, read
// back, written in its own format again and read back; after each leg it is compared sector by sector with
// the first reading (IDs, marks, CRC states, missing IDs or data, weak reads, bytes, data rate, comment).
// Every change must be told by a loss of a kind that explains it on its track, every refusal must give its
// reason. Prints a line per image and target and the counts; exits 1 on anything untold or unexplained.
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
    using K = LossKind;
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
            changes.push_back({"data rate", t, {K::kDataRate}});
        if (sa.empty()) continue;
        if (sb.empty()) {
            changes.push_back({"track", t, {K::kTracks, K::kMissingSectors}});
            continue;
        }
        // Each sector is compared with the first one not yet taken of the same number (a sector dump does not
        // keep the interleave); data fields without an ID, which have no number, pair up in their order.
        std::vector<bool> taken(sb.size());
        for (const TSectorSlot* slot : sa) {
            size_t j = 0;
            while (j < sb.size() && (taken[j] || sb[j]->IdMissing != slot->IdMissing ||
                                     (!slot->IdMissing && sb[j]->SectorNo != slot->SectorNo)))
                ++j;
            if (j == sb.size()) {
                changes.push_back({"sector count", t, {K::kSectors, K::kIdsWithoutData, K::kDataWithoutId}});
                continue;
            }
            taken[j] = true;
            CompareSlots(*slot, *sb[j], t, changes);
        }
    }
    if (!a.Comment.empty() && a.Comment != b.Comment) changes.push_back({"comment", -1, {K::kComment}});
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
        if (!fs::is_directory(argv[i])) images.emplace_back(argv[i]);
        if (fs::is_directory(argv[i]))
            for (const auto& e : fs::recursive_directory_iterator(argv[i]))
                if (e.is_regular_file() && e.path().extension() != ".tsv" && e.path().extension() != ".md")
                    images.push_back(e.path());
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
        for (const Target& target : kTargets) {
            const std::string head = name + " -> " + target.name + ": ";
            auto report = [&](const std::string& what, const std::string& text, bool fails) {
                std::printf("%s%s%s\n", head.c_str(), text.c_str(), fails ? "  [FAILED]" : "");
                ++counts[what];
                failed |= fails;
            };
            LossReport losses;
            bool refused = false;
            const bool scl = target.format == kSCL || sourceFormat == kSCL;
            std::string fault = Leg(source, target.format, target.compress, back, losses, refused);
            bool explained = !refused || Explained(fault);
            std::string untold = fault.empty() ? Untold(source, back, losses, scl) : "";
            // And back to the source's own format: what the two legs change together is told by them.
            if (!refused && fault.empty() && untold.empty()) {
                fault = Leg(back, sourceFormat, false, again, losses, refused);
                explained = !refused || Explained(fault);
                if (refused) fault = "on the way back: " + fault;
                if (fault.empty()) untold = Untold(source, again, losses, scl);
            }
            if (refused)
                report("refused", "refused " + fault, !explained);
            else if (!fault.empty() || !untold.empty())
                report("untold change", fault + (untold.empty() ? "" : "UNTOLD CHANGE: " + untold) + "; told: " +
                                            losses.Text(), true);
            else if (!losses.Empty())
                report("told losses", losses.Text(), false);
            else
                ++counts["kept"];
        }
    }
    std::printf("--\n");
    for (const auto& [what, n] : counts) std::printf("%s: %u\n", what.c_str(), n);
    return failed ? 1 : 0;
}
