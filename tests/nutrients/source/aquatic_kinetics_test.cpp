// Water-column kinetics against values worked out by hand from the rate
// laws, and the nitrogen and phosphorus they conserve.
#include <gtest/gtest.h>

#include <cmath>

#include "nutrients/source/aquatic_kinetics.hpp"

namespace {

vegso_env_record environment(double radiation) {
    vegso_env_record env{};
    env.solar_radiation.given = 1;
    env.solar_radiation.value = radiation;
    return env;
}

aq_species_block block_at_20(double depth, double volume) {
    aq_species_block b;
    b.water_temperature = 20.0;
    b.depth = depth;
    b.volume = volume;
    return b;
}

}  // namespace

TEST(AquaticKinetics, SaturationThetaAmmoniaAndDewPointKnownValues) {
    EXPECT_NEAR(zep_oxygen_saturation(20.0), 9.0925, 5e-5);
    const aq_rate_block rates;
    EXPECT_NEAR(zep_theta_correct(rates, aq_nh4_oxidation, 25.0), 0.148985, 1e-6);
    // pH 7 at 20 °C: 0.3942 % of the total ammonia is un-ionised.
    const double ka = zep_ammonia_dissociation(20.0);
    EXPECT_NEAR(ka / 1e-7, 3.9578e-3, 1e-7);
    EXPECT_NEAR(zep_unionised_ammonia(1.0, 1.0, ka, 1e-7, 1e-7), 3.7366e-3, 1e-7);
    EXPECT_EQ(zep_unionised_ammonia(1.0, 0.5e-4, ka, 1e-7, 1e-7), 0.0);
    // 50 % relative humidity at 20 °C: 11.69 hPa.
    EXPECT_NEAR(zep_dewpoint(11.69), 9.25, 0.005);
}

TEST(AquaticKinetics, AmmoniumAloneNitrifiesAtTheOxygenLimitedRate) {
    aq_species_block b = block_at_20(0.5, 50.0);
    b.species[aq_nh4].conc = 1.0;
    b.species[aq_do].conc = 8.0;
    ASSERT_EQ(ZEPOverlandKinetics(b, environment(0.0), aq_rate_block()), -1);
    // 0.1/day x (1 - exp(-0.6 x 8)) x 1 g/m3 x 50 m3 / 86400 s.
    EXPECT_NEAR(b.species[aq_nh4].change, -5.739411e-5, 1e-11);
    EXPECT_NEAR(b.species[aq_no2].change, 5.739411e-5, 1e-11);
    for (int s : {aq_no3, aq_on, aq_op, aq_dp, aq_alg, aq_cbod}) EXPECT_EQ(b.species[s].change, 0.0) << s;

    // A cache kept over bodies of different temperatures gives what each
    // gets alone.
    const aq_rate_block rates;
    aq_rate_cache cache;
    aq_species_block warm = b, alone = b;
    warm.water_temperature = alone.water_temperature = 25.0;
    ASSERT_EQ(ZEPOverlandKinetics(b, environment(0.0), rates, &cache), -1);
    ASSERT_EQ(ZEPOverlandKinetics(warm, environment(0.0), rates, &cache), -1);
    ASSERT_EQ(ZEPOverlandKinetics(alone, environment(0.0), rates), -1);
    for (int s = 0; s < aq_species_count; ++s) EXPECT_EQ(warm.species[s].change, alone.species[s].change) << s;
    EXPECT_NE(warm.species[aq_nh4].change, b.species[aq_nh4].change);

    // At its minimum depth the block does not react.
    b.depth = b.min_depth;
    ASSERT_EQ(ZEPOverlandKinetics(b, environment(0.0), aq_rate_block()), -1);
    for (const aq_species_record& r : b.species) EXPECT_EQ(r.change, 0.0);
}

TEST(AquaticKinetics, GrowingAlgaeConserveNitrogenAndPhosphorusWithAndWithoutNitrate) {
    aq_rate_block rates;
    for (int e : {aq_cbod_settling, aq_sediment_o2_demand, aq_algal_settling, aq_benthic_dp, aq_benthic_nh4,
                  aq_on_settling, aq_op_settling})
        rates.pair[e].rate = 0.0;
    for (double nitrate : {0.8, 0.0}) {
        aq_species_block b = block_at_20(0.4, 20.0);
        const double conc[aq_species_count] = {0.05, nitrate, 0.3, 0.5, 0.2, 0.1, 2.0, 3.0, 7.0};
        for (int s = 0; s < aq_species_count; ++s) b.species[s].conc = conc[s];
        ASSERT_EQ(ZEPChannelKinetics(b, environment(2.0), rates), -1);
        const aq_species_record* r = b.species;
        ASSERT_GT(r[aq_alg].change, 0.0);  // light enough to grow
        const double n = r[aq_no2].change + r[aq_no3].change + r[aq_nh4].change + r[aq_on].change +
                         rates.pair[aq_algal_n_fraction].rate * r[aq_alg].change;
        const double p = r[aq_op].change + r[aq_dp].change + rates.pair[aq_algal_p_fraction].rate * r[aq_alg].change;
        EXPECT_NEAR(n, 0.0, 1e-15) << nitrate;
        EXPECT_NEAR(p, 0.0, 1e-15) << nitrate;
        // Without nitrate the algae take ammonium only: nitrate gains what
        // nitrite oxidation gives (0.2/day, oxygen-limited) and loses nothing.
        if (nitrate == 0.0) {
            EXPECT_NEAR(r[aq_no3].change, 0.2 * (1.0 - std::exp(-0.6 * 7.0)) * 0.05 * 20.0 / 86400.0, 1e-18);
        }
    }
}

TEST(AquaticKinetics, NegativeConcentrationsAreReportedInOrderAndRoundOffIsZero) {
    aq_species_block b = block_at_20(0.5, 1.0);
    b.species[aq_do].conc = -1.0;
    b.species[aq_alg].conc = -0.5;
    b.species[aq_nh4].conc = -0.5 * aq_roundoff_conc;
    EXPECT_EQ(ZEPOverlandKinetics(b, environment(0.0), aq_rate_block()), aq_alg);
    EXPECT_EQ(zep_negative_message("ZEPOverlandKinetics", aq_alg),
              "ZEPOverlandKinetics ERROR: aqSpecies.aquatic_Alg.conc is negative!\n");
    b.species[aq_alg].conc = 0.0;
    EXPECT_EQ(ZEPOverlandKinetics(b, environment(0.0), aq_rate_block()), aq_do);
    EXPECT_EQ(b.species[aq_nh4].conc, 0.0);
    b.species[aq_do].conc = 0.0;
    b.depth = 0.0;  // a dry block is checked too
    b.species[aq_cbod].conc = -1.0;
    EXPECT_EQ(ZEPOverlandKinetics(b, environment(0.0), aq_rate_block()), aq_cbod);
}
