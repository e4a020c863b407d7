// TR-DOS files in and out of an image held in memory, through the TR-DOS room and the image readers and writers.
#include "web/web_files.h"

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "app/trdos_transfer.h"
#include "trdos/hobeta.h"

namespace tarvex::web {

namespace {

WebConversion Failure(const char* result, const std::string& reason) {
    WebConversion c;
    c.result = result;
    c.reason = reason.empty() ? Tr(kUnreadableReason) : reason;
    return c;
}

}  // namespace

WebConversion ExtractFileBytes(TZX_Disk& disk, const std::string& imageName, ByteSpan image, unsigned index) {
    TrdosCatalogue catalogue;
    Status read = ReadImageBytes(disk, imageName, image);
    if (read) read = ReadTrdosCatalogue(disk, catalogue);
    if (!read) return Failure(kResultOpenError, read.reason());
    if (index >= TrdosEntryCount(catalogue))
        return Failure(kResultOpenError, Fill(Tr("No file number %s on the disk!"), {std::to_string(index + 1)}));
    const TrdosFileEntry& entry = catalogue.Entries[index];
    Bytes sectors;
    if (Status taken = ReadTrdosFile(disk, entry, sectors); !taken) return Failure(kResultOpenError, taken.reason());
    WebConversion c;
    c.result = kResultConverted;
    c.outputName = HostFileName(entry, true);
    c.output = MakeHobeta(entry, sectors);
    return c;
}

WebConversion AddFileBytes(TZX_Disk& disk, const std::string& imageName, ByteSpan image, const std::string& fileName,
                           ByteSpan file) {
    int format = -1;
    if (Status read = ReadImageBytes(disk, imageName, image, std::nullopt, &format); !read)
        return Failure(kResultOpenError, read.reason());
    TrdosFileEntry entry;
    Bytes data;
    Status added = TrdosFileFromHost(fileName, file, false, {}, entry, data);
    if (added) added = AddTrdosFile(disk, entry, data, IfFileExists::kRefuse);
    if (!added) return Failure(kResultSaveError, FileNamePart(fileName) + ": " + added.reason());
    const bool compressed = format == kTD0 && image.size() >= 2 && image[0] == 't' && image[1] == 'd';
    WebConversion c;
    if (Status built = BuildImageBytes(disk, format, compressed, c.output); !built)
        return Failure(kResultSaveError, built.reason());
    c.result = kResultConverted;
    c.outputName = FileNamePart(imageName);
    return c;
}

}  // namespace tarvex::web
