// The words of a loss report.
#include "disk/losses.h"

#include <vector>

#include "i18n/translate.h"

namespace tarvex {

namespace {

// The text of each kind, its count in place of %s; in the order of LossKind.
constexpr const char* kKindTexts[] = {
    TrMark("%s sectors missing from the file"),
    TrMark("the file's checksum did not match (read anyway)"),
    TrMark("%s tracks the format has no room for"),
    TrMark("%s sectors the format has no room for"),
    TrMark("%s bytes of sectors longer than the format keeps"),
    TrMark("%s sector IDs written otherwise"),
    TrMark("%s deleted-data marks"),
    TrMark("%s data CRC errors"),
    TrMark("%s ID CRC errors"),
    TrMark("%s IDs without data"),
    TrMark("%s data fields without an ID"),
    TrMark("%s other reads of weak sectors"),
    TrMark("%s raw track layouts"),
    TrMark("%s tracks' data rate or encoding"),
    TrMark("%s comment lines"),
    TrMark("the disk label"),
    TrMark("%s deleted files"),
    TrMark("%s free sectors' contents"),
};
static_assert(std::size(kKindTexts) == static_cast<size_t>(LossKind::kCount));

// "track 3", "tracks 0-39", "tracks 0-3, 7, 9-12, 15" or, past five runs, the first four and the last:
// "tracks 6, 8, 10, 12, ..., 72".
std::string TracksText(const std::bitset<256>& tracks) {
    constexpr size_t kRunsNamed = 5;
    std::vector<std::string> runs;
    for (unsigned k = 0; k < tracks.size();) {
        if (!tracks[k]) {
            ++k;
            continue;
        }
        unsigned last = k;
        while (last + 1 < tracks.size() && tracks[last + 1]) ++last;
        runs.push_back(last == k ? std::to_string(k) : std::to_string(k) + "-" + std::to_string(last));
        k = last + 1;
    }
    if (runs.size() > kRunsNamed) {
        runs.erase(runs.begin() + kRunsNamed - 1, runs.end() - 1);
        runs.insert(runs.end() - 1, "...");
    }
    std::string list;
    for (const std::string& run : runs) list += (list.empty() ? "" : ", ") + run;
    if (tracks.count() == 1) return Fill(Tr("track %s"), {list});
    return Fill(Tr("tracks %s"), {list});
}

}  // namespace

void LossReport::Add(LossKind kind, int track, unsigned count) {
    Entry& e = entries_[static_cast<size_t>(kind)];
    e.count += count;
    if (track >= 0 && track < static_cast<int>(e.tracks.size())) e.tracks.set(static_cast<size_t>(track));
}

void LossReport::Add(const LossReport& other) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].count += other.entries_[i].count;
        entries_[i].tracks |= other.entries_[i].tracks;
    }
}

bool LossReport::Touches(LossKind kind, int track) const {
    const Entry& e = entries_[static_cast<size_t>(kind)];
    if (e.count == 0) return false;
    return track < 0 || e.tracks.none() || (track < static_cast<int>(e.tracks.size()) && e.tracks[track]);
}

bool LossReport::Empty() const {
    for (const Entry& e : entries_)
        if (e.count) return false;
    return true;
}

void LossReport::Clear() { entries_ = {}; }

std::string LossReport::Text() const {
    const std::string items = ItemsText();
    return items.empty() ? "" : Fill(Tr("dropped: %s"), {items});
}

std::string LossReport::ItemsText() const {
    std::string items;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (!e.count) continue;
        std::string item = Fill(Tr(kKindTexts[i]), {std::to_string(e.count)});
        if (e.tracks.any()) item += " (" + TracksText(e.tracks) + ")";
        items += (items.empty() ? "" : ", ") + item;
    }
    return items;
}

}  // namespace tarvex
