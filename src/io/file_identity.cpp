// File identities by stat, and names made comparable through the real paths of their folders.
#include "io/file_identity.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
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

namespace {
// The real path of a folder, found once a run: the outputs of a run mostly share one folder, whose path
// would otherwise be followed component by component for each of them.
std::filesystem::path RealFolder(const std::filesystem::path& folder) {
    static std::mutex mutex;
    static std::map<std::string, std::filesystem::path> known;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = known.find(folder.native());
    if (found != known.end()) return found->second;
    std::error_code ec;
    std::filesystem::path real = std::filesystem::weakly_canonical(folder, ec);
    if (ec) real = folder.lexically_normal();
    known.emplace(folder.native(), real);
    return real;
}

bool HasDotDot(const std::filesystem::path& path) {
    for (const std::filesystem::path& part : path)
        if (part == "..") return true;
    return false;
}
}  // namespace

std::string ComparableName(const std::string& fileName) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(fileName, ec);
    if (ec) return fileName;
    // A name not yet taken, in a folder named without "..": its folder's real path and the name.
    struct stat st {};
    if (absolute.has_filename() && !HasDotDot(absolute) && ::lstat(absolute.c_str(), &st) != 0 && errno == ENOENT)
        return (RealFolder(absolute.parent_path()) / absolute.filename()).lexically_normal().string();
    const std::filesystem::path real = std::filesystem::weakly_canonical(absolute, ec);
    return (ec ? absolute.lexically_normal() : real).string();
}

}  // namespace tarvex
