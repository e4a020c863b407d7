// Hidden temporary names, the writer's lock on them, and the sweep of those whose writers died.
#include "io/temporary_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

#include "io/file_descriptor.h"

namespace tarvex {

namespace {

constexpr std::string_view kPrefix = ".tarvex-";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kMostPidDigits = 10;
constexpr size_t kMostCounterDigits = 10;

bool AllDigits(std::string_view s, size_t most) {
    if (s.empty() || s.size() > most) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// An open-file-description lock belongs to the open file, not to the process: a sweep in the writer's own
// process meets the writer's lock like any other, and closing another descriptor of the file does not drop
// it. Where the system has no such locks, flock, which behaves the same on local file systems.
TemporaryLock TryLock(int fd, bool exclusive) {
#ifdef F_OFD_SETLK
    struct flock lock {};
    lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;  // start 0, length 0: the whole file
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return TemporaryLock::kHeld;
    if (errno == EAGAIN || errno == EACCES) return TemporaryLock::kHeldElsewhere;
    if (errno != EINVAL) return TemporaryLock::kUnsupported;
#endif
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return TemporaryLock::kHeld;
    return errno == EWOULDBLOCK ? TemporaryLock::kHeldElsewhere : TemporaryLock::kUnsupported;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<unsigned> counter{0};
    const std::string name = std::string(kPrefix) + std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1)) + std::string(kSuffix);
    return (std::filesystem::path(fileName).parent_path() / name).string();
}

bool IsTemporaryName(const std::string& name) {
    std::string_view s(name);
    if (!s.starts_with(kPrefix) || !s.ends_with(kSuffix)) return false;
    s.remove_prefix(kPrefix.size());
    s.remove_suffix(kSuffix.size());
    const size_t dash = s.find('-');
    return dash != std::string_view::npos && AllDigits(s.substr(0, dash), kMostPidDigits) &&
           AllDigits(s.substr(dash + 1), kMostCounterDigits);
}

TemporaryLock LockTemporary(int fd) { return TryLock(fd, true); }

void RemoveStaleTemporaries(const std::string& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (!IsTemporaryName(path.filename().string())) continue;
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {}, named {};
        if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
        if (TryLock(fd.get(), false) != TemporaryLock::kHeld) continue;  // a live writer's, or nothing can tell
        // Locked here, the file is no live writer's; the name is removed only while it still leads to it.
        if (::lstat(path.c_str(), &named) == 0 && SameFile(opened, named)) ::unlink(path.c_str());
    }
}

void SweepStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    std::error_code ec;
    const std::string key = std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(ec ? folder : key).second) return;
    }
    RemoveStaleTemporaries(folder);
}

}  // namespace tarvex
