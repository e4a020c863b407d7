#include "lzh/lzh.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

namespace tarvex {

namespace {

constexpr unsigned kWindowSize = 4096;
constexpr unsigned kWindowMask = kWindowSize - 1;
constexpr unsigned kLongestMatch = 60;
constexpr unsigned kThreshold = 2;  // matches this short are sent as literals
constexpr unsigned kNil = kWindowSize;
constexpr unsigned kWriteStart = kWindowSize - kLongestMatch;  // 4036
constexpr uint8_t kWindowFill = 0x20;
constexpr unsigned kLeft = 0;   // the match-finder link to strings that compare less
constexpr unsigned kRight = 1;  // ... and to those that compare not less

constexpr unsigned kSymbols = 256 + kLongestMatch - kThreshold;  // 314: bytes, then lengths 3..60
constexpr unsigned kNodes = 2 * kSymbols - 1;                    // 627
constexpr unsigned kRoot = kNodes - 1;
constexpr uint16_t kFrequencyLimit = 0x8000;
constexpr unsigned kMatchSymbolBias = 256 - kThreshold - 1;  // symbol = length + 253

constexpr unsigned LeafEntry(unsigned symbol) { return kNodes + 2 * symbol; }
constexpr unsigned SymbolOfLeaf(unsigned entry) { return (entry - kNodes) / 2; }
constexpr unsigned kLeafEntries = kNodes + 2 * kSymbols;

// ---------------------------------------------------------------------------------------------
// The adaptive Huffman tree. Nodes stay in nondecreasing order of weight by index; the heaviest is
// the root. son[k] >= kNodes marks a leaf: son[k] is then the entry kNodes + 2s of its symbol s;
// otherwise the children of k are son[k] (bit 0) and son[k] + 1 (bit 1). parent[kNodes + 2s] is the
// node holding symbol s; the entries kNodes + 2s + 1 are spare, so a leaf's entry pair can be
// written like a pair of children.
//
// Each symbol's update climbs from its leaf to the root, and the next symbol's code is a walk
// between the root and its leaf too. The two walks are made in one loop, so that the processor
// follows both chains of look-ups at once: the next code is taken from the tree as the update leaves
// it, which holds unless the update rewrote a link after the walk had read it. Every link read by
// the walk is stamped, every rewrite checks the stamp, and on a clash the walk is made again.

class HuffmanTree {
public:
    void Start() {
        for (unsigned s = 0; s < kSymbols; ++s) {
            freq_[s] = 1;
            son_[s] = static_cast<uint16_t>(LeafEntry(s));
            parent_[LeafEntry(s)] = static_cast<uint16_t>(s);
            // A walk that has reached its leaf stays there, whatever the bit.
            son_[LeafEntry(s)] = son_[LeafEntry(s) + 1] = static_cast<uint16_t>(LeafEntry(s));
        }
        unsigned i = 0;
        for (unsigned j = kSymbols; j < kNodes; ++j, i += 2) {
            freq_[j] = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
            son_[j] = static_cast<uint16_t>(i);
            parent_[i] = parent_[i + 1] = static_cast<uint16_t>(j);
        }
        std::fill(freq_.begin() + kNodes, freq_.end(), uint16_t{0xFFFF});
        parent_[kRoot] = kDone;  // a finished update stays at kDone, which never trades places
        parent_[kDone] = kDone;
    }

    // Adds one to the weight of symbol s and of its ancestors. A node whose weight would pass the
    // next one's first trades places with the last node of its old weight, which keeps the order.
    void Update(unsigned s) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        unsigned c = parent_[LeafEntry(s)];
        do {
            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kNone>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
        } while (c != kDone);
    }

    // Update(s), and the walk from the root that the next `bits` (from bit 63 down) take in the tree
    // as it is afterwards. Returns the leaf's entry and sets `used` to the code length, or returns
    // kRedo when the walk has to be made again.
    unsigned UpdateAndWalk(unsigned s, uint64_t bits, unsigned& used) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        const uint32_t stamp = NextStamp();
        unsigned c = parent_[LeafEntry(s)];
        unsigned w = son_[kRoot];
        unsigned n = 0;
        freq_[kDone] = 0;
        for (;;) {
            // The bit picks the row before the link is known, so each step of the walk waits for one
            // load only, not for an addition after it.
            const unsigned bit = static_cast<unsigned>(bits >> 63);
            const uint16_t* row = son_.data() + bit;
            __asm__("" : "+r"(row));  // keeps the compiler from folding the bit back into the index
            sonRead_[w + bit] = stamp;
            n += w < kNodes;
            w = row[w];
            bits <<= 1;

            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kSonReads>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
            if (w >= kNodes && c == kDone) break;
        }
        used = n;
        return clash_ ? kRedo : w;
    }

    // Update(previous), and the code of symbol s in the tree as it is afterwards: `length` bits, the
    // one nearest the leaf in bit 0. Returns false when the code has to be collected again.
    bool UpdateAndCode(unsigned previous, unsigned s, uint64_t& code, unsigned& length) {
        if (freq_[kRoot] == kFrequencyLimit) Rebuild();
        const uint32_t stamp = NextStamp();
        unsigned c = parent_[LeafEntry(previous)];
        parentRead_[LeafEntry(s)] = stamp;
        unsigned k = parent_[LeafEntry(s)];
        uint64_t bits = 0;
        unsigned n = 0;
        freq_[kDone] = 0;
        for (;;) {
            const unsigned below = k != kRoot;
            parentRead_[k] = stamp;
            bits |= uint64_t{k & below} << (n & 63);
            n += below;
            const unsigned up = parent_[k];
            k = below ? up : k;

            const uint16_t f = freq_[c];
            if (f >= freq_[c + 1])
                c = MoveUp<Check::kParentReads>(c, f);
            else
                freq_[c] = static_cast<uint16_t>(f + 1);
            c = parent_[c];
            if (k == kRoot && c == kDone) break;
        }
        code = bits;
        length = n;
        return !clash_ && n <= 64;
    }

    unsigned Son(unsigned node) const { return son_[node]; }
    unsigned Parent(unsigned node) const { return parent_[node]; }
    unsigned LeafOf(unsigned symbol) const { return parent_[LeafEntry(symbol)]; }
    size_t Rebuilds() const { return rebuilds_; }

    static constexpr unsigned kRedo = 0xFFFF;

private:
    uint32_t NextStamp() {
        clash_ = false;
        if (++stamp_ == 0) {
            sonRead_.fill(0);
            parentRead_.fill(0);
            stamp_ = 1;
        }
        return stamp_;
    }

    enum class Check { kNone, kSonReads, kParentReads };  // the links a walk in progress reads

    // Node c weighs f, as does c + 1. Its subtree moves to the last node weighing f, which becomes
    // f + 1; the subtree found there comes down to c, which keeps weight f. Returns the new place.
    template <Check check>
    unsigned MoveUp(unsigned c, uint16_t f) {
        const unsigned l = c + SameWeightAfter(c + 1, f);
        freq_[l] = static_cast<uint16_t>(f + 1);
        const unsigned i = son_[c];
        const unsigned j = son_[l];
        son_[l] = static_cast<uint16_t>(i);
        son_[c] = static_cast<uint16_t>(j);
        parent_[i] = parent_[i + 1] = static_cast<uint16_t>(l);
        parent_[j] = parent_[j + 1] = static_cast<uint16_t>(c);
        if constexpr (check == Check::kSonReads) clash_ |= (sonRead_[c] == stamp_) | (sonRead_[l] == stamp_);
        if constexpr (check == Check::kParentReads)
            clash_ |= (parentRead_[i] == stamp_) | (parentRead_[i + 1] == stamp_) | (parentRead_[j] == stamp_) |
                      (parentRead_[j + 1] == stamp_);
        return l;
    }

    // How many nodes from `from` on weigh f, given that `from` does; four weights at a time. The
    // weights from there on do not decrease and the sentinels after the root end any run.
    unsigned SameWeightAfter(unsigned from, uint16_t f) const {
        static_assert(std::endian::native == std::endian::little);
        const uint64_t pattern = f * uint64_t{0x0001000100010001};
        for (unsigned n = 0;; n += 4) {
            uint64_t w;
            std::memcpy(&w, &freq_[from + n], sizeof w);
            if (w != pattern) return n + static_cast<unsigned>(std::countr_zero(w ^ pattern)) / 16;
        }
    }

    // Halves every leaf weight and builds the tree again from the leaves, lightest first.
    void Rebuild() {
        ++rebuilds_;
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i) {
            if (son_[i] >= kNodes) {
                freq_[j] = static_cast<uint16_t>((freq_[i] + 1) / 2);
                son_[j] = son_[i];
                ++j;
            }
        }
        unsigned i = 0;
        for (j = kSymbols; j < kNodes; ++j, i += 2) {
            const uint16_t f = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
            unsigned k = j - 1;
            while (f < freq_[k]) --k;
            ++k;  // after every node of equal weight
            std::copy_backward(freq_.begin() + k, freq_.begin() + j, freq_.begin() + j + 1);
            std::copy_backward(son_.begin() + k, son_.begin() + j, son_.begin() + j + 1);
            freq_[k] = f;
            son_[k] = static_cast<uint16_t>(i);
        }
        for (i = 0; i < kNodes; ++i) {
            const unsigned k = son_[i];
            parent_[k] = parent_[k + 1] = static_cast<uint16_t>(i);
        }
    }

    static constexpr unsigned kDone = kLeafEntries;
    // After the root come sentinels heavier than any node: one ends every search for a weight, the
    // others let that search read four weights at once. kDone's weight counts idle steps only.
    std::array<uint16_t, kDone + 2> freq_{};
    std::array<uint16_t, kLeafEntries> son_{};
    std::array<uint16_t, kDone + 1> parent_{};
    std::array<uint32_t, kLeafEntries> sonRead_{};
    std::array<uint32_t, kDone + 1> parentRead_{};
    uint32_t stamp_ = 0;
    bool clash_ = false;
    size_t rebuilds_ = 0;
};

// ---------------------------------------------------------------------------------------------
// The position code: the upper six bits u of a position get a canonical prefix code of 3 to 8 bits,
// the lower six bits follow as they are.

struct PositionCode {
    std::array<uint8_t, 64> length{};
    std::array<uint8_t, 64> leftAligned{};  // the code in the top bits of a byte
    std::array<uint8_t, 256> upperOf{};     // by the next eight input bits: u ...
    std::array<uint8_t, 256> lengthOf{};    // ... and the length of its code
};

constexpr unsigned PositionCodeLength(unsigned u) {
    return u < 1 ? 3 : u < 4 ? 4 : u < 12 ? 5 : u < 24 ? 6 : u < 48 ? 7 : 8;
}

constexpr PositionCode MakePositionCode() {
    PositionCode t{};
    unsigned code = 0;
    unsigned previousLength = PositionCodeLength(0);
    for (unsigned u = 0; u < 64; ++u) {
        const unsigned len = PositionCodeLength(u);
        if (u > 0) code = (code + 1) << (len - previousLength);
        previousLength = len;
        t.length[u] = static_cast<uint8_t>(len);
        t.leftAligned[u] = static_cast<uint8_t>(code << (8 - len));
        for (unsigned b = 0; b < (1u << (8 - len)); ++b) {
            t.upperOf[t.leftAligned[u] + b] = static_cast<uint8_t>(u);
            t.lengthOf[t.leftAligned[u] + b] = static_cast<uint8_t>(len);
        }
    }
    return t;
}

constexpr PositionCode kPositionCode = MakePositionCode();
static_assert(kPositionCode.leftAligned[1] == 0x20 && kPositionCode.length[1] == 4);
static_assert(kPositionCode.leftAligned[63] == 0xFF && kPositionCode.length[63] == 8);
static_assert(kPositionCode.upperOf[0x1F] == 0 && kPositionCode.lengthOf[0x1F] == 3);
static_assert(kPositionCode.upperOf[0xF0] == 48 && kPositionCode.lengthOf[0xFF] == 8);

// ---------------------------------------------------------------------------------------------
// Encoder.

uint64_t Load64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Sends bits most significant first; the last byte is padded with zero bits. The code goes straight
// into the output, which is grown ahead and cut to size at the end.
class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out), size_(out.size()) {}

    void Reserve(size_t bytes) { out_.resize(size_ + bytes + 8); }

    // The low n bits of value, 1 <= n <= 32.
    void Put(unsigned n, uint64_t value) {
        acc_ = (acc_ << n) | (value & ((uint64_t{1} << n) - 1));
        pending_ += n;
        if (pending_ >= 32) {
            pending_ -= 32;
            if (size_ + 4 > out_.size()) out_.resize(out_.size() * 2 + 8);
            const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(acc_ >> pending_));
            std::memcpy(out_.data() + size_, &word, sizeof word);
            size_ += 4;
        }
    }
    void Flush() {
        out_.resize(size_);
        for (; pending_ >= 8; pending_ -= 8) out_.push_back(static_cast<uint8_t>(acc_ >> (pending_ - 8)));
        if (pending_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - pending_)));
        acc_ = 0;
        pending_ = 0;
        size_ = out_.size();
    }

private:
    Bytes& out_;
    size_t size_;        // bytes of out_ in use
    uint64_t acc_ = 0;   // the pending bits in its low end
    unsigned pending_ = 0;
};

// Codes symbols with the adaptive Huffman code.
class SymbolCoder {
public:
    SymbolCoder(BitWriter& bits, LzhEncodeStats& stats) : bits_(bits), stats_(stats) { tree_.Start(); }

    // Sends the path from the root to the leaf of s, however deep the tree has grown; s is counted
    // when the next symbol comes (or at Finish), together with collecting that symbol's code.
    void Put(unsigned s) {
        uint64_t code;
        unsigned length;
        if (!pending_ || !tree_.UpdateAndCode(previous_, s, code, length)) Collect(s, code, length);
        Send(code, length);
        previous_ = s;
        pending_ = true;
    }

    void Finish() {
        if (pending_) tree_.Update(previous_);
        pending_ = false;
        stats_.deepestCode = std::max<unsigned>(stats_.deepestCode, deepest_);
        stats_.rebuilds = tree_.Rebuilds();
    }

private:
    // The path of s collected from the leaf upward: the first 64 steps in `code`, any further ones
    // (nearer the root, so sent first) sent one by one at once.
    void Collect(unsigned s, uint64_t& code, unsigned& length) {
        code = 0;
        length = 0;
        unsigned k = tree_.LeafOf(s);
        for (; k != kRoot && length < 64; k = tree_.Parent(k)) code |= uint64_t{k & 1} << length++;
        if (k == kRoot) return;
        unsigned deeper = 0;
        for (; k != kRoot; k = tree_.Parent(k)) nearRoot_[deeper++] = k & 1;
        deepest_ = std::max(deepest_, 64 + deeper);
        while (deeper > 0) bits_.Put(1, nearRoot_[--deeper]);
    }

    void Send(uint64_t code, unsigned length) {
        deepest_ = std::max(deepest_, length);
        if (length > 32) {
            bits_.Put(length - 32, code >> 32);
            length = 32;
        }
        bits_.Put(length, code);
    }

    HuffmanTree tree_;
    BitWriter& bits_;
    LzhEncodeStats& stats_;
    unsigned deepest_ = 0;
    unsigned previous_ = 0;
    bool pending_ = false;  // previous_ is sent but not counted yet
    std::array<uint8_t, kNodes> nearRoot_{};
};

// Waits, spinning a little before sleeping, until ready(counter) holds; returns the counter's value.
// A batch of tokens takes tens of microseconds, a sleep and wake-up not much less.
template <class Ready>
uint64_t WaitUntil(std::atomic<uint64_t>& counter, Ready ready) {
    uint64_t v = counter.load(std::memory_order_acquire);
    for (unsigned spin = 0; !ready(v); ++spin) {
        if (spin < 4000) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            counter.wait(v, std::memory_order_acquire);
        }
        v = counter.load(std::memory_order_acquire);
    }
    return v;
}

// Hands batches of tokens from the match finder, on a thread of its own, to the coder on the calling
// thread: a ring of kSlots batches and two counters. The finder fills the slot of batch k once the
// coder has taken batch k - kSlots; the coder takes batch k once the finder has published it.
class TokenPipe {
public:
    static constexpr unsigned kSlots = 8;
    static constexpr uint64_t kFinished = uint64_t{1} << 63;  // in published_: no batch follows

    explicit TokenPipe(size_t batchCapacity) {
        for (auto& slot : slots_) slot.tokens.reserve(batchCapacity);
    }

    // Finder side. The slot to fill with batch k; nullptr when the coder has given up.
    std::vector<uint16_t>* SlotToFill(uint64_t k) {
        if (k >= kSlots) {
            const uint64_t needed = k - kSlots + 1;
            WaitUntil(taken_, [&](uint64_t v) { return v >= needed; });
        }
        if (stopped_.load(std::memory_order_acquire)) return nullptr;
        std::vector<uint16_t>& slot = slots_[k % kSlots].tokens;
        slot.clear();
        return &slot;
    }
    void Publish(uint64_t count, bool last = false) {
        published_.store(count | (last ? kFinished : 0), std::memory_order_release);
        published_.notify_one();
    }
    void Fail(std::exception_ptr error, uint64_t count) {
        error_ = error;
        Publish(count, true);
    }

    // Coder side. Batch k, or nullptr when the finder has finished before it.
    const std::vector<uint16_t>* Take(uint64_t k) {
        const uint64_t v = WaitUntil(published_, [&](uint64_t p) { return (p & ~kFinished) > k || (p & kFinished); });
        return (v & ~kFinished) > k ? &slots_[k % kSlots].tokens : nullptr;
    }
    void Done(uint64_t k) {
        taken_.store(k + 1, std::memory_order_release);
        taken_.notify_one();
    }
    // The coder gives up: the finder stops at its next batch.
    void Stop() {
        stopped_.store(true, std::memory_order_release);
        taken_.store(UINT64_MAX / 2, std::memory_order_release);
        taken_.notify_one();
    }
    std::exception_ptr Error() const { return error_; }

private:
    // Each batch on a cache line of its own: the finder grows one while the coder reads another.
    struct alignas(64) Slot {
        std::vector<uint16_t> tokens;
    };
    std::array<Slot, kSlots> slots_;
    alignas(64) std::atomic<uint64_t> published_{0};
    alignas(64) std::atomic<uint64_t> taken_{0};
    std::atomic<bool> stopped_{false};
    std::exception_ptr error_;
};

// Finds the literals and matches of an input: every window position is kept in a binary tree of the
// strings that start there, one tree per first byte.
class MatchFinder {
public:
    // The state of a finder before a token: its trees, the match found there and how many tokens
    // came before. Two finders in the same state at the same input position find the same tokens
    // from there on, since the window then holds the same bytes in both.
    struct Snapshot {
        size_t position = 0;  // in the input
        size_t tokens = 0;    // symbols and positions handed out before
        size_t literals = 0;
        size_t matches = 0;
        unsigned matchLength = 0;
        unsigned matchPosition = 0;
        std::array<uint16_t, kWindowSize> up;
        std::array<std::array<uint16_t, 2>, kWindowSize + 257> child;
    };

    MatchFinder() {
        for (unsigned b = kWindowSize + 1; b < child_.size(); ++b) child_[b][kRight] = kNil;
        std::fill_n(up_.begin(), kWindowSize, static_cast<uint16_t>(kNil));
        whole_.fill(static_cast<uint16_t>(kNil));
    }

    // From the start of the input, with the window full of spaces, as the code is defined.
    void StartAtBeginning(ByteSpan input) {
        input_ = input;
        std::fill_n(ring_.begin(), kWriteStart, kWindowFill);
        r_ = kWriteStart;
        while (len_ < kLongestMatch && in_ < input.size()) ring_[r_ + len_++] = input[in_++];
        for (unsigned i = 1; i <= kLongestMatch; ++i) InsertNode(r_ - i, HashOf(&ring_[r_ - i]));
        hash_ = HashOf(&ring_[r_]);
        InsertNode(r_, hash_);
    }

    // From input position `from` (kWriteStart <= from <= size - kLongestMatch), with the window
    // holding the bytes before it, as the encoder from the start would hold them, and the trees empty.
    void StartAt(ByteSpan input, size_t from) {
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

    // Hands the tokens from the current position on to `sink`: sink.AtToken(position) before each
    // (false stops the finder there), then sink.Literal(byte) or sink.Match(length, position).
    template <class Sink>
    void Run(Sink& sink) {
        const ByteSpan input = input_;
        size_t in = in_;
        size_t x = position_;
        unsigned s = s_, r = r_, len = len_;
        uint64_t hash = hash_;
        while (len > 0) {
            if (matchLength_ > len) matchLength_ = len;
            if (!sink.AtToken(x)) break;
            if (matchLength_ <= kThreshold) {
                matchLength_ = 1;
                sink.Literal(ring_[r]);
                ++literals_;
            } else {
                sink.Match(matchLength_, matchPosition_);
                ++matches_;
            }
            const unsigned last = matchLength_;
            x += last;
            unsigned i = 0;
            for (; i < last && in < input.size(); ++i) {
                DeleteNode(s);
                const uint8_t c = input[in++];
                ring_[s] = c;
                if (s < kLongestMatch - 1) ring_[s + kWindowSize] = c;
                s = (s + 1) & kWindowMask;
                hash = Roll(hash, ring_[r], c);
                r = (r + 1) & kWindowMask;
                InsertNode(r, hash);
            }
            for (; i < last; ++i) {
                DeleteNode(s);
                // The byte that enters the string at r + 1 sits at s, 60 bytes on from r.
                hash = Roll(hash, ring_[r], ring_[s]);
                s = (s + 1) & kWindowMask;
                r = (r + 1) & kWindowMask;
                if (--len != 0) InsertNode(r, hash);
            }
        }
        in_ = in;
        position_ = x;
        s_ = s;
        r_ = r;
        len_ = len;
        hash_ = hash;
    }

    // Called by a sink from AtToken(position).
    void Save(Snapshot& snapshot, size_t position, size_t tokens) const {
        snapshot.position = position;
        snapshot.tokens = tokens;
        snapshot.literals = literals_;
        snapshot.matches = matches_;
        snapshot.matchLength = matchLength_;
        snapshot.matchPosition = matchPosition_;
        std::copy_n(up_.begin(), kWindowSize, snapshot.up.begin());
        snapshot.child = child_;
    }

    // The trees hold the same positions with the same links, and the match is the same. Links of
    // positions outside the trees are left over from earlier and never read.
    bool SameAs(const Snapshot& snapshot) const {
        if (matchLength_ != snapshot.matchLength || matchPosition_ != snapshot.matchPosition) return false;
        if (!std::equal(up_.begin(), up_.begin() + kWindowSize, snapshot.up.begin())) return false;
        for (unsigned p = 0; p < kWindowSize; ++p)
            if (up_[p] != kNil && child_[p] != snapshot.child[p]) return false;
        for (unsigned b = kWindowSize + 1; b < child_.size(); ++b)
            if (child_[b][kRight] != snapshot.child[b][kRight]) return false;
        return true;
    }

    size_t Literals() const { return literals_; }
    size_t Matches() const { return matches_; }

private:
    // Inserts the string at window position r into the tree of its first byte and records the
    // longest earlier string sharing its prefix (the nearest one among equals). A string equal over
    // all 60 bytes takes the place of the older one.
    void InsertNode(unsigned r, uint64_t hash) {
        const uint8_t* key = &ring_[r];
        // A string equal over all 60 bytes is the one the walk would end at, whatever the path: it is
        // looked up by its hash first.
        const unsigned bucket = static_cast<unsigned>((hash * 0x9E3779B97F4A7C15) >> (64 - kWholeBits));
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

    // Position r takes the place of p in its tree; p leaves it.
    void ReplaceNode(unsigned p, unsigned r) {
        up_[r] = up_[p];
        child_[r][kLeft] = child_[p][kLeft];
        child_[r][kRight] = child_[p][kRight];
        up_[child_[p][kLeft]] = static_cast<uint16_t>(r);
        up_[child_[p][kRight]] = static_cast<uint16_t>(r);
        ReplaceChildLink(p, r);
        up_[p] = kNil;
    }

    // The hash of the 60-byte string at a: the sum of its bytes times kHashBase to the power of the
    // bytes after each. Rolled forward a byte at a time as the window moves.
    static constexpr uint64_t kHashBase = 0x100000001B3;
    static constexpr uint64_t kHashTop = [] {
        uint64_t m = 1;
        for (unsigned i = 0; i < kLongestMatch; ++i) m *= kHashBase;
        return m;
    }();  // the power of the byte that leaves
    static uint64_t HashOf(const uint8_t* a) {
        uint64_t h = 0;
        for (unsigned i = 0; i < kLongestMatch; ++i) h = h * kHashBase + a[i];
        return h;
    }
    static uint64_t Roll(uint64_t h, uint8_t leaving, uint8_t entering) {
        return h * kHashBase - leaving * kHashTop + entering;
    }
    // Whether the 60-byte strings at a and b are equal. The last byte of a was most likely written
    // just now and is read on its own: wider loads over it would wait for the write to complete.
    static bool Equal(const uint8_t* a, const uint8_t* b) {
        uint64_t differ = Load64(a + kLongestMatch - 9) ^ Load64(b + kLongestMatch - 9);
        for (unsigned k = 0; k < 7; ++k) differ |= Load64(a + 8 * k) ^ Load64(b + 8 * k);
        return differ == 0 && a[kLongestMatch - 1] == b[kLongestMatch - 1];
    }

    // Both links of position p: kLeft in the low half, kRight in the high one.
    uint32_t Links(unsigned p) const {
        static_assert(std::endian::native == std::endian::little);
        uint32_t links;
        std::memcpy(&links, child_[p].data(), sizeof links);
        return links;
    }

    // For two 60-byte strings that agree in bytes 0 to 8: how many bytes agree, and whether a is not
    // less than b. Eight bytes at a time, then the last three.
    static unsigned CompareTail(const uint8_t* a, const uint8_t* b, bool& notLess) {
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

    void DeleteNode(unsigned p) {
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

    // In the parent of p, the link that pointed at p now points at q. The roots of the 256 trees
    // (entries above the window) only ever use their right link.
    void ReplaceChildLink(unsigned p, unsigned q) {
        const unsigned parent = up_[p];
        const unsigned side = child_[parent][kRight] == p ? kRight : kLeft;
        child_[parent][side] = static_cast<uint16_t>(q);
    }

    ByteSpan input_;
    size_t in_ = 0;        // the next input byte to enter the window
    size_t position_ = 0;  // of the next token
    unsigned s_ = 0;       // the oldest window position, the next to leave
    unsigned r_ = 0;       // where the next token starts in the window
    unsigned len_ = 0;     // bytes ahead of r_ in the window, at most 60
    size_t literals_ = 0;
    size_t matches_ = 0;
    unsigned matchLength_ = 0;
    unsigned matchPosition_ = 0;
    // The window plus a copy of its first 59 bytes, so a 60-byte comparison never wraps, plus room for
    // the last eight-byte load of a comparison.
    std::array<uint8_t, kWindowSize + kLongestMatch - 1 + 8> ring_{};
    std::array<uint16_t, kWindowSize + 1> up_{};
    // The two links (kLeft, kRight) of every window position; entries above kNil are the roots of
    // the trees per first byte and use only the right link.
    std::array<std::array<uint16_t, 2>, kWindowSize + 257> child_{};
    // The last position whose 60-byte string fell in each bucket, or kNil. Only a shortcut, kept
    // small to leave the processor's nearest cache to the trees: the position found may have left the
    // trees or hold another string since, and strings not found here are looked for in the trees.
    static constexpr unsigned kWholeBits = 12;
    std::array<uint16_t, 1u << kWholeBits> whole_;
    uint64_t hash_ = 0;  // of the string at r_
};

// A second finder for large inputs, on a thread of its own: it starts some way before the middle of
// the input with empty trees and keeps its tokens. After some thousands of bytes its trees have
// almost always taken the very shape that the first finder's have at the same position. It saves its
// state every kSpacing bytes; the first finder compares its own state with each save it reaches, and
// only where the two are the same does it stop and leave the rest of the input to this one. Where
// they never are, the first finder goes on to the end and this one's work is dropped.
class SecondFinder {
public:
    static constexpr size_t kSpacing = 8192;
    static constexpr size_t kLead = 24 * 1024;         // how far before the middle it starts
    static constexpr size_t kPublishEvery = 4096;      // tokens
    static constexpr uint64_t kFinished = uint64_t{1} << 63;

    // All memory is taken here, so that the finder cannot fail once started.
    explicit SecondFinder(ByteSpan input)
        : tokens_(input.size() - StartOf(input) + 2), snapshots_((input.size() - StartOf(input)) / kSpacing + 1) {
        const size_t from = StartOf(input);
        finder_.StartAt(input, from);
        nextSave_ = from + kWindowSize;
    }
    ~SecondFinder() {
        if (thread_.joinable()) {
            stop_.store(true, std::memory_order_relaxed);
            thread_.join();
        }
    }

    // Throws std::system_error when no thread can be started.
    void Start() {
        thread_ = std::thread([this] {
            finder_.Run(*this);
            Publish(count_ | kFinished);
        });
    }
    void Stop() { stop_.store(true, std::memory_order_relaxed); }

    // The saves made so far, in order of position.
    size_t Saved() const { return saved_.load(std::memory_order_acquire); }
    const MatchFinder::Snapshot& Save(size_t k) const { return snapshots_[k]; }

    // Waits until tokens beyond the first `count` are there or the finder has finished; returns how
    // many there are, with kFinished once it has finished.
    uint64_t WaitBeyond(size_t count) {
        return WaitUntil(published_, [count](uint64_t v) { return (v & ~kFinished) > count || (v & kFinished); });
    }
    const uint16_t* Tokens() const { return tokens_.data(); }
    // Once finished.
    size_t Literals() const { return finder_.Literals(); }
    size_t Matches() const { return finder_.Matches(); }

    // As the finder's sink.
    bool AtToken(size_t position) {
        if (position >= nextSave_) {
            const size_t k = saved_.load(std::memory_order_relaxed);
            if (k < snapshots_.size()) {
                finder_.Save(snapshots_[k], position, count_);
                saved_.store(k + 1, std::memory_order_release);
            }
            nextSave_ += kSpacing;
        }
        if (count_ - published_count_ >= kPublishEvery) Publish(count_);
        return !stop_.load(std::memory_order_relaxed);
    }
    void Literal(uint8_t c) { tokens_[count_++] = c; }
    void Match(unsigned length, unsigned position) {
        tokens_[count_++] = static_cast<uint16_t>(length + kMatchSymbolBias);
        tokens_[count_++] = static_cast<uint16_t>(position);
    }

private:
    static size_t StartOf(ByteSpan input) { return input.size() / 2 - kLead; }

    void Publish(uint64_t value) {
        published_count_ = count_;
        published_.store(value, std::memory_order_release);
        published_.notify_one();
    }

    MatchFinder finder_;
    std::vector<uint16_t> tokens_;  // at most one per byte: a match of 3 bytes or more takes two
    size_t count_ = 0;
    size_t published_count_ = 0;
    size_t nextSave_ = 0;
    std::vector<MatchFinder::Snapshot> snapshots_;
    alignas(64) std::atomic<size_t> saved_{0};
    alignas(64) std::atomic<uint64_t> published_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class LzhEncoder {
public:
    LzhEncoder(Bytes& out, LzhEncodeStats& stats) : bits_(out), stats_(stats), symbols_(bits_, stats) {}

    void Encode(ByteSpan input, bool threads) {
        if (input.empty()) return;
        bits_.Reserve(input.size() + input.size() / 8);
        finder_.StartAtBeginning(input);
        literals_ = matches_ = 0;
        if (!threads || input.size() < kPipelineMinimum || !EncodePipelined(input)) {
            tokens_.reserve(kTokenBatch + 2);
            batch_ = &tokens_;
            finder_.Run(*this);
            CodeTokens(tokens_.data(), tokens_.size());
            literals_ = finder_.Literals();
            matches_ = finder_.Matches();
        }
        bits_.Flush();
        symbols_.Finish();
        stats_.literals = literals_;
        stats_.matches = matches_;
    }

    // As the finder's sink. The literals and matches are found first and coded afterwards, in
    // pieces, so that each of the two loops keeps its own data and branches warm. A match's symbol
    // and position stay in one batch.
    bool AtToken(size_t position) { return position < nextCheck_ || !TakeOver(position); }
    void Literal(uint8_t c) { Put(c); }
    void Match(unsigned length, unsigned position) {
        batch_->push_back(static_cast<uint16_t>(length + kMatchSymbolBias));
        Put(position);
    }

private:
    // Inputs this large are coded while the next tokens are being found on a second thread. From
    // kSecondFinderMinimum on, a further finder may take the second half: where the first kDecideAt
    // bytes have given fewer than one token (literal or match) for every kFewTokens bytes, finding
    // costs more than coding and is worth sharing out; otherwise the coder is the slower part and
    // a third busy thread would only slow it down.
    static constexpr size_t kPipelineMinimum = 64 * 1024;
    static constexpr size_t kSecondFinderMinimum = 256 * 1024;
    static constexpr size_t kDecideAt = 64 * 1024;
    static constexpr size_t kFewTokens = 3;
    static constexpr size_t kPoll = 1024;  // bytes between looks for the second finder's next save
    // Data that repeats whole 60-byte strings keeps parts of the trees in place for long, and then
    // the two finders may never agree; after this many saves that differ, the second one stops.
    static constexpr size_t kMaxDifferences = 8;

    // Returns false, having done nothing, when no thread can be started.
    bool EncodePipelined(ByteSpan input) {
        input_ = input;
        nextCheck_ = input.size() >= kSecondFinderMinimum ? kDecideAt : SIZE_MAX;
        TokenPipe pipe(kTokenBatch + 2);
        pipe_ = &pipe;
        batch_ = pipe.SlotToFill(0);
        std::thread finder;
        try {
            finder = std::thread([this] {
                try {
                    finder_.Run(*this);
                    pipe_->Publish(batches_ + 1, true);
                } catch (const Stopped&) {
                } catch (...) {
                    pipe_->Fail(std::current_exception(), batches_);
                }
            });
        } catch (const std::system_error&) {
            pipe_ = nullptr;
            nextCheck_ = SIZE_MAX;
            return false;
        }
        {
            // Should coding fail, the finder is stopped; either way it is joined before leaving.
            struct Joiner {
                TokenPipe& pipe;
                std::thread& thread;
                bool finished = false;
                ~Joiner() {
                    if (!finished) pipe.Stop();
                    thread.join();
                }
            } joiner{pipe, finder};
            for (uint64_t k = 0;; ++k) {
                const std::vector<uint16_t>* batch = pipe.Take(k);
                if (batch == nullptr) break;
                CodeTokens(batch->data(), batch->size());
                pipe.Done(k);
            }
            joiner.finished = true;
        }
        pipe_ = nullptr;
        if (pipe.Error()) std::rethrow_exception(pipe.Error());
        literals_ = finder_.Literals();
        matches_ = finder_.Matches();
        if (takenOver_ != nullptr) {
            SecondFinder* const second = second_.get();
            size_t t = takenOver_->tokens;
            for (;;) {
                const uint64_t published = second->WaitBeyond(t);
                const size_t count = published & ~SecondFinder::kFinished;
                CodeTokens(second->Tokens() + t, count - t);
                t = count;
                if (published & SecondFinder::kFinished) break;
            }
            literals_ += second->Literals() - takenOver_->literals;
            matches_ += second->Matches() - takenOver_->matches;
            stats_.takenOverAt = takenOver_->position;
        } else {
            second_.reset();  // stopped and joined
        }
        return true;
    }

    // On the first finder's thread: decides on a second finder at kDecideAt, then compares states at
    // each of its saves reached; where they are the same, the first finder stops and the second
    // finder's tokens from there on follow its own.
    bool TakeOver(size_t position) {
        if (second_ == nullptr) {
            nextCheck_ = SIZE_MAX;
            if ((finder_.Literals() + finder_.Matches()) * kFewTokens >= position) return false;
            try {
                second_ = std::make_unique<SecondFinder>(input_);
                second_->Start();
            } catch (const std::exception&) {
                second_.reset();  // the first finder does it all
                return false;
            }
            nextCheck_ = position + kPoll;
            return false;
        }
        const size_t saved = second_->Saved();
        for (; checked_ < saved; ++checked_) {
            const MatchFinder::Snapshot& snapshot = second_->Save(checked_);
            if (snapshot.position > position) {
                nextCheck_ = snapshot.position;
                return false;
            }
            if (snapshot.position != position) continue;
            if (finder_.SameAs(snapshot)) {
                takenOver_ = &snapshot;
                return true;
            }
            if (++differences_ == kMaxDifferences) {
                second_->Stop();
                nextCheck_ = SIZE_MAX;
                return false;
            }
        }
        nextCheck_ = position + kPoll;
        return false;
    }

    struct Stopped {};

    void Put(unsigned token) {
        batch_->push_back(static_cast<uint16_t>(token));
        if (batch_->size() >= kTokenBatch) PassBatch();
    }
    void PassBatch() {
        if (pipe_ == nullptr) {
            CodeTokens(batch_->data(), batch_->size());
            batch_->clear();
            return;
        }
        pipe_->Publish(++batches_);
        batch_ = pipe_->SlotToFill(batches_);
        if (batch_ == nullptr) throw Stopped{};
    }
    void CodeTokens(const uint16_t* tokens, size_t count) {
        for (size_t t = 0; t < count; ++t) {
            const unsigned s = tokens[t];
            symbols_.Put(s);
            if (s >= 256) PutPosition(tokens[++t]);
        }
    }

    void PutPosition(unsigned p) {
        const unsigned u = p >> 6;
        const unsigned len = kPositionCode.length[u];
        bits_.Put(len, kPositionCode.leftAligned[u] >> (8 - len));
        bits_.Put(6, p & 0x3F);
    }

    BitWriter bits_;
    LzhEncodeStats& stats_;
    SymbolCoder symbols_;
    size_t literals_ = 0;
    size_t matches_ = 0;
    static constexpr size_t kTokenBatch = 4096;
    // From here on the first finder's own data, apart from the coder's.
    alignas(64) std::vector<uint16_t> tokens_;  // symbols, each match's followed by its position
    std::vector<uint16_t>* batch_ = nullptr;  // the batch being filled: tokens_ or a slot of pipe_
    TokenPipe* pipe_ = nullptr;
    uint64_t batches_ = 0;  // batches handed over
    ByteSpan input_;
    std::unique_ptr<SecondFinder> second_;  // joined when the encoder goes
    size_t checked_ = 0;  // saves of the second finder passed
    size_t differences_ = 0;  // saves compared and found different
    size_t nextCheck_ = SIZE_MAX;  // the next position at which TakeOver has something to do
    const MatchFinder::Snapshot* takenOver_ = nullptr;
    MatchFinder finder_;
};

// ---------------------------------------------------------------------------------------------
// Decoder.

// Reads bits most significant first, with zero bytes past the end of the input. TeleDisk's reader
// takes a byte whenever it holds 8 bits or fewer before a take; the number of bytes it has fetched
// follows from the bits handed out, so this reader may fetch ahead in whole words.
class BitReader {
public:
    BitReader(ByteSpan input, size_t position) : input_(input), pos_(position) {}

    // Makes at least 56 bits available (and at most 63).
    void Fill() {
        if (avail_ > 55) return;
        if (pos_ + 8 <= input_.size()) {
            // The bits below the whole bytes taken are the true next bits, so the next fill may OR
            // them in again.
            uint64_t w;
            std::memcpy(&w, input_.data() + pos_, sizeof w);
            buf_ |= __builtin_bswap64(w) >> avail_;
            const unsigned take = (63 - avail_) / 8;
            pos_ += take;
            avail_ += 8 * take;
            return;
        }
        while (avail_ <= 55) {
            const uint64_t byte = pos_ < input_.size() ? input_[pos_++] : 0;
            buf_ |= byte << (56 - avail_);
            avail_ += 8;
        }
    }
    // The next 64 bits, of which Available() are valid, the next one in bit 63.
    uint64_t Peek() const { return buf_; }
    unsigned Available() const { return avail_; }
    void Skip(unsigned n) {
        buf_ <<= n;
        avail_ -= n;
        consumed_ += n;
    }
    unsigned Bit() {
        Fill();
        const unsigned bit = static_cast<unsigned>(buf_ >> 63);
        Skip(1);
        return bit;
    }
    // Bytes TeleDisk's reader would have fetched by now, when the last take was a single bit (as it
    // is at the end of every symbol): enough to hold at least 9 bits before that take.
    size_t Fetched() const { return consumed_ == 0 ? 0 : (consumed_ + 7) / 8 + 1; }
    size_t Consumed() const { return consumed_; }

private:
    ByteSpan input_;
    size_t pos_;
    uint64_t buf_ = 0;  // the next bits, from bit 63 down
    unsigned avail_ = 0;
    size_t consumed_ = 0;
};

class LzhDecoder {
public:
    LzhDecoder(ByteSpan input, size_t position, Bytes& out, size_t limit)
        : bits_(input, position), out_(out), limit_(std::min(limit, out.max_size() - out.size())) {}

    // Decodes until the bit reader has fetched `fetchLimit` bytes.
    void DecodeWhileFetchedBelow(size_t fetchLimit) {
        Start(fetchLimit * 2);
        Run(SIZE_MAX, [fetchLimit](const BitReader& bits) { return bits.Fetched() < fetchLimit; });
        Finish();
    }

    // Decodes until the bits of the input are used up; trailing zero bits short of a byte are padding.
    void DecodeAllBits(ByteSpan input) {
        Start(input.size() * 2);
        const size_t totalBits = input.size() * 8;
        Run(totalBits, [&](const BitReader& bits) {
            const size_t consumed = bits.Consumed();
            if (consumed >= totalBits) return false;
            const size_t left = totalBits - consumed;
            return !(left < 8 && (input.back() & ((1u << left) - 1)) == 0);
        });
        Finish();
    }

    void DecodeSymbols(size_t count, std::vector<uint16_t>& symbols) {
        Start(0);
        for (size_t i = 0; i < count; ++i) {
            const unsigned c = Walk(bits_);
            tree_.Update(c);
            symbols.push_back(static_cast<uint16_t>(c));
        }
    }

private:
    // The bytes written so far sit after the window's starting content, in the order the window
    // would hand them back: window bytes 4036..4095 (never written yet, zero) and 0..4035 (spaces).
    // A match `distance` bytes back then reads at the write position minus distance, whatever
    // has wrapped in the window.
    static constexpr size_t kHistory = kWindowSize;
    static constexpr size_t kSlack = kLongestMatch + 8;  // one match plus an eight-byte copy past it

    void Start(size_t expected) {
        tree_.Start();
        buf_.resize(kHistory + std::min(expected, limit_) + kSlack);
        std::fill_n(buf_.begin(), kLongestMatch, uint8_t{0});
        std::fill_n(buf_.begin() + kLongestMatch, kWriteStart, kWindowFill);
        w_ = kHistory;
    }

    void Finish() { out_.insert(out_.end(), buf_.begin() + kHistory, buf_.begin() + static_cast<ptrdiff_t>(w_)); }

    // Decodes symbols while more() says so before each one, and at most `limit_` bytes. A literal or
    // match whose bits run past bitLimit ends the decoding without being written. Each symbol's
    // update is made together with the walk for the next one. The reader and the output position
    // work on copies of their own meanwhile, which the stores into the tree and the output cannot
    // reach, so that they can stay in registers.
    template <class More>
    void Run(size_t bitLimit, More more) {
        BitReader bits = bits_;
        Output out{buf_.data(), w_, buf_.size(), kHistory + limit_};
        if (out.w < out.end && more(bits)) {
            unsigned c = Walk(bits);
            for (;;) {
                const unsigned distance = c < 256 ? 0 : DecodePosition(bits) + 1;
                if (bits.Consumed() > bitLimit) break;
                Emit(out, c, distance);
                if (out.w >= out.end || !more(bits)) break;
                c = UpdateAndWalk(bits, c);
            }
        }
        bits_ = bits;
        w_ = out.w;
    }

    struct Output {
        uint8_t* data;
        size_t w;     // the write position in data
        size_t size;  // of data
        size_t end;   // the position of the limit
    };

    void Emit(Output& out, unsigned c, unsigned distance) {
        if (out.w + kSlack > out.size) Grow(out);
        uint8_t* const to = out.data + out.w;
        if (c < 256) {
            *to = static_cast<uint8_t>(c);
            ++out.w;
            return;
        }
        const size_t length = std::min<size_t>(c - kMatchSymbolBias, out.end - out.w);
        const uint8_t* from = to - distance;
        if (distance >= 8) {
            // Eight bytes at a time: each piece reads only bytes already in place.
            for (size_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
        } else {
            for (size_t k = 0; k < length; ++k) to[k] = from[k];
        }
        out.w += length;
    }

    void Grow(Output& out) {
        buf_.resize(buf_.size() * 2);
        out.data = buf_.data();
        out.size = buf_.size();
    }

    // The next symbol, from the tree as it stands (not counted yet).
    unsigned Walk(BitReader& bits) const {
        bits.Fill();
        uint64_t b = bits.Peek();
        unsigned n = 0;
        unsigned c = tree_.Son(kRoot);
        while (c < kNodes) {
            c = tree_.Son(c + static_cast<unsigned>(b >> 63));
            b <<= 1;
            ++n;
        }
        if (n > bits.Available()) {
            // Deeper than the bits at hand: walk again a bit at a time.
            c = tree_.Son(kRoot);
            while (c < kNodes) c = tree_.Son(c + bits.Bit());
        } else {
            bits.Skip(n);
        }
        return SymbolOfLeaf(c);
    }

    // Counts symbol c and returns the next one.
    unsigned UpdateAndWalk(BitReader& bits, unsigned c) {
        bits.Fill();
        unsigned n;
        const unsigned leaf = tree_.UpdateAndWalk(c, bits.Peek(), n);
        if (leaf == HuffmanTree::kRedo || n > bits.Available()) return Walk(bits);
        bits.Skip(n);
        return SymbolOfLeaf(leaf);
    }

    // The code of the upper six bits (3 to 8 bits), then the six lower bits.
    static unsigned DecodePosition(BitReader& bits) {
        bits.Fill();
        const unsigned next = static_cast<unsigned>(bits.Peek() >> 48);
        const unsigned upper = kPositionCode.upperOf[next >> 8];
        const unsigned len = kPositionCode.lengthOf[next >> 8];
        bits.Skip(len + 6);
        return (upper << 6) | ((next >> (10 - len)) & 0x3F);
    }

    HuffmanTree tree_;
    BitReader bits_;
    Bytes& out_;
    size_t limit_;
    Bytes buf_;
    size_t w_ = kHistory;
};

}  // namespace

void LzhEncode(ByteSpan input, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    if (input.empty()) return;
    auto encoder = std::make_unique<LzhEncoder>(output, stats);
    encoder->Encode(input, true);
}

void LzhEncodeOnOneThread(ByteSpan input, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    if (input.empty()) return;
    auto encoder = std::make_unique<LzhEncoder>(output, stats);
    encoder->Encode(input, false);
}

void LzhEncode(ByteSpan input, Bytes& output) {
    LzhEncodeStats stats;
    LzhEncode(input, output, stats);
}

void LzhDecode(ByteSpan input, size_t position, Bytes& output, size_t outputLimit) {
    if (input.empty()) return;
    auto decoder = std::make_unique<LzhDecoder>(input, position, output, outputLimit);
    decoder->DecodeWhileFetchedBelow(input.size());
}

void LzhEncodeSymbols(std::span<const uint16_t> symbols, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    BitWriter bits(output);
    auto coder = std::make_unique<SymbolCoder>(bits, stats);
    for (uint16_t s : symbols) coder->Put(s < kSymbols ? s : 0);
    bits.Flush();
    coder->Finish();
}

std::vector<uint16_t> LzhDecodeSymbols(ByteSpan code, size_t count) {
    std::vector<uint16_t> symbols;
    Bytes unused;
    auto decoder = std::make_unique<LzhDecoder>(code, 0, unused, 0);
    decoder->DecodeSymbols(count, symbols);
    return symbols;
}

void LzhDecodeAll(ByteSpan input, Bytes& output, size_t outputLimit) {
    if (input.empty()) return;
    auto decoder = std::make_unique<LzhDecoder>(input, 0, output, outputLimit);
    decoder->DecodeAllBits(input);
}

}  // namespace tarvex
