// Where the program keeps log.txt and its default DiskImage folder: beside the executable when the user may
// write there, else in the user's data folder, made on first use.
#include "gui/program_folder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>

namespace tarvex::gui {

namespace {
std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}
}  // namespace

std::string ChooseProgramFolder(const std::string& executableFolder, bool executableFolderWritable,
                                const std::string& xdgDataHome, const std::string& home) {
    if (executableFolderWritable && !executableFolder.empty()) return WithSeparator(executableFolder);
    std::string data = xdgDataHome;
    if (data.empty() || data.front() != '/') data = (home.empty() ? std::string(".") : home) + "/.local/share";
    return WithSeparator(data) + "tarvex/";
}

std::string ProgramFolder() {
    const std::string exe = QCoreApplication::applicationDirPath().toStdString();
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string folder =
        ChooseProgramFolder(exe, !exe.empty() && ::access(exe.c_str(), W_OK) == 0, xdg ? xdg : "", home ? home : "");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

}  // namespace tarvex::gui
