// Zeroed memory straight from the system: a block whose pages cost nothing until first written, so that
// storage sized for the largest disk costs only what a disk uses. Under the address checker the blocks
// are ordinary heap blocks instead, so that a step past one is caught.
#pragma once

#include <cstddef>

namespace tarvex {

// kLarge asks for 2 MB pages where the system has them: a block that fills up then takes one page fault
// for each 2 MB rather than one for every 4 KB.
enum class PageSize { kSmall, kLarge };

// A zeroed block of at least `bytes`; nullptr when the system has no memory to give.
void* MapZeroed(size_t bytes, PageSize pages);
// Gives back a block from MapZeroed, with the size and page size it was asked for.
void Unmap(void* block, size_t bytes, PageSize pages);

}  // namespace tarvex
