#include "core/block_memory.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__linux__) && defined(MADV_HUGEPAGE)
#define KESTA_HUGE_PAGE_ADVICE 1
#else
#define KESTA_HUGE_PAGE_ADVICE 0
#endif

namespace kesta {
namespace detail {

#if KESTA_HUGE_PAGE_ADVICE
namespace {

// The span a large block is mapped with: `bytes` up to whole pages of the
// system; 0 when that does not fit, with room for the alignment, in size_t.
std::size_t mapped_length(std::size_t bytes) {
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (bytes > SIZE_MAX - kHugePageBytes - page) return 0;
    return (bytes + page - 1) / page * page;
}

}  // namespace

bool large_blocks_advised() { return true; }

// A large block is mapped on its own, one huge page longer than it, and the
// parts before the first 2 MB boundary and after the block are unmapped
// again. The block's end is not rounded up to a huge page: its last part
// then lies on 4 kB pages, and no memory is held that the block does not
// use.
void* allocate_block(std::size_t bytes) {
    if (bytes < kLargeBlockBytes) return ::operator new(bytes);
    const std::size_t length = mapped_length(bytes);
    if (length == 0) throw std::bad_alloc();
    const std::size_t span = length + kHugePageBytes;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePageBytes - 1) & ~(std::uintptr_t{kHugePageBytes} - 1);
    const std::size_t head = aligned - start;
    const std::size_t tail = span - head - length;
    if (head > 0) munmap(raw, head);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* block = reinterpret_cast<void*>(aligned);
    // Advice only: a kernel without transparent huge pages refuses it, and
    // the block then lies on ordinary pages.
    madvise(block, length, MADV_HUGEPAGE);
    return block;
}

void release_block(void* p, std::size_t bytes) noexcept {
    if (bytes < kLargeBlockBytes) {
        ::operator delete(p);
        return;
    }
    munmap(p, mapped_length(bytes));
}
#else
bool large_blocks_advised() { return false; }
void* allocate_block(std::size_t bytes) { return ::operator new(bytes); }
void release_block(void* p, std::size_t) noexcept { ::operator delete(p); }
#endif

}  // namespace detail
}  // namespace kesta
