// The words of a size refusal, shared by the whole-file reads and the formats' own checks.
#include "io/size_limit.h"

#include "io/byte_reader.h"

namespace tarvex {

std::string TooLargeText(const FileSizeLimit& limit, const std::string& size) {
    return Fill(Tr("File too large for %s: %s"), {Tr(limit.what), size});
}

void RefuseOversizeImage(uint64_t size, const FileSizeLimit& limit) {
    if (size <= limit.maxBytes) return;
    if (limit.oversizeText) throw IoError(limit.oversizeText(limit, size));
    throw IoError(
        TooLargeText(limit, Fill(Tr("%s bytes, at most %s"), {std::to_string(size), std::to_string(limit.maxBytes)})));
}

}  // namespace tarvex
