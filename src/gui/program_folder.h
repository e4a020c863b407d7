// The program's own folder, which holds "log.txt" and is the parent of the default "DiskImage" folder:
// the executable's folder when it is writable, otherwise (an installed program) $XDG_DATA_HOME/tarvex/,
// by default ~/.local/share/tarvex/. Always with a trailing separator.
#pragma once

#include <string>

namespace tarvex::gui {

// The choice itself, from the executable's folder and the environment's values (empty when unset).
std::string ChooseProgramFolder(const std::string& executableFolder, bool executableFolderWritable,
                                const std::string& xdgDataHome, const std::string& home);

// For the running program; creates the data folder when that is the one chosen.
std::string ProgramFolder();

}  // namespace tarvex::gui
