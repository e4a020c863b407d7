// Making the folder a run writes into, with the folders above it that are missing.
#pragma once

#include <optional>
#include <string>

namespace tarvex {

// Nothing when the folder is there afterwards (made now or before), else the system's reason.
std::optional<std::string> CreateFolders(const std::string& folder);

}  // namespace tarvex
