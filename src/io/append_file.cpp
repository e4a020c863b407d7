// Appending to a file opened once: O_APPEND without O_TRUNC, so nothing it held is ever lost.
#include "io/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvex {

int AppendFile::Open(const std::string& fileName) {
    constexpr int kFlags = O_APPEND | O_CLOEXEC | O_NOCTTY;
    // Opened for reading as well where allowed, so that what the file holds can be looked at. A file
    // made by another between the two opens is opened again as an existing one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        fd_ = FileDescriptor(::open(fileName.c_str(), O_RDWR | kFlags));
        if (!fd_.valid() && errno == EACCES) fd_ = FileDescriptor(::open(fileName.c_str(), O_WRONLY | kFlags));
        existed_ = fd_.valid();
        if (fd_.valid()) return 0;
        if (errno != ENOENT) return errno;
        fd_ = FileDescriptor(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | kFlags, 0666));
        if (fd_.valid()) return 0;
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

Bytes AppendFile::Head(size_t n) const {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    Bytes head(n);
    const ssize_t got = ::pread(fd_.get(), head.data(), n, 0);
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return head;
}

int AppendFile::Append(ByteSpan bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        done += static_cast<size_t>(put);
    }
    return 0;
}

}  // namespace tarvex
