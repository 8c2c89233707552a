// The 1-based containers of the model.
//
// Plain blocks (RAII value types; movable, not copyable; "empty" means none):
//   vec1<T>  one block of n+1 elements, index 0 allocated but carrying no data.
//   mat2<T>  one contiguous block of (rows+1)*(cols+1) elements plus a table of
//            rows+1 row pointers; row i starts at element i*(cols+1), so m[i][j].
//   cube3<T> sizes (a,b,c): one block of (a+1)*(b+1)*(c+1) elements, a table of
//            (a+1)*(b+1) row pointers and a table of a+1 plane pointers; element
//            [i][j][k] lies at ((i*(b+1))+j)*(c+1)+k, so c[i][j][k].
//   node_table<T> a channel node table read as t[node][link], like a mat2 of
//            (nodes, links), but stored link by link: element [n][l] lies at
//            l*(nodes+1)+n, so a link's nodes are contiguous (t.link(l)[n]).
// Blocks are zero-filled when made. Moving a block keeps every pointer into it
// valid (the storage itself does not move).
//
// Named containers:
//   array1d<T>  a growable 1-based vector with a name and a range flag.
//   array2d<T>  a table of rows of ncols+1 elements; rows it made are freed by
//               it, rows handed in by a caller stay the caller's.
//   array3d<T>  a set of planes, each a row table; used with double.
// The 2-D and 3-D containers keep a snapshot of their row/plane tables, which
// `rows()`/`planes()` expose for fast loops, and refuse any structural change
// once outside code has overwritten an entry. Storage the containers made is
// always held by private owners, so it is freed even then; storage handed in
// from outside is never freed by them.
//
// Every message goes to standard output.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/block_memory.hpp"

namespace kesta {

// Storage of the plain blocks: blocks of a few MB and more start on a
// huge-page boundary with huge pages advised (core/block_memory.hpp).
template <class T>
using block_vector = std::vector<T, block_allocator<T>>;

namespace detail {
// "Error: Attempting to allocate array of size 0\n"
void print_size_error();
// "Error: bad range addressed in array %s\n"
void print_range_error(const std::string& name);
// "\n\nError!! Bad pointers found in 2D array.\n\n"
void print_bad_pointers_2d();
// "\n\nError!!!  Bad pointers found in 3D array.\n\n"
void print_bad_pointers_3d();
// a*b, throwing std::length_error when it does not fit in size_t.
std::size_t checked_mul(std::size_t a, std::size_t b);
// old + k as an int count, throwing std::length_error past INT_MAX - 1.
int checked_count(int old, int k);
}  // namespace detail

// ---------------------------------------------------------------- plain blocks

template <class T>
class vec1 {
public:
    vec1() = default;
    // n+1 zeros for n >= 0; empty for n < 0. Throws std::bad_alloc on exhaustion.
    explicit vec1(int n) { if (n >= 0) v_ = block_vector<T>(static_cast<std::size_t>(n) + 1); }
    vec1(vec1&&) noexcept = default;
    vec1& operator=(vec1&&) noexcept = default;
    vec1(const vec1&) = delete;
    vec1& operator=(const vec1&) = delete;

    T& operator[](int i) { return v_[static_cast<std::size_t>(i)]; }  // unchecked
    const T& operator[](int i) const { return v_[static_cast<std::size_t>(i)]; }
    T* data() { return v_.empty() ? nullptr : v_.data(); }
    const T* data() const { return v_.empty() ? nullptr : v_.data(); }
    int n() const { return static_cast<int>(v_.size()) - 1; }  // highest index; -1 when empty
    bool empty() const { return v_.empty(); }
    explicit operator bool() const { return !v_.empty(); }
    void reset() { block_vector<T>().swap(v_); }
    void fill(const T& value) { std::fill(v_.begin(), v_.end(), value); }

private:
    block_vector<T> v_;
};

// For vectors the run's options may have left shorter or unmade: whether `v`
// reaches index n, element k or 0 past its end, and element k set to 0 when
// it exists.
template <class T>
bool holds(const vec1<T>& v, int n) { return v.n() >= n; }
template <class T>
T value_at(const vec1<T>& v, int k) { return k <= v.n() ? v[k] : T(); }
template <class T>
void zero_at(vec1<T>& v, int k) {
    if (k <= v.n()) v[k] = T();
}

template <class T>
class mat2 {
public:
    mat2() = default;
    // Zero-filled rows 0..rows by columns 0..cols; empty when either is
    // negative. Throws std::bad_alloc / std::length_error on exhaustion.
    mat2(int rows, int cols) {
        if (rows < 0 || cols < 0) return;
        const std::size_t r = static_cast<std::size_t>(rows) + 1;
        const std::size_t c = static_cast<std::size_t>(cols) + 1;
        block_vector<T> d(detail::checked_mul(r, c));
        std::vector<T*> t(r);
        for (std::size_t i = 0; i < r; ++i) t[i] = d.data() + i * c;
        data_.swap(d);
        rows_.swap(t);
    }
    mat2(mat2&&) noexcept = default;
    mat2& operator=(mat2&&) noexcept = default;
    mat2(const mat2&) = delete;
    mat2& operator=(const mat2&) = delete;

    T* operator[](int i) { return rows_[static_cast<std::size_t>(i)]; }  // unchecked
    const T* operator[](int i) const { return rows_[static_cast<std::size_t>(i)]; }
    T** rows() { return rows_.empty() ? nullptr : rows_.data(); }  // rows+1 entries
    T* data() { return data_.empty() ? nullptr : data_.data(); }
    int nrows() const { return static_cast<int>(rows_.size()) - 1; }  // -1 when empty
    int ncols() const {
        return rows_.empty() ? -1 : static_cast<int>(data_.size() / rows_.size()) - 1;
    }
    bool empty() const { return rows_.empty(); }
    explicit operator bool() const { return !rows_.empty(); }
    void reset() { block_vector<T>().swap(data_); std::vector<T*>().swap(rows_); }
    void fill(const T& value) { std::fill(data_.begin(), data_.end(), value); }

private:
    block_vector<T> data_;
    std::vector<T*> rows_;
};

// Channel node values by node and link. Routing walks a link's nodes in
// order, so they are stored together: t[n][l] addresses the same element as
// t.link(l)[n], and consecutive nodes of a link are adjacent in memory.
template <class T>
class node_table {
public:
    // One node's values across the links: element l is the node on link l.
    template <class E>
    class across {
    public:
        across(E* first, std::size_t stride) : p_(first), stride_(stride) {}
        E& operator[](int l) const { return p_[static_cast<std::size_t>(l) * stride_]; }  // unchecked

    private:
        E* p_;
        std::size_t stride_;
    };

    node_table() = default;
    // Zero-filled nodes 0..nodes by links 0..links; empty when either is
    // negative. Throws std::bad_alloc / std::length_error on exhaustion.
    node_table(int nodes, int links) {
        if (nodes < 0 || links < 0) return;
        stride_ = static_cast<std::size_t>(nodes) + 1;
        data_ = block_vector<T>(detail::checked_mul(stride_, static_cast<std::size_t>(links) + 1));
    }
    node_table(node_table&&) noexcept = default;
    node_table& operator=(node_table&&) noexcept = default;
    node_table(const node_table&) = delete;
    node_table& operator=(const node_table&) = delete;

    across<T> operator[](int n) { return {data_.data() + n, stride_}; }  // unchecked
    across<const T> operator[](int n) const { return {data_.data() + n, stride_}; }
    // Nodes 0..nodes of link l, contiguous.
    T* link(int l) { return data_.data() + static_cast<std::size_t>(l) * stride_; }
    const T* link(int l) const { return data_.data() + static_cast<std::size_t>(l) * stride_; }
    int nrows() const { return static_cast<int>(stride_) - 1; }  // nodes; -1 when empty
    int ncols() const { return data_.empty() ? -1 : static_cast<int>(data_.size() / stride_) - 1; }
    bool empty() const { return data_.empty(); }
    explicit operator bool() const { return !data_.empty(); }
    void reset() {
        block_vector<T>().swap(data_);
        stride_ = 0;
    }
    void fill(const T& value) { std::fill(data_.begin(), data_.end(), value); }

private:
    block_vector<T> data_;
    std::size_t stride_ = 0;
};

template <class T>
class cube3 {
public:
    cube3() = default;
    // Zero-filled block of sizes (a,b,c), index 0 of every dimension included;
    // empty when any size is negative.
    cube3(int a, int b, int c) {
        if (a < 0 || b < 0 || c < 0) return;
        const std::size_t na = static_cast<std::size_t>(a) + 1;
        const std::size_t nb = static_cast<std::size_t>(b) + 1;
        const std::size_t nc = static_cast<std::size_t>(c) + 1;
        const std::size_t nrow = detail::checked_mul(na, nb);
        block_vector<T> d(detail::checked_mul(nrow, nc));
        std::vector<T*> r(nrow);
        std::vector<T**> p(na);
        for (std::size_t i = 0; i < nrow; ++i) r[i] = d.data() + i * nc;
        for (std::size_t i = 0; i < na; ++i) p[i] = r.data() + i * nb;
        data_.swap(d);
        rows_.swap(r);
        planes_.swap(p);
    }
    cube3(cube3&&) noexcept = default;
    cube3& operator=(cube3&&) noexcept = default;
    cube3(const cube3&) = delete;
    cube3& operator=(const cube3&) = delete;

    T** operator[](int i) { return planes_[static_cast<std::size_t>(i)]; }  // unchecked
    const T* const* operator[](int i) const { return planes_[static_cast<std::size_t>(i)]; }
    T*** planes() { return planes_.empty() ? nullptr : planes_.data(); }
    T* data() { return data_.empty() ? nullptr : data_.data(); }
    // Sizes a, b, c as given; -1 when empty.
    int n1() const { return static_cast<int>(planes_.size()) - 1; }
    int n2() const {
        return planes_.empty() ? -1 : static_cast<int>(rows_.size() / planes_.size()) - 1;
    }
    int n3() const {
        return rows_.empty() ? -1 : static_cast<int>(data_.size() / rows_.size()) - 1;
    }
    bool empty() const { return planes_.empty(); }
    explicit operator bool() const { return !planes_.empty(); }
    void reset() {
        block_vector<T>().swap(data_);
        std::vector<T*>().swap(rows_);
        std::vector<T**>().swap(planes_);
    }
    void fill(const T& value) { std::fill(data_.begin(), data_.end(), value); }

private:
    block_vector<T> data_;
    std::vector<T*> rows_;
    std::vector<T**> planes_;
};

// Block allocators. A size below the minimum (n < 0 for 1-D; any dimension
// < 1 for 2-D and 3-D) prints the size-0 message and yields an empty block.
// Exhausted memory yields an empty block without a message.
vec1<double> alloc1d_double(int n);
vec1<int> alloc1d_int(int n);
mat2<double> alloc2d_double(int rows, int cols);
mat2<char> alloc2d_char(int rows, int cols);
mat2<int> alloc2d_int(int rows, int cols);
cube3<double> alloc3d_double(int a, int b, int c);
cube3<int> alloc3d_int(int a, int b, int c);
node_table<double> alloc_nodes_double(int nodes, int links);
node_table<int> alloc_nodes_int(int nodes, int links);

// Set every element, index 0 of every dimension included. No-op when empty.
void fill1d_double(vec1<double>& b, double value);
void fill1d_int(vec1<int>& b, int value);
void fill2d_double(mat2<double>& b, double value);
void fill2d_char(mat2<char>& b, char value);
void fill2d_int(mat2<int>& b, int value);
void fill3d_double(cube3<double>& b, double value);
void fill3d_int(cube3<int>& b, int value);

// A plane for array3d: rows 0..rows of cols+1 elements, elements 1..cols of
// rows 1..rows set to `value`, the rest 0. Negative sizes print the size-0
// message and yield an empty block. Release by reset() or by letting it go.
mat2<double> alloc_plane(int rows, int cols, double value);
mat2<int> alloc2d_ragged_int(int rows, int cols, int value);

// -------------------------------------------------------------------- array1d

// A growable 1-based vector of n+1 elements (double, int, byte or pointer
// elements). Exact growth: no spare capacity. New elements are zero.
template <class T>
class array1d {
public:
    array1d() = default;
    // n > 0 makes n+1 elements; 0 leaves the array empty; a negative n prints
    // the size-0 message and leaves it empty.
    explicit array1d(int n) {
        if (n < 0) detail::print_size_error();
        else if (n > 0) { v_ = std::vector<T>(static_cast<std::size_t>(n) + 1); n_ = n; }
    }
    array1d(const array1d&) = delete;
    // Copies elements 1..min(n, other's n); sizes, name and element 0 stay.
    array1d& operator=(const array1d& other) { return copy_from(other); }
    array1d& copy_from(const array1d& other) {
        const int m = std::min(n_, other.n_);
        for (int i = 1; i <= m; ++i) v_[i] = other.v_[i];
        return *this;
    }
    ~array1d() { if (bad_range_) detail::print_range_error(name_); }

    void set_name(const std::string& text) { name_ = text; }
    const std::string& name() const { return name_; }

    // Element i for 0 <= i <= n. Any other index (or any index while empty)
    // sets the range flag and yields a private sink element, reset to zero on
    // every such access.
    T& at(int i) {
        if (i >= 0 && i <= n_ && !v_.empty()) return v_[static_cast<std::size_t>(i)];
        bad_range_ = true;
        sink_ = T();
        return sink_;
    }
    // Element i for 0 <= i <= n, else T() (the range flag is left alone).
    T value(int i) const { return i >= 0 && i <= n_ && !v_.empty() ? v_[static_cast<std::size_t>(i)] : T(); }
    T* data() { return v_.empty() ? nullptr : v_.data(); }
    int size() const { return n_; }  // highest index; 0 while empty
    bool bad_range() const { return bad_range_; }

    // Adds k elements (zero): an empty array gets k+1, else n+k+1 with
    // elements 0..n kept. Negative k prints the size-0 message; returns false.
    bool grow(int k) {
        if (k < 0) { detail::print_size_error(); return false; }
        const int n_new = v_.empty() ? k : detail::checked_count(n_, k);
        std::vector<T> nv(static_cast<std::size_t>(n_new) + 1);
        std::copy(v_.begin(), v_.end(), nv.begin());
        v_.swap(nv);
        n_ = n_new;
        return true;
    }
    // Grows by k and sets the new elements old n+1 .. old n+k to `value`.
    void append_fill(int k, const T& value) {
        const int old = n_;
        if (!grow(k)) return;
        for (int i = old + 1; i <= old + k; ++i) v_[i] = value;
    }
    // Stores `value` at index (append count + 1). Past n nothing is written
    // and the range flag is set.
    void append(const T& value) {
        if (count_ >= n_) { bad_range_ = true; return; }
        v_[++count_] = value;
    }

private:
    std::vector<T> v_;
    int n_ = 0;
    int count_ = 0;
    bool bad_range_ = false;
    T sink_ = T();
    std::string name_;
};

// -------------------------------------------------------------------- array2d

// A table of nrows rows, each of ncols+1 elements (element 0 carries no data),
// over any default-constructible T; object elements are built by T's
// constructor and destroyed by its destructor. The row table has nrows+1
// entries, entry 0 null (no table at all before the first rows are added).
template <class T>
class array2d {
public:
    array2d() = default;
    // A negative ncols prints the size-0 message and leaves ncols 0.
    explicit array2d(int ncols) {
        if (ncols < 0) detail::print_size_error();
        else ncols_ = ncols;
    }
    array2d(const array2d&) = delete;
    array2d& operator=(const array2d&) = delete;
    // Prints the bad-pointer message when the table was overwritten. Rows the
    // table made are freed in every case; rows handed in never are.
    ~array2d() { check_pointers(); }

    T* row(int i) { return (i >= 1 && i <= nrows_) ? table_[i] : nullptr; }
    T** rows() { return table_.empty() ? nullptr : table_.data(); }
    int nrows() const { return nrows_; }
    int ncols() const { return ncols_; }

    // Adds k rows of ncols+1 new elements, owned by the table. When ncols is 0
    // a hint other than -1 becomes ncols; ncols 0 then becomes 1. A negative k
    // or hint below -1 prints the size-0 message. False when refused.
    bool add_rows(int k, int ncols_hint = -1) {
        if (k < 0 || ncols_hint < -1) { detail::print_size_error(); return false; }
        if (!check_pointers()) return false;
        if (ncols_ == 0 && ncols_hint != -1) ncols_ = ncols_hint;
        if (ncols_ == 0) ncols_ = 1;
        append_rows(k, nullptr);
        return true;
    }
    // Adds max(k, 1) rows (a negative k is refused) with elements 1..ncols set
    // to `value`.
    void add_rows_fill(int k, const T& value, int ncols_hint = -1) {
        if (k < 0) { detail::print_size_error(); return; }
        const int first = nrows_ + 1;
        if (!add_rows(std::max(k, 1), ncols_hint)) return;
        for (int i = first; i <= nrows_; ++i) std::fill(table_[i] + 1, table_[i] + ncols_ + 1, value);
    }
    // Appends the caller's rows rows[1..k], not owned: the caller keeps them
    // alive while in the table, frees them itself, and gives each at least
    // ncols+1 elements. When ncols is 0 a hint other than -1 becomes ncols.
    // k = 0 adopts nothing; a negative k prints the size-0 message.
    void adopt_rows(int k, T* const* caller_rows, int ncols_hint = -1) {
        if (k < 0 || ncols_hint < -1) { detail::print_size_error(); return; }
        if (k == 0 || !check_pointers()) return;
        if (ncols_ == 0 && ncols_hint != -1) ncols_ = ncols_hint;
        append_rows(k, caller_rows);
    }
    // Widens every row to ncols_new (when larger), keeping elements 1..ncols
    // and setting the new ones to `value` (every widened row becomes owned;
    // a caller's row is left untouched), then appends owned rows up to
    // nrows_new with elements 1..ncols set to `value`.
    void resize_cols_fill(int nrows_new, int ncols_new, const T& value) {
        if (nrows_new < 0 || ncols_new < 0) { detail::print_size_error(); return; }
        if (!check_pointers()) return;
        if (ncols_new > ncols_) {
            std::vector<std::vector<T>> wide(store_.size());  // all built before any is swapped in
            for (int i = 1; i <= nrows_; ++i) {
                wide[i].resize(static_cast<std::size_t>(ncols_new) + 1);
                std::copy(table_[i] + 1, table_[i] + ncols_ + 1, wide[i].begin() + 1);
                std::fill(wide[i].begin() + ncols_ + 1, wide[i].end(), value);
            }
            for (int i = 1; i <= nrows_; ++i) {
                store_[i].swap(wide[i]);
                table_[i] = store_[i].data();
            }
            ncols_ = ncols_new;
        }
        if (nrows_new > nrows_) {
            if (ncols_ == 0) ncols_ = 1;
            const int first = nrows_ + 1;
            append_rows(nrows_new - nrows_, nullptr);
            for (int i = first; i <= nrows_; ++i) std::fill(table_[i] + 1, table_[i] + ncols_ + 1, value);
        }
        save_pointers();
    }

    // Snapshot of the row table (reference, entries, row count).
    void save_pointers() { snap_ref_ = rows(); snap_ = table_; snap_nrows_ = nrows_; }
    // True when the row table is as the table last left it; otherwise prints
    // the 2-D bad-pointer message and returns false.
    bool check_pointers() const {
        if (snap_nrows_ == nrows_ && snap_ref_ == (table_.empty() ? nullptr : table_.data()) &&
            snap_ == table_)
            return true;
        detail::print_bad_pointers_2d();
        return false;
    }

private:
    // Appends k rows: the caller's rows[1..k] (not owned) when `caller` is
    // given, else new owned rows of ncols+1 elements. The new tables are built
    // first and of exact size, so a failure changes nothing. Takes the
    // snapshot.
    void append_rows(int k, T* const* caller) {
        const int n_new = detail::checked_count(nrows_, k);
        const std::size_t len = static_cast<std::size_t>(n_new) + 1;
        std::vector<T*> t;
        std::vector<std::vector<T>> s;
        t.reserve(len);
        s.reserve(len);
        if (table_.empty()) t.push_back(nullptr);
        t.insert(t.end(), table_.begin(), table_.end());
        for (auto& r : store_) s.push_back(std::move(r));
        s.resize(t.size());
        for (int i = 1; i <= k; ++i) {
            s.emplace_back();
            if (caller) {
                t.push_back(caller[i]);
                continue;
            }
            std::vector<T>(static_cast<std::size_t>(ncols_) + 1).swap(s.back());
            t.push_back(s.back().data());
        }
        table_.swap(t);
        store_.swap(s);
        nrows_ = n_new;
        save_pointers();
    }

    int ncols_ = 0;
    int nrows_ = 0;
    std::vector<T*> table_;               // live row table (exposed by rows())
    std::vector<std::vector<T>> store_;   // store_[i]: row i when owned, else empty
    T** snap_ref_ = nullptr;
    std::vector<T*> snap_;
    int snap_nrows_ = 0;
};

// -------------------------------------------------------------------- array3d

// A set of nplanes planes, each a row table of nrows+1 entries whose rows hold
// ncols+1 elements. Planes made by the array (add_planes_fill) are owned and
// freed by it; adopted planes stay the caller's. Each plane keeps the row
// count it had when it joined, so changing nrows later never makes the array
// read past an older plane.
template <class T>
class array3d {
public:
    array3d() = default;
    // Rows per plane and columns per row for the planes to come; negative
    // sizes print the size-0 message and leave both 0.
    array3d(int nrows, int ncols) {
        if (nrows < 0 || ncols < 0) detail::print_size_error();
        else { nrows_ = nrows; ncols_ = ncols; }
        save_pointers();
    }
    array3d(const array3d&) = delete;
    array3d& operator=(const array3d&) = delete;
    ~array3d() { check_pointers(true); }

    void set_name(const std::string& text) { name_ = text; }
    const std::string& name() const { return name_; }
    T** plane(int i) { return (i >= 1 && i <= nplanes_) ? table_[i] : nullptr; }
    T*** planes() { return table_.empty() ? nullptr : table_.data(); }
    int nplanes() const { return nplanes_; }
    int nrows() const { return nrows_; }
    int ncols() const { return ncols_; }

    // Appends the caller's planes[1..k], not owned; each must have at least
    // nrows+1 row entries (nrows after the replacement below) and stay alive
    // while in the array. Sizes other than -1 replace nrows / ncols.
    void adopt_planes(int k, T** const* caller_planes, int nrows_new = -1, int ncols_new = -1) {
        if (!prepare(k, nrows_new, ncols_new)) return;
        for (int i = 1; i <= k; ++i) push_plane(caller_planes[i], mat2<T>());
        save_pointers();
    }
    // Appends k owned planes with elements 1..ncols of rows 1..nrows set to
    // `value`.
    void add_planes_fill(int k, const T& value, int nrows_new = -1, int ncols_new = -1) {
        if (!prepare(k, nrows_new, ncols_new)) return;
        for (int i = 1; i <= k; ++i) {
            mat2<T> p(nrows_, ncols_);
            for (int r = 1; r <= nrows_; ++r) std::fill(p[r] + 1, p[r] + ncols_ + 1, value);
            T** rows = p.rows();
            push_plane(rows, std::move(p));
        }
        save_pointers();
    }

    // Snapshot: plane-table reference and entries, each plane's row entries,
    // plane count and nrows. Called by hand, it accepts the live entries as
    // they are; each must then point to a table with the plane's row count.
    void save_pointers() {
        snap_ref_ = planes();
        snap_table_ = table_;
        snap_rows_.assign(table_.size(), std::vector<T*>());
        for (int i = 1; i <= nplanes_; ++i)
            snap_rows_[i].assign(table_[i], table_[i] + prows_[i] + 1);
        snap_nplanes_ = nplanes_;
        snap_nrows_ = nrows_;
    }
    // True when the tables are as the array last left them; with owned_only,
    // planes not owned are skipped. Otherwise prints the 3-D bad-pointer
    // message and returns false. A plane's rows are read only after its
    // plane-table entry is found unchanged.
    bool check_pointers(bool owned_only) const {
        bool ok = snap_ref_ == (table_.empty() ? nullptr : table_.data()) &&
                  snap_nplanes_ == nplanes_ && snap_nrows_ == nrows_ &&
                  snap_table_.size() == table_.size();
        for (int i = 1; ok && i <= nplanes_; ++i) {
            if (owned_only && store_[i].empty()) continue;
            ok = table_[i] == snap_table_[i] &&
                 std::equal(snap_rows_[i].begin(), snap_rows_[i].end(), table_[i]);
        }
        if (!ok) detail::print_bad_pointers_3d();
        return ok;
    }

private:
    // Common start of adopt/add: refuses negative sizes, verifies every plane,
    // applies the size replacements.
    bool prepare(int k, int nrows_new, int ncols_new) {
        if (k < 0 || nrows_new < -1 || ncols_new < -1) { detail::print_size_error(); return false; }
        if (!check_pointers(false)) return false;
        const std::size_t len = static_cast<std::size_t>(detail::checked_count(nplanes_, k)) + 1;
        if (nrows_new > -1) nrows_ = nrows_new;
        if (ncols_new > -1) ncols_ = ncols_new;
        table_.reserve(len);
        store_.reserve(len);
        prows_.reserve(len);
        if (table_.empty()) { table_.push_back(nullptr); store_.emplace_back(); prows_.push_back(0); }
        return true;
    }
    void push_plane(T** p, mat2<T>&& owner) {
        table_.push_back(p);
        store_.push_back(std::move(owner));
        prows_.push_back(nrows_);
        ++nplanes_;
    }

    int nplanes_ = 0;
    int nrows_ = 0;
    int ncols_ = 0;
    std::vector<T**> table_;    // live plane table (exposed by planes())
    std::vector<mat2<T>> store_;  // store_[i]: plane i when owned, else empty
    std::vector<int> prows_;    // row count of each plane when it joined
    T*** snap_ref_ = nullptr;
    std::vector<T**> snap_table_;
    std::vector<std::vector<T*>> snap_rows_;
    int snap_nplanes_ = 0;
    int snap_nrows_ = 0;
    std::string name_;
};

}  // namespace kesta
