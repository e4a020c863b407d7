// Hidden temporary names and the sweep of those left behind by writers that died.
#include "io/temporary_names.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

namespace tarvex {

namespace {

constexpr std::string_view kHiddenPrefix = ".";
constexpr std::string_view kTag = ".tarvex-";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kMostPidDigits = 10;
// The names our programs run under (tarvex, tarvex-cli and the test programs) all begin with it.
constexpr std::string_view kOurProgramPrefix = "tarvex";

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool HasEnded(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

std::string ProcessName(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(fileName);
    const std::string name = std::string(kHiddenPrefix) + target.filename().string() + std::string(kTag) +
                             std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
                             std::string(kSuffix);
    return (target.parent_path() / name).string();
}

std::optional<pid_t> TemporaryNameOwner(const std::string& name) {
    std::string_view s(name);
    if (!s.starts_with(kHiddenPrefix) || !s.ends_with(kSuffix)) return std::nullopt;
    s.remove_prefix(kHiddenPrefix.size());
    s.remove_suffix(kSuffix.size());
    const size_t tag = s.rfind(kTag);
    if (tag == std::string_view::npos || tag == 0) return std::nullopt;  // no target name before the tag
    const std::string_view numbers = s.substr(tag + kTag.size());
    const size_t dash = numbers.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const std::string_view pid = numbers.substr(0, dash);
    if (!AllDigits(pid) || !AllDigits(numbers.substr(dash + 1)) || pid.size() > kMostPidDigits) return std::nullopt;
    const unsigned long long value = std::stoull(std::string(pid));
    if (value == 0 || value > static_cast<unsigned long long>(INT_MAX)) return std::nullopt;
    return static_cast<pid_t>(value);
}

bool OwnerMayBeWriting(pid_t pid) {
    if (pid == ::getpid()) return true;
    if (HasEnded(pid)) return false;
    // The number is in use, but numbers are handed out again once a process has ended: the writer is
    // still there only when the number belongs to one of our programs.
    const std::string name = ProcessName(pid);
    if (name.empty()) return !HasEnded(pid);  // ended meanwhile, or its name is hidden from us
    return name.starts_with(kOurProgramPrefix);
}

void RemoveStaleTemporaries(const std::string& folder) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<pid_t> owner = TemporaryNameOwner(name);
        if (!owner) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!OwnerMayBeWriting(*owner)) ::unlink(it->path().c_str());
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
