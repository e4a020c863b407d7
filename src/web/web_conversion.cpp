#include "web/web_conversion.h"

#include "app/conversion_driver.h"
#include "app/format_table.h"
#include "disk/zx_disk.h"

namespace tarvex::web {

WebConversion ConvertImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes, int format, bool compress) {
    WebConversion c;
    c.outputName = OutputFileName(FileNamePart(name), format, std::nullopt);
    disk.StatusMessage.clear();
    if (!ReadImageBytes(disk, name, bytes, c.reason)) {
        if (c.reason.empty()) c.reason = Tr(kUnreadableReason);
        c.result = kResultOpenError;
        return c;
    }
    if (!BuildImageBytes(disk, format, compress, c.output, c.reason)) {
        c.output.clear();
        c.result = kResultSaveError;
        return c;
    }
    c.result = kResultConverted;
    return c;
}

}  // namespace tarvex::web
