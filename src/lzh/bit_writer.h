// Writes the code's bits, most significant first, straight into the output vector, which is grown
// ahead and cut to size at the end; the last byte is padded with zero bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "disk/zx_disk.h"

namespace tarvex::lzh {

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

}  // namespace tarvex::lzh
