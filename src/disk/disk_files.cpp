// The common frame of the disk's Load* and Save* operations: the file checks, the whole file read, the
// atomic save.
#include "disk/zx_disk.h"
#include "io/image_file.h"

namespace tarvex {

bool TZX_Disk::LoadWith(const std::string& fileName, bool (TZX_Disk::*parse)(ByteSpan)) {
    if (fileName.empty() || !FileExists(fileName)) return false;
    Bytes bytes = ReadWholeFile(fileName);
    return (this->*parse)(bytes);
}

bool TZX_Disk::SaveWith(const std::string& fileName, bool (TZX_Disk::*build)(Bytes&)) {
    Bytes out;
    if (!(this->*build)(out)) return false;
    SaveFileAtomic(fileName, out);
    return true;
}

}  // namespace tarvex
