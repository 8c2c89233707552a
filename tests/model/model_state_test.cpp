// Construction and release of the model state, and the per-cell vectors
// that the run's options call for.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/allocators.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "support/stream_capture.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::model_state;

std::string destroy_and_capture(std::unique_ptr<model_state>& m) {
    return kesta_test::printed_by([&] { m.reset(); });
}

TEST(ModelState, RangeErrorOnANamedArrayIsReportedByNameAtDeletion) {
    auto m = std::make_unique<model_state>();
    m->OV_MASS_OUT.append_fill(3, 0.0);
    m->OV_MASS_OUT.at(4) = 1.0;  // one past the end
    m->OV_MASS_OUT.at(9) = 1.0;
    m->soil_km[2].at(-1);  // unnamed
    const std::string out = destroy_and_capture(m);
    EXPECT_EQ(out, "Error: bad range addressed in array \nError: bad range addressed in array OV_MASS_OUT\n");
}

TEST(ModelState, DatasetMapSeriesIsClosedWithItsEndMark) {
    kesta_test::temp_dir dir;
    const std::string path = dir.file("depth.dat");
    auto m = std::make_unique<model_state>();
    ASSERT_TRUE(m->map_outputs[0].open(2, "", "depth", ".asc", path, 1010, "depth", "card DEPTH", *m));
    ASSERT_TRUE(m->map_outputs[1].open(1, dir.path().string(), "discharge", ".asc", "", 1011, "discharge",
                                       "card DISCHARGE", *m));
    m.reset();
    const std::string text = kesta_test::read_file(path);
    EXPECT_EQ(text.substr(text.size() - 6), "ENDDS\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("discharge.0001.asc")));
}

TEST(ModelState, PartlyBuiltStateReleasesEverythingItHolds) {
    // Under the sanitizers a leak or double free here fails the test run.
    auto m = std::make_unique<model_state>();
    m->ncells = 5;
    m->nutrients = 1;
    m->zep = std::make_unique<kesta::zep_container>();
    m->zep->overland.total_n = kesta::vec1<double>(5);
    m->nutrient_linknodes.push_back(std::make_unique<kesta::linknode_output>());
    m->ov_sed = std::make_unique<kesta::sed_record>();
    kesta::alloc_dmatrix(4, 5, m->ov_sed->vol_sed.suspended, "sed");
    m->vq = std::make_unique<kesta::vq_data>();
    m->vq->seg_map = kesta::vec1<int>(3);
    m->nutr_map_outputs.add_rows(2, 2);
    m->soil_mass.emplace_back(3, 4);
    kesta::alloc_overland_arrays(*m);
    EXPECT_EQ(destroy_and_capture(m), "");
}

// The vectors that exist after alloc_overland_arrays, by name.
std::vector<std::string> made_vectors(const model_state& m) {
#define KESTA_VECTOR(v) {#v, !m.v.empty()}
    const std::pair<const char*, bool> all[] = {
        KESTA_VECTOR(h), KESTA_VECTOR(h_max_flood), KESTA_VECTOR(h_old), KESTA_VECTOR(ri), KESTA_VECTOR(dh),
        KESTA_VECTOR(sox), KESTA_VECTOR(soy), KESTA_VECTOR(qx), KESTA_VECTOR(qy), KESTA_VECTOR(volx),
        KESTA_VECTOR(voly), KESTA_VECTOR(qmap), KESTA_VECTOR(hdummy), KESTA_VECTOR(qdummy), KESTA_VECTOR(belowcon),
        KESTA_VECTOR(rightcon), KESTA_VECTOR(abovecon), KESTA_VECTOR(leftcon), KESTA_VECTOR(yes_exfil),
        KESTA_VECTOR(ks_map), KESTA_VECTOR(thi), KESTA_VECTOR(soiltype), KESTA_VECTOR(num1), KESTA_VECTOR(gwbound),
        KESTA_VECTOR(elevgw), KESTA_VECTOR(gw_flux), KESTA_VECTOR(bottom_elev), KESTA_VECTOR(qwell),
        KESTA_VECTOR(Adummy), KESTA_VECTOR(alb), KESTA_VECTOR(icep_stor), KESTA_VECTOR(retent_dep),
        KESTA_VECTOR(dist_rough), KESTA_VECTOR(lake_num), KESTA_VECTOR(oland_lake_mask)};
#undef KESTA_VECTOR
    std::vector<std::string> made;
    for (const auto& [name, present] : all)
        if (present) made.emplace_back(name);
    return made;
}

TEST(OverlandArrays, RunWithNoOptionsGetsOnlyTheAlwaysMadeVectors) {
    model_state m;
    m.ncells = 7;
    kesta::alloc_overland_arrays(m);
    const std::vector<std::string> expected = {
        "h",        "h_old",    "ri",      "dh",        "sox",        "soy",       "qx",        "qy",
        "belowcon", "rightcon", "abovecon", "leftcon", "yes_exfil", "retent_dep", "dist_rough"};
    EXPECT_EQ(made_vectors(m), expected);
    // The ADE schemes' scratch comes with them.
    model_state ade;
    ade.ncells = 7;
    ade.overtype = 3;
    kesta::alloc_overland_arrays(ade);
    EXPECT_EQ(ade.volx.n() + ade.voly.n() + ade.hdummy.n() + ade.qdummy.n(), 4 * 7);
    EXPECT_EQ(m.h.n(), 7);
    EXPECT_EQ(m.leftcon.n(), 7);
    for (int k = 0; k <= 7; ++k) EXPECT_EQ(m.h[k], 0.0);
}

TEST(OverlandArrays, RichardsWithGroundwaterTakesWaterTableVectorsFromTheRichardsGroup) {
    model_state m;
    m.ncells = 4;
    m.inf_richards_on = 1;
    m.gw_simulation = 1;
    m.water_table_given = 1;
    kesta::alloc_overland_arrays(m);
    // Highest indices: the cell count for the water table, 151 for the solver's work vectors.
    EXPECT_EQ((std::vector<int>{m.elevgw.n(), m.bottom_elev.n(), m.num1.n(), m.num3.n()}),
              (std::vector<int>{4, 4, 151, 151}));
    EXPECT_EQ((std::vector<bool>{m.qwell.empty(), m.gwbound.empty()}), (std::vector<bool>{false, false}));
    EXPECT_EQ(m.bound_type[1], 1);
    EXPECT_EQ(m.bound_type[4], 1);
}

TEST(OverlandArrays, GroundwaterWithoutRichardsMakesItsOwnSolverVectors) {
    model_state m;
    m.ncells = 3;
    m.gw_simulation = 1;
    m.green_ampt_on = 1;
    kesta::alloc_overland_arrays(m);
    EXPECT_EQ((std::vector<bool>{m.bottom_elev.empty(), m.Adummy.empty(), m.soiltype.empty(), m.num1.empty()}),
              (std::vector<bool>{false, false, true, true}));
}

TEST(OverlandArrays, MapSwitchesAddTheirVectors) {
    model_state m;
    m.ncells = 2;
    m.discharge_given = 1;
    m.overland_lake_map_given = 1;
    m.interception = 1;
    m.long_term = 1;
    kesta::alloc_overland_arrays(m);
    EXPECT_EQ(m.qmap.n(), 2);
    // Vegetation only with the Penman method; lake numbers only with channel lakes.
    EXPECT_EQ((std::vector<bool>{m.oland_lake_mask.empty(), m.icep_stor.empty(), m.alb.empty(), m.veg.empty(),
                                 m.lake_num.empty()}),
              (std::vector<bool>{false, false, false, true, true}));
}

}  // namespace
