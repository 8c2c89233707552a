// The safety net behind the range checks of the inputs: no output file of a
// run holds a value that is not a finite number. Every writer of series,
// datasets, maps and summaries hands its values to the checks below before
// it writes them; the first value that is not finite stops the run (code
// 4000 with the stop flag, reported by the run driver after the step) with
// a message naming the quantity, the place, the model time and the file
// (named from the output registry: written_file_words), and the line, block
// or frame that holds it is not written. The files the run has written so
// far are closed as at any other stop.
//
// The checks cost one std::isfinite per value; the message is built only
// for a value that fails.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <type_traits>

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"
#include "output/output_registry.hpp"

namespace kesta {

// Stores the stop for `value`, which is not finite, naming `quantity`,
// `place` (may be empty), the model time and the file `file`; a run that is
// already stopping keeps its first message. Always false.
bool refuse_unwritten(const model_state& m, double value, const std::string& quantity, const std::string& place,
                      const std::string& file);

// Index (from 1) of the first of values[1..n] that is not finite; 0 when all
// of them are.
inline int first_not_finite(const vec1<double>& values, int n) {
    const double* v = values.data();
    for (int k = 1; k <= n && k <= values.n(); ++k)
        if (!std::isfinite(v[k])) return k;
    return 0;
}

// The quantity a line of a summary names: the text of `format` before its
// first conversion, without the dots, colons, equals signs and blanks that
// lead to the value.
std::string quantity_of_format(const char* format);

// fprintf(fp, format, args...) when every floating argument is finite;
// otherwise nothing is written and the run stops naming the quantity (the
// text of the format before its value), `place` and the file. False when
// not written.
template <class... A>
bool print_finite(const model_state& m, std::FILE* fp, const std::string& place, const char* format, A... args);

// As print_finite, for a line whose format does not name its quantity:
// `quantity` names it ("the wash-load concentration").
template <class... A>
bool print_named(const model_state& m, std::FILE* fp, const char* quantity, const std::string& place,
                 const char* format, A... args) {
    double bad = 0.0;
    bool finite = true;
    const auto check = [&](auto v) {
        if constexpr (std::is_floating_point_v<decltype(v)>) {
            if (finite && !std::isfinite(v)) {
                finite = false;
                bad = static_cast<double>(v);
            }
        }
    };
    (check(args), ...);
    if (!finite)
        return refuse_unwritten(m, bad, quantity ? std::string(quantity) : quantity_of_format(format), place,
                                written_file_words(m, fp));
    std::fprintf(fp, format, args...);
    return true;
}

template <class... A>
bool print_finite(const model_state& m, std::FILE* fp, const std::string& place, const char* format, A... args) {
    return print_named(m, fp, nullptr, place, format, args...);
}

// One line (or block) of values about to be written, formatted as the
// values come. The first value that is not finite is kept, with the place
// the writer named last (a number the writer interprets), instead of being
// formatted; the writer then writes the line, or stops the run naming it.
class value_line {
public:
    // The place of the values that follow.
    void at(int place) { place_ = place; }
    // Appends `value` printed with `format` (one double conversion).
    void put(const char* format, double value) {
        if (!std::isfinite(value)) {
            if (bad_place_ < 0) {
                bad_place_ = place_;
                bad_value_ = value;
            }
            return;
        }
        append(format, value);
    }
    void text(const char* t) { text_ += t; }
    bool finite() const { return bad_place_ < 0; }
    int bad_place() const { return bad_place_; }
    double bad_value() const { return bad_value_; }
    const std::string& str() const { return text_; }
    // Writes the line to `fp` when every value was finite; else stops the
    // run naming `quantity`, describe(bad place) and the file. False when
    // not written.
    template <class Describe>
    bool write(const model_state& m, std::FILE* fp, const std::string& quantity, Describe describe) const {
        if (!finite())
            return refuse_unwritten(m, bad_value_, quantity, describe(bad_place_), written_file_words(m, fp));
        std::fwrite(text_.data(), 1, text_.size(), fp);
        return true;
    }

private:
    void append(const char* format, double value);
    std::string text_;
    int place_ = 0;
    int bad_place_ = -1;
    double bad_value_ = 0.0;
};

// True when every active cell's value of `values` is finite; else false
// after the stop naming `quantity`, the first such cell and `file`. A grid
// written whole at once asks before it opens its file.
bool grid_finite(const model_state& m, const vec1<double>& values, const std::string& quantity,
                 const std::string& file);

// "cell k (row r, column c)" of the active cell k.
std::string cell_place(const model_state& m, int k);

}  // namespace kesta
