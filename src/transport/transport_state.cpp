#include "transport/transport_state.hpp"

#include "transport/constituent_ledger.hpp"

namespace kesta {

namespace {

// The per-slot arrays that are no book of the ledger: the rain's
// concentration and the partition coefficient, and the per-step rates over
// land, each named after its member.
#define KESTA_VALUES(name) {&transport_state::name, #name}
const con_member kPerSlotValues[] = {
    KESTA_VALUES(precip_conc),   KESTA_VALUES(water_soil_partition_coef),
    KESTA_VALUES(OV_LAND_MASS),  KESTA_VALUES(ov_exit_mass),
    KESTA_VALUES(ov_out_dmt),    KESTA_VALUES(ov_point_dmt),
    KESTA_VALUES(ov_decay_dmt),  KESTA_VALUES(ov_infil_dmt),
    KESTA_VALUES(ov_qlat_dmt),   KESTA_VALUES(ov_uptake_dmt),
    KESTA_VALUES(ov_precip_dmt), KESTA_VALUES(ov_zep_dmt),
    KESTA_VALUES(ov_zep_dmt_in), KESTA_VALUES(ov_zep_dmt_out),
};
#undef KESTA_VALUES

}  // namespace

transport_state::transport_state() {
    // The mass-balance arrays carry their own names into their messages.
    name_ledger_arrays(*this);
    for (const con_member& v : kPerSlotValues) (this->*v.array).set_name(v.name);
    constituent_type.set_name("constituent_type");
}

void transport_state::add_slot_totals(int k) {
    grow_ledger_arrays(*this, k);
    for (const con_member& v : kPerSlotValues) (this->*v.array).append_fill(k, 0.0);
}

}  // namespace kesta
