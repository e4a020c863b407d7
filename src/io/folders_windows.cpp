// The Windows twin of folders.cpp: the standard library takes a narrow name in the ANSI code page, so the
// folder is handed over in wide characters.
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "io/folders.h"
#include "io/wide_text_windows.h"

namespace tarvex {

std::optional<std::string> CreateFolders(const std::string& folder) {
    const std::filesystem::path path(Wide(folder));
    std::error_code created, checked;
    std::filesystem::create_directories(path, created);
    if (!created || std::filesystem::is_directory(path, checked)) return std::nullopt;
    // Standard library errors on Windows carry the system's error number in the system category.
    if (created.category() == std::system_category()) return ReasonOf(static_cast<DWORD>(created.value()));
    return ReasonOfErrno(created.value());
}

}  // namespace tarvex
