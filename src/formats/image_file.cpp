#include "formats/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "formats/byte_reader.h"

namespace tarvex {

namespace {

std::string SystemReason(const std::string& what, const std::string& fileName, int err) {
    return what + " \"" + fileName + "\": " + std::strerror(err);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string TemporaryNameBeside(const std::string& fileName) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path target(fileName);
    std::string name = "." + target.filename().string() + ".tarvex-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter.fetch_add(1)) + ".tmp";
    return (target.parent_path() / name).string();
}

}  // namespace

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

Bytes ReadWholeFile(const std::string& fileName) {
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw IoError(SystemReason("Cannot open file", fileName, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw IoError(SystemReason("Cannot read file", fileName, errno));
    if (S_ISDIR(st.st_mode)) throw IoError(SystemReason("Cannot read file", fileName, EISDIR));
    // Read straight into a buffer one byte larger than the file, so that the read which finds the end
    // needs no larger buffer; a file that grows meanwhile is read to its end.
    Bytes bytes(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 0);
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) bytes.resize(bytes.size() + 65536);
        ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw IoError(SystemReason("Cannot read file", fileName, errno));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

namespace {

bool WriteAll(int fd, ByteSpan bytes, int& err) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// A new file is written as an unnamed file of the target folder and linked under its name once complete:
// a crash leaves nothing behind, and the folder is changed once instead of twice (create, rename), which
// matters when several conversions write into one folder. False when the file system cannot do it, the
// name has been taken meanwhile, or the write failed in a way the ordinary path reports better.
bool SaveNewFileUnnamed(const std::string& fileName, ByteSpan bytes) {
#ifdef O_TMPFILE
    std::string folder = std::filesystem::path(fileName).parent_path().string();
    if (folder.empty()) folder = ".";
    FileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.get() < 0) return false;
    int err = 0;
    if (!WriteAll(fd.get(), bytes, err)) return false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) == 0;
#else
    (void)fileName;
    (void)bytes;
    return false;
#endif
}

}  // namespace

void SaveFileAtomic(const std::string& fileName, ByteSpan bytes) {
    const bool replacing = ::access(fileName.c_str(), F_OK) == 0;
    if (!replacing && SaveNewFileUnnamed(fileName, bytes)) return;
    const std::string temp = TemporaryNameBeside(fileName);
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) throw IoError(SystemReason("Cannot create file", fileName, errno));
    auto fail = [&](int err) {
        ::close(fd.release());
        ::unlink(temp.c_str());
        throw IoError(SystemReason("Cannot write file", fileName, err));
    };
    if (int err = 0; !WriteAll(fd.get(), bytes, err)) fail(err);
    if (replacing) {
        // Keep the old file's permissions, and make the new bytes durable before they replace it.
        struct stat st {};
        if (::stat(fileName.c_str(), &st) == 0) ::fchmod(fd.get(), st.st_mode & 07777);
        if (::fsync(fd.get()) != 0) fail(errno);
    }
    if (::close(fd.release()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw IoError(SystemReason("Cannot write file", fileName, err));
    }
    if (::rename(temp.c_str(), fileName.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        throw IoError(SystemReason("Cannot write file", fileName, err));
    }
}

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
