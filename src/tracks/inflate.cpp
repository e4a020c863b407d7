// Inflating zlib streams. Codes are canonical Huffman codes given by their lengths alone, read one bit at a
// time: with the count of codes of each length, a code of length n is known as soon as its value falls
// among the codes of that length. A fault anywhere unwinds to InflateZlib as an exception of its own.
#include "tracks/inflate.h"

#include <algorithm>
#include <array>

namespace tarvex {

namespace {

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLiteralLengthSymbols = 288;  // 286 and 287 take part in the fixed code only
constexpr unsigned kUsableLiteralLengths = 286;
constexpr unsigned kDistanceSymbols = 32;  // 30 and 31 likewise
constexpr unsigned kUsableDistances = 30;
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kEndOfBlock = 256;
constexpr unsigned kDeflateMethod = 8;
constexpr unsigned kLargestWindowCode = 7;  // a window of 2^(7 + 8) = 32 KB
constexpr unsigned kPresetDictionaryFlag = 0x20;
constexpr uint32_t kAdlerModulus = 65521;
// The most bytes the sums of Adler-32 can take before they must be reduced to stay within 32 bits.
constexpr size_t kAdlerRun = 5552;
constexpr size_t kReservedOutput = size_t{1} << 16;

// The order in which a dynamic block gives the lengths of the code-length code.
constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
// Lengths 3..258 and distances 1..32768: a base and the number of extra bits that follow the symbol.
constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint16_t, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct Fault {
    InflateError error;
};

// The input as a stream of bits, least significant bit of each byte first. Bytes are fetched one at a
// time as bits are wanted, so fewer than eight bits are ever held over: those of the last byte fetched.
class BitInput {
public:
    explicit BitInput(ByteSpan in) : in_(in) {}

    unsigned Bits(unsigned n) {  // n <= 16
        while (held_ < n) {
            hold_ |= uint32_t{NextByte()} << held_;
            held_ += 8;
        }
        const unsigned value = hold_ & ((1u << n) - 1);
        hold_ >>= n;
        held_ -= n;
        return value;
    }
    void SkipToByte() {
        hold_ = 0;
        held_ = 0;
    }
    uint8_t NextByte() {
        if (at_ >= in_.size()) throw Fault{InflateError::kCutShort};
        return in_[at_++];
    }
    ByteSpan TakeBytes(size_t n) {  // after SkipToByte
        if (n > in_.size() - at_) throw Fault{InflateError::kCutShort};
        at_ += n;
        return in_.subspan(at_ - n, n);
    }
    size_t BytesTaken() const { return at_; }

private:
    ByteSpan in_;
    size_t at_ = 0;
    uint32_t hold_ = 0;
    unsigned held_ = 0;
};

// What an incomplete code may be: none at all, or a code of a single symbol of one bit.
enum class Completeness { kWhole, kOneBitOrNone, kOneBit };

// A canonical code: how many codes each length has, and the symbols in the order of their codes.
class HuffmanCode {
public:
    void Build(const uint8_t* lengths, unsigned symbols, Completeness allowed) {
        counts_.fill(0);
        for (unsigned s = 0; s < symbols; ++s) ++counts_[lengths[s]];
        counts_[0] = 0;
        // Codes of each length that are left once the shorter ones are given out; negative: more codes
        // than bits.
        int left = 1;
        longest_ = 0;
        for (unsigned n = 1; n <= kMaxCodeBits; ++n) {
            left = 2 * left - counts_[n];
            if (left < 0) throw Fault{InflateError::kBadCodes};
            if (counts_[n]) longest_ = n;
        }
        if (left > 0) {
            const bool none = longest_ == 0, oneBit = longest_ == 1 && counts_[1] == 1;
            const bool fine = (allowed == Completeness::kOneBitOrNone && (none || oneBit)) ||
                              (allowed == Completeness::kOneBit && oneBit);
            if (!fine) throw Fault{InflateError::kBadCodes};
        }
        std::array<uint16_t, kMaxCodeBits + 2> offsets{};
        for (unsigned n = 1; n <= kMaxCodeBits; ++n) offsets[n + 1] = static_cast<uint16_t>(offsets[n] + counts_[n]);
        for (unsigned s = 0; s < symbols; ++s)
            if (lengths[s]) symbols_[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    }

    unsigned Decode(BitInput& in) const {
        int code = 0, first = 0, index = 0;
        for (unsigned n = 1; n <= longest_; ++n) {
            code |= static_cast<int>(in.Bits(1));
            const int count = counts_[n];
            if (code - first < count) return symbols_[index + code - first];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        throw Fault{InflateError::kBadSymbol};
    }

private:
    std::array<uint16_t, kMaxCodeBits + 1> counts_{};
    std::array<uint16_t, kLiteralLengthSymbols> symbols_{};
    unsigned longest_ = 0;
};

class Inflater {
public:
    Inflater(ByteSpan in, size_t limit, Bytes& out) : in_(in), limit_(limit), out_(out) {}

    void Run() {
        ReadHeader();
        bool last = false;
        while (!last) {
            last = in_.Bits(1) != 0;
            switch (in_.Bits(2)) {
                case 0: StoredBlock(); break;
                case 1: FixedBlock(); break;
                case 2: DynamicBlock(); break;
                default: throw Fault{InflateError::kBadBlock};
            }
        }
        in_.SkipToByte();
        uint32_t stored = 0;
        for (int i = 0; i < 4; ++i) stored = (stored << 8) | in_.NextByte();
        if (stored != Adler32(out_)) throw Fault{InflateError::kBadChecksum};
    }
    size_t BytesTaken() const { return in_.BytesTaken(); }

private:
    void ReadHeader() {
        const unsigned method = in_.NextByte(), flags = in_.NextByte();
        if ((method * 256 + flags) % 31 != 0 || (method & 0x0F) != kDeflateMethod || (method >> 4) > kLargestWindowCode)
            throw Fault{InflateError::kBadHeader};
        if (flags & kPresetDictionaryFlag) throw Fault{InflateError::kPresetDictionary};
    }

    void Room(size_t n) const {
        if (n > limit_ - out_.size()) throw Fault{InflateError::kTooLong};
    }

    void StoredBlock() {
        in_.SkipToByte();
        const unsigned length = in_.NextByte() | (in_.NextByte() << 8);
        const unsigned complement = in_.NextByte() | (in_.NextByte() << 8);
        if ((length ^ 0xFFFF) != complement) throw Fault{InflateError::kBadBlock};
        const ByteSpan bytes = in_.TakeBytes(length);
        Room(length);
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

    void FixedBlock() {
        if (!fixedBuilt_) {
            std::array<uint8_t, kLiteralLengthSymbols> lengths{};
            std::fill(lengths.begin(), lengths.begin() + 144, 8);
            std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
            std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
            std::fill(lengths.begin() + 280, lengths.end(), 8);
            fixedLiterals_.Build(lengths.data(), kLiteralLengthSymbols, Completeness::kWhole);
            lengths.fill(5);
            fixedDistances_.Build(lengths.data(), kDistanceSymbols, Completeness::kWhole);
            fixedBuilt_ = true;
        }
        Codes(fixedLiterals_, fixedDistances_);
    }

    void DynamicBlock() {
        const unsigned literals = in_.Bits(5) + 257, distances = in_.Bits(5) + 1, lengthCodes = in_.Bits(4) + 4;
        if (literals > kUsableLiteralLengths || distances > kUsableDistances) throw Fault{InflateError::kBadCodes};
        std::array<uint8_t, kCodeLengthSymbols> codeLengths{};
        for (unsigned i = 0; i < lengthCodes; ++i) codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in_.Bits(3));
        HuffmanCode lengthCode;
        lengthCode.Build(codeLengths.data(), kCodeLengthSymbols, Completeness::kWhole);

        // The lengths of both codes in one run: a repeat may reach from the one into the other.
        std::array<uint8_t, kUsableLiteralLengths + kUsableDistances> lengths{};
        const unsigned total = literals + distances;
        for (unsigned i = 0; i < total;) {
            const unsigned symbol = lengthCode.Decode(in_);
            if (symbol < 16) {
                lengths[i++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t value = 0;
            unsigned repeat = 0;
            if (symbol == 16) {
                if (i == 0) throw Fault{InflateError::kBadCodes};
                value = lengths[i - 1];
                repeat = 3 + in_.Bits(2);
            } else if (symbol == 17) {
                repeat = 3 + in_.Bits(3);
            } else {
                repeat = 11 + in_.Bits(7);
            }
            if (repeat > total - i) throw Fault{InflateError::kBadCodes};
            std::fill_n(lengths.begin() + i, repeat, value);
            i += repeat;
        }
        if (lengths[kEndOfBlock] == 0) throw Fault{InflateError::kBadCodes};
        HuffmanCode literalCode, distanceCode;
        literalCode.Build(lengths.data(), literals, Completeness::kOneBit);
        distanceCode.Build(lengths.data() + literals, distances, Completeness::kOneBitOrNone);
        Codes(literalCode, distanceCode);
    }

    void Codes(const HuffmanCode& literalCode, const HuffmanCode& distanceCode) {
        for (;;) {
            const unsigned symbol = literalCode.Decode(in_);
            if (symbol < kEndOfBlock) {
                Room(1);
                out_.push_back(static_cast<uint8_t>(symbol));
                continue;
            }
            if (symbol == kEndOfBlock) return;
            const unsigned l = symbol - 257;
            if (l >= kLengthBase.size()) throw Fault{InflateError::kBadSymbol};
            const size_t length = kLengthBase[l] + in_.Bits(kLengthExtra[l]);
            const unsigned d = distanceCode.Decode(in_);
            if (d >= kDistanceBase.size()) throw Fault{InflateError::kBadSymbol};
            const size_t distance = kDistanceBase[d] + in_.Bits(kDistanceExtra[d]);
            if (distance > out_.size()) throw Fault{InflateError::kDistanceTooFar};
            Room(length);
            // A copy may overlap what it writes (a run): byte by byte.
            const size_t from = out_.size() - distance;
            for (size_t i = 0; i < length; ++i) {
                const uint8_t b = out_[from + i];
                out_.push_back(b);
            }
        }
    }

    BitInput in_;
    size_t limit_;
    Bytes& out_;
    HuffmanCode fixedLiterals_, fixedDistances_;
    bool fixedBuilt_ = false;
};

}  // namespace

InflateResult InflateZlib(ByteSpan in, size_t limit, Bytes& out) {
    out.clear();
    out.reserve(std::min(limit, kReservedOutput));
    InflateResult result;
    Inflater inflater(in, limit, out);
    try {
        inflater.Run();
        result.consumed = inflater.BytesTaken();
    } catch (const Fault& fault) {
        result.error = fault.error;
    }
    return result;
}

uint32_t Adler32(ByteSpan bytes) {
    uint32_t a = 1, b = 0;
    while (!bytes.empty()) {
        const size_t n = std::min(bytes.size(), kAdlerRun);
        for (size_t i = 0; i < n; ++i) {
            a += bytes[i];
            b += a;
        }
        a %= kAdlerModulus;
        b %= kAdlerModulus;
        bytes = bytes.subspan(n);
    }
    return (b << 16) | a;
}

}  // namespace tarvex
