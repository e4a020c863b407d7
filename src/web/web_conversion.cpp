// The page's conversion of one image: the shared conversion step, with bytes for files.
#include "web/web_conversion.h"

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "disk/zx_disk.h"

namespace tarvex::web {

WebConversion ConvertImageBytes(TZX_Disk& disk, const std::string& name, ByteSpan bytes, int format, bool compress,
                                bool salvage) {
    WebConversion c;
    c.outputName = OutputFileName(FileNamePart(name), format, std::nullopt);
    disk.StatusMessage.clear();
    ConversionSteps steps;
    const ConversionTarget target{
        .format = format, .compress = compress, .name = [&] { return c.outputName; }, .image = &c.output};
    const ConversionOutcome outcome =
        ConvertImage(disk, ConversionSource{.name = name, .bytes = bytes, .salvage = salvage}, target, steps);
    c.result = ResultText(outcome.result);
    c.reason = outcome.reason;
    c.losses = outcome.losses;
    return c;
}

}  // namespace tarvex::web
