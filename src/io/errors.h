// The exceptions of reading and writing: a file cut short, met at any byte of a parse, a system call that
// fails, and a name a save may not take. Attempt (io/status.h) turns either into a Status where a step ends.
#pragma once

#include <stdexcept>

#include "i18n/translate.h"

namespace tarvex {

// Running past the end of an image's bytes; its text is "Stream read error".
class StreamReadError : public std::runtime_error {
public:
    StreamReadError() : std::runtime_error(Tr("Stream read error")) {}
};

// A file that cannot be opened, created or written; the text is the system's reason.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A save that may not replace what it finds: the name is taken, by a file, a folder or a link.
class NameTakenError : public IoError {
public:
    using IoError::IoError;
};

}  // namespace tarvex
