#include "output/vq_inflow.hpp"

#include <cstdio>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"

namespace kesta {

bool vq_qin_open(model_state& m, const std::string& file_name) {
    std::string name = file_name;
    m.vq_qin_fp = open_file(name, "w", 1);
    if (!m.vq_qin_fp) return false;
    std::fprintf(m.vq_qin_fp.get(), "  output from %s\n\n    JDAY     QIN\n", "KESTA");
    return true;
}

void vq_qin_write(model_state& m) {
    if (!m.vq_qin_fp) return;
    const double day = m.day_of_year + m.hour / 24.0 + m.minute / 1440.0;
    print_named(m, m.vq_qin_fp.get(), "the discharge", "the outlet", "%-8.1lf %-7.1f\n", day,
                static_cast<double>(static_cast<float>(m.q_out)));
}

void vq_qin_close(model_state& m) {
    if (close_file_checked(m.vq_qin_fp) == 0) return;
    std::string name = m.project_options.vq_input;
    strip_quotes(name);
    refuse(format_text("Error writing reservoir model inflow file %s: the output is incomplete.\n",
                       output_path(name, "w", 1).c_str()));
}

void vq_end(model_state&) {}

}  // namespace kesta
