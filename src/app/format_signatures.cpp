// One row per signature: the bytes an image starts with and, where they are short enough to turn up by
// chance, a further look at the header. A format with two signatures has two rows.
#include "app/format_signatures.h"

#include <cstring>
#include <string_view>

#include "app/format_table.h"
#include "formats/td0.h"

namespace tarvex {

namespace {

// TeleDisk's header names the version that wrote it (1.0 to 2.1) after the two signature letters.
constexpr size_t kTd0VersionAt = 4;
bool PlausibleTd0(ByteSpan head) {
    return head.size() > kTd0VersionAt && head[kTd0VersionAt] >= kTd0LowestVersion &&
           head[kTd0VersionAt] <= kTd0HighestVersion;
}

struct Signature {
    int format;
    std::string_view start;
    bool (*plausible)(ByteSpan head) = nullptr;
};

constexpr Signature kSignatures[] = {
    {kUDI, "UDI!"},
    {kFDI, "FDI"},
    {kTD0, "TD", PlausibleTd0},
    {kTD0, "td", PlausibleTd0},
    {kSCL, "SINCLAIR"},
    {kDSK, "MV - CPC"},
    {kDSK, "EXTENDED CPC DSK"},
    {kHFE, "HXCPICFE"},
    {kHFE, "HXCHFEV3"},
};

static_assert([] {
    for (const Signature& s : kSignatures)
        if (s.start.size() > kSignatureHeadBytes) return false;
    return true;
}());

bool Matches(const Signature& s, ByteSpan head) {
    return head.size() >= s.start.size() && std::memcmp(head.data(), s.start.data(), s.start.size()) == 0 &&
           (!s.plausible || s.plausible(head));
}

}  // namespace

std::optional<int> FormatByContent(ByteSpan head) {
    for (const Signature& s : kSignatures)
        if (Matches(s, head)) return s.format;
    return std::nullopt;
}

}  // namespace tarvex
