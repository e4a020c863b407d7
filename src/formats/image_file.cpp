#include "formats/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "formats/byte_reader.h"
#include "formats/sector_dump.h"
#include "formats/temporary_names.h"
#include "i18n/translate.h"

namespace tarvex {

namespace {

// A source of unknown length is read in steps of at least this much.
constexpr size_t kReadStep = 64 * 1024;
// Runs of zero bytes are left unwritten in whole blocks of this size: a page, and a multiple of the
// block size of common file systems.
constexpr size_t kHoleBlockBytes = 4096;

std::string SystemReason(const char* what, const std::string& fileName, int err) {
    return Fill(Tr(what), {fileName}) + ": " + std::strerror(err);
}


class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Reads into bytes from position got until n bytes are there or the source ends; returns the new count.
template <class Buffer>
size_t ReadInto(int fd, const std::string& fileName, Buffer& bytes, size_t got, size_t n) {
    while (got < n) {
        const ssize_t r = ::read(fd, bytes.data() + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw IoError(SystemReason(TrMark("Cannot read file \"%s\""), fileName, errno));
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return got;
}

// Reads to the end or to one byte past the limit, whichever comes first, after the `got` bytes already
// in `bytes`. A regular file is read into a buffer one byte larger than its size, so the read that finds
// the end needs no larger buffer; a file that grows meanwhile, and a source of unknown length, grow the
// buffer step by step. For the latter the whole limit is reserved at once: the system hands out its
// pages only as they are filled, and the buffer is never copied.
template <class Buffer>
Buffer ReadAtMost(int fd, const std::string& fileName, uint64_t knownSize, const FileSizeLimit& limit, Buffer bytes,
                  size_t got) {
    const size_t cap = static_cast<size_t>(limit.maxBytes) + 1;
    if (knownSize == 0) bytes.reserve(cap);
    bytes.resize(std::max<size_t>(got, std::min<uint64_t>(knownSize > 0 ? knownSize + 1 : kReadStep, cap)));
    for (;;) {
        got = ReadInto(fd, fileName, bytes, got, bytes.size());
        if (got < bytes.size() || got >= cap) break;  // the end, or one byte past the limit
        bytes.resize(std::min(cap, got + std::max(got, kReadStep)));
    }
    if (got > limit.maxBytes)
        throw IoError(TooLargeText(limit, Fill(Tr("more than %s bytes"), {std::to_string(limit.maxBytes)})));
    bytes.resize(got);
    return bytes;
}

}  // namespace

bool FileExists(const std::string& fileName) {
    struct stat st {};
    return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {

// Opened without waiting, so that a named pipe nobody writes to cannot hold the open up; reads wait again
// as usual. A folder is refused with the system's reason. knownSize: the size of a regular file, else 0.
FileDescriptor OpenForReading(const std::string& fileName, uint64_t& knownSize) {
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) throw IoError(SystemReason(TrMark("Cannot open file \"%s\""), fileName, errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw IoError(SystemReason(TrMark("Cannot read file \"%s\""), fileName, errno));
    if (S_ISDIR(st.st_mode)) throw IoError(std::strerror(EISDIR));
    knownSize = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    if (const int flags = ::fcntl(fd.get(), F_GETFL); flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw IoError(SystemReason(TrMark("Cannot read file \"%s\""), fileName, errno));
    return fd;
}

template <class Buffer>
Buffer ReadWhole(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor) {
    uint64_t size = 0;
    FileDescriptor fd = OpenForReading(fileName, size);
    Buffer bytes(headBytes);
    const size_t got = ReadInto(fd.get(), fileName, bytes, 0, headBytes);
    const FileSizeLimit& limit = limitFor(ByteSpan(bytes.data(), got));
    RefuseOversizeImage(size, limit);
    return ReadAtMost(fd.get(), fileName, size, limit, std::move(bytes), got);
}

LimitForHead FixedLimit(const FileSizeLimit& limit) {
    return [&limit](ByteSpan) -> const FileSizeLimit& { return limit; };
}

}  // namespace

Bytes ReadWholeFile(const std::string& fileName, const FileSizeLimit& limit) {
    return ReadWhole<Bytes>(fileName, 0, FixedLimit(limit));
}

Bytes ReadWholeFile(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor) {
    return ReadWhole<Bytes>(fileName, headBytes, limitFor);
}

FileBuffer ReadWholeFileUnzeroed(const std::string& fileName, const FileSizeLimit& limit) {
    return ReadWhole<FileBuffer>(fileName, 0, FixedLimit(limit));
}

FileBuffer ReadWholeFileUnzeroed(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor) {
    return ReadWhole<FileBuffer>(fileName, headBytes, limitFor);
}

Bytes ReadFileHead(const std::string& fileName, size_t n) {
    uint64_t size = 0;
    FileDescriptor fd = OpenForReading(fileName, size);
    Bytes bytes(n);
    bytes.resize(ReadInto(fd.get(), fileName, bytes, 0, n));
    return bytes;
}

namespace {

// Writes the bytes at the given position of the file; false with the error when it cannot.
bool WriteAllAt(int fd, ByteSpan bytes, off_t at, int& err) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
        if (put < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

// A block is all zero when its first byte is and every byte equals the one before it.
bool AllZero(ByteSpan block) {
    return block.empty() || (block[0] == 0 && std::memcmp(block.data(), block.data() + 1, block.size() - 1) == 0);
}

// The block starting at `at`; the last one may be shorter.
ByteSpan BlockAt(ByteSpan bytes, size_t at) { return bytes.subspan(at, std::min(kHoleBlockBytes, bytes.size() - at)); }

// The file gets its full length first, which reads as zeros, and then the runs of blocks that hold
// anything else; a file system that keeps holes allocates and copies nothing for the zero blocks. One
// that cannot set the length of a file gets every byte written.
bool WriteSkippingZeroBlocks(int fd, ByteSpan bytes, int& err) {
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) return WriteAllAt(fd, bytes, 0, err);
    for (size_t at = 0; at < bytes.size(); at += kHoleBlockBytes) {
        if (AllZero(BlockAt(bytes, at))) continue;
        size_t end = at + kHoleBlockBytes;
        while (end < bytes.size() && !AllZero(BlockAt(bytes, end))) end += kHoleBlockBytes;
        end = std::min(end, bytes.size());
        if (!WriteAllAt(fd, bytes.subspan(at, end - at), static_cast<off_t>(at), err)) return false;
        at = end;  // the block there is all zero, or past the end
    }
    return true;
}

// Writes the bytes into an empty file.
bool WriteAll(int fd, ByteSpan bytes, ZeroBlocks zeroBlocks, int& err) {
    if (zeroBlocks == ZeroBlocks::Skipped) return WriteSkippingZeroBlocks(fd, bytes, err);
    return WriteAllAt(fd, bytes, 0, err);
}

std::string FolderOf(const std::string& fileName) {
    const std::string folder = std::filesystem::path(fileName).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Gives the existing file's permissions to the replacement and makes its bytes durable before they
// replace the old ones. Returns 0 or the error.
int PrepareReplacement(int fd, const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    return ::fsync(fd) == 0 ? 0 : errno;
}

enum class Unnamed { Saved, Unsupported };

#ifdef O_TMPFILE
// Links the unnamed file under a hidden temporary name and renames that over the target: the only moment
// a temporary name exists. Unsupported when the file cannot be linked by its descriptor (no /proc, say):
// the named path then tries again and reports what fails.
Unnamed ReplaceByUnnamed(int fd, const std::string& fileName) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    std::string temp;
    int linked;
    do {
        temp = TemporaryNameBeside(fileName);
        linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW);
    } while (linked != 0 && errno == EEXIST);
    if (linked != 0) return Unnamed::Unsupported;
    if (::rename(temp.c_str(), fileName.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw IoError(SystemReason(TrMark("Cannot write file \"%s\""), fileName, err));
    }
    return Unnamed::Saved;
}

// The bytes go into an unnamed file of the target folder. A new file is linked under its name once
// complete: a crash leaves nothing behind, and the folder changes once instead of twice (create, rename),
// which matters when several conversions write into one folder. A replacement is first made durable.
Unnamed SaveUnnamed(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks) {
    FileDescriptor fd(::open(FolderOf(fileName).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.get() < 0) return Unnamed::Unsupported;  // the named path reports a real error with its reason
    if (int err = 0; !WriteAll(fd.get(), bytes, zeroBlocks, err))
        throw IoError(SystemReason(TrMark("Cannot write file \"%s\""), fileName, err));
    if (::access(fileName.c_str(), F_OK) != 0) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) == 0) return Unnamed::Saved;
        if (errno != EEXIST) return Unnamed::Unsupported;
        // Created by someone else meanwhile: replaced like any existing file.
    }
    if (const int err = PrepareReplacement(fd.get(), fileName); err != 0)
        throw IoError(SystemReason(TrMark("Cannot write file \"%s\""), fileName, err));
    return ReplaceByUnnamed(fd.get(), fileName);
}
#else
Unnamed SaveUnnamed(const std::string&, ByteSpan, ZeroBlocks) { return Unnamed::Unsupported; }
#endif

// Where unnamed files are not supported: a hidden temporary beside the target, renamed over it.
void SaveThroughNamedTemporary(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks) {
    const bool replacing = ::access(fileName.c_str(), F_OK) == 0;
    const std::string temp = TemporaryNameBeside(fileName);
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) throw IoError(SystemReason(TrMark("Cannot create file \"%s\""), fileName, errno));
    auto fail = [&](int err) {
        if (fd.get() >= 0) ::close(fd.release());
        ::unlink(temp.c_str());
        throw IoError(SystemReason(TrMark("Cannot write file \"%s\""), fileName, err));
    };
    if (int err = 0; !WriteAll(fd.get(), bytes, zeroBlocks, err)) fail(err);
    if (replacing)
        if (const int err = PrepareReplacement(fd.get(), fileName); err != 0) fail(err);
    if (::close(fd.release()) != 0) fail(errno);
    if (::rename(temp.c_str(), fileName.c_str()) != 0) fail(errno);
}

}  // namespace

void SaveFileAtomic(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks) {
    SweepStaleTemporaries(FolderOf(fileName));
    if (SaveUnnamed(fileName, bytes, zeroBlocks) == Unnamed::Saved) return;
    SaveThroughNamedTemporary(fileName, bytes, zeroBlocks);
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
