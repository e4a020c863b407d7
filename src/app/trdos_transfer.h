// TR-DOS files between a disk image and the host's files, the same for every face: the files of the
// catalogue written into a folder (Hobeta or plain data), host files put on the disk, a new empty disk, and
// a changed disk written back through its format's writer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disk/zx_disk.h"
#include "io/image_file.h"
#include "io/status.h"
#include "trdos/host_files.h"
#include "trdos/trdos_files.h"

namespace tarvex {

struct ExtractedFile {
    unsigned index = 0;  // the catalogue position
    std::string output;  // the host file written, or not
    Status status;       // a NameTaken status: the output was there and kept
};

// Writes the files at the catalogue positions into the folder under UniqueHostFileNames's names, each
// atomically; an existing file is replaced only with kReplace.
std::vector<ExtractedFile> ExtractTrdosFiles(const TZX_Disk& disk, const TrdosCatalogue& catalogue,
                                             const std::vector<unsigned>& indexes, const std::string& folder,
                                             bool hobeta, IfNameTaken ifTaken);

// How host files go onto a disk.
struct AddOptions {
    bool plain = false;  // read every file as plain data, Hobeta names too
    PlainFileFields fields;
    IfFileExists ifExists = IfFileExists::kRefuse;
};

// Reads the host file and adds it to the disk; a failure names the file.
Status AddHostFile(TZX_Disk& disk, const std::string& path, const AddOptions& options);

// The image's format as it was read, and whether a TD0 was compressed, so that it is written back the same.
struct ImageKind {
    int format = -1;
    bool compressed = false;
};
// How an image of the format, read from path, is written back.
ImageKind KindOfImage(const std::string& path, int format);
// Reads the image into the disk and says how it is to be written back.
Status ReadImageForChange(TZX_Disk& disk, const std::string& path, std::optional<int> forced, ImageKind& kind);

// Writes the disk to path in the format, atomically, replacing what is there only with kReplace.
Status WriteChangedImage(TZX_Disk& disk, const std::string& path, const ImageKind& kind, IfNameTaken ifTaken);

}  // namespace tarvex
