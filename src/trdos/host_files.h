// TR-DOS files and the files of the computer Tarvex runs on: the host name a catalogue entry is written
// under, the TR-DOS name a host file gets, the files a name on the command line picks out, and a host
// file's bytes (Hobeta or plain data) turned into a catalogue entry and its data.
//
// Out: the name's 8 bytes decoded from Windows-1251, trailing spaces cut, every character a file system
// refuses (control characters, / \ : * ? " < > |) made '_', an empty name made "_"; then ".$T" for a Hobeta
// file or ".T" for plain data, T the type letter (made '_' the same way). In: Hobeta files carry their own
// name; plain data takes the name given, else the file name without its extension, encoded in
// Windows-1251 (a character it lacks becomes '?'), cut to 8 bytes and padded with spaces.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "io/bytes.h"
#include "io/status.h"
#include "trdos/trdos_area.h"

namespace tarvex {

// "NAME.$T" (Hobeta) or "NAME.T" (plain data).
std::string HostFileName(const TrdosFileEntry& entry, bool hobeta);

// The names HostFileName gives the entries, made unique by "~2", "~3" ... before the extension where two
// entries would share one (compared without letter case, as some file systems compare them).
std::vector<std::string> UniqueHostFileNames(const std::vector<TrdosFileEntry>& entries, bool hobeta);

// A file name whose extension is '$' and one more character: a Hobeta file by its name.
bool IsHobetaName(const std::string& fileName);

// The 8 name bytes of a text, as described above; a text of no characters or starting with a control
// character has none.
std::optional<std::array<uint8_t, 8>> TrdosNameOf(const std::string& text);

// Whether an entry is the one a word of the command line names: "NAME.T" (the name as TrdosFileTitle
// gives it), "NAME" (any type) or "#N" (catalogue position N, from 1).
bool EntryMatches(const TrdosFileEntry& entry, unsigned index, const std::string& word);

// What a plain data file is stored as, where the user says; otherwise the host name without its extension,
// the extension when it is one character, else 'C', and start 32768 (a BASIC program: its length).
struct PlainFileFields {
    std::optional<std::string> name;
    std::optional<uint8_t> type;
    std::optional<uint16_t> start;
};
inline constexpr uint16_t kDefaultPlainStart = 32768;

// A host file's bytes as a catalogue entry (name, type, start, length, sector count) and its data: read as
// Hobeta when `plain` is false and the name says Hobeta, else as plain data of at most 255 sectors.
Status TrdosFileFromHost(const std::string& fileName, ByteSpan bytes, bool plain, const PlainFileFields& fields,
                         TrdosFileEntry& entry, Bytes& data);

}  // namespace tarvex
