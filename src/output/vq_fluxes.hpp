// The reservoir model's segment fluxes (VQ_FLUXES).
#pragma once

#include "core/arrays.hpp"
#include "model/model_state_fwd.hpp"
#include "output/output_objects.hpp"

namespace kesta {

// One pass: every face between a cell of a segment and a cell of none adds
// its flow |qx| or |qy| (m3/s) to that segment, whichever way it runs; two
// cells of segments (the same or not) exchange nothing. With channels, each
// listed node adds its |discharge| to its segment.
void vq_accumulate_fluxes(vq_data& vq, const vec1<double>& qx, const vec1<double>& qy, int ncells,
                          const vec1<int>& right, const vec1<int>& below, bool channels, const node_table<double>& qp);

// One output line: the day counted from 1 at the first output, then the
// mean inflow of each segment of the map over the passes since the last
// line, which starts the next sums. Nothing when no pass was summed.
void vq_write_segment_fluxes(vq_data& vq, double day);

// The model's every-pass and output-pass steps of the segment fluxes.
void vq_segment_fluxes_step(model_state& m);
void vq_segment_fluxes_output(model_state& m);

// Closes the segment flux output (a failed write is refused, code 4000).
void vq_segment_fluxes_close(model_state& m);

}  // namespace kesta
