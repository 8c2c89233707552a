#include "core/allocators.hpp"

#include <climits>
#include <cstdio>

namespace kesta {

namespace {

// Stores the new block and reports an empty one by name.
template <class Block>
void take(Block& p, Block&& made, const char* name) {
    p = std::move(made);
    if (p.empty()) report_alloc_error(name);
}

// The warning of the checked matrix allocators: the size message and the
// allocation message, printed before any allocation is tried.
void warn_size(const char* name) {
    detail::print_size_error();
    report_alloc_error(name);
}

}  // namespace

void report_alloc_error(const char* name) {
    std::printf("Error allocating memory for variable %s\n", name ? name : "");
}

void alloc_ivector(vec1<int>& p, int n, const char* name) { take(p, alloc1d_int(n), name); }
void alloc_dvector(vec1<double>& p, int n, const char* name) { take(p, alloc1d_double(n), name); }

void alloc_imatrix(mat2<int>& p, int rows, int cols, const char* name) {
    take(p, alloc2d_int(rows, cols), name);
}
void alloc_imatrix_rc(int rows, int cols, mat2<int>& p, const char* name) {
    alloc_imatrix(p, rows, cols, name);
}
void alloc_cmatrix(int rows, int cols, mat2<char>& p, const char* name) {
    take(p, alloc2d_char(rows, cols), name);
}
void alloc_dmatrix(int rows, int cols, mat2<double>& p, const char* name) {
    take(p, alloc2d_double(rows, cols), name);
}

void alloc_imatrix(node_table<int>& p, int rows, int cols, const char* name) {
    take(p, alloc_nodes_int(rows, cols), name);
}
void alloc_dmatrix(int rows, int cols, node_table<double>& p, const char* name) {
    take(p, alloc_nodes_double(rows, cols), name);
}

void alloc_i3tensor(int planes, int rows, int cols, cube3<int>& p, const char* name) {
    take(p, alloc3d_int(planes, rows, cols), name);
}
void alloc_d3tensor(int planes, int rows, int cols, cube3<double>& p, const char* name) {
    take(p, alloc3d_double(planes, rows, cols), name);
}

void alloc_matrix_checked(mat2<int>& p, int rows, int cols, const char* name) {
    if (rows < 1 || cols < 1) {
        warn_size(name);
        p.reset();
        return;
    }
    alloc_imatrix(p, rows, cols, name);
}

void alloc_matrix_checked2(mat2<int>& p, int rows, int cols, const char* name) {
    if (rows < 1 || cols < 1) warn_size(name);
    if (rows < 0 || cols < 1) { p.reset(); return; }
    if (rows == INT_MAX) { p.reset(); report_alloc_error(name); return; }
    alloc_imatrix(p, rows + 1, cols, name);
}

void realloc_dvector(int n, vec1<double>& p, const char* name) {
    p.reset();
    if (n < 1) {
        detail::print_size_error();
        report_alloc_error(name);
        return;
    }
    alloc_dvector(p, n - 1, name);
}

}  // namespace kesta
