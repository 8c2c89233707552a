#include "output/finite_output.hpp"

#include <cstring>

#include "core/calendar.hpp"
#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_services.hpp"
#include "model/model_state.hpp"

namespace kesta {

bool refuse_unwritten(const model_state& m, double value, const std::string& quantity, const std::string& place,
                      const std::string& file) {
    if (g_error_record.stop) return false;
    m.value_unwritten = 1;
    store_refusal(format_text("Error: %s%s%s is not a finite number (%s) at %.2lf minutes of simulated time (%s); "
                              "the run stops rather than write it to %s.\n",
                              quantity.c_str(), place.empty() ? "" : " at ", place.c_str(),
                              std::isnan(value) ? "not a number" : "infinite", m.elapsed_min,
                              date_time_text(m.time).c_str(), file.c_str()));
    return false;
}

std::string quantity_of_format(const char* format) {
    const char* end = std::strchr(format, '%');
    std::string q(format, end ? static_cast<std::size_t>(end - format) : std::strlen(format));
    const auto leads = [](char c) { return c == ' ' || c == '.' || c == ':' || c == '=' || c == '\n' || c == '\t'; };
    while (!q.empty() && leads(q.back())) q.pop_back();
    std::size_t first = 0;
    while (first < q.size() && leads(q[first])) ++first;
    q.erase(0, first);
    return q.empty() ? std::string("a value") : "\"" + q + "\"";
}

void value_line::append(const char* format, double value) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, value);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof buf) {
        text_.append(buf, static_cast<std::size_t>(n));
        return;
    }
    text_ += format_text(format, value);
}

bool grid_finite(const model_state& m, const vec1<double>& values, const std::string& quantity,
                 const std::string& file) {
    const int k = first_not_finite(values, m.ncells);
    return k == 0 || refuse_unwritten(m, values[k], quantity, cell_place(m, k), file);
}

std::string cell_place(const model_state& m, int k) {
    int row = 0, col = 0;
    cell_row_col(m, k, row, col);
    return format_text("cell %d (row %d, column %d)", k, row, col);
}

}  // namespace kesta
