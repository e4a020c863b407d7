// The Windows twin of file_identity.cpp: a file is its volume's serial number and its file index, and a
// name is compared in full, through the real path of as much of it as exists, without regard to letter case
// as the system's file systems compare names.
#include <windows.h>

#include <io.h>

#include "io/file_identity.h"
#include "io/wide_text_windows.h"

namespace tarvex {

namespace {

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

OwnedHandle OpenToLookAt(const std::wstring& name) {
    return OwnedHandle(::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& fileName) {
    if (fileName.empty()) return std::nullopt;
    const OwnedHandle file = OpenToLookAt(Wide(fileName));
    return file.valid() ? IdentityOfHandle(file.get()) : std::nullopt;
}

std::optional<FileIdentity> IdentityOf(int fd) {
    const intptr_t handle = ::_get_osfhandle(fd);
    if (handle == -1) return std::nullopt;
    return IdentityOfHandle(reinterpret_cast<HANDLE>(handle));
}

std::string ComparableName(const std::string& fileName) {
    const std::wstring wide = Wide(fileName);
    const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return fileName;
    std::wstring full(n, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr));
    // The deepest folder that exists is taken at its real path; the rest follows as written.
    std::wstring rest;
    for (std::wstring head = full; !head.empty();) {
        const OwnedHandle folder = OpenToLookAt(head);
        if (folder.valid()) {
            std::wstring real(MAX_PATH, L'\0');
            DWORD got = ::GetFinalPathNameByHandleW(folder.get(), real.data(), MAX_PATH, FILE_NAME_NORMALIZED);
            if (got >= MAX_PATH) {
                real.resize(got);
                got = ::GetFinalPathNameByHandleW(folder.get(), real.data(), got, FILE_NAME_NORMALIZED);
            }
            if (got > 0 && got < real.size() + 1) {
                real.resize(got);
                full = real + rest;
            }
            break;
        }
        const size_t cut = head.find_last_of(L"\\/");
        if (cut == std::wstring::npos || cut + 1 == head.size()) break;
        rest = head.substr(cut) + rest;
        head.resize(cut);
    }
    ::CharLowerBuffW(full.data(), static_cast<DWORD>(full.size()));
    return Utf8(full);
}

}  // namespace tarvex
