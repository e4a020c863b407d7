// The body of every round-trip fuzz target: one round trip per input (TD0: plain and packed), and a
// trap with what differed when a kept field does not come back.
#pragma once

#include <cstdio>

#include "model_roundtrip.h"

namespace tarvex::roundtrip {

inline int FuzzRoundTrip(int format, ByteSpan input) {
    static Disks* disks = new Disks;
    const bool packedToo = format == kTD0;
    for (bool compress : {false, true}) {
        if (compress && !packedToo) break;
        const std::string failure = RoundTrip(format, compress, input, *disks);
        if (!failure.empty()) {
            std::fprintf(stderr, "%s%s round trip: %s\n", Formats()[format].name, compress ? " (packed)" : "",
                         failure.c_str());
            __builtin_trap();
        }
    }
    return 0;
}

}  // namespace tarvex::roundtrip
