// What the Windows twins of this folder share: names converted between the program's UTF-8 and the wide
// characters of the system's calls, and a failed call's reason in the words the POSIX build gives for the
// same failure, so that a message reads the same on both systems and in both languages.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarvex {

// The standard library's paths take narrow names in the ANSI code page: a name goes to them as Wide(name).
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The C library's error number closest to a Windows error (EIO where none is close).
int ErrnoOf(DWORD error);
// The reason of an error number in the user's language, as the GNU C library words it.
std::string ReasonOfErrno(int err);
// The reason of a Windows error: ReasonOfErrno where an error number says it, the system's own words else.
std::string ReasonOf(DWORD error);

// A handle owned by one object and closed with it.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void Close() {
        if (valid()) ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace tarvex
