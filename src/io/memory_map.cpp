// Zeroed memory straight from the system, in pages it hands out only when first touched.
#include "io/memory_map.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace tarvex {

#if defined(__SANITIZE_ADDRESS__)
#define TARVEX_MAP_ON_THE_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEX_MAP_ON_THE_HEAP 1
#endif
#endif

#ifdef TARVEX_MAP_ON_THE_HEAP
// Under the address checker: heap blocks.
void* MapZeroed(size_t bytes, PageSize) { return std::calloc(1, bytes); }
void Unmap(void* block, size_t, PageSize) { std::free(block); }
#else
constexpr uintptr_t kHugePageBytes = uintptr_t{2} << 20;
constexpr size_t RoundedToHugePages(size_t bytes) { return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1); }

// A zeroed mapping; in large pages, it is whole 2 MB pages on a 2 MB boundary with the advice to back it
// by such pages (ignored where the system has none).
void* MapZeroed(size_t bytes, PageSize pages) {
    if (pages == PageSize::kSmall) {
        void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return block == MAP_FAILED ? nullptr : block;
    }
    const size_t area = RoundedToHugePages(bytes);
    const size_t mapped = area + kHugePageBytes;
    void* block = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t aligned = (start + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (aligned > start) ::munmap(block, aligned - start);
    if (const uintptr_t end = aligned + area; end < start + mapped)
        ::munmap(reinterpret_cast<void*>(end), start + mapped - end);
    ::madvise(reinterpret_cast<void*>(aligned), area, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}
void Unmap(void* block, size_t bytes, PageSize pages) {
    ::munmap(block, pages == PageSize::kLarge ? RoundedToHugePages(bytes) : bytes);
}
#endif

}  // namespace tarvex
