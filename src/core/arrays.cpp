#include "core/arrays.hpp"

#include <cstdio>
#include <new>

namespace kesta {

namespace detail {

void print_size_error() { std::printf("Error: Attempting to allocate array of size 0\n"); }

void print_range_error(const std::string& name) {
    std::printf("Error: bad range addressed in array %s\n", name.c_str());
}

void print_bad_pointers_2d() { std::printf("\n\nError!! Bad pointers found in 2D array.\n\n"); }

void print_bad_pointers_3d() { std::printf("\n\nError!!!  Bad pointers found in 3D array.\n\n"); }

std::size_t checked_mul(std::size_t a, std::size_t b) {
    std::size_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) throw std::length_error("block size overflows");
    return r;
}

int checked_count(int old, int k) {
    if (k > INT_MAX - 1 - old) throw std::length_error("array count overflows");
    return old + k;
}

}  // namespace detail

namespace {

// Runs `make` and turns exhausted memory (or a size the platform cannot
// represent) into an empty block, without a message.
template <class Block, class Make>
Block or_empty(Make make) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return Block();
}

template <class T>
vec1<T> alloc1d(int n) {
    if (n < 0) { detail::print_size_error(); return vec1<T>(); }
    return or_empty<vec1<T>>([n] { return vec1<T>(n); });
}

template <class T>
mat2<T> alloc2d(int rows, int cols) {
    if (rows < 1 || cols < 1) { detail::print_size_error(); return mat2<T>(); }
    return or_empty<mat2<T>>([=] { return mat2<T>(rows, cols); });
}

template <class T>
node_table<T> alloc_nodes(int nodes, int links) {
    if (nodes < 1 || links < 1) { detail::print_size_error(); return node_table<T>(); }
    return or_empty<node_table<T>>([=] { return node_table<T>(nodes, links); });
}

template <class T>
cube3<T> alloc3d(int a, int b, int c) {
    if (a < 1 || b < 1 || c < 1) { detail::print_size_error(); return cube3<T>(); }
    return or_empty<cube3<T>>([=] { return cube3<T>(a, b, c); });
}

template <class T>
mat2<T> alloc_ragged(int rows, int cols, T value) {
    if (rows < 0 || cols < 0) { detail::print_size_error(); return mat2<T>(); }
    mat2<T> p(rows, cols);
    for (int i = 1; i <= rows; ++i) std::fill(p[i] + 1, p[i] + cols + 1, value);
    return p;
}

}  // namespace

vec1<double> alloc1d_double(int n) { return alloc1d<double>(n); }
vec1<int> alloc1d_int(int n) { return alloc1d<int>(n); }
mat2<double> alloc2d_double(int rows, int cols) { return alloc2d<double>(rows, cols); }
mat2<char> alloc2d_char(int rows, int cols) { return alloc2d<char>(rows, cols); }
mat2<int> alloc2d_int(int rows, int cols) { return alloc2d<int>(rows, cols); }
cube3<double> alloc3d_double(int a, int b, int c) { return alloc3d<double>(a, b, c); }
node_table<double> alloc_nodes_double(int nodes, int links) { return alloc_nodes<double>(nodes, links); }
node_table<int> alloc_nodes_int(int nodes, int links) { return alloc_nodes<int>(nodes, links); }
cube3<int> alloc3d_int(int a, int b, int c) { return alloc3d<int>(a, b, c); }

void fill1d_double(vec1<double>& b, double value) { b.fill(value); }
void fill1d_int(vec1<int>& b, int value) { b.fill(value); }
void fill2d_double(mat2<double>& b, double value) { b.fill(value); }
void fill2d_char(mat2<char>& b, char value) { b.fill(value); }
void fill2d_int(mat2<int>& b, int value) { b.fill(value); }
void fill3d_double(cube3<double>& b, double value) { b.fill(value); }
void fill3d_int(cube3<int>& b, int value) { b.fill(value); }

mat2<double> alloc_plane(int rows, int cols, double value) { return alloc_ragged(rows, cols, value); }
mat2<int> alloc2d_ragged_int(int rows, int cols, int value) { return alloc_ragged(rows, cols, value); }

// Every element kind the model uses, compiled here in full once.
template class array1d<double>;
template class array1d<int>;
template class array1d<char>;
template class array1d<unsigned char>;
template class array1d<void*>;
template class array2d<double>;
template class array2d<int>;
template class array2d<char>;
template class array2d<unsigned char>;
template class array3d<double>;

}  // namespace kesta
