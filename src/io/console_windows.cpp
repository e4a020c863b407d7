// The Windows twin of console.cpp: consoles by their handles, UTF-8 arguments from the wide command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include <algorithm>

#include "io/console.h"
#include "io/wide_text_windows.h"

namespace tarvex {

bool IsTerminal(StandardStream stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
                            &mode) != 0;
}

// A pipe whose reader has gone fails a write here anyway. The streams pass the program's bytes as they are
// (lines end in LF, as the POSIX program's do, and an image on standard output stays whole), and a console
// is told to show UTF-8, which is what the program writes.
void PrepareStandardStreams() {
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
}

namespace {

// The files a name with * or ? in its last part matches, in the order of their names; nothing when it has
// no wildcard or matches no file. Windows's shells hand wildcards over as typed, for the program to expand.
std::vector<std::string> Matches(const std::wstring& pattern) {
    const size_t part = pattern.find_last_of(L"\\/:") + 1;
    if (pattern.find_first_of(L"*?", part) == std::wstring::npos) return {};
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {};
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        names.push_back(Utf8(pattern.substr(0, part) + found.cFileName));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// The C library's argv holds the names in the ANSI code page, which cannot spell most of them.
std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        std::vector<std::string> matches = Matches(wide[i]);
        if (matches.empty())
            args.push_back(Utf8(wide[i]));
        else
            args.insert(args.end(), matches.begin(), matches.end());
    }
    ::LocalFree(wide);
    return args;
}

}  // namespace tarvex
