// The constituent ledger: its arrays, its bookings and its balances.
#include <gtest/gtest.h>

#include "model/model_state.hpp"
#include "transport/constituent_books.hpp"

namespace {

using kesta::con_flow;

// One contaminant slot over one cell that holds `grams` dissolved over land,
// its books open; with `soil`, also one soil layer holding `soil_grams`.
void one_cell(kesta::model_state& m, double grams, bool soil = false, double soil_grams = 0.0) {
    m.ncontam = 1;
    m.ncells = 1;
    m.ov_con_trans = 1;
    m.soil_con_trans = soil ? 1 : 0;
    m.add_slot_totals(1);
    m.constituent_type.append_fill(1, kesta::constituent_kind::contaminant);
    m.contam_mass.resize(2);
    m.contam_land_mass.resize(2);
    m.contam_mass[1] = kesta::vec1<double>(1);
    m.contam_land_mass[1] = kesta::vec1<double>(1);
    m.contam_mass[1][1] = grams;
    if (soil) {
        m.soil_layer_count = kesta::vec1<int>(1);
        m.soil_layer_count[1] = 1;
        m.soil_mass.resize(2);
        m.soil_mass[1] = kesta::mat2<double>(1, 1);
        m.soil_mass[1][1][1] = soil_grams;
        m.SOIL_MASS_INIT.at(1) = soil_grams / 1000.0;
    }
    // As the set-up takes them (kg).
    m.OV_MASS_INIT.at(1) = grams / 1000.0;
    m.GLOBAL_MASS_INIT.at(1) = (grams + soil_grams) / 1000.0;
    kesta::open_constituent_event_books(m);
}

// Arrays that several rows name (a flow counted by two compartments, the
// basin totals many flows add to) grow once per slot, as every other.
TEST(ConstituentLedger, EveryArrayGrowsOnceWithTheSlotsAndCarriesItsName) {
    kesta::model_state m;
    m.add_slot_totals(2);
    m.add_slot_totals(1);
    const auto check = [&m](const kesta::con_member& a) {
        if (!a.array) return;
        EXPECT_EQ((m.*a.array).size(), 3) << a.name;
        EXPECT_EQ((m.*a.array).name(), a.name);
    };
    for (const kesta::con_row& row : kesta::constituent_ledger()) {
        check(row.run);
        check(row.event);
        check(row.basin);
    }
    for (int p = 0; p < static_cast<int>(kesta::con_part::count); ++p) {
        const kesta::con_compartment& k = *kesta::constituent_compartment(static_cast<kesta::con_part>(p));
        check(k.run_error);
        check(k.event_error);
    }
}

// A flow between two compartments reaches the books of both; a book two
// compartments count is added to once; a basin total gathers the flows of
// every compartment.
TEST(ConstituentLedger, AFlowReachesEachOfItsBooksOnce) {
    kesta::model_state m;
    m.add_slot_totals(1);
    kesta::book(m, con_flow::chan_lateral, 1, 2000.0);
    for (const auto* a : {&m.CHAN_LAT_MASS, &m.event_chan_lat_mass, &m.OV_QLAT_MASS, &m.event_ov_qlat_mass})
        EXPECT_EQ(a->value(1), 2.0) << a->name();
    kesta::book(m, con_flow::lake_from_channels, 1, 1000.0);
    EXPECT_EQ(m.LAKE_CHAN_INFLOW_MASS.value(1), 1.0);
    EXPECT_EQ(m.event_lake_chan_inflow_mass.value(1), 1.0);
    kesta::book(m, con_flow::ov_point, 1, 500.0);
    kesta::book(m, con_flow::chan_point, 1, 250.0);
    EXPECT_EQ(m.OV_POINT_MASS.value(1), 0.5);
    EXPECT_EQ(m.CHAN_POINT_MASS.value(1), 0.25);
    EXPECT_EQ(m.GLOBAL_POINT_SOURCE.value(1), 0.75);
}

// 10 kg over land; 1 kg of rain comes, 3 kg leave at the outlet and 2 kg
// decay: 6 kg are left and every balance closes. An infiltration booked
// while its mass stays on the cell is 1 kg the books cannot place: -1/11 of
// the input, over land and in the basin.
TEST(ConstituentLedger, TheBalancesAreTheSignedSumsOfTheirRows) {
    kesta::model_state m;
    one_cell(m, 10000.0);
    kesta::book(m, con_flow::ov_precip, 1, 1000.0);
    kesta::book(m, con_flow::ov_outlet, 1, 3000.0);
    kesta::book(m, con_flow::ov_decay, 1, 2000.0);
    m.contam_mass[1][1] = 6000.0;
    kesta::close_constituent_books(m, false);
    EXPECT_EQ(m.OV_MASS_FINAL.value(1), 6.0);
    EXPECT_EQ(m.OV_MASS_ERROR.value(1), 0.0);
    kesta::close_constituent_books(m, true);
    EXPECT_EQ(m.OV_RUN_MASS_ERROR.value(1), 0.0);
    EXPECT_EQ(m.GLOBAL_MASS_FINAL.value(1), 6.0);
    EXPECT_EQ(m.GLOBAL_MASS_CON_ERROR.value(1), 0.0);

    kesta::book(m, con_flow::ov_infil, 1, 1000.0);
    kesta::close_constituent_books(m, true);
    EXPECT_DOUBLE_EQ(m.OV_RUN_MASS_ERROR.value(1), -100.0 / 11.0);
    EXPECT_DOUBLE_EQ(m.GLOBAL_MASS_CON_ERROR.value(1), -100.0 / 11.0);
}

// With soil layers the water's exchange with the mixing layer counts as
// what the soil took and gave, on both sides, and not again as the uptake:
// 2 kg from the water into a layer of 4 kg leave every balance closed.
TEST(ConstituentLedger, WithSoilLayersTheExchangeCountsOnceOnEachSide) {
    kesta::model_state m;
    one_cell(m, 10000.0, true, 4000.0);
    m.contam_mass[1][1] -= 2000.0;
    m.soil_mass[1][1][1] += 2000.0;
    kesta::book_ov_exchange(m, 1, -2000.0);
    EXPECT_EQ(m.OV_UPTAKE_MASS.value(1), -2.0);
    EXPECT_EQ(m.event_ov_to_soil_mass.value(1), 2.0);
    kesta::close_constituent_books(m, false);
    EXPECT_EQ(m.OV_MASS_ERROR.value(1), 0.0);
    EXPECT_EQ(m.soil_mass_balance_error.value(1), 0.0);
    EXPECT_EQ(m.event_soil_mass_final.value(1), 6.0);
    kesta::close_constituent_books(m, true);
    EXPECT_EQ(m.OV_RUN_MASS_ERROR.value(1), 0.0);
    EXPECT_EQ(m.SOIL_MASS_ERROR.value(1), 0.0);
    EXPECT_EQ(m.GLOBAL_MASS_CON_ERROR.value(1), 0.0);
}

}  // namespace
