#include "output/vq_inflow.hpp"

#include <cstdio>

#include "core/error_record.hpp"
#include "core/text_format.hpp"
#include "model/model_state.hpp"
#include "output/finite_output.hpp"

namespace kesta {

bool vq_qin_open(model_state& m, const std::string& file_name) {
    output_request request;
    request.words = "card VQ_INPUT";
    request.name = file_name;
    request.group = output_group::coupling;
    request.what = "reservoir model inflow file";
    const opened_output o = open_output(m, request, &m.vq_qin_fp);
    if (!o.fp) return false;
    std::fprintf(o.fp, "  output from %s\n\n    JDAY     QIN\n", "KESTA");
    return true;
}

void vq_qin_write(model_state& m) {
    if (!m.vq_qin_fp) return;
    const double day = m.day_of_year + m.hour / 24.0 + m.minute / 1440.0;
    print_named(m, m.vq_qin_fp.get(), "the discharge", "the outlet", "%-8.1lf %-7.1f\n", day,
                static_cast<double>(static_cast<float>(m.q_out)));
}

void vq_qin_close(model_state& m) { close_output(m, m.vq_qin_fp); }

void vq_end(model_state&) {}

}  // namespace kesta
