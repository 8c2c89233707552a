// Memory of the model's plain blocks (vec1, mat2, node_table, cube3).
//
// The grids' per-cell arrays are streamed whole at every step, and on
// 4 kB pages such a stream spends a share of its time on address
// translation. Blocks of at least kLargeBlockBytes are therefore mapped
// from a 2 MB boundary and, on Linux, marked for transparent huge pages
// (madvise MADV_HUGEPAGE), so that the kernel may back them with 2 MB pages
// even where huge pages are granted on request only; successive blocks
// start at staggered offsets into their first huge page, so that the same
// element of several arrays does not fall in one cache set. Smaller blocks come
// from the ordinary heap. Where the platform has no such advice, every block
// comes from the heap.
//
// Only where the memory lies changes: a block still holds what its
// container puts in it (std::vector zero-fills new elements).
#pragma once

#include <cstddef>
#include <limits>
#include <new>

namespace kesta {

namespace detail {
// Blocks of this many bytes or more are large (4 MB: at least two huge
// pages, so the one page a block may leave partly used is a small share).
constexpr std::size_t kLargeBlockBytes = std::size_t{4} << 20;
// One huge page (2 MB): large blocks are mapped from such a boundary.
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
// The alignment of a large block's start: a cache line.
constexpr std::size_t kBlockAlignBytes = 64;
// Whether this build places large blocks on huge-page boundaries with the
// advice (false: every block from the heap).
bool large_blocks_advised();
// `bytes` of memory (at least one byte is taken), aligned for any
// fundamental type; large blocks (when advised) to kBlockAlignBytes, within
// the first huge page of their mapping.
// Throws std::bad_alloc when the memory cannot be had.
void* allocate_block(std::size_t bytes);
// Gives back a block of allocate_block(bytes), the same `bytes`.
void release_block(void* p, std::size_t bytes) noexcept;
// Bytes mapped for large blocks that are not given back (0 where blocks come
// from the heap): the memory the heap's own statistics do not see.
std::size_t large_block_bytes_in_use() noexcept;
}  // namespace detail

// The allocator of the blocks' std::vector storage. Stateless: any two
// compare equal, so moving a vector moves its storage.
template <class T>
class block_allocator {
public:
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "blocks hold fundamental-aligned elements");
    using value_type = T;

    block_allocator() noexcept = default;
    template <class U>
    block_allocator(const block_allocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(detail::allocate_block(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { detail::release_block(p, n * sizeof(T)); }
};

template <class T, class U>
bool operator==(const block_allocator<T>&, const block_allocator<U>&) noexcept { return true; }
template <class T, class U>
bool operator!=(const block_allocator<T>&, const block_allocator<U>&) noexcept { return false; }

}  // namespace kesta
