// The Windows twin of append_file.cpp: the file is opened with the right to append only (and to read), so
// that every write lands at its end whatever other writers do, and its handle is not inherited.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "io/append_file.h"
#include "io/wide_text_windows.h"

namespace tarvex {

int AppendFile::Open(const std::string& fileName) {
    const std::wstring name = Wide(fileName);
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const DWORD disposition : {DWORD{OPEN_EXISTING}, DWORD{CREATE_NEW}}) {
            HANDLE file = ::CreateFileW(name.c_str(), FILE_APPEND_DATA | GENERIC_READ, kShare, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
                file = ::CreateFileW(name.c_str(), FILE_APPEND_DATA, kShare, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
                if (fd < 0) {
                    ::CloseHandle(file);
                    return EMFILE;
                }
                fd_ = FileDescriptor(fd);
                existed_ = disposition == OPEN_EXISTING;
                return 0;
            }
            const DWORD error = ::GetLastError();
            const bool missing = error == ERROR_FILE_NOT_FOUND;
            const bool madeMeanwhile = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
            if (disposition == OPEN_EXISTING ? !missing : !madeMeanwhile) return ErrnoOf(error);
        }
    }
    return EEXIST;
}

Bytes AppendFile::Head(size_t n) const {
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()));
    if (file == INVALID_HANDLE_VALUE || ::GetFileType(file) != FILE_TYPE_DISK) return {};
    Bytes head(n);
    OVERLAPPED from{};  // offset 0, the file position left as it is
    DWORD got = 0;
    if (!::ReadFile(file, head.data(), static_cast<DWORD>(n), &got, &from)) got = 0;
    head.resize(got);
    return head;
}

int AppendFile::Append(ByteSpan bytes) {
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_.get()));
    for (size_t done = 0; done < bytes.size();) {
        DWORD put = 0;
        if (!::WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr))
            return ErrnoOf(::GetLastError());
        done += put;
    }
    return 0;
}

}  // namespace tarvex
