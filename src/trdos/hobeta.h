// Hobeta: one TR-DOS file outside its disk, as Spectrum tools and emulators pass single files around. A
// 17-byte header (the catalogue entry's name, type, start and length; the length of the data in bytes as a
// 16-bit word, always whole sectors; a 16-bit checksum of the 15 bytes before it) and the file's sectors.
#pragma once

#include <cstdint>

#include "io/bytes.h"
#include "io/status.h"
#include "trdos/trdos_area.h"

namespace tarvex {

constexpr size_t kHobetaHeaderBytes = 17;
constexpr size_t kHobetaChecksumOffset = 15;

// 257 times the sum of the first 15 header bytes, plus 105, modulo 65536 (docs/formats/hobeta.md).
uint16_t HobetaChecksum(const uint8_t* header);

// The header and the entry's sectors (SectorCount * 256 bytes; fewer are padded with zeros).
Bytes MakeHobeta(const TrdosFileEntry& entry, ByteSpan sectors);

// The entry (without its place on a disk) and its SectorCount * 256 bytes. Refuses a file shorter than its
// header, one whose checksum is wrong and one with fewer bytes than its header counts; bytes after those
// the header counts are left out.
Status ParseHobeta(ByteSpan file, TrdosFileEntry& entry, Bytes& sectors);

}  // namespace tarvex
