#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "core/allocators.hpp"
#include "core/arrays.hpp"
#include "core/block_memory.hpp"

namespace kesta {
namespace {

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
// The huge-page boundary a large block's mapping starts from.
const void* huge_page_of(const void* p) {
    return reinterpret_cast<const void*>(address(p) & ~(std::uintptr_t{detail::kHugePageBytes} - 1));
}
std::size_t offset_in_huge_page(const void* p) { return address(p) - address(huge_page_of(p)); }

// The VmFlags line of the mapping of this process that holds [p, p + bytes),
// or "none" when no one mapping holds it all.
std::string mapping_flags(const void* p, std::size_t bytes) {
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &lo, &hi) == 2) {
            inside = lo <= address(p) && address(p) + bytes <= hi;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return "none";
}

TEST(BlockMemory, LargeBlocksStartOnAHugePageWithTheAdviceAndComeZeroEvenWhereOneWasFreedDirty) {
    const bool advised = detail::large_blocks_advised();
    const bool kernel_has_huge_pages = std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled").good();
    const int at_threshold = static_cast<int>(detail::kLargeBlockBytes / sizeof(double)) - 1;  // n + 1 doubles
    // Small, just below, at and beyond the threshold, each made, dirtied,
    // freed and made again: memory handed back dirty would show.
    for (const int n : {999, at_threshold - 1, at_threshold, 3 * at_threshold / 2}) {
        const std::size_t bytes = (static_cast<std::size_t>(n) + 1) * sizeof(double);
        const bool large = advised && bytes >= detail::kLargeBlockBytes;
        for (int round = 0; round < 2; ++round) {
            const std::size_t mapped_before = detail::large_block_bytes_in_use();
            vec1<double> v = alloc1d_double(n);
            // What the heap's statistics miss is counted while it is held.
            EXPECT_EQ(detail::large_block_bytes_in_use() >= mapped_before + bytes, large) << n;
            ASSERT_FALSE(v.empty());
            for (int i = 0; i <= n; ++i) ASSERT_EQ(v[i], 0.0) << n << " at " << i;
            const double* was = v.data();
            if (large) {
                EXPECT_EQ(address(was) % detail::kBlockAlignBytes, 0u) << n;
                // The whole block lies in one mapping, which carries the advice
                // where the kernel has transparent huge pages to advise.
                const std::string flags = mapping_flags(huge_page_of(was), offset_in_huge_page(was) + bytes);
                EXPECT_NE(flags, "none") << n;
                if (kernel_has_huge_pages) {
                    EXPECT_NE(flags.find(" hg"), std::string::npos) << n;
                }
            }
            v.fill(7.5);
            v.reset();
            EXPECT_EQ(detail::large_block_bytes_in_use(), mapped_before) << n;
            if (large) {  // its memory is given back whole
                EXPECT_EQ(mapping_flags(huge_page_of(was), 1), "none");
                EXPECT_EQ(mapping_flags(was + n, sizeof(double)), "none");
            }
        }
    }
    // Every kind of block, of a few MB each, zero to its last element.
    mat2<int> m = alloc2d_int(1023, 1279);
    node_table<double> t = alloc_nodes_double(799, 799);
    cube3<double> c = alloc3d_double(9, 99, 799);
    vec1<unsigned char> b(5 << 20);
    EXPECT_EQ(m[1023][1279] + t[799][799] + c[9][99][799] + b[5 << 20], 0.0);
    // Made one after another, they start at different offsets into their
    // huge pages, so their same elements lie in different cache sets.
    std::set<std::size_t> offsets;
    for (const void* p : {static_cast<const void*>(m.data()), static_cast<const void*>(t.link(0)),
                          static_cast<const void*>(c.data()), static_cast<const void*>(b.data())}) {
        EXPECT_EQ(address(p) % detail::kBlockAlignBytes, 0u);
        offsets.insert(offset_in_huge_page(p) % (std::size_t{128} << 10));
    }
    if (advised) {
        EXPECT_EQ(offsets.size(), 4u);
    }
}

TEST(BlockMemory, ALargeBlockTheSystemCannotMapIsReportedByNameAndLeftEmpty) {
    testing::internal::CaptureStdout();
    cube3<double> c;
    alloc_d3tensor(65535, 65535, 16383, c, "soil");  // 2^49 bytes: beyond any user address space
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error allocating memory for variable soil\n");
    EXPECT_TRUE(c.empty());
}

}  // namespace
}  // namespace kesta
