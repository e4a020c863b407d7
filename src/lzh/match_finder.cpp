// The match finder's tree work: inserting a string and finding its longest earlier match (with a
// hash lookup for strings equal over all 60 bytes), deleting a position, and saving and comparing
// the trees so that a second finder can take over from the first.
#include "lzh/match_finder.h"

#include <algorithm>

namespace tarvex::lzh {

namespace {

uint64_t Load64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

}  // namespace

MatchFinder::MatchFinder() {
    for (unsigned b = kWindowSize + 1; b < child_.size(); ++b) child_[b][kRight] = kNil;
    std::fill_n(up_.begin(), kWindowSize, static_cast<uint16_t>(kNil));
    whole_.fill(static_cast<uint16_t>(kNil));
}

void MatchFinder::StartAtBeginning(ByteSpan input) {
    input_ = input;
    std::fill_n(ring_.begin(), kWriteStart, kWindowFill);
    r_ = kWriteStart;
    while (len_ < kLongestMatch && in_ < input.size()) ring_[r_ + len_++] = input[in_++];
    for (unsigned i = 1; i <= kLongestMatch; ++i) InsertNode(r_ - i, HashOf(&ring_[r_ - i]));
    hash_ = HashOf(&ring_[r_]);
    InsertNode(r_, hash_);
}

void MatchFinder::StartAt(ByteSpan input, size_t from) {
    input_ = input;
    position_ = from;
    s_ = static_cast<unsigned>(from & kWindowMask);
    r_ = static_cast<unsigned>((from + kWriteStart) & kWindowMask);
    for (size_t y = from - kWriteStart; y < from + kLongestMatch; ++y) {
        const unsigned at = static_cast<unsigned>((y + kWriteStart) & kWindowMask);
        ring_[at] = input[y];
        if (at < kLongestMatch - 1) ring_[at + kWindowSize] = input[y];
    }
    len_ = kLongestMatch;
    in_ = from + kLongestMatch;
    hash_ = HashOf(&ring_[r_]);
    InsertNode(r_, hash_);
}

void MatchFinder::Save(Snapshot& snapshot, size_t position, size_t tokens) const {
    snapshot.position = position;
    snapshot.tokens = tokens;
    snapshot.literals = literals_;
    snapshot.matches = matches_;
    snapshot.matchLength = matchLength_;
    snapshot.matchPosition = matchPosition_;
    std::copy_n(up_.begin(), kWindowSize, snapshot.up.begin());
    snapshot.child = child_;
}

bool MatchFinder::SameAs(const Snapshot& snapshot) const {
    if (matchLength_ != snapshot.matchLength || matchPosition_ != snapshot.matchPosition) return false;
    if (!std::equal(up_.begin(), up_.begin() + kWindowSize, snapshot.up.begin())) return false;
    for (unsigned p = 0; p < kWindowSize; ++p)
        if (up_[p] != kNil && child_[p] != snapshot.child[p]) return false;
    for (unsigned b = kWindowSize + 1; b < child_.size(); ++b)
        if (child_[b][kRight] != snapshot.child[b][kRight]) return false;
    return true;
}

void MatchFinder::InsertNode(unsigned r, uint64_t hash) {
    const uint8_t* key = &ring_[r];
    // A tree holds no two equal strings, and a walk for a string the tree holds ends at it with a
    // match of 60 bytes at its distance, whatever it met on the way. So a position still in a tree
    // whose string is equal in all 60 bytes gives the walk's result at once; the hash only points
    // at a candidate, which Equal confirms byte by byte.
    const unsigned bucket = static_cast<unsigned>((hash * kFibonacciMultiplier) >> (64 - kWholeBits));
    const unsigned same = whole_[bucket];
    whole_[bucket] = static_cast<uint16_t>(r);
    if (same != kNil && up_[same] != kNil && Equal(key, &ring_[same])) {
        matchLength_ = kLongestMatch;
        matchPosition_ = ((r - same) & kWindowMask) - 1;
        ReplaceNode(same, r);
        return;
    }
    const uint64_t head = Load64(key + 1);  // the bytes after the first, which the tree shares
    const uint64_t headOrder = __builtin_bswap64(head);
    child_[r][kRight] = child_[r][kLeft] = kNil;
    unsigned p = kWindowSize + 1 + key[0];
    unsigned next = child_[p][kRight];
    unsigned side = kRight;
    unsigned length = 0;
    unsigned position = 0;
    // The data of the node to compare with next is loaded a step ahead, for both of its children.
    uint64_t other = Load64(&ring_[next + 1]);
    uint32_t links = Links(next);
    while (next != kNil) {
        p = next;
        const unsigned left = links & 0xFFFF, right = links >> 16;
        const uint64_t otherLeft = Load64(&ring_[left + 1]), otherRight = Load64(&ring_[right + 1]);
        const uint32_t linksLeft = Links(left), linksRight = Links(right);
        bool notLess;
        unsigned i;
        if (head != other) {
            i = 1 + static_cast<unsigned>(std::countr_zero(head ^ other)) / 8;
            notLess = headOrder > __builtin_bswap64(other);
        } else {
            i = CompareTail(key, &ring_[p], notLess);
        }
        if (i > kThreshold) {
            const unsigned distance = ((r - p) & kWindowMask) - 1;
            if (i > length) {
                position = distance;
                length = i;
                if (i >= kLongestMatch) {
                    ReplaceNode(p, r);
                    break;
                }
            }
            if (i == length && distance < position) position = distance;
        }
        // Chosen by masks rather than by a branch that random data would mispredict half the time.
        const uint64_t choose = uint64_t{0} - notLess;
        side = notLess ? kRight : kLeft;
        next = left ^ ((left ^ right) & static_cast<unsigned>(choose));
        other = otherLeft ^ ((otherLeft ^ otherRight) & choose);
        links = linksLeft ^ ((linksLeft ^ linksRight) & static_cast<uint32_t>(choose));
    }
    if (next == kNil) {
        child_[p][side] = static_cast<uint16_t>(r);
        up_[r] = static_cast<uint16_t>(p);
    }
    matchLength_ = length;
    matchPosition_ = position;
}

void MatchFinder::ReplaceNode(unsigned p, unsigned r) {
    up_[r] = up_[p];
    child_[r][kLeft] = child_[p][kLeft];
    child_[r][kRight] = child_[p][kRight];
    up_[child_[p][kLeft]] = static_cast<uint16_t>(r);
    up_[child_[p][kRight]] = static_cast<uint16_t>(r);
    ReplaceChildLink(p, r);
    up_[p] = kNil;
}

// Bytes 0..55 in seven loads, 51..58 in one more, and byte 59 on its own: the last byte of a was most
// likely written just now, and a wider load over it would wait for the write to complete.
bool MatchFinder::Equal(const uint8_t* a, const uint8_t* b) {
    static_assert(7 * 8 > kLongestMatch - 9 && kLongestMatch - 9 + 8 == kLongestMatch - 1);
    uint64_t differ = Load64(a + kLongestMatch - 9) ^ Load64(b + kLongestMatch - 9);
    for (unsigned k = 0; k < 7; ++k) differ |= Load64(a + 8 * k) ^ Load64(b + 8 * k);
    return differ == 0 && a[kLongestMatch - 1] == b[kLongestMatch - 1];
}

unsigned MatchFinder::CompareTail(const uint8_t* a, const uint8_t* b, bool& notLess) {
    for (unsigned i = 9; i < kLongestMatch - 3; i += 8) {
        const uint64_t x = Load64(a + i), y = Load64(b + i);
        if (x != y) {
            notLess = __builtin_bswap64(x) > __builtin_bswap64(y);
            return i + static_cast<unsigned>(std::countr_zero(x ^ y)) / 8;
        }
    }
    constexpr uint64_t kLastThree = 0xFFFFFF;
    const uint64_t x = Load64(a + kLongestMatch - 3) & kLastThree, y = Load64(b + kLongestMatch - 3) & kLastThree;
    if (x != y) {
        notLess = __builtin_bswap64(x) > __builtin_bswap64(y);
        return kLongestMatch - 3 + static_cast<unsigned>(std::countr_zero(x ^ y)) / 8;
    }
    notLess = true;
    return kLongestMatch;
}

void MatchFinder::DeleteNode(unsigned p) {
    if (up_[p] == kNil) return;
    const uint32_t links = Links(p);
    const unsigned left = links & 0xFFFF, right = links >> 16;
    unsigned q;
    if (left != kNil && right != kNil) {
        q = left;
        if (child_[q][kRight] != kNil) {
            do q = child_[q][kRight]; while (child_[q][kRight] != kNil);
            child_[up_[q]][kRight] = child_[q][kLeft];
            up_[child_[q][kLeft]] = up_[q];
            child_[q][kLeft] = static_cast<uint16_t>(left);
            up_[left] = static_cast<uint16_t>(q);
        }
        child_[q][kRight] = static_cast<uint16_t>(right);
        up_[right] = static_cast<uint16_t>(q);
    } else {
        q = left ^ right ^ kNil;  // the one link there is, or kNil
    }
    up_[q] = up_[p];
    ReplaceChildLink(p, q);
    up_[p] = kNil;
}

void MatchFinder::ReplaceChildLink(unsigned p, unsigned q) {
    const unsigned parent = up_[p];
    const unsigned side = child_[parent][kRight] == p ? kRight : kLeft;
    child_[parent][side] = static_cast<uint16_t>(q);
}

}  // namespace tarvex::lzh
