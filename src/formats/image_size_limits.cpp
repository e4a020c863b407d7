// The refusal of an image larger than its format can describe, the same whether its bytes come from a
// file or are already in memory.
#include "formats/image_size_limits.h"

#include "formats/byte_reader.h"
#include "formats/sector_dump.h"

namespace tarvex {

std::string TooLargeText(const FileSizeLimit& limit, const std::string& size) {
    return std::string("File too large for ") + limit.what + ": " + size;
}

void RefuseOversizeImage(uint64_t size, const FileSizeLimit& limit) {
    if (size <= limit.maxBytes) return;
    if (limit.dumpName) throw IoError(TooManyTracksText(limit.dumpName, DumpTrackCount(limit.dumpTrackBytes, size)));
    throw IoError(TooLargeText(limit, std::to_string(size) + " bytes, at most " + std::to_string(limit.maxBytes)));
}

}  // namespace tarvex
