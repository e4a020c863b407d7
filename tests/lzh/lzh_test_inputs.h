// Generated inputs shared by the codec's tests: a small deterministic generator, so that inputs do not
// depend on the standard library's distributions, and a mix of noise, runs and copies of recent
// stretches.
#pragma once

#include <algorithm>
#include <cstdint>

#include "disk/zx_disk.h"

namespace tarvex::test {

struct Lcg {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

// Stretches of noise up to `noise` bytes long, runs of one value, and copies of recent stretches: the
// more noise, the more symbols per input byte.
inline Bytes MixedData(size_t n, uint32_t seed, unsigned noise) {
    Lcg rng{seed};
    Bytes out;
    while (out.size() < n) {
        switch (rng.Next() % 4) {
            case 0: out.insert(out.end(), rng.Next() % 200, static_cast<uint8_t>(rng.Next())); break;
            case 1:
                if (out.size() > 100) {
                    const size_t from = out.size() - 1 - rng.Next() % std::min<size_t>(out.size() - 1, 5000);
                    const size_t length = rng.Next() % 80;
                    for (size_t i = 0; i < length; ++i) out.push_back(out[from + i]);
                }
                break;
            default:
                for (unsigned i = rng.Next() % noise; i > 0; --i) out.push_back(static_cast<uint8_t>(rng.Next()));
        }
    }
    out.resize(n);
    return out;
}

}  // namespace tarvex::test
