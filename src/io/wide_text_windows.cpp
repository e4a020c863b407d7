// UTF-8 and UTF-16 names, and Windows errors in the words of the POSIX build.
#include "io/wide_text_windows.h"

#include <cerrno>

#include "i18n/translate.h"

namespace tarvex {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_ACCESS: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER: return EINVAL;
        case ERROR_NOT_SUPPORTED: return EOPNOTSUPP;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        default: return EIO;
    }
}

std::string ReasonOfErrno(int err) {
    switch (err) {
        case ENOENT: return Tr("No such file or directory");
        case EACCES: return Tr("Permission denied");
        case EBUSY: return Tr("Device or resource busy");
        case EEXIST: return Tr("File exists");
        case ENOSPC: return Tr("No space left on device");
        case ENAMETOOLONG: return Tr("File name too long");
        case ENOTDIR: return Tr("Not a directory");
        case EISDIR: return Tr("Is a directory");
        case EROFS: return Tr("Read-only file system");
        case ENOMEM: return Tr("Cannot allocate memory");
        case EINVAL: return Tr("Invalid argument");
        case EOPNOTSUPP: return Tr("Operation not supported");
        case EPIPE: return Tr("Broken pipe");
        case EXDEV: return Tr("Invalid cross-device link");
        default: return Tr("Input/output error");
    }
}

std::string ReasonOf(DWORD error) {
    if (const int err = ErrnoOf(error); err != EIO) return ReasonOfErrno(err);
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words(text ? text : L"", n);
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L'.')) words.pop_back();
    return words.empty() ? ReasonOfErrno(EIO) : Utf8(words);
}

}  // namespace tarvex
