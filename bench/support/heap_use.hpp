// Memory the model holds, for the benchmarks that report it.
#pragma once

#include <malloc.h>

#include "core/block_memory.hpp"

namespace bench_heap {

// Bytes in use: the heap's arenas, the chunks it mapped on its own, and the
// large blocks the model mapped itself, which the heap does not count.
inline double heap_bytes() {
    const struct mallinfo2 i = mallinfo2();
    return static_cast<double>(i.uordblks + i.hblkhd + kesta::detail::large_block_bytes_in_use());
}

}  // namespace bench_heap
