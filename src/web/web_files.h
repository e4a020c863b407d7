// The page's TR-DOS files: one file of a viewed disk as a Hobeta file, and a Hobeta (or plain) file put on
// a disk image, the image given back in the format it came in, as `tarvex-cli files add` writes it back.
#pragma once

#include <string>

#include "disk/zx_disk.h"
#include "web/web_conversion.h"

namespace tarvex::web {

// The file at catalogue position `index` of the image as a Hobeta file: result "Converted!", its host name in
// outputName and its bytes in output; or "Error open file!" with the reason.
WebConversion ExtractFileBytes(TZX_Disk& disk, const std::string& imageName, ByteSpan image, unsigned index);

// The image with the file added: result "Converted!" and the new image (same name, same format) in output;
// "Error open file!" when the image cannot be read, "Error save file!" with the reason when the file is refused
// or the image cannot be written.
WebConversion AddFileBytes(TZX_Disk& disk, const std::string& imageName, ByteSpan image, const std::string& fileName,
                           ByteSpan file);

}  // namespace tarvex::web
