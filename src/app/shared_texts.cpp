// Each text is a fixed sentence with the path or name in straight double quotes and, for failures, the
// reason in brackets.
#include "app/shared_texts.h"

#include "i18n/translate.h"

namespace tarvex::texts {

std::string RunStarted() { return Tr("Conversion started."); }
std::string RunFinished() { return Tr("Conversion finished."); }
std::string OpeningFile(const std::string& path) { return Fill(Tr("Opening file \"%s\""), {path}); }
std::string FileOpened(const std::string& path) { return Fill(Tr("Opened file \"%s\""), {path}); }
std::string LoadFailed(const std::string& path, const std::string& reason) {
    return Fill(Tr("Error loading image \"%s\" (%s)"), {path, reason});
}
std::string CreatingImage(const std::string& path) { return Fill(Tr("Creating image \"%s\""), {path}); }
std::string ImageSaved(const std::string& path) { return Fill(Tr("Image saved to file \"%s\""), {path}); }
std::string OutputExists(const std::string& path) {
    return Fill(Tr("Skipped: file \"%s\" already exists."), {path});
}
std::string SaveFailed(const std::string& path, const std::string& reason) {
    return Fill(Tr("Error creating image \"%s\" (%s)"), {path, reason});
}
std::string AlreadyListed(const std::string& fileName) {
    return Fill(Tr("A file named \"%s\" is already in the list."), {fileName});
}

}  // namespace tarvex::texts
