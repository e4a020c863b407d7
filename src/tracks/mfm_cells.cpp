// Encoding raw MFM tracks into cells and decoding cells back into raw bytes with their sync marks.
#include "tracks/mfm_cells.h"

#include <algorithm>
#include <array>

#include "tracks/udi_raw_track.h"

namespace tarvex {

namespace {

constexpr size_t kSyncRun = 3;  // sync bytes a controller writes before a mark
constexpr size_t kIdFieldBytes = 4 + 2;  // C H R N and the CRC after the ID mark
constexpr size_t kCrcBytes = 2;
constexpr uint8_t kLargestScannedSizeCode = 7;

constexpr std::array<uint8_t, 256> MakeReversedBits() {
    std::array<uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (unsigned i = 0; i < 8; ++i) r |= ((b >> i) & 1u) << (7 - i);
        t[b] = static_cast<uint8_t>(r);
    }
    return t;
}
constexpr auto kReversedBits = MakeReversedBits();

// The 16 cells of a data byte, the first in time as the top bit; previousBit is the last data bit before.
constexpr uint16_t ByteCells(uint8_t b, unsigned previousBit) {
    uint16_t cells = 0;
    for (int bit = 7; bit >= 0; --bit) {
        const unsigned data = (b >> bit) & 1u;
        const unsigned clock = (previousBit == 0 && data == 0) ? 1u : 0u;
        cells = static_cast<uint16_t>(cells << 2 | clock << 1 | data);
        previousBit = data;
    }
    return cells;
}

constexpr std::array<std::array<uint16_t, 256>, 2> MakeByteCells() {
    std::array<std::array<uint16_t, 256>, 2> t{};
    for (unsigned previousBit = 0; previousBit < 2; ++previousBit)
        for (unsigned b = 0; b < 256; ++b) t[previousBit][b] = ByteCells(static_cast<uint8_t>(b), previousBit);
    return t;
}
constexpr auto kByteCells = MakeByteCells();

bool IsFieldMark(uint8_t b) { return b == kIdMark || b == kDataMark || b == kDeletedDataMark; }

// Marks the pair of sync bytes at i and i + 1 and a third one before them when there is one.
void MarkSyncRun(ByteSpan raw, size_t i, uint8_t sync, Bytes& marks) {
    const size_t from = i > 0 && raw[i - 1] == sync ? i - 1 : i;
    for (size_t p = from; p < i + kSyncRun - 1; ++p) marks[p >> 3] |= static_cast<uint8_t>(1u << (p & 7));
}

}  // namespace

void MarkedTrack::Clear() {
    bytes.clear();
    marks.clear();
}

void MarkedTrack::Append(uint8_t b, bool marked) {
    const size_t i = bytes.size();
    bytes.push_back(b);
    if ((i & 7) == 0) marks.push_back(0);
    if (marked) marks.back() |= static_cast<uint8_t>(1u << (i & 7));
}

void MarkedTrack::PadTo(size_t n, uint8_t b) {
    while (bytes.size() < n) Append(b, false);
}

Bytes FindSyncMarks(ByteSpan raw) {
    Bytes marks((raw.size() + 7) / 8, 0);
    long pendingData = -1;  // data bytes of the last ID's sector while its data field is still to come
    for (size_t i = 0; i + 2 < raw.size();) {
        if (raw[i] == kSyncC2 && raw[i + 1] == kSyncC2 && raw[i + 2] == kIndexMark) {
            MarkSyncRun(raw, i, kSyncC2, marks);
            i += kSyncRun;
            continue;
        }
        if (raw[i] != kSyncA1 || raw[i + 1] != kSyncA1 || !IsFieldMark(raw[i + 2])) {
            ++i;
            continue;
        }
        MarkSyncRun(raw, i, kSyncA1, marks);
        const uint8_t mark = raw[i + 2];
        i += kSyncRun;
        if (mark == kIdMark) {
            const uint8_t sizeCode = i + 3 < raw.size() ? raw[i + 3] : 0;
            pendingData = 128L << std::min(sizeCode, kLargestScannedSizeCode);
            i += kIdFieldBytes;
        } else if (pendingData >= 0) {
            i += static_cast<size_t>(pendingData) + kCrcBytes;
            pendingData = -1;
        }
    }
    return marks;
}

void EncodeMfmCells(const MarkedTrack& track, Bytes& stream) {
    unsigned previousBit = track.bytes.empty() ? 0u : track.bytes.back() & 1u;  // the track runs in a loop
    for (size_t i = 0; i < track.bytes.size(); ++i) {
        const uint8_t b = track.bytes[i];
        uint16_t cells;
        if (track.Marked(i) && b == kSyncA1)
            cells = kA1SyncCells;
        else if (track.Marked(i) && b == kSyncC2)
            cells = kC2SyncCells;
        else
            cells = kByteCells[previousBit][b];
        previousBit = b & 1u;
        stream.push_back(kReversedBits[cells >> 8]);
        stream.push_back(kReversedBits[cells & 0xFF]);
    }
}

void PackedCells::Clear() {
    bytes.clear();
    count = 0;
}

void PackedCells::Append(uint8_t b, unsigned n) {
    if ((count & 7) == 0 && n == 8) {
        bytes.push_back(b);
        count += 8;
        return;
    }
    for (unsigned i = 0; i < n; ++i, ++count) {
        if ((count & 7) == 0) bytes.push_back(0);
        bytes.back() |= static_cast<uint8_t>(((b >> i) & 1u) << (count & 7));
    }
}

namespace {

unsigned CellAt(ByteSpan packed, size_t i) { return (packed[i >> 3] >> (i & 7)) & 1u; }

// Where the first cells equal to `pattern` start; `count` when they appear nowhere.
size_t FirstPattern(ByteSpan packed, size_t count, uint16_t pattern) {
    uint16_t window = 0;
    for (size_t i = 0; i < count; ++i) {
        window = static_cast<uint16_t>(window << 1 | CellAt(packed, i));
        if (i + 1 >= kCellsPerByte && window == pattern) return i + 1 - kCellsPerByte;
    }
    return count;
}

// The data bits of a stored byte's cells (taken in time order, the first as the top bit) whose frame
// positions are odd, for a byte whose first cell stands at an even (0) or odd (1) frame position.
constexpr std::array<std::array<uint8_t, 256>, 2> MakeDataBits() {
    std::array<std::array<uint8_t, 256>, 2> t{};
    for (unsigned parity = 0; parity < 2; ++parity)
        for (unsigned cells = 0; cells < 256; ++cells) {
            unsigned bits = 0;
            for (unsigned k = 0; k < 8; ++k)
                if ((parity + k) & 1) bits = bits << 1 | ((cells >> (7 - k)) & 1u);
            t[parity][cells] = static_cast<uint8_t>(bits);
        }
    return t;
}
constexpr auto kDataBits = MakeDataBits();

// Only the A1 sync is unique in every framing: the C2 sync's cells also appear off the frame in ordinary
// bytes (sync zeros before an A1 show them), so a C2 counts only on the frame, and frames only a track
// without any A1.
class MfmDecoder {
public:
    explicit MfmDecoder(MarkedTrack& out) : out_(out) {}

    void Cell(unsigned cell) {
        window_ = window_ << 1 | cell;
        if (inFrame_ & 1) data_ = data_ << 1 | cell;
        ++inFrame_;
        if (seen_ < kCellsPerByte) ++seen_;
        const uint16_t last = static_cast<uint16_t>(window_);
        const bool a1 = last == kA1SyncCells && seen_ >= kCellsPerByte;
        if (a1 || (last == kC2SyncCells && inFrame_ == kCellsPerByte)) {
            // An A1 on the frame or off it is a marked byte, and the next frame starts after it.
            out_.Append(a1 ? kSyncA1 : kSyncC2, true);
            inFrame_ = 0;
        } else if (inFrame_ == kCellsPerByte) {
            out_.Append(static_cast<uint8_t>(data_), false);
            inFrame_ = 0;
        }
    }

    // Eight cells of a stored byte at once where no sync can end among them; cell by cell otherwise.
    void Byte(uint8_t stored) {
        const unsigned cells = kReversedBits[stored];
        const uint32_t w = (window_ << 8 | cells) & 0xFFFFFF;
        bool sync = seen_ < kCellsPerByte;
        for (unsigned s = 0; s < 8 && !sync; ++s) {
            const uint16_t at = static_cast<uint16_t>(w >> s);
            sync = at == kA1SyncCells || at == kC2SyncCells;
        }
        if (sync) {
            for (unsigned k = 0; k < 8; ++k) Cell((stored >> k) & 1u);
            return;
        }
        // The frame's last cell (position 15) is a data cell; the data cells after it in this byte belong
        // to the next frame already.
        data_ = data_ << 4 | kDataBits[inFrame_ & 1][cells];
        window_ = w;
        inFrame_ += 8;
        if (inFrame_ >= kCellsPerByte) {
            inFrame_ -= kCellsPerByte;
            out_.Append(static_cast<uint8_t>(data_ >> (inFrame_ >> 1)), false);
        }
    }

private:
    MarkedTrack& out_;
    uint32_t window_ = 0;
    uint32_t data_ = 0;
    unsigned inFrame_ = 0;
    unsigned seen_ = 0;
};

}  // namespace

bool DecodeMfmCells(ByteSpan packed, size_t count, MarkedTrack& out) {
    out.Clear();
    count = std::min(count, packed.size() * 8);
    size_t first = FirstPattern(packed, count, kA1SyncCells);
    if (first == count) first = FirstPattern(packed, count, kC2SyncCells);
    if (first == count) return false;
    out.bytes.reserve(count / kCellsPerByte + 1);

    // The bytes before the first sync are framed as it is, so the gap before it keeps its length.
    MfmDecoder decoder(out);
    size_t i = first % kCellsPerByte;
    for (; i < count && (i & 7) != 0; ++i) decoder.Cell(CellAt(packed, i));
    for (; i + 8 <= count; i += 8) decoder.Byte(packed[i >> 3]);
    for (; i < count; ++i) decoder.Cell(CellAt(packed, i));
    return true;
}

}  // namespace tarvex
