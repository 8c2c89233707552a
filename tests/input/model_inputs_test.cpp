// Loading the grids and per-cell parameters: mask numbering, the cell-size
// window, the outlet, which source of a parameter wins, unit conversions
// and the refusals of bad input.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "input/input_steps.hpp"
#include "input/model_inputs.hpp"
#include "model/model_state.hpp"
#include "model/optim_results.hpp"
#include "overland/overland_arrays.hpp"
#include "support/grid_text.hpp"
#include "support/temp_dir.hpp"

namespace {

using kesta::g_error_record;
using kesta_test::grid_text;
using kesta_test::table_row;
using std::make_tuple;

using kesta_test::has;

class ModelInputs : public ::testing::Test {
protected:
    void TearDown() override { g_error_record = kesta::error_record(); }

    // Runs a reader from a clean error record, keeping what it printed; true
    // when the run may go on.
    template <class F>
    bool run(F f) {
        g_error_record = kesta::error_record();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        f();
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return g_error_record.stop == 0;
    }

    // A grid of rows x cols cells of `size` m whose mask is `values`; the
    // cells numbered and the per-cell vectors made.
    void load_grid(int rows, int cols, double size, const std::string& values) {
        m->rows = rows;
        m->cols = cols;
        m->gridsize = size;
        m->watershed_mask = dir.write("mask.asc", grid_text(rows, cols, size, values));
        kesta::alloc_imatrix(m->mask, rows + 1, cols + 1, "mask");
        kesta::alloc_imatrix(m->data, rows + 1, cols + 1, "data");
        ASSERT_TRUE(run([&] { kesta::read_watershed_mask(*m); })) << out;
        kesta::alloc_dvector(m->elev, m->ncells, "elev");
        kesta::alloc_overland_arrays(*m);
    }

    std::string map(const std::string& name, const std::string& values) {
        return dir.write(name, grid_text(m->rows, m->cols, m->gridsize, values));
    }

    // A mapping-table file with one table over an index map of the grid.
    void mapping_table(const std::string& keyword, const std::string& ids, const std::string& rows, int nrows) {
        const std::string idx = map("ids.idx", ids);
        m->mapping_table = dir.write("tables.cmt", "KESTA_INDEX_MAP_TABLES\nINDEX_MAP " + idx + " \"Land\"\n" +
                                                       keyword + " \"Land\"\nNUM_IDS " + std::to_string(nrows) +
                                                       "\nID DESCRIPTION VALUES\n" + rows);
        m->mapping_table_given = 1;
    }

    // Green and Ampt infiltration on a row of two cells, its three soil
    // cards given.
    void green_ampt(int area_reduction_given = 0) {
        m = std::make_unique<kesta::model_state>();
        m->green_ampt_on = 1;
        m->conductivity_given = m->capillary_given = m->porosity_given = 1;
        m->area_reduction_given = area_reduction_given;
        load_grid(1, 2, 10.0, "1 1\n");
    }

    // A groundwater run on a grid of 10 m cells whose boundary map is
    // `bounds`, with the groundwater cards a run checks first.
    void groundwater(int rows, int cols, const std::string& mask, const std::string& bounds) {
        m->gw_simulation = m->water_table_given = 1;
        m->timestep = 10.0;
        m->gw_timestep = 60.0;
        load_grid(rows, cols, 10.0, mask);
        m->gw_boundfile = map("bound.asc", bounds);
    }

    kesta_test::temp_dir dir{true};
    std::unique_ptr<kesta::model_state> m = std::make_unique<kesta::model_state>();
    std::string out, err;
};

TEST_F(ModelInputs, MaskCellsAreNumberedRowByRowAndWrittenToMaskmap) {
    load_grid(3, 3, 10.0, "1 0 1\n0 1 0\n1 0 1\n");
    EXPECT_EQ(m->ncells, 5);
    EXPECT_EQ(make_tuple(m->mask[1][1], m->mask[1][3], m->mask[2][2], m->mask[3][1], m->mask[3][3], m->mask[1][2]),
              make_tuple(1, 2, 3, 4, 5, 0));
    EXPECT_DOUBLE_EQ(m->watershed_area, 500.0);
    EXPECT_EQ(kesta_test::read_file(dir.file("maskmap")),
              "north:     30.00\nsouth:      0.00\neast:     30.00\nwest:      0.00\nrows:     3\ncols:     3\n"
              "1 0 2 \n0 3 0 \n4 0 5 \n");
    EXPECT_TRUE(has(out, "number of grid cells in watershed: 5\n"));
}

TEST_F(ModelInputs, GridBeyondWhatItsMaskFileCanHoldIsRefusedBeforeItIsMade) {
    m->rows = 10000;
    m->cols = 10000;
    m->gridsize = 10.0;
    m->watershed_mask = dir.write("mask.asc", grid_text(2, 2, 10.0, "1 1\n1 1\n"));
    EXPECT_FALSE(run([&] { kesta::read_watershed_mask(*m); }));
    EXPECT_TRUE(has(out, "gives a grid of 10000 rows and 10000 columns, 100000000 cells; the watershed mask")) << out;
    EXPECT_TRUE(m->mask.empty());
}

TEST_F(ModelInputs, CellSizeMustAgreeWithTheMaskHeaderToATenthOfAMetre) {
    m->rows = 2;
    m->cols = 2;
    m->gridsize = 30.0;
    kesta::alloc_imatrix(m->mask, 3, 3, "mask");
    auto try_header = [&](const std::string& north, const std::string& east) {
        m->watershed_mask = dir.write("mask.asc", "north: " + north + "\nsouth: 0\neast: " + east +
                                                      "\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 1\n");
        return run([&] { kesta::read_watershed_mask(*m); });
    };
    EXPECT_TRUE(try_header("60.08", "60")) << out;  // 30.04 m truncates like 30.0 m
    EXPECT_FALSE(try_header("60.2", "60"));          // 30.1 m
    EXPECT_TRUE(has(out, "The grid size specified in the project file: 30.0000 m differs from\n"
                         "the north-south dimension of the raster grid cells 30.1000 m as calculated\n"));
    EXPECT_FALSE(try_header("60", "60.2"));
    EXPECT_TRUE(has(out, "the east-west dimension of the raster grid cells 30.1000 m"));
}

TEST_F(ModelInputs, OutletMustLieOnTheGridAndInsideTheWatershedWithOrWithoutChannels) {
    load_grid(2, 2, 10.0, "1 1\n0 1\n");
    m->elevation = map("elev.asc", "5 4\n9 3\n");
    m->outrow = 2;
    m->outcol = 2;
    ASSERT_TRUE(run([&] { kesta::read_elevation_map(*m); })) << out;
    EXPECT_EQ(make_tuple(m->outlet_cell, m->elev[3]), make_tuple(3, 3.0));
    EXPECT_TRUE(has(out, "outlet is in grid cell: 3\n"));

    m->outcol = 1;
    EXPECT_FALSE(run([&] { kesta::read_elevation_map(*m); }));
    EXPECT_TRUE(has(out, "inside the watershed mask.  Check the outlet row and column again"));

    // Channels take the outflow, but the outlet is still a cell of the watershed.
    m->chan_routing = 1;
    m->watershed_mask = "mask.asc";
    EXPECT_FALSE(run([&] { kesta::read_elevation_map(*m); }));
    EXPECT_TRUE(has(out, "The outlet cell in row 2, column 1, given by the OUTROW and OUTCOL cards of the project\n"
                         "file "));
    EXPECT_TRUE(has(out, "lies outside the watershed mask mask.asc."));

    m->outrow = 3;
    EXPECT_FALSE(run([&] { kesta::read_elevation_map(*m); }));
    EXPECT_TRUE(has(out, "The outlet row 3 and column 1 given by the OUTROW and OUTCOL cards"));
}

// Ground, water-table and aquifer-bottom elevations lie within 100 km of
// the datum: the bounds pass, a cell beyond is refused naming its map, row,
// column and value.
TEST_F(ModelInputs, ElevationsBeyondAnyGroundAreRefusedNamingTheCell) {
    load_grid(2, 2, 10.0, "1 1\n0 1\n");
    m->outrow = m->outcol = 1;
    m->elevation = map("elev.asc", "-100000 4\n0 100000\n");
    ASSERT_TRUE(run([&] { kesta::read_elevation_map(*m); })) << out;
    m->elevation = map("elev.asc", "5 4\n0 1e15\n");
    EXPECT_FALSE(run([&] { kesta::read_elevation_map(*m); }));
    EXPECT_TRUE(has(out, "Error: ground elevation 1e+15 m at cell 3 (row 2, column 2), from map " + m->elevation +
                             ": it must lie from -100000 to 100000 m.\n"))
        << out;

    m->elevation = map("elev.asc", "5 4\n0 100000.5\n");
    EXPECT_FALSE(run([&] { kesta::read_elevation_map(*m); }));
    EXPECT_TRUE(has(out, "Error: ground elevation 100000.5 m at cell 3 (row 2, column 2)")) << out;

    m->water_table_given = 1;
    for (int k = 1; k <= 3; ++k) m->elev[k] = 10.0;
    m->water_table = map("wt.asc", "8 -2e5\n0 8\n");
    EXPECT_FALSE(run([&] { kesta::read_water_table_maps(*m); }));
    EXPECT_TRUE(has(out, "Error: water-table elevation -200000 m at cell 2 (row 1, column 2), from map "));
    m->water_table = map("wt.asc", "8 8\n0 8\n");
    m->project_options.aquifer_bottom = map("bottom.asc", "1 1\n0 -1e9\n");
    EXPECT_FALSE(run([&] { kesta::read_water_table_maps(*m); }));
    EXPECT_TRUE(has(out, "Error: aquifer-bottom elevation -1e+09 m at cell 3 (row 2, column 2), from map "));
}

TEST_F(ModelInputs, RoughnessMapWinsOverTheTableWhichWinsOverTheUniformValue) {
    load_grid(1, 2, 10.0, "1 1\n");
    mapping_table("ROUGHNESS", "1 2\n", table_row(1, "0.03") + table_row(2, "0.04"), 2);
    m->mapping_table_info.roughness = 1;
    m->roughness_given = 1;
    m->roughness = map("n.asc", "0.2 0.3\n");
    ASSERT_TRUE(run([&] { kesta::read_roughness(*m); })) << out;
    EXPECT_DOUBLE_EQ(m->dist_rough[1], 0.2);

    m->roughness.clear();  // no map named: the table has the values
    ASSERT_TRUE(run([&] { kesta::read_roughness(*m); })) << out;
    EXPECT_TRUE(has(out, "reading roughness table and map from master table file\n"));
    EXPECT_EQ(make_tuple(m->dist_rough[1], m->dist_rough[2]), make_tuple(0.03, 0.04));

    // A named map that will not open stops the run, table or no table.
    m->roughness = "no_such_map.asc";
    for (int table : {1, 0}) {
        m->mapping_table_info.roughness = table;
        EXPECT_FALSE(run([&] { kesta::read_roughness(*m); }));
        EXPECT_EQ(make_tuple(g_error_record.code, g_error_record.item, g_error_record.file_name),
                  make_tuple(4, "Manning roughness", "no_such_map.asc"));
    }

    // Without map and table, the one value must be positive.
    m->roughness_given = 0;
    m->manning_n = 0.05;
    ASSERT_TRUE(run([&] { kesta::read_roughness(*m); }));
    EXPECT_DOUBLE_EQ(m->dist_rough[2], 0.05);
    m->manning_n = 0.0;
    EXPECT_FALSE(run([&] { kesta::read_roughness(*m); }));
    EXPECT_TRUE(has(out, "\nInvalid spatially uniform overland flow Manning n value=0.000000\nKESTA exiting.\n"));
}

TEST_F(ModelInputs, RoughnessMapNamesTheFirstCellWithoutPositiveRoughness) {
    load_grid(5, 4, 10.0, "1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n");
    m->roughness_given = 1;
    m->roughness = map("n.asc", "1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n0 1 0 1\n");
    EXPECT_FALSE(run([&] { kesta::read_roughness(*m); }));
    EXPECT_TRUE(has(out, "reading roughness map from file: " + m->roughness));
    EXPECT_TRUE(has(out, "Overland Manning n=0 at grid cell 17.  Program terminating.\nManning's n 0 at cell 17 "
                         "(row 5, column 1), from map " + m->roughness + ": it must be greater than 0.\n"));
}

// Values no soil can have: each refused at set-up naming its source, cell and value.
TEST_F(ModelInputs, SoilValuesOutsideTheirPhysicalRangeAreRefused) {
    const struct {
        const char *ks, *hc, *phi, *moisture;  // maps of two cells; moisture "" for none
        std::string says;
    } cases[] = {
        {"3.6 -0.65", "20 5", "0.4 0.45", "", "saturated hydraulic conductivity -0.65 cm/h at cell 2 (row 1, column 2)"
                                              ", from map ks.asc: it must be 0 or more.\n"},
        {"3.6 36", "-1 5", "0.4 0.45", "", "capillary head -1 cm at cell 1 (row 1, column 1)"},
        {"3.6 36", "20 5", "0.4 1", "", "porosity 1 at cell 2 (row 1, column 2), from map phi.asc: it must lie "
                                        "between 0 and 1 (both excluded).\n"},
        {"3.6 36", "20 5", "0 0.45", "", "porosity 0 at cell 1"},
        {"3.6 36", "20 5", "0.4 0.45", "0.3 0.5", "initial soil moisture 0.5 at cell 2 (row 1, column 2), from map "
                                                  "theta.asc: it must lie from 0 to the cell's porosity 0.45.\n"},
        {"3.6 36", "20 5", "0.4 0.45", "-0.1 0.2", "initial soil moisture -0.1 at cell 1"},
        {"0 36", "0 5", "0.4 0.45", "0.4 0", ""},  // the bounds themselves are values soils have
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + c.says);
        green_ampt();
        m->moisture_given = c.moisture[0] != '\0';
        std::string* files[] = {&m->conductivity, &m->capillary, &m->porosity, &m->moisture};
        const char* names[] = {"ks.asc", "hc.asc", "phi.asc", "theta.asc"};
        const char* values[] = {c.ks, c.hc, c.phi, c.moisture};
        for (int i = 0; i < 4; ++i) {
            dir.write(names[i], grid_text(1, 2, 10.0, values[i]));
            *files[i] = names[i];
        }
        EXPECT_EQ(run([&] { kesta::read_infiltration_params(*m); }), c.says.empty());
        EXPECT_EQ(has(out, "Error: " + c.says), !c.says.empty()) << out;
    }
}

// Albedo, vegetation height, transmission coefficient and canopy resistance
// no land can have: refused in the table naming its row, in a map naming
// the cell; the bounds themselves pass.
TEST_F(ModelInputs, EvapotranspirationValuesOutsideTheirPhysicalRangeAreRefused) {
    const struct {
        const char *alb, *veg, *kt, *rs;  // maps of two cells
        std::string says;
    } cases[] = {
        {"0.2 7", "0.3 0.3", "1 1", "100 100", "albedo 7 at cell 2 (row 1, column 2), from map alb.asc: it must lie "
                                               "from 0 to 1.\n"},
        {"0.2 0.2", "151 0.3", "1 1", "100 100", "vegetation height 151 m at cell 1 (row 1, column 1)"},
        {"0.2 0.2", "0.3 0.3", "1 -0.5", "100 100", "transmission coefficient -0.5 at cell 2"},
        {"0.2 0.2", "0.3 0.3", "1 1", "100 1e6", "canopy resistance 1e+06 s/m at cell 2 (row 1, column 2), from "
                                                 "map rs.asc: it must lie from 0 to 100000 s/m.\n"},
        {"0 1", "0 150", "0 1", "0 1e5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + c.says);
        m = std::make_unique<kesta::model_state>();
        m->long_term = m->et_calc_penman = 1;
        m->albedo_given = m->vheight_given = m->tcoeff_given = m->canopy_given = 1;
        load_grid(1, 2, 10.0, "1 1\n");
        std::string* files[] = {&m->albedo, &m->vheight, &m->tcoeff, &m->canopy};
        const char* names[] = {"alb.asc", "veg.asc", "kt.asc", "rs.asc"};
        const char* values[] = {c.alb, c.veg, c.kt, c.rs};
        for (int i = 0; i < 4; ++i) {
            dir.write(names[i], grid_text(1, 2, 10.0, values[i]));
            *files[i] = names[i];
        }
        EXPECT_EQ(run([&] { kesta::read_et_maps(*m); }), c.says.empty());
        EXPECT_EQ(has(out, "Error: " + c.says), !c.says.empty()) << out;
    }

    m = std::make_unique<kesta::model_state>();
    m->long_term = 1;
    load_grid(1, 2, 10.0, "1 1\n");
    mapping_table("EVAPOTRANSPIRATION", "1 1\n", table_row(1, "-1e308 0.3 1.0 100"), 1);
    m->mapping_table_info.evapotranspiration = 1;
    EXPECT_FALSE(run([&] { kesta::read_et_maps(*m); }));
    EXPECT_TRUE(has(out, "table EVAPOTRANSPIRATION, line 6: the row of ID 1 gives the albedo -1e+308; it must lie "
                         "from 0 to 1\n")) << out;
}

TEST_F(ModelInputs, RetentionDepthsAreMillimetres) {
    load_grid(1, 2, 10.0, "1 1\n");
    m->reten_depth_given = 1;
    m->reten_depth = map("ret.asc", "5 12\n");
    ASSERT_TRUE(run([&] { kesta::read_retention(*m); }));
    EXPECT_DOUBLE_EQ(m->retent_dep[1], 0.005);
    EXPECT_DOUBLE_EQ(m->retent_dep[2], 0.012);

    m->reten_depth_given = 0;
    m->retention_given = 1;
    m->retention = 5.0;
    ASSERT_TRUE(run([&] { kesta::read_retention(*m); }));
    EXPECT_DOUBLE_EQ(m->retent_dep[2], 0.005);

    m->retention_given = 0;
    ASSERT_TRUE(run([&] { kesta::read_retention(*m); }));
    EXPECT_DOUBLE_EQ(m->retent_dep[2], 0.0);
}

TEST_F(ModelInputs, GreenAmptMapsAreConvertedAndInitialDeficitIsThePorosity) {
    green_ampt(1);
    m->conductivity = map("ks.asc", "3.6 36\n");  // cm/h
    m->capillary = map("hc.asc", "20 5\n");       // cm
    m->porosity = map("phi.asc", "0.4 0.45\n");
    m->area_reduction = map("ar.asc", "0.3 0\n");
    ASSERT_TRUE(run([&] { kesta::read_infiltration_params(*m); })) << out;
    EXPECT_DOUBLE_EQ(m->ks_map[1], 1e-5);
    EXPECT_DOUBLE_EQ(m->ks_map[2], 1e-4);
    EXPECT_DOUBLE_EQ(m->hc_map[1], 0.2);
    EXPECT_DOUBLE_EQ(m->area_redux[1], 0.7);
    // Without a moisture input the soil starts saturated, and reports so.
    EXPECT_EQ(make_tuple(m->area_redux[2], m->thi[2], m->theta_all[2]), make_tuple(1.0, 0.45, 0.45));

    // The moisture a cell reports is the one the moisture map gives it.
    m->moisture_given = 1;
    m->moisture = map("th.asc", "0.1 0.2\n");
    ASSERT_TRUE(run([&] { kesta::read_infiltration_params(*m); })) << out;
    EXPECT_EQ(make_tuple(m->thi[1], m->theta_all[1], m->thi[2], m->theta_all[2]), make_tuple(0.1, 0.1, 0.2, 0.2));
}

TEST_F(ModelInputs, GreenAmptTableFillsTheCellsAndAMapReplacesItsColumnButNotItsRefusals) {
    green_ampt();
    mapping_table("GREEN_AMPT_INFILTRATION", "1 2\n",
                  table_row(1, "3.6 10 0.3 0.2 0.05 0.3 0.1") + table_row(2, "36 20 0.35 0.2 0.05 0.3 0.1"), 2);
    m->mapping_table_info.green_ampt = 1;
    m->porosity = map("phi.asc", "0.5 0.5\n");
    ASSERT_TRUE(run([&] { kesta::read_infiltration_params(*m); })) << out;
    EXPECT_TRUE(has(out, "reading saturated hydraulic conductivity table and map from the master table file\n"));
    EXPECT_DOUBLE_EQ(m->ks_map[2], 1e-4);
    EXPECT_DOUBLE_EQ(m->hc_map[1], 0.1);
    EXPECT_DOUBLE_EQ(m->phi_map[1], 0.5);  // the map, not the table's 0.3

    // A table row with Ks -0.65 cm/h and porosity 5.0 is refused, naming the
    // table (in a new run: a run reads its table file once).
    green_ampt();
    mapping_table("GREEN_AMPT_INFILTRATION", "1 2\n",
                  table_row(1, "3.6 10 0.3 0.2 0.05 0.3 0.1") + table_row(2, "-0.65 20 5.0 0.2 0.05 0.3 0.1"), 2);
    m->mapping_table_info.green_ampt = 1;
    EXPECT_FALSE(run([&] { kesta::read_infiltration_params(*m); }));
    EXPECT_TRUE(has(out, "Error: saturated hydraulic conductivity -0.65 cm/h at cell 2 (row 1, column 2), from the "
                         "GREEN_AMPT_INFILTRATION table of mapping-table file " + m->mapping_table))
        << out;
}

TEST_F(ModelInputs, GreenAmptWithoutASoilParameterIsRefusedNamingItsCard) {
    // Each parameter missing in turn, the ones before it given by map: first
    // without its card, then with the card but neither a map nor the table.
    const char* const what[] = {"saturated hydraulic conductivity of every cell: give the CONDUCTIVITY card",
                                "capillary head of every cell: give the CAPILLARY card",
                                "porosity of every cell: give the POROSITY card"};
    for (int missing = 0; missing < 3; ++missing) {
        for (int card = 0; card <= 1; ++card) {
            m = std::make_unique<kesta::model_state>();
            kesta::model_state& s = *m;
            int* cards[] = {&s.conductivity_given, &s.capillary_given, &s.porosity_given};
            std::string* files[] = {&s.conductivity, &s.capillary, &s.porosity};
            s.green_ampt_on = 1;
            for (int i = 0; i <= missing; ++i) *cards[i] = i < missing || card;
            load_grid(1, 1, 10.0, "1\n");
            for (int i = 0; i < missing; ++i) *files[i] = map("p" + std::to_string(i) + ".asc", "0.3\n");
            EXPECT_FALSE(run([&] { kesta::read_infiltration_params(s); }));
            EXPECT_TRUE(has(out, std::string("Green and Ampt infiltration needs the ") + what[missing])) << out;
        }
    }
}

TEST_F(ModelInputs, RichardsAquiferBottomLiesATenthBelowTheWaterTableButNotAboveGround) {
    m->inf_richards_on = 1;
    m->water_table_given = 1;
    load_grid(1, 2, 10.0, "1 1\n");
    m->elev[1] = 10.0;
    m->elev[2] = 10.0;
    m->water_table = map("wt.asc", "8 10.2\n");
    ASSERT_TRUE(run([&] { kesta::read_water_table_maps(*m); })) << out;
    EXPECT_DOUBLE_EQ(m->aquifer_delta_z, 0.1);
    EXPECT_DOUBLE_EQ(m->bottom_elev[1], 7.9);
    EXPECT_DOUBLE_EQ(m->bottom_elev[2], 10.0);
    EXPECT_TRUE(has(out, "Aquifer bottom elevation 10.100000 for cell 2 is at or above ground surface elevation "
                         "10.000000 \nAquifer bottom elevation set to ground elevation \n"));
    EXPECT_EQ(m->exfiltrate.n(), 2);
}

TEST_F(ModelInputs, InitialHeadFillsTheCellsBelowIt) {
    load_grid(1, 3, 10.0, "1 1 1\n");
    m->elev[1] = 4.0;
    m->elev[2] = 6.0;
    m->elev[3] = 5.0;
    m->project_options.init_elev_head_given = 1;
    m->project_options.init_elev_head = 5.5;
    ASSERT_TRUE(run([&] { kesta::read_overland_hotstart(*m); }));
    EXPECT_EQ(make_tuple(m->h[1], m->h[2], m->h_old[3], m->ov_water_at_start), make_tuple(1.5, 0.0, 0.5, 1));
}

TEST_F(ModelInputs, GroundwaterFluxIsCubicMetresPerDayOverACellOfTheGrid) {
    const std::string row8 = "1 1 1 1 1 1 1 1\n", zeros = "0 0 0 0 0 0 0 0\n";
    groundwater(5, 8, row8 + row8 + row8 + row8 + row8, zeros + zeros + zeros + "0 0 0 0 0 0 6 0\n" + zeros);
    m->gw_unif_hycond_given = m->gw_unif_porosity_given = 1;
    m->gw_unif_hycond = 360.0;  // cm/h
    m->gw_unif_porosity = 0.3;
    m->gw_fluxboundtable = dir.write("flux.txt", "1\n4 7 86400.0\n");
    ASSERT_TRUE(run([&] { kesta::read_groundwater_inputs(*m); })) << out;
    const int cell = m->mask[4][7];
    EXPECT_EQ(m->gwbound[cell], 6);
    EXPECT_DOUBLE_EQ(m->qwell_static[cell], 0.01);
    EXPECT_DOUBLE_EQ(m->qwell_static[cell - 1], 0.0);
    EXPECT_DOUBLE_EQ(m->gw_Kx_hycond[1], 0.001);
    EXPECT_DOUBLE_EQ(m->gw_Ky_hycond[1], 0.001);
    EXPECT_EQ(make_tuple(m->STOR[40], m->DELX[40]), make_tuple(0.3, 10.0));

    m->gw_fluxboundtable = dir.write("flux.txt", "1\n6 7 86400.0\n");
    EXPECT_FALSE(run([&] { kesta::read_groundwater_inputs(*m); }));
    EXPECT_TRUE(has(out, "file " + m->gw_fluxboundtable + ", line 2: row 6, column 7 lies outside the grid"));

    // Without any conductivity the run is refused.
    m->gw_unif_hycond_given = 0;
    m->gw_fluxboundtable = dir.write("flux.txt", "0\n");
    EXPECT_FALSE(run([&] { kesta::read_groundwater_inputs(*m); }));
    EXPECT_EQ(g_error_record.code, 126);
}

// A well count larger than the file ends at its end and sizes nothing.
TEST_F(ModelInputs, WellListsAreReadAsFarAsTheFileGoes) {
    groundwater(1, 2, "1 1\n", "0 0\n");
    m->gw_unif_hycond_given = m->gw_unif_porosity_given = 1;
    m->gw_unif_hycond = 1.0;
    m->gw_unif_porosity = 0.3;
    m->gw_well_level_given = 1;
    m->out_well_location = dir.write("wells.txt", "20000000\n1 1\n");
    EXPECT_FALSE(run([&] { kesta::read_groundwater_inputs(*m); }));
    EXPECT_TRUE(has(out, "End of file reached in file " + m->out_well_location + ", exiting\n")) << out;
    EXPECT_TRUE(m->well_row.empty());

    m->out_well_location = dir.write("wells.txt", "2\n1 1\n1 2\n");
    ASSERT_TRUE(run([&] { kesta::read_groundwater_inputs(*m); })) << out;
    EXPECT_EQ(make_tuple(m->well_count, m->well_row[2], m->well_column[2]), make_tuple(2, 1, 2));
}

// Without a conductivity or porosity for the aquifer, a run with a soil
// table takes those of the last soil layer of each cell's class.
TEST_F(ModelInputs, AquiferTakesTheLastSoilLayerWhenNothingElseGivesIt) {
    m->inf_layered_on = 1;
    groundwater(1, 2, "1 1\n", "0 0\n");
    m->soiltype[1] = 3;
    m->soiltype[2] = 4;
    m->soil_class[3].v[6] = 3.6;  // layer 3 conductivity (cm/h)
    m->soil_class[3].v[9] = 0.4;  // layer 3 porosity
    m->soil_class[4].v[6] = 7.2;
    m->soil_class[4].v[9] = 0.3;
    ASSERT_TRUE(run([&] { kesta::read_groundwater_inputs(*m); })) << out;
    EXPECT_EQ(make_tuple(m->gw_Kx_hycond[1], m->gw_Ky_hycond[2], m->gw_array_porosity[1], m->STOR[2]),
              make_tuple(1e-5, 2e-5, 0.4, 0.3));
}

// A refused list sizes nothing; a count larger than the file ends at its end.
TEST_F(ModelInputs, MoistureCellListNamesActiveCellsAndRefusesOthers) {
    load_grid(2, 2, 10.0, "1 1\n0 1\n");
    m->in_theta_location_given = 1;
    const std::pair<std::string, std::string> refused[] = {
        {"2\n1 2\n9 2\n", "line 3: row 9, column 2 lies outside the grid"},
        {"2\n2 1\n", "row 2, column 1 lies outside the watershed"},
        {"20000000\n1 2\n2 2\n", "End of file reached in file " + dir.file("theta.txt") + ", exiting\n"},
    };
    for (const auto& [text, says] : refused) {
        m->in_theta_location = dir.write("theta.txt", text);
        EXPECT_FALSE(run([&] { kesta::read_cell_list(*m); })) << "case " << text;
        EXPECT_TRUE(has(out, says)) << out;
        EXPECT_EQ(make_tuple(m->cell_loc.empty(), m->cell_loc_count), make_tuple(true, 0)) << "case " << text;
    }

    m->in_theta_location = dir.write("theta.txt", "2\n1 2\n2 2\n");
    ASSERT_TRUE(run([&] { kesta::read_cell_list(*m); })) << out;
    EXPECT_EQ(make_tuple(m->cell_loc_count, m->cell_loc[1], m->cell_loc[2]), make_tuple(2, 2, 3));
}

TEST_F(ModelInputs, RichardsCellListKeepsTheSoilNodesAndRefusesTooMany) {
    m->inf_richards_on = 1;
    load_grid(1, 2, 10.0, "1 1\n");
    m->in_theta_location_given = 1;
    // As many node columns as an entry uses, not the largest count the head allows.
    m->in_theta_location = dir.write("theta.txt", "2 20000000\n1 1 2\n4 7\n1 2 3 1 2 3\n");
    ASSERT_TRUE(run([&] { kesta::read_cell_list(*m); })) << out;
    EXPECT_EQ(make_tuple(m->cell_num[1], m->cell_nodes[1][2], m->cell_nodes[2][3], m->cell_nodes.ncols()),
              make_tuple(2, 7, 3, 3));

    m->in_theta_location = dir.write("theta.txt", "1 2\n1 1 3 1 2 3\n");
    EXPECT_FALSE(run([&] { kesta::read_cell_list(*m); }));
    EXPECT_TRUE(has(out, "3 soil nodes listed where 0 to 2 are allowed"));
}

class LakeMap : public ModelInputs {
protected:
    void SetUp() override {
        m->overland_lake_map_given = 1;
        load_grid(1, 4, 10.0, "1 1 1 1\n");
        for (int k = 1; k <= 4; ++k) m->elev[k] = k;  // 1, 2, 3, 4 m
        m->overland_lake_map = map("lakes.asc", "1 1 0 2\n");
    }
    bool read_lakes(const std::string& lake_file) {
        m->overland_lake_file = dir.write("lakes.txt", lake_file);
        return run([&] { kesta::read_lake_map(*m); });
    }
};

TEST_F(LakeMap, VolumesComeFromTheLevelsAndACellAtTheSurfaceAddsNothing) {
    ASSERT_TRUE(read_lakes("KESTA_OVERLAND_LAKE_FILE\n# lakes\nLAKE 2 4.0 999\nlake 1 2.5 999\n")) << out;
    ASSERT_EQ(m->n_oland_lakes, 2);
    EXPECT_EQ(make_tuple(m->oland_lake_new[2], m->oland_lakes[1].ncells), make_tuple(1, 2));
    EXPECT_EQ(make_tuple(m->oland_lakes[1].level, m->oland_lakes[1].initial_level), make_tuple(2.5, 2.5));
    EXPECT_DOUBLE_EQ(m->oland_lakes[1].volume, (1.5 + 0.5) * 100.0);
    EXPECT_DOUBLE_EQ(m->oland_lakes[2].volume, 0.0);
    EXPECT_TRUE(has(out, "1   Elev: 4.00   Volume: 999.00\n2   Elev: 2.50   Volume: 999.00\n"));
}

TEST_F(LakeMap, RefusesLakesAboveTheirCellsBadNumbersAndWrongCounts) {
    const std::pair<std::string, std::string> refused[] = {
        {"kesta_overland\nLAKE 1 1.5 0\nLAKE 2 4 0\n",
         "There is a lake cell in lake 1 that is above the initial lake water surface\n"
         "elevation in that lake, which is specified as 1.500000."},
        {"KESTA_OVERLAND_LAKE_FILE\nLAKE 3 5 0\nLAKE 2 4 0\n", "line 2: lake number 3 lies outside 1 to 2"},
        {"KESTA_OVERLAND_LAKE_FILE\nLAKE 1 5 0\n", "Expected 2 LAKE cards, read 1\n"},
        {"KESTA_OVERLAND_LAKE_FILE\n", "No LAKE cards encountered before end of file.\n"},
    };
    for (const auto& [text, says] : refused) {
        EXPECT_FALSE(read_lakes(text)) << text;
        EXPECT_TRUE(has(out, says)) << out;
    }
    EXPECT_FALSE(read_lakes("LAKES\nLAKE 1 5 0\nLAKE 2 5 0\n"));
    EXPECT_TRUE(has(err, " KESTA_OVERLAND_LAKE_FILE card.\n"));
}

TEST(OptimRecord, EventsAndLocationsShareOneFlatTable) {
    g_error_record = kesta::error_record();
    auto m = std::make_unique<kesta::model_state>();
    m->optimize_given = 1;
    m->nevents = 3;
    m->hyd_loc_count = 1;
    kesta::alloc_optim_record(*m);
    ASSERT_NE(m->run_result, nullptr);
    kesta::optim_record& r = *m->run_result;
    EXPECT_EQ(r.num_columns, 2);
    EXPECT_EQ(kesta::optim_index(r, 0, 1), -1);
    EXPECT_EQ(kesta::optim_index(r, 3, 1), 6);
    kesta::optim_store(r, 2, 0, 12.5, 3000.0);
    EXPECT_EQ(make_tuple(r.peak[3], r.volume[3]), make_tuple(12.5, 3000.0));
    kesta::optim_store(r, 4, 0, 1.0, 1.0);  // no such event: nothing written
    EXPECT_EQ(r.peak.size(), 7u);
}

}  // namespace
