// Folders made through the standard library, which takes the program's names as the system's bytes.
#include "io/folders.h"

#include <filesystem>
#include <system_error>

namespace tarvex {

std::optional<std::string> CreateFolders(const std::string& folder) {
    std::error_code created, checked;
    std::filesystem::create_directories(folder, created);
    if (created && !std::filesystem::is_directory(folder, checked)) return created.message();
    return std::nullopt;
}

}  // namespace tarvex
