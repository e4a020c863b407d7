// A text file that lines are only ever added to, such as a run log: opened once, created when missing,
// never cut short, and not handed to programs this one starts.
#pragma once

#include <optional>
#include <string>

#include "io/bytes.h"
#include "io/file_descriptor.h"
#include "io/file_identity.h"

namespace tarvex {

class AppendFile {
public:
    // 0, or the system's error.
    int Open(const std::string& fileName);
    bool IsOpen() const { return fd_.valid(); }
    void Close() { fd_ = FileDescriptor(); }
    std::optional<FileIdentity> Identity() const { return IdentityOf(fd_.get()); }
    // Whether the file existed before Open.
    bool Existed() const { return existed_; }
    // The first n bytes of a regular file (fewer when it is shorter, none when it cannot be read).
    Bytes Head(size_t n) const;
    // 0, or the system's error.
    int Append(ByteSpan bytes);

private:
    FileDescriptor fd_;
    bool existed_ = false;
};

}  // namespace tarvex
