// The hidden names a replacement carries for the instant before it is renamed over its target
// (".NAME.tarvex-PID-N.tmp"), and the sweep that removes such names left behind by a writer that died
// there: a name whose process has ended, or whose number now belongs to a program other than ours.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tarvex {

// A fresh temporary name beside fileName, in the same folder.
std::string TemporaryNameBeside(const std::string& fileName);

// The process id in a name of exactly the temporaries' form; nothing for any other name.
std::optional<pid_t> TemporaryNameOwner(const std::string& name);

// Whether the process pid may still be writing the temporary: it is this process, or a live process of
// one of our programs. When the system cannot tell, the answer is yes.
bool OwnerMayBeWriting(pid_t pid);

// Removes from folder the temporaries (regular files of exactly that form) of writers that can no longer
// be writing them.
void RemoveStaleTemporaries(const std::string& folder);

// RemoveStaleTemporaries once per folder in the life of the process, the first time the folder is
// written: a temporary is left only by a writer killed between naming and renaming it, and such a writer
// is gone for good.
void SweepStaleTemporaries(const std::string& folder);

}  // namespace tarvex
