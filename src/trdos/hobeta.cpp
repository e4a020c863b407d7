// Hobeta files made and read: the header of a catalogue entry and the file's sectors.
#include "trdos/hobeta.h"

#include <algorithm>

#include "i18n/translate.h"

namespace tarvex {

namespace {
constexpr unsigned kChecksumFactor = 257;
constexpr unsigned kChecksumAddend = 105;
constexpr size_t kSizeWordOffset = 13;  // the data's length in bytes: 0 and the sector count
}  // namespace

uint16_t HobetaChecksum(const uint8_t* header) {
    unsigned sum = 0;
    for (size_t i = 0; i < kHobetaChecksumOffset; ++i) sum += header[i];
    return static_cast<uint16_t>(kChecksumFactor * sum + kChecksumAddend);
}

Bytes MakeHobeta(const TrdosFileEntry& entry, ByteSpan sectors) {
    const size_t dataBytes = size_t{entry.SectorCount} * kTrdosSectorBytes;
    Bytes file(kHobetaHeaderBytes + dataBytes, 0);
    entry.EncodeHeader(file.data());
    file[kSizeWordOffset] = 0;
    file[kSizeWordOffset + 1] = entry.SectorCount;
    const uint16_t checksum = HobetaChecksum(file.data());
    file[kHobetaChecksumOffset] = static_cast<uint8_t>(checksum);
    file[kHobetaChecksumOffset + 1] = static_cast<uint8_t>(checksum >> 8);
    std::copy_n(sectors.begin(), std::min(dataBytes, sectors.size()), file.begin() + kHobetaHeaderBytes);
    return file;
}

Status ParseHobeta(ByteSpan file, TrdosFileEntry& entry, Bytes& sectors) {
    if (file.size() < kHobetaHeaderBytes)
        return Status::Failure(Tr("Not a Hobeta file: shorter than its 17-byte header!"));
    const uint16_t stored = static_cast<uint16_t>(file[kHobetaChecksumOffset] | (file[kHobetaChecksumOffset + 1] << 8));
    if (stored != HobetaChecksum(file.data())) return Status::Failure(Tr("Hobeta header checksum error!"));
    TrdosFileEntry read = TrdosFileEntry::DecodeHeader(file.data());
    read.SectorCount = file[kSizeWordOffset + 1];
    const size_t dataBytes = size_t{read.SectorCount} * kTrdosSectorBytes;
    if (file.size() - kHobetaHeaderBytes < dataBytes)
        return Status::Failure(
            Fill(Tr("Hobeta file cut short: %s sectors counted, %s bytes there!"),
                 {std::to_string(read.SectorCount), std::to_string(file.size() - kHobetaHeaderBytes)}));
    entry = read;
    sectors.assign(file.begin() + kHobetaHeaderBytes, file.begin() + kHobetaHeaderBytes + dataBytes);
    return Status::Ok();
}

}  // namespace tarvex
