// SCL: an archive of TR-DOS files, in which ZX Spectrum emulators and tools pass files around without the
// disk they came from. "SINCLAIR", a file count, one 14-byte header per file (a catalogue entry
// without its place on the disk), the 256-byte sectors of every file in turn, and a 32-bit byte sum.
// Reading stores the files on a freshly formatted TR-DOS disk the way TR-DOS would; writing collects the
// live files of the disk's catalogue.
#include <algorithm>
#include <cstring>
#include <utility>

#include "disk/byte_sum.h"
#include "disk/zx_disk.h"
#include "i18n/translate.h"
#include "io/byte_reader.h"
#include "io/image_file.h"
#include "io/text_1251.h"
#include "trdos/trdos_area.h"

namespace tarvex {

namespace {

constexpr char kSignature[] = "SINCLAIR";
constexpr size_t kSignatureBytes = 8;
constexpr size_t kHeadersOffset = kSignatureBytes + 1;
constexpr size_t kChecksumBytes = 4;

// The next free place of a disk being filled: sector 0..15 of a track, counted on from track 1.
struct DiskPlace {
    unsigned track = 1;
    unsigned sector = 0;

    unsigned Linear() const { return track * kTrdosSectorsPerTrack + sector; }
    unsigned FreeSectors() const { return kTrdosDiskSectors - Linear(); }
    void Advance(unsigned sectors) {
        const unsigned next = Linear() + sectors;
        track = next / kTrdosSectorsPerTrack;
        sector = next % kTrdosSectorsPerTrack;
    }
};

}  // namespace

bool TZX_Disk::LoadSCL(const std::string& fileName) { return LoadWith(fileName, &TZX_Disk::ParseSCL); }
bool TZX_Disk::SaveSCL(const std::string& fileName) { return SaveWith(fileName, &TZX_Disk::BuildSCL); }

bool TZX_Disk::ParseSCL(ByteSpan bytes) {
    Clear();
    ByteReader in(bytes);
    if (bytes.size() < kChecksumBytes) throw StreamReadError();
    const size_t bodyBytes = bytes.size() - kChecksumBytes;
    in.Seek(bodyBytes);
    if (ByteSum(bytes.first(bodyBytes)) != in.U32()) {
        StatusMessage = Tr("File checksum error!");
        return false;
    }
    in.Seek(0);
    if (std::memcmp(in.Take(kSignatureBytes).data(), kSignature, kSignatureBytes) != 0) {
        StatusMessage = Tr("Wrong file signature!");
        return false;
    }
    FormatBlankDisk("NEW DISK");
    const unsigned fileCount = in.U8();
    if (bytes.size() < kHeadersOffset + TrdosFileEntry::kHeaderBytes * fileCount) {
        StatusMessage = Tr("File length error!");
        return false;
    }
    if (fileCount > kTrdosMaxFiles) {
        StatusMessage = Tr("Too many files!");
        return false;
    }

    // Every sector the archive fills is a TR-DOS one, 256 bytes.
    const auto trdosTrack = [this](unsigned t) { return TrackWithin(t, kTrdosSectorsPerTrack, kTrdosSectorBytes); };
    DiskPlace next;
    size_t dataPos = kHeadersOffset + TrdosFileEntry::kHeaderBytes * fileCount;
    for (unsigned i = 0; i < fileCount; ++i) {
        TrdosFileEntry entry = TrdosFileEntry::DecodeHeader(&bytes[kHeadersOffset + TrdosFileEntry::kHeaderBytes * i]);
        const size_t dataBytes = size_t{kTrdosSectorBytes} * entry.SectorCount;
        // Signed: when the headers themselves run into the checksum, even an empty file does not fit.
        const long long available = static_cast<long long>(bodyBytes) - static_cast<long long>(dataPos);
        if (available < static_cast<long long>(dataBytes)) {
            const uint8_t* header = &bytes[kHeadersOffset + TrdosFileEntry::kHeaderBytes * i];
            StatusMessage = Fill(Tr("Wrong size of file %s!"), {Cp1251ToUtf8(ByteSpan(header, 8)) + "." +
                            Cp1251ToUtf8(ByteSpan(header + 8, 1))});
            return false;
        }
        if (entry.SectorCount > next.FreeSectors()) {
            StatusMessage = Tr("No room left on the disk image!");
            return false;
        }
        entry.FirstSector = static_cast<uint8_t>(next.sector);
        entry.FirstTrack = static_cast<uint8_t>(next.track);
        for (unsigned k = 0; k < entry.SectorCount; ++k) {
            DiskPlace place = next;
            place.Advance(k);
            std::memcpy(trdosTrack(place.track)->Sector(place.sector)->Data.data(),
                        &bytes[dataPos + k * kTrdosSectorBytes], kTrdosSectorBytes);
        }
        TSectorSlot& catalogueSector = *trdosTrack(0)->Sector(i / kTrdosEntriesPerSector);
        entry.Encode(&catalogueSector.Data[kTrdosEntryBytes * (i % kTrdosEntriesPerSector)]);
        next.Advance(entry.SectorCount);
        dataPos += dataBytes;
    }

    uint8_t* info = trdosTrack(0)->Sector(kTrdosInfoSectorNo - 1)->Data.data();
    info[trdos_info::kFirstFreeSector] = static_cast<uint8_t>(next.sector);
    info[trdos_info::kFirstFreeTrack] = static_cast<uint8_t>(next.track);
    info[trdos_info::kFileCount] = static_cast<uint8_t>(fileCount);
    info[trdos_info::kDeletedCount] = 0;
    const uint16_t freeSectors = static_cast<uint16_t>(next.FreeSectors());
    info[trdos_info::kFreeSectors] = static_cast<uint8_t>(freeSectors);
    info[trdos_info::kFreeSectors + 1] = static_cast<uint8_t>(freeSectors >> 8);
    return true;
}

bool TZX_Disk::BuildSCL(Bytes& out) {
    TrdosCatalogue catalogue;
    if (!ReadCatalogue(catalogue)) {
        StatusMessage = Tr("Not a TR-DOS disk image! Bad catalogue!");
        return false;
    }
    // The live files among the positions the disk-information sector counts. The count byte of the
    // archive is the number of headers actually written, so a disk whose counters disagree with its
    // catalogue still gives an archive that reads back.
    std::vector<const TrdosFileEntry*> live;
    for (unsigned i = 0; i < catalogue.FileCount && i < catalogue.Entries.size(); ++i)
        if (!catalogue.Entries[i].Deleted()) live.push_back(&catalogue.Entries[i]);
    if (live.empty()) {
        StatusMessage = Tr("No files on the disk!");
        return false;
    }

    Bytes image(kSignature, kSignature + kSignatureBytes);
    PutU8(image, static_cast<uint8_t>(live.size()));
    for (const TrdosFileEntry* entry : live) {
        uint8_t header[TrdosFileEntry::kHeaderBytes];
        entry->EncodeHeader(header);
        PutBytes(image, header, sizeof header);
    }
    for (const TrdosFileEntry* entry : live) {
        unsigned track = entry->FirstTrack;
        unsigned sector = entry->FirstSector + 1u;
        for (unsigned k = 0; k < entry->SectorCount; ++k) {
            const TSectorSlot* slot = std::as_const(*this).FindSector(track, sector);
            if (!slot || !slot->Used || slot->DataLength < kTrdosSectorBytes) {
                StatusMessage =
                    Fill(Tr("Bad sector (track %s, sector %s)!"), {std::to_string(track), std::to_string(sector)});
                return false;
            }
            PutBytes(image, slot->Data.data(), kTrdosSectorBytes);
            if (++sector > kTrdosSectorsPerTrack) {
                sector = 1;
                ++track;
            }
        }
    }
    PutU32(image, ByteSum(image));
    out = std::move(image);
    return true;
}

}  // namespace tarvex
