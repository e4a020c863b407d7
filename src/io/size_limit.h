// The largest file a whole-file read takes. Each image format names its own (formats/image_size_limits.h);
// a read that names none stops at kAnyFileLimit, so bad input costs bounded time and memory.
#pragma once

#include <cstdint>
#include <string>

#include "i18n/translate.h"

namespace tarvex {

struct FileSizeLimit {
    const char* what;   // "a TRD image": completes "File too large for %s"
    uint64_t maxBytes;  // a file of this many bytes is still read
    // Headerless dumps: the format's name and its track length, so that a file known to be too large is
    // refused with the reader's own words, naming its track count.
    const char* dumpName = nullptr;
    uint64_t dumpTrackBytes = 0;
    // The words of the refusal of a file of `size` bytes, when the format has words of its own.
    std::string (*oversizeText)(const FileSizeLimit& limit, uint64_t size) = nullptr;
};

// Whole-file reads that name no format (a TD0 file read directly, the settings file): 32 MB, more than the
// largest of the image limits.
inline constexpr FileSizeLimit kAnyFileLimit{TrMark("this program"), uint64_t{32} << 20};

// "File too large for a TRD image: " and the size as words ("700000 bytes, at most 681984").
std::string TooLargeText(const FileSizeLimit& limit, const std::string& size);

// Throws IoError when an image of `size` bytes is over the limit, in the limit's own words where it has
// them, else naming the size and the limit.
void RefuseOversizeImage(uint64_t size, const FileSizeLimit& limit);

}  // namespace tarvex
