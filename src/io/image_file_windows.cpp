// The Windows twin of image_file.cpp: whole-file reading within a size limit through wide-character names,
// and saving through a hidden temporary, written through to the disk and shared with nobody who reads or
// writes, that takes the target's name by MoveFileExW once complete: without replacing anything unless told
// to, and with MOVEFILE_WRITE_THROUGH so that the rename too is on the disk when the save returns.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "i18n/translate.h"
#include "io/errors.h"
#include "io/image_file.h"
#include "io/temporary_names.h"
#include "io/wide_text_windows.h"

namespace tarvex {

namespace {

constexpr size_t kReadStep = 64 * 1024;
// ReadFile and WriteFile take at most this many bytes per call.
constexpr size_t kMostPerCall = 1u << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string SystemReason(const char* what, const std::string& fileName, DWORD error) {
    return Fill(Tr(what), {fileName}) + ": " + ReasonOf(error);
}

const char* const kCannotOpen = TrMark("Cannot open file \"%s\"");
const char* const kCannotRead = TrMark("Cannot read file \"%s\"");
const char* const kCannotCreate = TrMark("Cannot create file \"%s\"");
const char* const kCannotWrite = TrMark("Cannot write file \"%s\"");

// Reads into `to` until n bytes are there or the source ends (a pipe whose writer has gone ends it too);
// returns how many came.
size_t ReadUpTo(HANDLE handle, const std::string& fileName, uint8_t* to, size_t n) {
    size_t got = 0;
    while (got < n) {
        DWORD step = 0;
        if (!::ReadFile(handle, to + got, static_cast<DWORD>(std::min(n - got, kMostPerCall)), &step, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;
            throw IoError(SystemReason(kCannotRead, fileName, error));
        }
        if (step == 0) break;
        got += step;
    }
    return got;
}

// As in the POSIX twin: to the end or one byte past the limit, in a buffer sized by the file's size
// where it has one.
template <class Buffer>
Buffer ReadAtMost(HANDLE handle, const std::string& fileName, uint64_t knownSize, const FileSizeLimit& limit,
                  Buffer bytes, size_t got) {
    const size_t cap = static_cast<size_t>(limit.maxBytes) + 1;
    bytes.resize(std::max<size_t>(got, std::min<uint64_t>(knownSize > 0 ? knownSize + 1 : kReadStep, cap)));
    for (;;) {
        got += ReadUpTo(handle, fileName, bytes.data() + got, bytes.size() - got);
        if (got < bytes.size() || got >= cap) break;
        bytes.resize(std::min(cap, got + std::max(got, kReadStep)));
    }
    if (got > limit.maxBytes)
        throw IoError(TooLargeText(limit, Fill(Tr("more than %s bytes"), {std::to_string(limit.maxBytes)})));
    bytes.resize(got);
    return bytes;
}

// A folder is refused with the system's reason; knownSize: the size of a file on a disk, else 0.
OwnedHandle OpenForReading(const std::string& fileName, uint64_t& knownSize) {
    OwnedHandle file(::CreateFileW(Wide(fileName).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) throw IoError(SystemReason(kCannotOpen, fileName, ::GetLastError()));
    knownSize = 0;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return file;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.get(), &info))
        throw IoError(SystemReason(kCannotRead, fileName, ::GetLastError()));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw IoError(ReasonOfErrno(EISDIR));
    knownSize = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return file;
}

// Fills the places with the file's bytes after `head`, already read from its start: true when the file
// ended exactly where they end.
bool ReadIntoPlaces(HANDLE handle, const std::string& fileName, ByteSpan head, const WritablePieces& places) {
    size_t skip = head.size();
    for (std::span<uint8_t> place : places) {
        const size_t copied = std::min(skip, place.size());
        std::copy_n(head.data() + (head.size() - skip), copied, place.data());
        skip -= copied;
        const size_t rest = place.size() - copied;
        if (rest > 0 && ReadUpTo(handle, fileName, place.data() + copied, rest) < rest) return false;
    }
    uint8_t past = 0;
    return ReadUpTo(handle, fileName, &past, 1) == 0;
}

template <class Buffer>
Buffer ReadWhole(const std::string& fileName, size_t headBytes, const LimitForHead& limitFor,
                 const PlacesFor& placesFor = {}, bool* placed = nullptr) {
    uint64_t size = 0;
    OwnedHandle file = OpenForReading(fileName, size);
    Buffer bytes(headBytes);
    const size_t got = ReadUpTo(file.get(), fileName, bytes.data(), headBytes);
    const FileSizeLimit& limit = limitFor(ByteSpan(bytes.data(), got));
    RefuseOversizeImage(size, limit);
    if (placesFor && size >= got && size > 0) {
        WritablePieces places;
        uint64_t room = 0;
        if (placesFor(size, places)) {
            for (std::span<uint8_t> place : places) room += place.size();
            if (room == size && ReadIntoPlaces(file.get(), fileName, ByteSpan(bytes.data(), got), places)) {
                *placed = true;
                return Buffer();
            }
            // Shorter or longer than its size said: read again from the start into the buffer.
            LARGE_INTEGER start{};
            if (!::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN))
                throw IoError(SystemReason(kCannotRead, fileName, ::GetLastError()));
            return ReadAtMost(file.get(), fileName, size, limit, Buffer(), 0);
        }
    }
    return ReadAtMost(file.get(), fileName, size, limit, std::move(bytes), got);
}

LimitForHead FixedLimit(const FileSizeLimit& limit) {
    return [&limit](ByteSpan) -> const FileSizeLimit& { return limit; };
}

DWORD Attributes(const std::string& fileName) {
    return fileName.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Wide(fileName).c_str());
}

std::string FolderOf(const std::string& fileName) {
    const std::string folder = Utf8(std::filesystem::path(Wide(fileName)).parent_path().native());
    return folder.empty() ? "." : folder;
}

[[noreturn]] void FailSaving(const char* what, const std::string& fileName, DWORD error) {
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        throw NameTakenError(SystemReason(what, fileName, error));
    throw IoError(SystemReason(what, fileName, error));
}

bool WriteAll(HANDLE handle, const ImagePieces& pieces) {
    for (ByteSpan piece : pieces) {
        for (size_t done = 0; done < piece.size();) {
            DWORD put = 0;
            if (!::WriteFile(handle, piece.data() + done,
                             static_cast<DWORD>(std::min(piece.size() - done, kMostPerCall)), &put, nullptr))
                return false;
            done += put;
        }
    }
    return true;
}

// How often a writer takes a fresh temporary name when the one it made was taken meanwhile.
constexpr int kMostTemporaryNames = 100;

// The temporary is opened for nobody else to read or write it while its writer lives, which is what tells
// a sweep (io/temporary_names.h) to leave it; renaming it stays open to all.
OwnedHandle CreateTemporary(const std::string& fileName, std::string& name) {
    for (int attempt = 0; attempt < kMostTemporaryNames; ++attempt) {
        name = TemporaryNameBeside(fileName);
        OwnedHandle file(::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (file.valid()) return file;
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw IoError(SystemReason(kCannotCreate, fileName, error));
    }
    throw IoError(SystemReason(kCannotCreate, fileName, ERROR_FILE_EXISTS));
}

}  // namespace

bool FileExists(const std::string& fileName) {
    const DWORD attributes = Attributes(fileName);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool NameTaken(const std::string& fileName) { return Attributes(fileName) != INVALID_FILE_ATTRIBUTES; }

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
    OwnedHandle file = OpenForReading(fileName, size);
    Bytes bytes(n);
    bytes.resize(ReadUpTo(file.get(), fileName, bytes.data(), n));
    return bytes;
}

Bytes ReadStandardInput(const FileSizeLimit& limit) {
    const std::string name = Tr("standard input");
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    LARGE_INTEGER size{};
    const uint64_t known = ::GetFileType(input) == FILE_TYPE_DISK && ::GetFileSizeEx(input, &size)
                               ? static_cast<uint64_t>(size.QuadPart)
                               : 0;
    RefuseOversizeImage(known, limit);
    return ReadAtMost(input, name, known, limit, Bytes(), 0);
}

void WriteStandardOutput(ByteSpan bytes) {
    if (!WriteAll(::GetStdHandle(STD_OUTPUT_HANDLE), ImagePieces{bytes}))
        throw IoError(Tr("Cannot write to standard output") + ": " + ReasonOf(::GetLastError()));
}

// Every block is written: a Windows file is sparse only when asked, so skipped blocks would be written as
// zeros by the system all the same.
void SaveThroughNamedTemporary(const std::string& fileName, const ImagePieces& pieces, ZeroBlocks,
                               IfNameTaken ifTaken) {
    std::string temp;
    OwnedHandle file = CreateTemporary(fileName, temp);
    const std::wstring wideTemp = Wide(temp);
    auto fail = [&](const char* what, DWORD error) {
        file.Close();
        ::DeleteFileW(wideTemp.c_str());
        FailSaving(what, fileName, error);
    };
    if (!WriteAll(file.get(), pieces) || !::FlushFileBuffers(file.get())) fail(kCannotWrite, ::GetLastError());
    // Renamed while still open, so that no sweep takes it between writing and renaming.
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (ifTaken == IfNameTaken::kReplace) flags |= MOVEFILE_REPLACE_EXISTING;
    if (!::MoveFileExW(wideTemp.c_str(), Wide(fileName).c_str(), flags))
        fail(ifTaken == IfNameTaken::kReplace ? kCannotWrite : kCannotCreate, ::GetLastError());
}

void SavePiecesAtomic(const std::string& fileName, const ImagePieces& pieces, ZeroBlocks zeroBlocks,
                      IfNameTaken ifTaken) {
    SweepStaleTemporaries(FolderOf(fileName));
    SaveThroughNamedTemporary(fileName, pieces, zeroBlocks, ifTaken);
}

void SaveFileAtomic(const std::string& fileName, ByteSpan bytes, ZeroBlocks zeroBlocks, IfNameTaken ifTaken) {
    SavePiecesAtomic(fileName, ImagePieces{bytes}, zeroBlocks, ifTaken);
}

}  // namespace tarvex
