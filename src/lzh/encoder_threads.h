// The threads of the encoder for large inputs: the pipe that hands batches of tokens from the match
// finder's thread to the coder, and the second finder that may find the matches of an input's
// second half on a third thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

#include "disk/zx_disk.h"
#include "lzh/lzh_constants.h"
#include "lzh/match_finder.h"

namespace tarvex::lzh {

// How long a waiter spins before it sleeps, in rounds of the processor's pause hint. A pause lasts from
// about 10 to about 140 cycles as the processor model goes, so the spin lasts from some ten to some two
// hundred microseconds: one batch's time or a few.
inline constexpr unsigned kSpinRounds = 4000;

// Waits until ready(counter) holds; returns the counter's value. The finder and the coder hand each
// other a batch every few tens of microseconds, and sleeping on the counter and being woken cost about
// as much again (a system call on each side, then the scheduler's delay), so a waiter spins first: the
// other side is most often in the middle of a batch and about to finish it. A wait longer than the spin
// means the other side is held up (no core free for it, or a slow stretch of input), and spinning on
// would only take a core it may need: the waiter then sleeps until the counter changes. Where there is
// no pause hint the rounds are bare loads and end sooner.
template <class Ready>
uint64_t WaitUntil(std::atomic<uint64_t>& counter, Ready ready) {
    uint64_t v = counter.load(std::memory_order_acquire);
    for (unsigned spin = 0; !ready(v); ++spin) {
        if (spin < kSpinRounds) {
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
    explicit SecondFinder(ByteSpan input);
    ~SecondFinder();

    // Throws std::system_error when no thread can be started.
    void Start();
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

}  // namespace tarvex::lzh
