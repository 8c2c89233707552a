// The soil-column constituent kernels: sub-step shares, the cell budget that
// never leaves negative mass, and the first-order loss from a soil layer.
#include <gtest/gtest.h>

#include <vector>

#include "subsurface/soil_constituent_kernels.hpp"

namespace {

using kesta::budget_kind;
using kesta::budget_term;

TEST(SoilConstituentKernels, ShareIsProportionalOnlyForASubStepShorterThanTheInterval) {
    EXPECT_DOUBLE_EQ(kesta::scale_by_ratio(10.0, 0.01, 40.0, 8.0), 2.0);
    EXPECT_EQ(kesta::scale_by_ratio(40.0, 0.01, 40.0, 8.0), 8.0);
    EXPECT_EQ(kesta::scale_by_ratio(39.995, 0.01, 40.0, 8.0), 8.0);  // within the tolerance
    EXPECT_EQ(kesta::scale_by_ratio(50.0, 0.01, 40.0, 8.0), 8.0);
}

TEST(SoilConstituentKernels, CellBudgetAppliesSharesAndStopsAtZeroMass) {
    // A store outside the rate, an unlimited gain outside it, a loss larger
    // than the cell, a second loss and a negative gain, over 10 s of 20.
    double pending[5] = {4.0, 6.0, 30.0, 2.0, -3.0}, acc[5] = {0.0, 0.0, 0.0, 0.0, 7.0};
    const budget_kind kinds[5] = {budget_kind::neither, budget_kind::gain, budget_kind::loss, budget_kind::loss,
                                  budget_kind::gain};
    std::vector<budget_term> terms(5);
    for (int i = 0; i < 5; ++i) {
        terms[i].on = true;
        terms[i].kind = kinds[i];
        terms[i].store = &pending[i];
        terms[i].interval = 20.0;
        terms[i].accumulator = &acc[i];
        terms[i].in_rate = i >= 2;
    }
    terms[1].limited = false;
    terms[4].set_accumulator = true;
    // The loss empties the cell (5 + 3 of its 15) and spends its store; the
    // next two find nothing left.
    EXPECT_DOUBLE_EQ(kesta::soil_contam_cell_budget(terms, 10.0, 1e-6, 5.0, false), -8.0 / 10.0);
    EXPECT_EQ((std::vector<double>(pending, pending + 5)), (std::vector<double>{2.0, 3.0, 0.0, 0.0, 0.0}));
    EXPECT_EQ((std::vector<double>(acc, acc + 5)), (std::vector<double>{2.0, 3.0, 8.0, 0.0, 0.0}));
    EXPECT_EQ(kesta::soil_contam_cell_budget(terms, 10.0, 1e-6, 5.0, true), 0.0);  // overland lake
    EXPECT_EQ(pending[0], 2.0);
}

TEST(SoilConstituentKernels, LayerLossIsCappedAtTheDissolvedMassAndABareLayerHasNoConcentration) {
    kesta::vec1<double> acc(1), porosity(1), thickness(2);
    kesta::mat2<double> rate(2, 1), mass(1, 2), dissolved(1, 2), conc(1, 2);
    std::vector<kesta::soil_class_record> classes(2);
    kesta::vec1<int> soiltype(1);
    soiltype[1] = 1;
    classes[1].v[8] = 0.4;
    porosity[1] = 0.45;
    thickness[1] = 0.1;  // m
    thickness[2] = 0.0;
    rate[1][1] = 1.0;  // 1/s: more than the dissolved mass in a second
    mass[1][1] = mass[1][2] = 100.0;
    dissolved[1][1] = dissolved[1][2] = 0.25;
    const kesta::soil_layer_arrays a{&acc, &rate, &mass, &dissolved, &conc, &porosity, &thickness, &classes, &soiltype};
    kesta::soil_layer_constituent_loss(1, 1, 1, a, 10.0, false, 2.0, 0, 2);
    EXPECT_EQ(mass[1][1], 75.0);
    EXPECT_DOUBLE_EQ(conc[1][1], 75.0 / ((1.0 - 0.45) * 0.1 * 2650.0 * 4.0) * 1000.0);
    kesta::soil_layer_constituent_loss(1, 1, 2, a, 10.0, true, 2.0, 0, 2);  // counted only
    EXPECT_EQ(mass[1][2], 100.0);
    kesta::soil_layer_constituent_loss(1, 1, 2, a, 10.0, false, 2.0, 1, 2);
    EXPECT_EQ(conc[1][2], 0.0);  // no thickness, no soil
    EXPECT_DOUBLE_EQ(acc[1], 25.0 + 25.0 + 25.0);
}

}  // namespace
