// The Windows twin of temporary_names.cpp. A writer's lock is the open handle of its temporary, which
// shares reading and writing with nobody: a sweep that can open the file alone finds no live writer, and
// removes it by closing that handle.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>

#include "io/temporary_names.h"
#include "io/wide_text_windows.h"

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

std::wstring InFolder(const std::string& folder, const std::wstring& name) {
    return folder.empty() ? name : Wide(folder) + L"\\" + name;
}

}  // namespace

std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<unsigned> counter{0};
    const std::string name = std::string(kPrefix) + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(counter.fetch_add(1)) + std::string(kSuffix);
    return Utf8((std::filesystem::path(Wide(fileName)).parent_path() / Wide(name)).native());
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

void RemoveStaleTemporaries(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(InFolder(folder, L".tarvex-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        if (!IsTemporaryName(Utf8(found.cFileName))) continue;
        // Opened alone or not at all; closing the handle removes the file.
        OwnedHandle stale(::CreateFileW(InFolder(folder, found.cFileName).c_str(), GENERIC_READ | DELETE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

void SweepStaleTemporaries(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    std::error_code ec;
    const std::string key =
        Utf8(std::filesystem::absolute(Wide(folder.empty() ? "." : folder), ec).lexically_normal().native());
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(ec ? folder : key).second) return;
    }
    RemoveStaleTemporaries(folder);
}

}  // namespace tarvex
