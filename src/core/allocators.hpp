// Named allocators of the model's 1-based plain blocks (see core/arrays.hpp).
// Each takes the block to fill as its first or last argument, replaces what it
// held with a new zero-filled block, and on refusal leaves it empty after
// printing "Error allocating memory for variable %s\n" with `name` (preceded by
// the size-0 message when a size was refused). They never stop the run: a
// caller that needs the memory tests the block. `name` is used only in the
// message; null prints as empty.
#pragma once

#include "core/arrays.hpp"

namespace kesta {

// Prints "Error allocating memory for variable %s\n".
void report_alloc_error(const char* name);

// Vectors 0..n; n = 0 gives the one element 0. Negative n is refused.
void alloc_ivector(vec1<int>& p, int n, const char* name);
void alloc_dvector(vec1<double>& p, int n, const char* name);

// Matrices 0..rows by 0..cols; rows or cols below 1 is refused.
void alloc_imatrix(mat2<int>& p, int rows, int cols, const char* name);
void alloc_imatrix_rc(int rows, int cols, mat2<int>& p, const char* name);
void alloc_cmatrix(int rows, int cols, mat2<char>& p, const char* name);
void alloc_dmatrix(int rows, int cols, mat2<double>& p, const char* name);
// Channel node tables, nodes 0..rows by links 0..cols, stored link by link.
void alloc_imatrix(node_table<int>& p, int rows, int cols, const char* name);
void alloc_dmatrix(int rows, int cols, node_table<double>& p, const char* name);

// Blocks 0..planes by 0..rows by 0..cols; any size below 1 is refused.
void alloc_i3tensor(int planes, int rows, int cols, cube3<int>& p, const char* name);
void alloc_d3tensor(int planes, int rows, int cols, cube3<double>& p, const char* name);

// Integer matrix 0..rows by 0..cols. A rows or cols of 0 (or below) first
// prints the size-0 message and the allocation message; the result is empty.
void alloc_matrix_checked(mat2<int>& p, int rows, int cols, const char* name);
// Integer matrix with one extra row: 0..rows+1 by 0..cols. A rows or cols of
// 0 prints the two messages; rows = 0 still gives rows 0 and 1. Negative
// sizes and cols = 0 leave the block empty.
void alloc_matrix_checked2(mat2<int>& p, int rows, int cols, const char* name);

// Drops the old block and makes n doubles, elements 0..n-1 (so p.n() is n-1),
// zero-filled. n below 1 is refused.
void realloc_dvector(int n, vec1<double>& p, const char* name);

// Release routines: free the block and leave it empty; no-op when empty.
template <class T> void free_array1(vec1<T>& p) { p.reset(); }
template <class T> void free_vector_1based(vec1<T>& p) { free_array1(p); }
template <class T> void free_array2(mat2<T>& p) { p.reset(); }
template <class T> void free_matrix(mat2<T>& p) { free_array2(p); }
template <class T> void free_array3(cube3<T>& p) { p.reset(); }

}  // namespace kesta
