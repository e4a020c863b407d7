// TR-DOS files in and out of images, over the TR-DOS room and the image readers and writers.
#include "app/trdos_transfer.h"

#include <filesystem>

#include "app/format_table.h"
#include "formats/image_size_limits.h"
#include "i18n/translate.h"
#include "trdos/hobeta.h"

namespace tarvex {

namespace {
// The largest host file worth reading: a Hobeta file of 255 sectors, with room for a trailer.
constexpr FileSizeLimit kHostFileLimit{TrMark("a TR-DOS file"), 2 * 255 * kTrdosSectorBytes};
constexpr size_t kTd0SignatureBytes = 2;
}  // namespace

std::vector<ExtractedFile> ExtractTrdosFiles(const TZX_Disk& disk, const TrdosCatalogue& catalogue,
                                             const std::vector<unsigned>& indexes, const std::string& folder,
                                             bool hobeta, IfNameTaken ifTaken) {
    std::vector<TrdosFileEntry> entries;
    for (const unsigned i : indexes) entries.push_back(catalogue.Entries.at(i));
    const std::vector<std::string> names = UniqueHostFileNames(entries, hobeta);
    std::vector<ExtractedFile> extracted;
    for (size_t k = 0; k < entries.size(); ++k) {
        // Joined as text: a path object would take the UTF-8 name for the system's narrow code page on Windows.
        const std::string output = folder + static_cast<char>(std::filesystem::path::preferred_separator) + names[k];
        ExtractedFile file{indexes[k], output, Status::Ok()};
        file.status = Attempt([&] {
            Bytes sectors;
            if (Status read = ReadTrdosFile(disk, entries[k], sectors); !read) return read;
            if (hobeta) {
                const Bytes made = MakeHobeta(entries[k], sectors);
                SaveFileAtomic(file.output, made, ZeroBlocks::Written, ifTaken);
            } else {
                SaveFileAtomic(file.output, ByteSpan(sectors).first(TrdosFileBytes(entries[k])), ZeroBlocks::Written,
                               ifTaken);
            }
            return Status::Ok();
        });
        extracted.push_back(std::move(file));
    }
    return extracted;
}

Status AddHostFile(TZX_Disk& disk, const std::string& path, const AddOptions& options) {
    const Status added = Attempt([&] {
        const Bytes bytes = ReadWholeFile(path, kHostFileLimit);
        TrdosFileEntry entry;
        Bytes data;
        if (Status made = TrdosFileFromHost(path, bytes, options.plain, options.fields, entry, data); !made)
            return made;
        return AddTrdosFile(disk, entry, data, options.ifExists);
    });
    return added ? added : Status::Failure(FileNamePart(path) + ": " + added.reason());
}

ImageKind KindOfImage(const std::string& path, int format) {
    ImageKind kind{format, false};
    if (format != kTD0) return kind;
    // A head that cannot be read leaves the image plain; the image itself was read a moment ago.
    (void)Attempt([&] {
        const Bytes signature = ReadFileHead(path, kTd0SignatureBytes);
        kind.compressed = signature.size() == kTd0SignatureBytes && signature[0] == 't' && signature[1] == 'd';
        return Status::Ok();
    });
    return kind;
}

Status ReadImageForChange(TZX_Disk& disk, const std::string& path, std::optional<int> forced, ImageKind& kind) {
    int format = -1;
    if (Status read = ReadImageFile(disk, path, forced, &format); !read)
        return read.reason().empty() ? Status::Failure(Tr(kUnreadableReason)) : read;
    kind = KindOfImage(path, format);
    return Status::Ok();
}

Status WriteChangedImage(TZX_Disk& disk, const std::string& path, const ImageKind& kind, IfNameTaken ifTaken) {
    return WriteImageFile(disk, kind.format, path, kind.compressed, ifTaken);
}

}  // namespace tarvex
