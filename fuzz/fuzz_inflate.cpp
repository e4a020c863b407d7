// The inflater against Debian's zlib. The input is taken as a zlib stream and inflated by both, under a
// large bound and under a small one: the inflater must refuse exactly where zlib refuses, and give the
// same bytes where both inflate. Up to 64 KB of input is also compressed by zlib at the level and strategy
// its first two bytes choose, and must come back whole.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "tracks/inflate.h"

namespace {

using tarvex::Bytes;

constexpr size_t kLargeBound = size_t{1} << 17;
constexpr size_t kRoundTripLimit = size_t{1} << 16;

[[noreturn]] void Fail() { __builtin_trap(); }

struct Outcome {
    bool ok = false;
    Bytes bytes;
    size_t consumed = 0;
};

Outcome Zlib(const uint8_t* data, size_t size, size_t limit) {
    Outcome o;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) Fail();
    const std::unique_ptr<uint8_t[]> out(new uint8_t[limit + 1]);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.get();
    z.avail_out = static_cast<uInt>(limit);
    o.ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    o.bytes.assign(out.get(), out.get() + z.total_out);
    o.consumed = z.total_in;
    inflateEnd(&z);
    return o;
}

void Compare(const uint8_t* data, size_t size, size_t limit) {
    Bytes ours;
    const tarvex::InflateResult result = tarvex::InflateZlib({data, size}, limit, ours);
    if (ours.size() > limit) Fail();
    const Outcome zlib = Zlib(data, size, limit);
    if (result.ok() != zlib.ok) Fail();
    if (result.ok() && (ours != zlib.bytes || result.consumed != zlib.consumed)) Fail();
}

void RoundTrip(const uint8_t* data, size_t size) {
    static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    z_stream z{};
    if (deflateInit2(&z, data[0] % 10, Z_DEFLATED, 9 + data[1] % 7, 1 + data[1] % 9, kStrategies[data[0] % 5]) != Z_OK)
        Fail();
    Bytes stream(deflateBound(&z, size) + 16);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = stream.data();
    z.avail_out = static_cast<uInt>(stream.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) Fail();
    stream.resize(z.total_out);
    deflateEnd(&z);
    Bytes back;
    const tarvex::InflateResult result = tarvex::InflateZlib(stream, size, back);
    if (!result.ok() || result.consumed != stream.size() || back != Bytes(data, data + size)) Fail();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Compare(data, size, kLargeBound);
    Compare(data, size, size * 2);
    if (size >= 2 && size <= kRoundTripLimit) RoundTrip(data, size);
    return 0;
}
