// The hidden name a file being saved carries before it takes its own (".tarvex-PID-N.tmp", short whatever
// the target is called), the lock that marks such a file as being written, and the sweep that removes
// those left behind by writers that died. A writer locks its temporary before the name appears and keeps
// the lock until the name is gone; the sweep removes only temporaries it can lock itself, so it never takes
// a file from a live writer, whatever that writer's program is called.
#pragma once

#include <string>

namespace tarvex {

// A fresh temporary name in the folder of fileName.
std::string TemporaryNameBeside(const std::string& fileName);

// Whether a file name (without its folder) has exactly the temporaries' form.
bool IsTemporaryName(const std::string& name);

enum class TemporaryLock {
    kHeld,          // this descriptor holds the lock now
    kHeldElsewhere, // another open of the file holds it: its writer is alive
    kUnsupported,   // the file system keeps no locks: nothing can be told
};
// Takes the writer's lock on an open temporary (an exclusive lock: the descriptor must be open for writing).
TemporaryLock LockTemporary(int fd);

// Removes from folder the temporaries (regular files of exactly that form) no live writer holds.
void RemoveStaleTemporaries(const std::string& folder);

// RemoveStaleTemporaries once per folder in the life of the process, the first time the folder is
// written: a temporary is left only by a writer killed between naming and renaming it, and such a writer
// is gone for good.
void SweepStaleTemporaries(const std::string& folder);

}  // namespace tarvex
