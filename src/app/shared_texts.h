// Texts the window and the command line both give, in the user's language: the run log's lines about the
// run and each file, and the refusal of a second file of the same name.
#pragma once

#include <string>

namespace tarvex::texts {

std::string RunStarted();
std::string RunFinished();
std::string OpeningFile(const std::string& path);
std::string FileOpened(const std::string& path);
std::string LoadFailed(const std::string& path, const std::string& reason);
std::string CreatingImage(const std::string& path);
std::string ImageSaved(const std::string& path);
std::string OutputExists(const std::string& path);
std::string SaveFailed(const std::string& path, const std::string& reason);

// A file whose name is already in the list (or, on the command line, already written into the folder).
std::string AlreadyListed(const std::string& fileName);

}  // namespace tarvex::texts
