// The browser's face over the core: an image's bytes and file name in, the converted image's bytes, its
// file name and the row result out, read and written exactly as tarvex-cli reads and writes files, but
// with no file system in between.
#pragma once

#include <string>

#include "disk/zx_disk.h"

namespace tarvex::web {

struct WebConversion {
    std::string result;      // "Converted!", "Error open file!" or "Error save file!"
    std::string reason;      // the reader's or writer's words; empty when converted
    std::string losses;      // "dropped: ..." when the output lacks something of the disk; else empty
    std::string outputName;  // the source's file name with the target's extension
    Bytes output;            // the image, when converted
};

// Reads the bytes with the reader tarvex-cli would choose for a file of that name and writes them in the
// target format (an index of Formats()); compress asks for a compressed TD0, salvage reads an image whose
// checksum does not match as a loss.
WebConversion ConvertImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes, int format, bool compress,
                                bool salvage = false);

}  // namespace tarvex::web
