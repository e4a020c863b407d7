// Bounds-checked little-endian reading from an image held in memory.
// Every reader parses through it; running past the end throws the stream read error.
#pragma once

#include <cstdint>
#include <cstring>

#include "io/bytes.h"
#include "io/errors.h"

namespace tarvex {

class ByteReader {
public:
    explicit ByteReader(ByteSpan bytes) : bytes_(bytes) {}

    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return bytes_.size() - pos_; }
    bool AtEnd() const { return pos_ >= bytes_.size(); }

    void Seek(size_t pos) {
        if (pos > bytes_.size()) throw StreamReadError();
        pos_ = pos;
    }
    void Skip(size_t n) { Seek(Need(n) + n); }

    uint8_t U8() {
        size_t p = Need(1);
        ++pos_;
        return bytes_[p];
    }
    uint16_t U16() {
        size_t p = Need(2);
        pos_ += 2;
        return static_cast<uint16_t>(bytes_[p] | (bytes_[p + 1] << 8));
    }
    uint32_t U32() {
        size_t p = Need(4);
        pos_ += 4;
        return static_cast<uint32_t>(bytes_[p]) | (static_cast<uint32_t>(bytes_[p + 1]) << 8) |
               (static_cast<uint32_t>(bytes_[p + 2]) << 16) | (static_cast<uint32_t>(bytes_[p + 3]) << 24);
    }
    void Read(uint8_t* out, size_t n) {
        size_t p = Need(n);
        if (n) std::memcpy(out, bytes_.data() + p, n);
        pos_ += n;
    }
    ByteSpan Take(size_t n) {
        size_t p = Need(n);
        pos_ += n;
        return bytes_.subspan(p, n);
    }

private:
    size_t Need(size_t n) const {
        if (n > bytes_.size() - pos_) throw StreamReadError();
        return pos_;
    }

    ByteSpan bytes_;
    size_t pos_ = 0;
};

// Little-endian appending to an image being built.
inline void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }
inline void PutU16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutBytes(Bytes& out, const uint8_t* data, size_t n) { out.insert(out.end(), data, data + n); }

}  // namespace tarvex
