// The reference LZHUF coder: the adaptive Huffman tree, the fixed position code, the match trees and
// the bit streams, each step as plain as it can be written. Every call works on a fresh state block.
#include "lzh_reference.h"

#include <array>
#include <memory>

namespace tarvex::lzh_reference {

namespace {

constexpr unsigned N = 4096;           // window size
constexpr unsigned F = 60;             // longest match
constexpr unsigned Threshold = 2;      // matches this short go as literals
constexpr unsigned Nil = N;            // the empty tree link
constexpr unsigned NChar = 256 - Threshold + F;  // 314 symbols
constexpr unsigned T = 2 * NChar - 1;  // 627 tree nodes
constexpr unsigned R = T - 1;          // the root
constexpr uint16_t MaxFreq = 0x8000;
constexpr unsigned WriteStart = N - F;  // 4036

// ---------------------------------------------------------------------------------------------
// The adaptive Huffman tree, shared by both directions.

struct HuffmanTree {
    std::array<uint16_t, T + 1> Freq{};
    std::array<uint16_t, T> Son{};
    std::array<uint16_t, T + NChar> Parent{};

    void Start() {
        for (unsigned s = 0; s < NChar; ++s) {
            Freq[s] = 1;
            Son[s] = static_cast<uint16_t>(s + T);
            Parent[s + T] = static_cast<uint16_t>(s);
        }
        unsigned i = 0;
        for (unsigned j = NChar; j <= R; ++j) {
            Freq[j] = static_cast<uint16_t>(Freq[i] + Freq[i + 1]);
            Son[j] = static_cast<uint16_t>(i);
            Parent[i] = Parent[i + 1] = static_cast<uint16_t>(j);
            i += 2;
        }
        Freq[T] = 0xFFFF;
        Parent[R] = 0;
    }

    void Rebuild() {
        unsigned j = 0;
        for (unsigned i = 0; i < T; ++i) {
            if (Son[i] >= T) {
                Freq[j] = static_cast<uint16_t>((Freq[i] + 1) / 2);
                Son[j] = Son[i];
                ++j;
            }
        }
        unsigned i = 0;
        for (j = NChar; j < T; ++j) {
            const uint16_t f = static_cast<uint16_t>(Freq[i] + Freq[i + 1]);
            unsigned k = j - 1;
            while (f < Freq[k]) --k;
            ++k;
            for (unsigned m = j; m > k; --m) {
                Freq[m] = Freq[m - 1];
                Son[m] = Son[m - 1];
            }
            Freq[k] = f;
            Son[k] = static_cast<uint16_t>(i);
            i += 2;
        }
        for (i = 0; i < T; ++i) {
            const unsigned k = Son[i];
            Parent[k] = static_cast<uint16_t>(i);
            if (k < T) Parent[k + 1] = static_cast<uint16_t>(i);
        }
    }

    void UpdateModel(unsigned s) {
        if (Freq[R] == MaxFreq) Rebuild();
        unsigned c = Parent[s + T];
        do {
            const uint16_t k = static_cast<uint16_t>(Freq[c] + 1);
            Freq[c] = k;
            if (k > Freq[c + 1]) {
                unsigned l = c + 1;
                while (k > Freq[l + 1]) ++l;
                Freq[c] = Freq[l];
                Freq[l] = k;
                const unsigned i = Son[c];
                Parent[i] = static_cast<uint16_t>(l);
                if (i < T) Parent[i + 1] = static_cast<uint16_t>(l);
                const unsigned j = Son[l];
                Son[l] = static_cast<uint16_t>(i);
                Parent[j] = static_cast<uint16_t>(c);
                if (j < T) Parent[j + 1] = static_cast<uint16_t>(c);
                Son[c] = static_cast<uint16_t>(j);
                c = l;
            }
            c = Parent[c];
        } while (c != 0);
    }
};

// The canonical code of the upper six bits of a position: its length, and the code itself.
unsigned PositionCodeLength(unsigned u) {
    if (u < 1) return 3;
    if (u < 4) return 4;
    if (u < 12) return 5;
    if (u < 24) return 6;
    if (u < 48) return 7;
    return 8;
}
unsigned PositionCode(unsigned u) {
    unsigned code = 0;
    for (unsigned v = 1; v <= u; ++v) code = (code + 1) << (PositionCodeLength(v) - PositionCodeLength(v - 1));
    return code;
}

// ---------------------------------------------------------------------------------------------
// Encoder.

class Encoder {
public:
    std::vector<uint8_t> Run(std::span<const uint8_t> input) {
        if (input.empty()) return out_;
        tree_.Start();
        for (unsigned b = N + 1; b <= N + 256; ++b) Right[b] = Nil;
        for (unsigned i = 0; i < N; ++i) Up[i] = Nil;
        unsigned s = 0, r = WriteStart;
        for (unsigned i = 0; i < WriteStart; ++i) ring_[i] = ' ';
        size_t in = 0;
        unsigned len = 0;
        while (len < F && in < input.size()) ring_[r + len++] = input[in++];
        for (unsigned i = 1; i <= F; ++i) InsertNode(r - i);
        InsertNode(r);
        do {
            if (MatchLength > len) MatchLength = len;
            if (MatchLength <= Threshold) {
                MatchLength = 1;
                EncodeChar(ring_[r]);
            } else {
                EncodeChar(255 - Threshold + MatchLength);
                EncodePosition(MatchPosition);
            }
            const unsigned last = MatchLength;
            unsigned i = 0;
            for (; i < last && in < input.size(); ++i) {
                DeleteNode(s);
                const uint8_t c = input[in++];
                ring_[s] = c;
                if (s < F - 1) ring_[s + N] = c;
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                InsertNode(r);
            }
            for (; i < last; ++i) {
                DeleteNode(s);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                if (--len != 0) InsertNode(r);
            }
        } while (len > 0);
        if (putLen_ > 0) out_.push_back(static_cast<uint8_t>(putBuf_ >> 8));
        return out_;
    }

    std::vector<uint8_t> RunSymbols(std::span<const uint16_t> symbols) {
        tree_.Start();
        for (uint16_t s : symbols) EncodeChar(s);
        if (putLen_ > 0) out_.push_back(static_cast<uint8_t>(putBuf_ >> 8));
        return out_;
    }

private:
    void InsertNode(unsigned r) {
        const uint8_t* key = &ring_[r];
        unsigned p = N + 1 + key[0];
        bool notLess = true;
        Right[r] = Left[r] = Nil;
        MatchLength = 0;
        for (;;) {
            if (notLess) {
                if (Right[p] != Nil) {
                    p = Right[p];
                } else {
                    Right[p] = static_cast<uint16_t>(r);
                    Up[r] = static_cast<uint16_t>(p);
                    return;
                }
            } else {
                if (Left[p] != Nil) {
                    p = Left[p];
                } else {
                    Left[p] = static_cast<uint16_t>(r);
                    Up[r] = static_cast<uint16_t>(p);
                    return;
                }
            }
            unsigned i = 1;
            while (i < F && key[i] == ring_[p + i]) ++i;
            notLess = i == F || key[i] >= ring_[p + i];
            if (i > Threshold) {
                const unsigned distance = ((r - p) & (N - 1)) - 1;
                if (i > MatchLength) {
                    MatchPosition = distance;
                    MatchLength = i;
                    if (i >= F) break;
                }
                if (i == MatchLength && distance < MatchPosition) MatchPosition = distance;
            }
        }
        Up[r] = Up[p];
        Left[r] = Left[p];
        Right[r] = Right[p];
        Up[Left[p]] = static_cast<uint16_t>(r);
        Up[Right[p]] = static_cast<uint16_t>(r);
        if (Right[Up[p]] == p)
            Right[Up[p]] = static_cast<uint16_t>(r);
        else
            Left[Up[p]] = static_cast<uint16_t>(r);
        Up[p] = Nil;
    }

    void DeleteNode(unsigned p) {
        if (Up[p] == Nil) return;
        unsigned q;
        if (Right[p] == Nil) {
            q = Left[p];
        } else if (Left[p] == Nil) {
            q = Right[p];
        } else {
            q = Left[p];
            if (Right[q] != Nil) {
                do q = Right[q]; while (Right[q] != Nil);
                Right[Up[q]] = Left[q];
                Up[Left[q]] = Up[q];
                Left[q] = Left[p];
                Up[Left[p]] = static_cast<uint16_t>(q);
            }
            Right[q] = Right[p];
            Up[Right[p]] = static_cast<uint16_t>(q);
        }
        Up[q] = Up[p];
        if (Right[Up[p]] == p)
            Right[Up[p]] = static_cast<uint16_t>(q);
        else
            Left[Up[p]] = static_cast<uint16_t>(q);
        Up[p] = Nil;
    }

    void PutCode(unsigned l, uint16_t c) {
        putBuf_ = static_cast<uint16_t>(putBuf_ | (c >> putLen_));
        putLen_ += l;
        if (putLen_ >= 8) {
            out_.push_back(static_cast<uint8_t>(putBuf_ >> 8));
            putLen_ -= 8;
            if (putLen_ >= 8) {
                out_.push_back(static_cast<uint8_t>(putBuf_));
                putLen_ -= 8;
                putBuf_ = static_cast<uint16_t>(c << (l - putLen_));
            } else {
                putBuf_ = static_cast<uint16_t>(putBuf_ << 8);
            }
        }
    }

    // The path from the root to the leaf of s, sent root end first. A tree may grow deeper than the
    // 16 bits one PutCode carries; a longer path is sent in pieces of at most 16 bits.
    void EncodeChar(unsigned s) {
        std::vector<uint8_t> bits;  // from the leaf upward
        for (unsigned k = tree_.Parent[s + T]; k != R; k = tree_.Parent[k]) bits.push_back(k & 1);
        while (!bits.empty()) {
            const unsigned l = bits.size() < 16 ? static_cast<unsigned>(bits.size()) : 16;
            uint16_t c = 0;
            for (unsigned n = 0; n < l; ++n) {
                c = static_cast<uint16_t>(c | (bits.back() << (15 - n)));
                bits.pop_back();
            }
            PutCode(l, c);
        }
        tree_.UpdateModel(s);
    }

    void EncodePosition(unsigned p) {
        const unsigned u = p >> 6;
        const unsigned l = PositionCodeLength(u);
        PutCode(l, static_cast<uint16_t>(PositionCode(u) << (16 - l)));
        PutCode(6, static_cast<uint16_t>((p & 0x3F) << 10));
    }

    HuffmanTree tree_;
    std::array<uint8_t, N + F - 1> ring_{};
    std::array<uint16_t, N + 1> Left{};
    std::array<uint16_t, N + 257> Right{};
    std::array<uint16_t, N + 1> Up{};
    unsigned MatchLength = 0;
    unsigned MatchPosition = 0;
    uint16_t putBuf_ = 0;
    unsigned putLen_ = 0;
    std::vector<uint8_t> out_;
};

// ---------------------------------------------------------------------------------------------
// Decoder.

class Decoder {
public:
    Decoder(std::span<const uint8_t> input, size_t position) : input_(input), in_(position) {}

    std::vector<uint8_t> Run(size_t outputLimit) {
        std::vector<uint8_t> out;
        if (input_.empty()) return out;
        tree_.Start();
        for (unsigned i = 0; i < WriteStart; ++i) ring_[i] = ' ';
        unsigned r = WriteStart;
        while (fetched_ < input_.size() && out.size() < outputLimit) {
            const unsigned c = DecodeChar();
            if (c < 256) {
                out.push_back(static_cast<uint8_t>(c));
                ring_[r] = static_cast<uint8_t>(c);
                r = (r + 1) & (N - 1);
                continue;
            }
            const unsigned start = (r - DecodePosition() - 1) & (N - 1);
            for (unsigned k = 0; k < c - 253 && out.size() < outputLimit; ++k) {
                const uint8_t b = ring_[(start + k) & (N - 1)];
                out.push_back(b);
                ring_[r] = b;
                r = (r + 1) & (N - 1);
            }
        }
        return out;
    }

private:
    void Refill() {
        while (count_ <= 8) {
            const uint32_t b = in_ < input_.size() ? input_[in_++] : 0;
            acc_ |= b << (8 - count_);
            count_ += 8;
            ++fetched_;
        }
    }
    unsigned GetBit() {
        Refill();
        const unsigned bit = (acc_ >> 15) & 1;
        acc_ = (acc_ << 1) & 0xFFFF;
        --count_;
        return bit;
    }
    unsigned GetByte() {
        Refill();
        const unsigned byte = (acc_ >> 8) & 0xFF;
        acc_ = (acc_ << 8) & 0xFFFF;
        count_ -= 8;
        return byte;
    }

    unsigned DecodeChar() {
        unsigned c = tree_.Son[R];
        while (c < T) c = tree_.Son[c + GetBit()];
        c -= T;
        tree_.UpdateModel(c);
        return c;
    }

    unsigned DecodePosition() {
        unsigned b = GetByte();
        unsigned u = 0;
        while (u < 63 && (PositionCode(u + 1) << (8 - PositionCodeLength(u + 1))) <= b) ++u;
        const unsigned l = PositionCodeLength(u);
        for (unsigned n = 0; n < l - 2; ++n) b = b * 2 + GetBit();
        return u * 64 + (b & 0x3F);
    }

    std::span<const uint8_t> input_;
    size_t in_;
    size_t fetched_ = 0;
    uint32_t acc_ = 0;  // the valid bits from bit 15 down
    unsigned count_ = 0;
    HuffmanTree tree_;
    std::array<uint8_t, N> ring_{};
};

}  // namespace

std::vector<uint8_t> Encode(std::span<const uint8_t> input) {
    return std::make_unique<Encoder>()->Run(input);
}

std::vector<uint8_t> EncodeSymbols(std::span<const uint16_t> symbols) {
    return std::make_unique<Encoder>()->RunSymbols(symbols);
}

std::vector<uint8_t> Decode(std::span<const uint8_t> input, size_t position, size_t outputLimit) {
    return std::make_unique<Decoder>(input, position)->Run(outputLimit);
}

}  // namespace tarvex::lzh_reference
