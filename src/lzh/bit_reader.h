// Reads the code's bits, most significant first, with zero bytes past the end of the input, and
// tells how many bytes TeleDisk's own reader would have fetched by then, which decides where
// decoding stops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "disk/zx_disk.h"

namespace tarvex::lzh {

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

}  // namespace tarvex::lzh
