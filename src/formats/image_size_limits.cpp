// The refusal of an image larger than its format can describe, the same whether its bytes come from a
// file or are already in memory.
#include "formats/image_size_limits.h"

#include "formats/byte_reader.h"
#include "formats/sector_dump.h"
#include "i18n/translate.h"

namespace tarvex {

std::string TooLargeText(const FileSizeLimit& limit, const std::string& size) {
    return Fill(Tr("File too large for %s: %s"), {Tr(limit.what), size});
}

void RefuseOversizeImage(uint64_t size, const FileSizeLimit& limit) {
    if (size <= limit.maxBytes) return;
    if (limit.dumpName) throw IoError(TooManyTracksText(limit.dumpName, DumpTrackCount(limit.dumpTrackBytes, size)));
    throw IoError(
        TooLargeText(limit, Fill(Tr("%s bytes, at most %s"), {std::to_string(size), std::to_string(limit.maxBytes)})));
}

}  // namespace tarvex
