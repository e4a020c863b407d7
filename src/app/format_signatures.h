// Formats told by content: the first bytes by which an image names its format. A file whose content
// names a format is read by that format's reader whatever the file is called.
#pragma once

#include <optional>

#include "disk/zx_disk.h"

namespace tarvex {

// How many first bytes of a file the signatures look at.
constexpr size_t kSignatureHeadBytes = 16;

// The format whose signature the first bytes carry; none for headerless images (TRD, PRO, KDI) and
// for bytes no format claims.
std::optional<int> FormatByContent(ByteSpan head);

}  // namespace tarvex
