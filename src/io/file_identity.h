// Telling whether two names lead to one file: by the file itself (device and inode, through links and
// hard links), and by the name a file would take once written (its folder's real path and its own name).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarvex {

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The file a name leads to, following symbolic links; nothing when there is none or it cannot be reached.
std::optional<FileIdentity> IdentityOf(const std::string& fileName);
// The file an open descriptor holds.
std::optional<FileIdentity> IdentityOf(int fd);

// The name in a form two names of one place share: the real path of as much of it as exists, the rest
// appended without "." and "..". Never throws; a name whose folders cannot be followed stays as given.
std::string ComparableName(const std::string& fileName);

}  // namespace tarvex
