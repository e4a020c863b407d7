// The one place where the format code touches files: whole-file loading within a size limit, and
// saving that puts a whole file in place in one step, so a target is always either the old file or the new
// one, and is replaced only when the caller says so.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/bytes.h"
#include "io/size_limit.h"

namespace tarvex {

// A file (not a folder) is there, reached through any symbolic links.
bool FileExists(const std::string& fileName);
// Anything at all has the name: a file, a folder, a symbolic link (even one that leads nowhere).
bool NameTaken(const std::string& fileName);

// The whole file; throws IoError with the reason when it cannot be read. A folder is refused with the
// system's reason, a regular file longer than the limit before it is read, and a source of unknown
// length (pipe, device, /proc file) as soon as it has given one byte more than the limit.
Bytes ReadWholeFile(const std::string& fileName, const FileSizeLimit& limit = kAnyFileLimit);

// The same, with the limit chosen from the file's first headBytes bytes (fewer when the file is shorter),
// so that a file whose content names its format is held to that format's limit. The file is read once.
using LimitForHead = std::function<const FileSizeLimit&(ByteSpan head)>;
Bytes ReadWholeFile(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor);

// At most n bytes from the start of the file; throws IoError with the reason when it cannot be read.
Bytes ReadFileHead(const std::string& fileName, size_t n);
// Leaves the elements a vector grows by as the memory held them: the bytes of a file are read over them
// at once, so zeroing them first would write every byte twice.
template <class T>
struct UnzeroedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnzeroedAllocator<U>;
    };
    UnzeroedAllocator() = default;
    template <class U>
    UnzeroedAllocator(const UnzeroedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using FileBuffer = std::vector<uint8_t, UnzeroedAllocator<uint8_t>>;

// ReadWholeFile, the same bytes and the same refusals, into a buffer that is not zeroed first.
FileBuffer ReadWholeFileUnzeroed(const std::string& fileName, const FileSizeLimit& limit = kAnyFileLimit);
FileBuffer ReadWholeFileUnzeroed(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor);

// Where a reader would put a regular file's bytes itself: given the file's size, the places for every
// byte of it in order (true), or false to have the file read into a buffer.
using PlacesFor = std::function<bool(uint64_t size, WritablePieces& places)>;

// ReadWholeFileUnzeroed with the same refusals, except that a regular file for which placesFor gives
// places, after its first bytes have chosen the limit, is read straight into them: `placed` is then
// true and the buffer empty. A file found meanwhile to be shorter or longer than its size said is read
// into the buffer after all (placed false), from its start.
FileBuffer ReadWholeFileOrPlace(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor,
                                const PlacesFor& placesFor, bool& placed);

// How a save puts whole blocks of zero bytes into the new file: written like all others, or skipped
// after the file is given its length, so that they read as zeros and a file system with holes stores
// nothing for them. The file's bytes are the same either way.
enum class ZeroBlocks { Written, Skipped };

// What a save does when its name is already taken, by a file, a folder or a link (even one that leads
// nowhere): replace it, or keep it and throw NameTakenError.
enum class IfNameTaken { kReplace, kKeep };

// Writes the bytes as an unnamed file of the target folder (a named temporary where the file system
// cannot) and puts it in place once complete. A replacement is made durable first, keeps the permissions
// of the file it replaces and takes its place by one rename: a crash leaves the old file or the new one.
// A save that keeps what it finds never replaces anything, on any file system: the new file takes its
// name by a hard link or by a rename that refuses to replace, and where the file system can do neither
// it is created exclusively under its own name. The hidden temporary names (io/temporary_names.h) exist
// only between writing and renaming; those of killed writers are removed when the folder is next written.
// Throws IoError with the system's reason.
void SaveFileAtomic(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks = ZeroBlocks::Skipped,
                    IfNameTaken ifTaken = IfNameTaken::kReplace);
// The same for an image given as runs of bytes kept elsewhere, written one after the other.
void SavePiecesAtomic(const std::string& fileName, const ImagePieces& pieces,
                      ZeroBlocks zeroBlocks = ZeroBlocks::Skipped, IfNameTaken ifTaken = IfNameTaken::kReplace);

// SavePiecesAtomic for file systems without unnamed files, which it falls back to: the bytes go into a
// hidden temporary, locked from its creation, that then takes the target's name.
void SaveThroughNamedTemporary(const std::string& fileName, const ImagePieces& pieces, ZeroBlocks zeroBlocks,
                               IfNameTaken ifTaken);

// Standard input read to its end, refused one byte past the limit; throws IoError with the reason.
Bytes ReadStandardInput(const FileSizeLimit& limit = kAnyFileLimit);
// Writes all the bytes to standard output; throws IoError with the reason.
void WriteStandardOutput(ByteSpan bytes);

}  // namespace tarvex
