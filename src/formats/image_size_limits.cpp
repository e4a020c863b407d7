// The refusal of a headerless dump larger than its format can describe, in the reader's own words.
#include "formats/image_size_limits.h"

#include "io/byte_reader.h"
#include "formats/sector_dump.h"
#include "i18n/translate.h"

namespace tarvex {

std::string DumpOversizeText(const FileSizeLimit& limit, uint64_t size) {
    return TooManyTracksText(limit.dumpName, DumpTrackCount(limit.dumpTrackBytes, size));
}

}  // namespace tarvex
