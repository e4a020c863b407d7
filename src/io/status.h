// The one way the core reports a failure: a Status, success or a failure with its reason in the user's
// language. Deep inside reading and writing, a file cut short (StreamReadError) or a system call that
// fails (IoError) throws instead, since it can happen at any byte; Attempt turns that into a Status at the
// edge of the step that did the reading or writing. The disk's own operations keep their Boolean and
// StatusMessage; the format table turns those into a Status where it calls them.
#pragma once

#include <string>
#include <utility>

#include "io/errors.h"

namespace tarvex {

class [[nodiscard]] Status {
public:
    static Status Ok() { return Status(); }
    static Status Failure(std::string reason) {
        Status s;
        s.failed_ = true;
        s.reason_ = std::move(reason);
        return s;
    }
    // The Boolean of an operation that leaves its reason elsewhere (a disk's StatusMessage).
    static Status Of(bool ok, const std::string& reasonIfNot) { return ok ? Ok() : Failure(reasonIfNot); }
    // A save that found its name taken and was not to replace it (NameTakenError).
    static Status NameTaken(std::string reason) {
        Status s = Failure(std::move(reason));
        s.nameTaken_ = true;
        return s;
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& reason() const { return reason_; }
    bool nameTaken() const { return nameTaken_; }

private:
    bool failed_ = false;
    bool nameTaken_ = false;
    std::string reason_;
};

// Runs work (returning a Status) and gives its Status, or, when it throws, a failure with the exception's
// reason: the system's words of an IoError, the stream read error, or the words for running out of memory;
// a NameTakenError gives a NameTaken status.
template <class Work>
Status Attempt(Work&& work);

// The reason a caught exception gives; its own text, except for running out of memory, whose text is the
// library's and not the user's.
std::string ReasonOfCurrentException();

template <class Work>
Status Attempt(Work&& work) {
    try {
        return work();
    } catch (const NameTakenError& e) {
        return Status::NameTaken(e.what());
    } catch (...) {
        return Status::Failure(ReasonOfCurrentException());
    }
}

}  // namespace tarvex
