// Whole-file reading within a size limit, straight into the disk where a reader can take it; saving through
// an unnamed file (or a hidden temporary name) put in place once complete, replacing the target only when
// told to; standard input and output.
#include "io/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "io/byte_reader.h"
#include "io/file_descriptor.h"
#include "io/temporary_names.h"
#include "i18n/translate.h"

namespace tarvex {

namespace {

// A source of unknown length is read in steps of at least this much.
constexpr size_t kReadStep = 64 * 1024;
// Runs of zero bytes are left unwritten in whole blocks of this size: a page, and a multiple of the
// block size of common file systems.
constexpr size_t kHoleBlockBytes = 4096;
// The most parts one vectored read or write takes (IOV_MAX on the systems we know).
constexpr size_t kMostParts = 1024;

// Moves parts[first..] past `done` bytes just read or written; returns the first part not finished.
size_t PastDone(std::vector<iovec>& parts, size_t first, size_t done) {
    while (done > 0) {
        const size_t step = std::min(done, parts[first].iov_len);
        parts[first].iov_base = static_cast<uint8_t*>(parts[first].iov_base) + step;
        parts[first].iov_len -= step;
        done -= step;
        if (parts[first].iov_len == 0) ++first;
    }
    while (first < parts.size() && parts[first].iov_len == 0) ++first;
    return first;
}

std::string SystemReason(const char* what, const std::string& fileName, int err) {
    return Fill(Tr(what), {fileName}) + ": " + std::strerror(err);
}


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

bool NameTaken(const std::string& fileName) {
    struct stat st {};
    return !fileName.empty() && ::lstat(fileName.c_str(), &st) == 0;
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

// Fills the places with the file's bytes: the first ones are `head`, already read from its start, the rest
// are read from the file after them. True when the file held exactly the places' bytes: it ended where they
// end. The file position stays where it was.
bool ReadIntoPlaces(int fd, const std::string& fileName, ByteSpan head, const WritablePieces& places) {
    std::vector<iovec> parts;
    size_t skip = head.size();
    for (std::span<uint8_t> place : places) {
        const size_t copied = std::min(skip, place.size());
        std::memcpy(place.data(), head.data() + (head.size() - skip), copied);
        skip -= copied;
        if (copied < place.size()) parts.push_back({place.data() + copied, place.size() - copied});
    }
    off_t at = static_cast<off_t>(head.size());
    for (size_t first = 0; first < parts.size();) {
        const int count = static_cast<int>(std::min(parts.size() - first, kMostParts));
        const ssize_t got = ::preadv(fd, &parts[first], count, at);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw IoError(SystemReason(TrMark("Cannot read file \"%s\""), fileName, errno));
        }
        if (got == 0) return false;  // shorter than its size said
        at += got;
        first = PastDone(parts, first, static_cast<size_t>(got));
    }
    uint8_t past = 0;
    for (;;) {
        const ssize_t more = ::pread(fd, &past, 1, at);
        if (more >= 0) return more == 0;  // a byte after them: the file grew
        if (errno != EINTR) throw IoError(SystemReason(TrMark("Cannot read file \"%s\""), fileName, errno));
    }
}

template <class Buffer>
Buffer ReadWhole(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor,
                 const PlacesFor& placesFor = {}, bool* placed = nullptr) {
    uint64_t size = 0;
    FileDescriptor fd = OpenForReading(fileName, size);
    Buffer bytes(headBytes);
    const size_t got = ReadInto(fd.get(), fileName, bytes, 0, headBytes);
    const FileSizeLimit& limit = limitFor(ByteSpan(bytes.data(), got));
    RefuseOversizeImage(size, limit);
    if (placesFor && size >= got && size > 0) {
        WritablePieces places;
        const auto room = [&places] {
            uint64_t total = 0;
            for (std::span<uint8_t> place : places) total += place.size();
            return total;
        };
        if (placesFor(size, places) && room() == size &&
            ReadIntoPlaces(fd.get(), fileName, ByteSpan(bytes.data(), got), places)) {
            *placed = true;
            return Buffer();
        }
    }
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

FileBuffer ReadWholeFileOrPlace(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor,
                                const PlacesFor& placesFor, bool& placed) {
    placed = false;
    return ReadWhole<FileBuffer>(fileName, headBytes, limitFor, placesFor, &placed);
}

Bytes ReadFileHead(const std::string& fileName, size_t n) {
    uint64_t size = 0;
    FileDescriptor fd = OpenForReading(fileName, size);
    Bytes bytes(n);
    bytes.resize(ReadInto(fd.get(), fileName, bytes, 0, n));
    return bytes;
}

Bytes ReadStandardInput(const FileSizeLimit& limit) {
    const std::string name = Tr("standard input");
    struct stat st {};
    const bool regular = ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode);
    const uint64_t size = regular ? static_cast<uint64_t>(st.st_size) : 0;
    RefuseOversizeImage(size, limit);
    return ReadAtMost(STDIN_FILENO, name, size, limit, Bytes(), 0);
}

void WriteStandardOutput(ByteSpan bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) throw IoError(Tr("Cannot write to standard output") + ": " + std::strerror(errno));
        done += static_cast<size_t>(put);
    }
}

namespace {

// The runs of bytes to write at one place of the file, gathered for one system call.
class WriteRun {
public:
    bool Empty() const { return parts_.empty(); }
    void Start(off_t at) { at_ = at; }
    void Add(ByteSpan bytes) {
        if (bytes.empty()) return;
        auto* data = const_cast<uint8_t*>(bytes.data());
        if (!parts_.empty() && static_cast<uint8_t*>(parts_.back().iov_base) + parts_.back().iov_len == data)
            parts_.back().iov_len += bytes.size();
        else
            parts_.push_back({data, bytes.size()});
    }
    bool Full() const { return parts_.size() >= kMostParts; }

    // Writes the run at its place and empties it; false with the error when it cannot.
    bool Write(int fd, int& err) {
        size_t first = 0;
        off_t at = at_;
        while (first < parts_.size()) {
            const int count = static_cast<int>(std::min(parts_.size() - first, kMostParts));
            const ssize_t put = ::pwritev(fd, &parts_[first], count, at);
            if (put < 0) {
                if (errno == EINTR) continue;
                err = errno;
                return false;
            }
            at += put;
            first = PastDone(parts_, first, static_cast<size_t>(put));
        }
        parts_.clear();
        return true;
    }

private:
    std::vector<iovec> parts_;
    off_t at_ = 0;
};

// A run is all zero when its first byte is and every byte equals the one before it.
bool AllZero(ByteSpan bytes) {
    return bytes.empty() || (bytes[0] == 0 && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0);
}

// Writes the image, the pieces one after the other, into an empty file. With zero blocks skipped the file
// first gets its full length, which reads as zeros, and then every block of kHoleBlockBytes that holds
// anything else; a file system that keeps holes allocates and copies nothing for the zero blocks. One
// that cannot set the length of a file gets every byte written.
bool WriteAll(int fd, const ImagePieces& pieces, ZeroBlocks zeroBlocks, int& err) {
    size_t total = 0;
    for (ByteSpan piece : pieces) total += piece.size();
    const bool skipping = zeroBlocks == ZeroBlocks::Skipped && ::ftruncate(fd, static_cast<off_t>(total)) == 0;
    WriteRun run;
    std::vector<ByteSpan> block;  // the parts of the pieces one block of the file is made of
    size_t piece = 0;
    size_t within = 0;
    for (size_t at = 0; at < total;) {
        block.clear();
        size_t blockBytes = 0;
        bool zero = skipping;
        while (blockBytes < kHoleBlockBytes && piece < pieces.size()) {
            const size_t step = std::min(kHoleBlockBytes - blockBytes, pieces[piece].size() - within);
            const ByteSpan part = pieces[piece].subspan(within, step);
            zero = zero && AllZero(part);
            block.push_back(part);
            blockBytes += step;
            within += step;
            if (within == pieces[piece].size()) ++piece, within = 0;
        }
        if (zero) {
            if (!run.Empty() && !run.Write(fd, err)) return false;
        } else {
            if (run.Empty()) run.Start(static_cast<off_t>(at));
            for (ByteSpan part : block) run.Add(part);
            if (run.Full() && !run.Write(fd, err)) return false;
        }
        at += blockBytes;
    }
    return run.Empty() || run.Write(fd, err);
}

std::string FolderOf(const std::string& fileName) {
    const std::string folder = std::filesystem::path(fileName).parent_path().string();
    return folder.empty() ? "." : folder;
}

const char* const kCannotCreate = TrMark("Cannot create file \"%s\"");
const char* const kCannotWrite = TrMark("Cannot write file \"%s\"");

// The failure of a step of saving fileName; a name found taken is a NameTakenError.
[[noreturn]] void FailSaving(const char* what, const std::string& fileName, int err) {
    if (err == EEXIST) throw NameTakenError(SystemReason(what, fileName, err));
    throw IoError(SystemReason(what, fileName, err));
}

// The file system makes no hard links (FAT, most network shares) or cannot rename without replacing.
bool CannotLinkHere(int err) { return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EINVAL; }

// Gives the existing file's permissions to the replacement and makes its bytes durable before they
// replace the old ones. Returns 0 or the error.
int PrepareReplacement(int fd, const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    return ::fsync(fd) == 0 ? 0 : errno;
}

enum class Unnamed { Saved, Unsupported };

#ifdef O_TMPFILE
// Gives the unnamed file a name, never replacing one: 0, or the error. By its descriptor where the system
// lets the file's opener do that, otherwise through the descriptor's entry in /proc.
int LinkUnnamed(int fd, const std::string& name) {
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL) return errno;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Links the unnamed file under a hidden temporary name, locked first, and renames that over the target:
// the only moment a temporary name exists. Unsupported when the file cannot be linked by its descriptor
// (no /proc, say): the named path then tries again and reports what fails.
Unnamed ReplaceByUnnamed(int fd, const std::string& fileName) {
    LockTemporary(fd);
    std::string temp;
    int linked;
    do {
        temp = TemporaryNameBeside(fileName);
        linked = LinkUnnamed(fd, temp);
    } while (linked == EEXIST);
    if (linked != 0) return Unnamed::Unsupported;
    if (::rename(temp.c_str(), fileName.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        FailSaving(kCannotWrite, fileName, err);
    }
    return Unnamed::Saved;
}

// The bytes go into an unnamed file of the target folder, linked under its name once complete: a crash
// leaves nothing behind, and the folder changes once instead of twice (create, rename), which matters when
// several conversions write into one folder. The link fails on a taken name, which is then kept or, made
// durable first, replaced.
Unnamed SaveUnnamed(const std::string& fileName, const ImagePieces& bytes, ZeroBlocks zeroBlocks,
                    IfNameTaken ifTaken) {
    FileDescriptor fd(::open(FolderOf(fileName).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!fd.valid()) return Unnamed::Unsupported;  // the named path reports a real error with its reason
    if (int err = 0; !WriteAll(fd.get(), bytes, zeroBlocks, err)) FailSaving(kCannotWrite, fileName, err);
    const int linked = LinkUnnamed(fd.get(), fileName);
    if (linked == 0) return Unnamed::Saved;
    if (linked != EEXIST) return Unnamed::Unsupported;
    if (ifTaken == IfNameTaken::kKeep) FailSaving(kCannotCreate, fileName, EEXIST);
    if (const int err = PrepareReplacement(fd.get(), fileName); err != 0) FailSaving(kCannotWrite, fileName, err);
    return ReplaceByUnnamed(fd.get(), fileName);
}
#else
Unnamed SaveUnnamed(const std::string&, const ImagePieces&, ZeroBlocks, IfNameTaken) { return Unnamed::Unsupported; }
#endif

// How often a writer takes a fresh temporary name when the one it made was taken meanwhile.
constexpr int kMostTemporaryNames = 100;

struct NamedTemporary {
    std::string name;
    FileDescriptor fd;
};

bool StillNamed(int fd, const std::string& name) {
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(name.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// A hidden temporary beside fileName, created exclusively and locked. Between its creation and its lock a
// sweep may have taken it for a dead writer's: the sweep then holds the lock or has removed the name, and
// the writer leaves it to the sweep and takes another name.
NamedTemporary CreateNamedTemporary(const std::string& fileName) {
    for (int attempt = 0; attempt < kMostTemporaryNames; ++attempt) {
        NamedTemporary temp{TemporaryNameBeside(fileName), FileDescriptor()};
        temp.fd = FileDescriptor(::open(temp.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!temp.fd.valid() && errno == EEXIST) continue;
        if (!temp.fd.valid()) throw IoError(SystemReason(kCannotCreate, fileName, errno));
        if (LockTemporary(temp.fd.get()) != TemporaryLock::kHeldElsewhere && StillNamed(temp.fd.get(), temp.name))
            return temp;
    }
    throw IoError(SystemReason(kCannotCreate, fileName, EEXIST));
}

// The last resort of a file system that neither links nor renames without replacing: the file is created
// exclusively under its own name and written there; a failing write removes it again.
void WriteExclusively(const std::string& fileName, const ImagePieces& bytes, ZeroBlocks zeroBlocks) {
    FileDescriptor fd(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid()) FailSaving(kCannotCreate, fileName, errno);
    int err = 0;
    if (WriteAll(fd.get(), bytes, zeroBlocks, err) && ::fsync(fd.get()) == 0) return;
    if (err == 0) err = errno;
    ::unlink(fileName.c_str());
    FailSaving(kCannotWrite, fileName, err);
}

// Gives the complete temporary the target's name unless the name is taken: by a hard link, else by a rename
// that refuses to replace, else by writing the bytes once more, exclusively, under the target's name.
void PlaceWithoutReplacing(const NamedTemporary& temp, const std::string& fileName, const ImagePieces& bytes,
                           ZeroBlocks zeroBlocks) {
    int err = ::link(temp.name.c_str(), fileName.c_str()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
    if (CannotLinkHere(err)) {
        if (::renameat2(AT_FDCWD, temp.name.c_str(), AT_FDCWD, fileName.c_str(), RENAME_NOREPLACE) == 0) return;
        err = errno;
    }
#endif
    ::unlink(temp.name.c_str());
    if (err == 0) return;
    if (!CannotLinkHere(err)) FailSaving(kCannotCreate, fileName, err);
    WriteExclusively(fileName, bytes, zeroBlocks);
}

}  // namespace

void SaveThroughNamedTemporary(const std::string& fileName, const ImagePieces& bytes, ZeroBlocks zeroBlocks,
                               IfNameTaken ifTaken) {
    const NamedTemporary temp = CreateNamedTemporary(fileName);
    auto fail = [&](const char* what, int err) {
        ::unlink(temp.name.c_str());
        FailSaving(what, fileName, err);
    };
    // The lock is held until the temporary's name is gone, so the descriptor stays open until then; the
    // bytes are made durable first, which also brings out any error a network file system keeps for close.
    if (int err = 0; !WriteAll(temp.fd.get(), bytes, zeroBlocks, err)) fail(kCannotWrite, err);
    if (ifTaken == IfNameTaken::kReplace) {
        if (const int err = PrepareReplacement(temp.fd.get(), fileName); err != 0) fail(kCannotWrite, err);
        if (::rename(temp.name.c_str(), fileName.c_str()) != 0) fail(kCannotWrite, errno);
        return;
    }
    if (::fsync(temp.fd.get()) != 0) fail(kCannotWrite, errno);
    PlaceWithoutReplacing(temp, fileName, bytes, zeroBlocks);
}

void SavePiecesAtomic(const std::string& fileName, const ImagePieces& pieces, ZeroBlocks zeroBlocks,
                      IfNameTaken ifTaken) {
    SweepStaleTemporaries(FolderOf(fileName));
    if (SaveUnnamed(fileName, pieces, zeroBlocks, ifTaken) == Unnamed::Saved) return;
    SaveThroughNamedTemporary(fileName, pieces, zeroBlocks, ifTaken);
}

void SaveFileAtomic(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks, IfNameTaken ifTaken) {
    SavePiecesAtomic(fileName, ImagePieces{bytes}, zeroBlocks, ifTaken);
}

}  // namespace tarvex
