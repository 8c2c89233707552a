#include "core/block_memory.hpp"

#include <atomic>
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

// Large blocks start at one of kStaggers offsets into their first huge
// page, in turn. Blocks that all began on a 2 MB boundary would put the same
// element of every array in the same cache set and the same 4 kB alias, and
// a loop streaming a dozen of them at once would lose ways of the cache to
// that; the step moves the start by 8 kB (another set of the 128 kB-period
// level-2 index) and 320 bytes (another line of the 4 kB period).
constexpr std::size_t kStaggers = 16;
constexpr std::size_t kStaggerBytes = 8192 + 320;
static_assert(kStaggerBytes % kBlockAlignBytes == 0 && kStaggers * kStaggerBytes < kHugePageBytes,
              "a staggered start stays aligned and within the first huge page");
std::atomic<unsigned> next_stagger{0};
std::atomic<std::size_t> mapped_bytes{0};

// The span a large block is mapped with from its huge-page boundary: the
// offset and `bytes` up to whole pages of the system; 0 when that does not
// fit, with room for the alignment, in size_t.
std::size_t mapped_length(std::size_t offset, std::size_t bytes) {
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    if (bytes > SIZE_MAX - kHugePageBytes - page - offset) return 0;
    return (offset + bytes + page - 1) / page * page;
}

}  // namespace

bool large_blocks_advised() { return true; }

// A large block is mapped on its own, one huge page longer than it; the part
// before the first 2 MB boundary and the part after the block are unmapped
// again, so the huge page the block starts in lies whole in the mapping. The
// block's end is not rounded up to a huge page: its last part then lies on
// 4 kB pages, and no memory is held that the block does not use.
void* allocate_block(std::size_t bytes) {
    if (bytes < kLargeBlockBytes) return ::operator new(bytes);
    const std::size_t offset = next_stagger.fetch_add(1, std::memory_order_relaxed) % kStaggers * kStaggerBytes;
    const std::size_t length = mapped_length(offset, bytes);
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
    // Advice only: a kernel without transparent huge pages refuses it, and
    // the block then lies on ordinary pages.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    mapped_bytes.fetch_add(length, std::memory_order_relaxed);
    return reinterpret_cast<void*>(aligned + offset);
}

// The offset is below one huge page, so the block's huge-page boundary is
// its start rounded down.
void release_block(void* p, std::size_t bytes) noexcept {
    if (bytes < kLargeBlockBytes) {
        ::operator delete(p);
        return;
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = start & ~(std::uintptr_t{kHugePageBytes} - 1);
    const std::size_t length = mapped_length(start - aligned, bytes);
    munmap(reinterpret_cast<void*>(aligned), length);
    mapped_bytes.fetch_sub(length, std::memory_order_relaxed);
}

std::size_t large_block_bytes_in_use() noexcept { return mapped_bytes.load(std::memory_order_relaxed); }
#else
bool large_blocks_advised() { return false; }
void* allocate_block(std::size_t bytes) { return ::operator new(bytes); }
void release_block(void* p, std::size_t) noexcept { ::operator delete(p); }
std::size_t large_block_bytes_in_use() noexcept { return 0; }
#endif

}  // namespace detail
}  // namespace kesta
