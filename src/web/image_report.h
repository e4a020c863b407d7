// What the page's viewer shows of one image, as JSON: the text of `tarvex-cli info`, the sector map
// tile by tile by the same rules as the window's map, and the TR-DOS catalogue where the disk has one.
#pragma once

#include <string>

#include "disk/zx_disk.h"

namespace tarvex::web {

// {"readable":false,"result":"Error open file!","reason":...} for an image the reader refuses, otherwise
// {"readable":true,"format":"TRD","info":..., "tracks":[{"track":0,"label":"T000","header":"sectors",
// "sectors":[{"label":"s01","tile":"good"},null,...]}], "catalogue":null or {"label":..., "entries":[...]}}.
// The tracks are those the window's map shows (the disk's own, so no odd ones for a single-sided disk); a
// track's sectors run to its last used slot, null for an empty slot before it.
std::string DescribeImageJson(TZX_Disk& disk, const std::string& name, ByteSpan bytes);

}  // namespace tarvex::web
