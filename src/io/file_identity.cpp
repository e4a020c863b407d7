// File identities by stat, and names made comparable through the real paths of their folders.
#include "io/file_identity.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace tarvex {

namespace {
FileIdentity IdentityIn(const struct stat& st) { return {st.st_dev, st.st_ino}; }
}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& fileName) {
    struct stat st {};
    if (fileName.empty() || ::stat(fileName.c_str(), &st) != 0) return std::nullopt;
    return IdentityIn(st);
}

std::optional<FileIdentity> IdentityOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return IdentityIn(st);
}

std::string ComparableName(const std::string& fileName) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(fileName, ec);
    if (ec) return fileName;
    const std::filesystem::path real = std::filesystem::weakly_canonical(absolute, ec);
    return (ec ? absolute.lexically_normal() : real).string();
}

}  // namespace tarvex
