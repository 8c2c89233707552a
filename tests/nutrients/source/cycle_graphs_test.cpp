// The nitrogen and phosphorus graphs of a soil layer: conservation, the
// direction of residue mineralisation, the nitrification water factor and
// degenerate layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/nitrogen_graph.hpp"
#include "nutrients/source/phosphorus_graph.hpp"
#include "nutrients/source/soil_graph.hpp"
#include "nutrients/source/soil_layer.hpp"
#include "nutrients/source/soil_schema.hpp"
#include "nutrients/source/vegso_interface.hpp"

using namespace VEGSO;

namespace {

// One layer of a cell with its descriptors, factors and environment.
struct layer_setup {
    vegso_env_record* env = vegso_env_create();
    vegso_layer_record* record = vegso_layer_defaults();
    SoilLayerDescriptor descriptor;
    std::unique_ptr<SoilLayer> soil;
    NitrogenCycleDescriptor nitrogen;
    PhosphorusCycleDescriptor phosphorus;

    // Volumetric water content, field capacity and wilting point; °C.
    layer_setup(double water, double field_capacity, double wilting_point, double temperature) {
        env->period = 1.0 / 24.0;
        vegso_env_update(env);
        record->v[vegso_water_content] = water;
        record->v[vegso_field_capacity] = field_capacity;
        record->v[vegso_wilting_point] = wilting_point;
        record->v[vegso_temperature] = temperature;
        descriptor.readFrom(*record);
        soil = std::make_unique<SoilLayer>(descriptor);
    }
    ~layer_setup() {
        vegso_free_record(env);
        vegso_free_record(record);
    }
    ProcessContext context() const {
        ProcessContext c;
        c.environment = env->environment;
        c.nitrogenCycle = &nitrogen;
        c.phosphorusCycle = &phosphorus;
        c.soilLayer = soil.get();
        return c;
    }
};

// Every pool of both graphs holds some mass, so that every pathway can move.
void fill_pools(layer_setup& s) {
    s.nitrogen.fresh.mass = 3.0;
    s.nitrogen.active.mass = 40.0;
    s.nitrogen.stable.mass = 10.0;
    s.nitrogen.ammonium.mass = 0.5;
    s.nitrogen.nitrate.mass = 2.0;
    s.phosphorus.fresh.mass = 0.3;
    s.phosphorus.active.mass = 1.0;
    s.phosphorus.stable.mass = 4.0;
    s.phosphorus.mineralActive.mass = 0.2;
    s.phosphorus.mineralStable.mass = 0.8;
    s.phosphorus.mineralSolution.mass = 0.1;
}

template <class Graph>
double total(const Graph& g) {
    return g.state().totalMass();
}

}  // namespace

TEST(CycleGraphs, NitrogenAndPhosphorusAreConservedWithoutRainRepairStepsIncluded) {
    layer_setup s(0.35, 0.3, 0.1, 25.0);  // wet and warm: every pathway moves
    ASSERT_GE(s.soil->waterFactor, 0.9);
    fill_pools(s);
    NITROGEN::NitrogenDiGraph n(true);
    PHOSPHORUS::PhosphorusDiGraph p;
    n.loadPools(s.nitrogen);
    p.loadPools(s.phosphorus);
    const double n0 = total(n);
    const double p0 = total(p);
    int repaired = 0;
    for (int step = 0; step < 2000; ++step) {
        n.setFloraDemand(step % 3 == 0 ? 60.0 : 0.5);  // per day: overdraws the mineral pools
        repaired += n.step(s.context(), s.nitrogen).repairScans > 0;
        p.balanceOrganic(s.context());
        p.step(s.context(), s.phosphorus);
    }
    EXPECT_GT(repaired, 100);
    EXPECT_NEAR(total(n), n0, 1e-13 * n0);
    EXPECT_NEAR(total(p), p0, 1e-13 * p0);
    EXPECT_GE(n.state().mass(NITROGEN::kMineralNH4Pool), 0.0);
    EXPECT_GE(n.state().mass(NITROGEN::kMineralNO3Pool), 0.0);
    EXPECT_GT(n.state().mass(NITROGEN::kDenitrifiedPool), 0.0);
    EXPECT_GT(n.state().mass(NITROGEN::kFloraNO3Pool), 0.0);
    EXPECT_EQ(s.nitrogen.nitrate.mass, n.state().mass(NITROGEN::kMineralNO3Pool));
    EXPECT_EQ(s.phosphorus.mineralSolution.mass, p.state().mass(PHOSPHORUS::kMineralSolutionPool));
}

TEST(CycleGraphs, ResidueMineralisationMovesFreshMatterToTheMineralPools) {
    layer_setup s(0.3, 0.3, 0.1, 20.0);
    s.nitrogen.fresh.mass = 10.0;  // C:N = 0.58 / 10.5, well below 25: full speed
    s.nitrogen.nitrate.mass = 0.5;
    s.phosphorus.fresh.mass = 10.0;
    s.phosphorus.mineralSolution.mass = 0.5;
    NITROGEN::NitrogenDiGraph n(false);
    PHOSPHORUS::PhosphorusDiGraph p;
    n.loadPools(s.nitrogen);
    p.loadPools(s.phosphorus);
    n.step(s.context(), s.nitrogen);
    p.step(s.context(), s.phosphorus);
    // 0.003 per day times the combined factor, on about 10 units for an hour.
    const double expected = 0.003 * s.soil->combinedFactor * 10.0 / 24.0;
    EXPECT_NEAR(n.state().lastFlux(NITROGEN::kOrganicFreshToMineralNO3), expected, 0.01 * expected);
    EXPECT_NEAR(p.state().lastFlux(PHOSPHORUS::kOrganicFreshToMineralSolution), expected, 0.01 * expected);
}

TEST(CycleGraphs, NitrificationSlowsBelowAQuarterOfTheAvailableWaterAndStopsAtTheWiltingPoint) {
    const double tau = 0.41 * (25.0 - 5.0) / 10.0;
    const struct {
        double water;
        double factor;
    } cases[] = {{0.29, 1.0}, {0.3, 1.0}, {0.125, 0.5}, {0.1, 0.0}, {0.05, 0.0}};
    for (const auto& c : cases) {
        layer_setup s(c.water, 0.3, 0.1, 25.0);
        s.nitrogen.ammonium.mass = 1.0;
        NITROGEN::NitrogenDiGraph n(false);
        n.loadPools(s.nitrogen);
        n.step(s.context(), s.nitrogen);
        EXPECT_NEAR(n.state().rate(NITROGEN::kMineralNH4ToMineralNO3), tau * c.factor, 1e-12) << c.water;
        EXPECT_GE(n.state().lastFlux(NITROGEN::kMineralNH4ToMineralNO3), 0.0) << c.water;
    }
}

TEST(CycleGraphs, DegenerateLayersGiveRealRatesAndMasses) {
    // No thickness, no field capacity, no wilting point and empty pools.
    layer_setup s(0.0, 0.0, 0.0, 25.0);
    s.record->v[vegso_thickness] = 0.0;
    s.descriptor.readFrom(*s.record);
    s.soil->updateFactors();
    EXPECT_EQ(s.soil->waterFactor, 0.05);
    NITROGEN::NitrogenDiGraph n(true);
    PHOSPHORUS::PhosphorusDiGraph p;
    n.step(s.context(), s.nitrogen);
    p.balanceOrganic(s.context());
    p.step(s.context(), s.phosphorus);
    for (int w = 0; w < n.state().topology().pathwayCount(); ++w) EXPECT_TRUE(std::isfinite(n.state().rate(w)));
    for (int w = 0; w < p.state().topology().pathwayCount(); ++w) EXPECT_TRUE(std::isfinite(p.state().rate(w)));
    EXPECT_EQ(total(n), 0.0);
    EXPECT_EQ(total(p), 0.0);

    // A wet layer without field capacity counts as wet.
    s.record->v[vegso_thickness] = 0.1;
    s.record->v[vegso_water_content] = 0.2;
    s.descriptor.readFrom(*s.record);
    s.soil->updateFactors();
    EXPECT_EQ(s.soil->waterFactor, 1.0);
}

TEST(CycleGraphs, RainNitrateReachesTheTopLayerAndIsCountedInRepairStepsToo) {
    layer_setup s(0.2, 0.3, 0.1, 3.0);  // cold: no nitrification or volatilisation
    s.env->rainfall = {1, 100.0};
    s.env->rain_nitrate = {1, 1.0};
    vegso_env_update(s.env);
    NITROGEN::NitrogenDiGraph top(true);
    NITROGEN::NitrogenDiGraph lower(false);
    EXPECT_EQ(lower.state().topology().poolIndex("RainfallNO3Pool"), -1);
    const double before = total(top);
    const double delivered = 0.01 * 100.0 * 1.0 / 24.0;  // per hourly step
    for (int step = 1; step <= 48; ++step) {
        top.setFloraDemand(50.0);  // takes all the nitrate there is: every step repairs
        EXPECT_GT(top.step(s.context(), s.nitrogen).repairScans, 0);
        EXPECT_NEAR(top.state().mass(NITROGEN::kRainfallNO3Pool), step * delivered, 1e-12);
    }
    // What the rain brought is in the soil or the plants, and counted once
    // more in the rain pool.
    EXPECT_NEAR(total(top) - before, 2.0 * 48.0 * delivered, 1e-12);
}

// The library's own graph shapes take an unrolled step of their own (and,
// without plants, applied matter or rain, one that leaves out the pathways
// that move nothing): masses and amounts as the step over the run-time
// topology gives them, bit for bit, quiet or not, top layer or lower.
TEST(CycleGraphs, TheUnrolledStepsGiveTheStepOfTheTopology) {
    for (const bool top : {true, false}) {
        for (const double demand : {0.0, 0.8}) {
            SCOPED_TRACE(std::string(top ? "top" : "lower") + (demand > 0.0 ? ", plants" : ", quiet"));
            layer_setup s(0.33, 0.3, 0.1, 18.0);  // wet enough to denitrify
            fill_pools(s);
            NITROGEN::NitrogenDiGraph n(top);
            PHOSPHORUS::PhosphorusDiGraph p;
            n.loadPools(s.nitrogen);
            p.loadPools(s.phosphorus);
            if (demand > 0.0) p.state().setRate(PHOSPHORUS::kMineralSolutionToFlora, demand);
            const double dt = s.env->environment->period;
            for (int step = 0; step < 30; ++step) {
                n.setFloraDemand(demand);
                auto nitrogen = n.state();
                auto phosphorus = p.state();
                n.step(s.context(), s.nitrogen);
                p.balanceOrganic(s.context());
                p.step(s.context(), s.phosphorus);
                // The same masses and rates through the run-time topology.
                for (int w = 0; w < nitrogen.topology().pathwayCount(); ++w) nitrogen.setRate(w, n.state().rate(w));
                for (int w = 0; w < phosphorus.topology().pathwayCount(); ++w)
                    phosphorus.setRate(w, p.state().rate(w));
                nitrogen.step(dt);
                phosphorus.step(dt);
                for (int q = 0; q < nitrogen.topology().poolCount(); ++q)
                    ASSERT_EQ(nitrogen.mass(q), n.state().mass(q)) << step << " " << q;
                for (int w = 0; w < nitrogen.topology().pathwayCount(); ++w)
                    ASSERT_EQ(nitrogen.lastFlux(w), n.state().lastFlux(w)) << step << " " << w;
                for (int q = 0; q < phosphorus.topology().poolCount(); ++q)
                    ASSERT_EQ(phosphorus.mass(q), p.state().mass(q)) << step << " " << q;
            }
            EXPECT_GT(n.state().mass(NITROGEN::kDenitrifiedPool), 0.0);
        }
    }
}

// The soil temperature's factor follows the temperature, computed once for
// each temperature it meets.
TEST(CycleGraphs, TheTemperatureFactorFollowsTheSoilTemperature) {
    layer_setup s(0.2, 0.3, 0.1, 20.0);
    const auto factor = [](double t) { return t / (t + std::exp(9.93 - 0.312 * t)) * 0.9 + 0.1; };
    EXPECT_DOUBLE_EQ(s.soil->temperatureFactor, factor(20.0));
    s.record->v[vegso_temperature] = 30.0;
    s.descriptor.readFrom(*s.record);
    s.soil->updateFactors();
    EXPECT_DOUBLE_EQ(s.soil->temperatureFactor, factor(30.0));
    s.record->v[vegso_temperature] = -5.0;  // below the floor
    s.descriptor.readFrom(*s.record);
    s.soil->updateFactors();
    EXPECT_EQ(s.soil->temperatureFactor, 0.1);
}

// Each descriptor pool loads into the graph pool of its name and comes back
// from it: distinct masses catch a pool loaded from, or copied back to, the
// wrong one. A step whose rates are all 0 moves nothing, so what comes back
// is what went in, each in its own place.
TEST(CycleGraphs, DescriptorPoolsLoadIntoTheirNamedPoolsAndComeBack) {
    NitrogenCycleDescriptor nitrogen;
    nitrogen.fresh.mass = 1.0;
    nitrogen.active.mass = 2.0;
    nitrogen.stable.mass = 3.0;
    nitrogen.ammonium.mass = 4.0;
    nitrogen.nitrate.mass = 5.0;
    for (bool top : {true, false}) {
        NITROGEN::NitrogenDiGraph n(top);
        n.loadPools(nitrogen);
        const GraphTopology& t = NITROGEN::NitrogenDiGraph::topology(top);
        const struct {
            const char* pool;
            double mass;
        } expected[] = {{"FreshPool", 1.0},      {"ActivePool", 2.0},    {"StablePool", 3.0},
                        {"MineralNH4Pool", 4.0}, {"MineralNO3Pool", 5.0}, {"AppliedOrganicPool", 0.0}};
        for (const auto& e : expected) EXPECT_EQ(n.state().mass(t.poolIndex(e.pool)), e.mass) << e.pool;
        EXPECT_EQ(t.poolCount(), top ? 13 : 12);
        EXPECT_EQ(t.poolIndex("RainfallNO3Pool"), top ? NITROGEN::kRainfallNO3Pool : -1);
    }

    PhosphorusCycleDescriptor phosphorus;
    phosphorus.fresh.mass = 1.0;
    phosphorus.active.mass = 2.0;
    phosphorus.stable.mass = 3.0;
    phosphorus.mineralActive.mass = 4.0;
    phosphorus.mineralStable.mass = 5.0;
    phosphorus.mineralSolution.mass = 6.0;
    PHOSPHORUS::PhosphorusDiGraph p;
    p.loadPools(phosphorus);
    const GraphTopology& t = PHOSPHORUS::PhosphorusDiGraph::topology();
    const struct {
        const char* pool;
        double mass;
    } expected[] = {{"FreshPool", 1.0},         {"ActivePool", 2.0},        {"StablePool", 3.0},
                    {"MineralActivePool", 4.0}, {"MineralStablePool", 5.0}, {"MineralSolutionPool", 6.0}};
    for (const auto& e : expected) EXPECT_EQ(p.state().mass(t.poolIndex(e.pool)), e.mass) << e.pool;

    // Back: a step of the graph with every rate 0 (the layer's combined
    // factor 0 stops mineralisation) copies each pool to its own
    // descriptor pool.
    layer_setup s(0.3, 0.35, 0.1, 20.0);
    s.soil->combinedFactor = 0.0;
    for (int w = 0; w < PHOSPHORUS::kPathwayCount; ++w) p.state().setRate(w, 0.0);
    PhosphorusCycleDescriptor out;
    (void)p.step(s.context(), out);
    EXPECT_EQ(out.fresh.mass, 1.0);
    EXPECT_EQ(out.active.mass, 2.0);
    EXPECT_EQ(out.stable.mass, 3.0);
    EXPECT_EQ(out.mineralActive.mass, 4.0);
    EXPECT_EQ(out.mineralStable.mass, 5.0);
}

// A step over a workspace moves the graph's pools as the graph's own step
// does, bit for bit, with the same rates and amounts left in the workspace,
// and leaves the graph's own rates and amounts alone. One workspace serves
// layers of both nitrogen shapes in turn: what one graph's step leaves there
// does not reach the next (the rain rate of a top layer, the plants'
// demand), as every rate a step reads is set or stays at its construction.
TEST(CycleGraphs, AStepOverAWorkspaceMovesThePoolsAsTheGraphsOwnStep) {
    layer_setup s(0.33, 0.3, 0.1, 18.0);  // wet enough to denitrify
    fill_pools(s);
    s.env->rainfall.given = 1;
    s.env->rainfall.value = 20.0;
    vegso_env_update(s.env);
    NITROGEN::NitrogenDiGraph::Workspace nitrogen_work;
    PHOSPHORUS::PhosphorusDiGraph::Workspace phosphorus_work;
    NITROGEN::NitrogenDiGraph own[2] = {NITROGEN::NitrogenDiGraph(true), NITROGEN::NitrogenDiGraph(false)};
    NITROGEN::NitrogenDiGraph worked[2] = {NITROGEN::NitrogenDiGraph(true), NITROGEN::NitrogenDiGraph(false)};
    PHOSPHORUS::PhosphorusDiGraph p_own[2], p_worked[2];
    for (int j = 0; j < 2; ++j) {
        own[j].loadPools(s.nitrogen);
        worked[j].loadPools(s.nitrogen);
        p_own[j].loadPools(s.phosphorus);
        p_worked[j].loadPools(s.phosphorus);
    }
    for (int step = 0; step < 24; ++step) {
        for (int j = 0; j < 2; ++j) {
            SCOPED_TRACE(std::string(j == 0 ? "top" : "lower") + ", step " + std::to_string(step));
            const double demand = j == 0 && step % 2 == 0 ? 0.4 : 0.0;  // plants on the top layer, every other step
            NitrogenCycleDescriptor cycle;
            own[j].setFloraDemand(demand);
            own[j].step(s.context(), cycle);
            NITROGEN::NitrogenDiGraph::setFloraDemand(demand, nitrogen_work);
            worked[j].step(s.context(), nitrogen_work);
            for (int q = 0; q < own[j].state().topology().poolCount(); ++q)
                ASSERT_EQ(worked[j].state().mass(q), own[j].state().mass(q)) << q;
            for (int w = 0; w < own[j].state().topology().pathwayCount(); ++w) {
                ASSERT_EQ(nitrogen_work.rate[w], own[j].state().rate(w)) << w;
                ASSERT_EQ(nitrogen_work.lastFlux[w], own[j].state().lastFlux(w)) << w;
                ASSERT_EQ(worked[j].state().lastFlux(w), 0.0) << w;
            }
            ASSERT_EQ(NITROGEN::NitrogenDiGraph::floraUptake(nitrogen_work), own[j].floraUptake());

            const NITROGEN::NitrogenDiGraph::State& n = own[j].state();
            s.nitrogen.active.mass = n.mass(NITROGEN::kActivePool);
            s.nitrogen.stable.mass = n.mass(NITROGEN::kStablePool);
            PhosphorusCycleDescriptor p_cycle;
            p_own[j].balanceOrganic(s.context());
            p_own[j].step(s.context(), p_cycle);
            p_worked[j].balanceOrganic(n.mass(NITROGEN::kActivePool), n.mass(NITROGEN::kStablePool), phosphorus_work);
            p_worked[j].step(s.context(), phosphorus_work);
            for (int q = 0; q < PHOSPHORUS::kPoolCount; ++q)
                ASSERT_EQ(p_worked[j].state().mass(q), p_own[j].state().mass(q)) << q;
            for (int w = 0; w < PHOSPHORUS::kPathwayCount; ++w) {
                ASSERT_EQ(phosphorus_work.lastFlux[w], p_own[j].state().lastFlux(w)) << w;
                ASSERT_EQ(p_worked[j].state().rate(w), PHOSPHORUS::PhosphorusDiGraph().state().rate(w)) << w;
            }
        }
    }
    EXPECT_GT(own[0].state().mass(NITROGEN::kRainfallNO3Pool), 0.0);
    EXPECT_GT(own[0].state().mass(NITROGEN::kFloraNO3Pool), 0.0);
    EXPECT_GT(own[1].state().mass(NITROGEN::kDenitrifiedPool), 0.0);
}

// Up to four layers' graphs stepped together move every pool, and give
// the amounts, exactly as each layer's own step, whether they are quiet or
// take rain on the top layer, plants or applied nitrogen; a layer whose
// step needs the repair is left as it was, for its own step.
TEST(CycleGraphs, LayersSteppedTogetherMoveTheirPoolsAsTheirOwnSteps) {
    using namespace NITROGEN;
    namespace P = PHOSPHORUS;
    const double dt = 1.0 / 24.0;
    constexpr int kLayers = 4;
    double nitrogen[kLayers][kPoolCount] = {};
    double nitrogen_rate[kLayers][kPathwayCount];
    double phosphorus[kLayers][P::kPoolCount] = {};
    double phosphorus_rate[kLayers][P::kPathwayCount];
    double flux[kLayers][kPathwayCount];
    const bool top[kLayers] = {true, false, false, false};
    auto fill = [&] {
        NitrogenDiGraph::Workspace nw;
        P::PhosphorusDiGraph::Workspace pw;
        NitrogenDiGraph::setFloraDemand(0.0, nw);
        for (int j = 0; j < kLayers; ++j) {
            for (int p : {kFreshPool, kActivePool, kStablePool, kMineralNH4Pool, kMineralNO3Pool})
                nitrogen[j][p] = 0.5 + 3.0 * j + 0.7 * p;
            nitrogen[j][kDenitrifiedPool] = 0.25 * j;  // what was lost before stays
            for (int p : {P::kFreshPool, P::kActivePool, P::kStablePool, P::kMineralActivePool, P::kMineralStablePool,
                          P::kMineralSolutionPool})
                phosphorus[j][p] = 0.1 + 0.4 * j + 0.3 * p;
            // Wet lower layers denitrify; the top layer's residue is wide.
            const SteadyLayer s{0.03, 0.01, j == 0 ? 5000.0 : 1.0, 0.2 + 0.2 * j, 0.3, 0.02 * (j + 1), 0.5};
            const double water = 0.012 + 0.01 * j;
            const double factor = water / 0.03;
            std::copy(nw.rate, nw.rate + kPathwayCount, nitrogen_rate[j]);
            NitrogenDiGraph::setLayerRates(s, water, factor, std::sqrt(factor * s.temperatureFactor), nitrogen[j],
                                           nitrogen_rate[j]);
            std::copy(pw.rate, pw.rate + P::kPathwayCount, phosphorus_rate[j]);
            P::PhosphorusDiGraph::balanceOrganic(nitrogen[j][kActivePool], nitrogen[j][kStablePool], phosphorus[j],
                                                 phosphorus_rate[j]);
            P::PhosphorusDiGraph::setLayerRates(s.residue, 0.5, phosphorus[j], phosphorus_rate[j]);
        }
    };
    double* const nitrogen_mass[kLayers] = {nitrogen[0], nitrogen[1], nitrogen[2], nitrogen[3]};
    double* const nitrogen_rates[kLayers] = {nitrogen_rate[0], nitrogen_rate[1], nitrogen_rate[2], nitrogen_rate[3]};
    double* const phosphorus_mass[kLayers] = {phosphorus[0], phosphorus[1], phosphorus[2], phosphorus[3]};
    double* const phosphorus_rates[kLayers] = {phosphorus_rate[0], phosphorus_rate[1], phosphorus_rate[2],
                                               phosphorus_rate[3]};
    double* const fluxes[kLayers] = {flux[0], flux[1], flux[2], flux[3]};
    // Layers [first, first + count) together and each on its own, from the
    // same masses and rates.
    auto together = [&](int first, int count) {
        double n_own[kLayers][kPoolCount], p_own[kLayers][P::kPoolCount];
        double n_flux[kLayers][kPathwayCount], p_flux[kLayers][P::kPathwayCount];
        for (int j = first; j < first + count; ++j) {
            double nr[kPathwayCount], pr[P::kPathwayCount];
            std::copy(nitrogen[j], nitrogen[j] + kPoolCount, n_own[j]);
            std::copy(nitrogen_rate[j], nitrogen_rate[j] + kPathwayCount, nr);
            std::copy(phosphorus[j], phosphorus[j] + P::kPoolCount, p_own[j]);
            std::copy(phosphorus_rate[j], phosphorus_rate[j] + P::kPathwayCount, pr);
            EXPECT_TRUE(
                NitrogenDiGraph::integrateOwn(top[j], dt, GraphArrays{n_own[j], nr, n_flux[j], nullptr}).clean());
            EXPECT_TRUE(
                P::PhosphorusDiGraph::integrateOwn(dt, GraphArrays{p_own[j], pr, p_flux[j], nullptr}).clean());
        }
        ASSERT_EQ(NitrogenDiGraph::integrateLayers(count, top + first, nitrogen_mass + first, nitrogen_rates + first,
                                                   fluxes + first, dt),
                  (1u << count) - 1u);
        for (int j = first; j < first + count; ++j) {
            for (int p = 0; p < (top[j] ? kPoolCount : kPoolCount - 1); ++p)
                ASSERT_EQ(nitrogen[j][p], n_own[j][p]) << j << " " << p;
            for (int w = 0; w < (top[j] ? kPathwayCount : kPathwayCount - 1); ++w)
                ASSERT_EQ(flux[j][w], n_flux[j][w]) << j << " " << w;
        }
        ASSERT_EQ(P::PhosphorusDiGraph::integrateLayers(count, phosphorus_mass + first, phosphorus_rates + first,
                                                        fluxes + first, dt),
                  (1u << count) - 1u);
        for (int j = first; j < first + count; ++j) {
            for (int p = 0; p < P::kPoolCount; ++p) ASSERT_EQ(phosphorus[j][p], p_own[j][p]) << j << " " << p;
            for (int w = 0; w < P::kPathwayCount; ++w) ASSERT_EQ(flux[j][w], p_flux[j][w]) << j << " " << w;
        }
    };
    for (int count = 1; count <= kLayers; ++count) {
        for (int first = 0; first + count <= kLayers; ++first) {
            SCOPED_TRACE(std::to_string(count) + " layers from " + std::to_string(first));
            fill();
            together(first, count);
        }
    }
    EXPECT_GT(nitrogen[3][kDenitrifiedPool], 0.75);
    EXPECT_GT(nitrogen[0][kVolatilizedPool], 0.0);
    {
        SCOPED_TRACE("rain, plants and applied nitrogen and phosphorus");
        fill();
        nitrogen_rate[0][kRainfallNO3ToMineralNO3] = 1e-3;
        nitrogen_rate[2][kMineralNO3ToFlora] = 1e-3;
        nitrogen[1][kAppliedNH4Pool] = 1.0;
        phosphorus[3][P::kAppliedMineralPool] = 0.5;
        together(0, kLayers);
        EXPECT_GT(nitrogen[0][kRainfallNO3Pool], 0.0);
        EXPECT_GT(nitrogen[2][kFloraNO3Pool], 0.0);
        EXPECT_LT(nitrogen[1][kAppliedNH4Pool], 1.0);
        EXPECT_LT(phosphorus[3][P::kAppliedMineralPool], 0.5);
    }

    // Overdrawn: that layer does not move, the others do.
    fill();
    nitrogen_rate[3][kMineralNH4ToMineralNO3] = 1e3;  // takes more than the pool holds
    double n[kLayers][kPoolCount];
    std::copy(&nitrogen[0][0], &nitrogen[0][0] + kLayers * kPoolCount, &n[0][0]);
    EXPECT_EQ(NitrogenDiGraph::integrateLayers(kLayers, top, nitrogen_mass, nitrogen_rates, fluxes, dt), 7u);
    EXPECT_EQ(std::memcmp(n[3], nitrogen[3], sizeof n[3]), 0);
    EXPECT_NE(n[2][kMineralNH4Pool], nitrogen[2][kMineralNH4Pool]);
    EXPECT_GT(NitrogenDiGraph::integrateOwn(false, dt, GraphArrays{nitrogen[3], nitrogen_rate[3], flux[3], nullptr})
                  .repairScans,
              0);
    fill();
    phosphorus_rate[1][P::kMineralActiveToMineralSolution] = 1e3;
    double p[kLayers][P::kPoolCount];
    std::copy(&phosphorus[0][0], &phosphorus[0][0] + kLayers * P::kPoolCount, &p[0][0]);
    EXPECT_EQ(P::PhosphorusDiGraph::integrateLayers(kLayers, phosphorus_mass, phosphorus_rates, fluxes, dt), 13u);
    EXPECT_EQ(std::memcmp(p[1], phosphorus[1], sizeof p[1]), 0);

    // Without the amounts: the same masses, the amounts left as they were.
    {
        // Every pool from the start (fill sets those the steps draw on).
        const auto fresh = [&] {
            std::fill(&nitrogen[0][0], &nitrogen[0][0] + kLayers * kPoolCount, 0.0);
            std::fill(&phosphorus[0][0], &phosphorus[0][0] + kLayers * P::kPoolCount, 0.0);
            fill();
        };
        fresh();
        const unsigned nitrogenStepped =
            NitrogenDiGraph::integrateLayers(kLayers, top, nitrogen_mass, nitrogen_rates, fluxes, dt);
        const unsigned phosphorusStepped =
            P::PhosphorusDiGraph::integrateLayers(kLayers, phosphorus_mass, phosphorus_rates, fluxes, dt);
        EXPECT_NE(nitrogenStepped & phosphorusStepped, 0u);
        std::copy(&nitrogen[0][0], &nitrogen[0][0] + kLayers * kPoolCount, &n[0][0]);
        std::copy(&phosphorus[0][0], &phosphorus[0][0] + kLayers * P::kPoolCount, &p[0][0]);
        fresh();
        const double kUnset = -12345.0;
        std::fill(&flux[0][0], &flux[0][0] + kLayers * kPathwayCount, kUnset);
        EXPECT_EQ(NitrogenDiGraph::integrateLayers(kLayers, top, nitrogen_mass, nitrogen_rates, fluxes, dt, false),
                  nitrogenStepped);
        EXPECT_EQ(P::PhosphorusDiGraph::integrateLayers(kLayers, phosphorus_mass, phosphorus_rates, fluxes, dt, false),
                  phosphorusStepped);
        EXPECT_EQ(std::memcmp(n, nitrogen, sizeof n), 0);
        EXPECT_EQ(std::memcmp(p, phosphorus, sizeof p), 0);
        EXPECT_EQ(std::count(&flux[0][0], &flux[0][0] + kLayers * kPathwayCount, kUnset), kLayers * kPathwayCount);
    }
}

// Four layers stepped together where some need the repair (an empty pool
// the plants draw on, a pool drained many times over) and one meets an
// amount that is not a number: each graph ends with the masses, amounts
// and outcome of its own step, quiet or not.
TEST(CycleGraphs, LayersThatNeedTheRepairStepTogetherAsOnTheirOwn) {
    using namespace NITROGEN;
    namespace P = PHOSPHORUS;
    const double dt = 1.0 / 24.0;
    constexpr int kLayers = 4;
    const bool top[kLayers] = {true, false, false, false};
    for (const bool plants : {false, true}) {
        SCOPED_TRACE(plants ? "with plants" : "quiet");
        double nitrogen[kLayers][kPoolCount] = {}, nitrogen_rate[kLayers][kPathwayCount];
        double phosphorus[kLayers][P::kPoolCount] = {}, phosphorus_rate[kLayers][P::kPathwayCount];
        NitrogenDiGraph::Workspace nw;
        P::PhosphorusDiGraph::Workspace pw;
        for (int j = 0; j < kLayers; ++j) {
            for (int p : {kFreshPool, kActivePool, kStablePool, kMineralNO3Pool}) nitrogen[j][p] = 1.0 + j + 0.3 * p;
            nitrogen[j][kMineralNH4Pool] = j == 1 ? 0.0 : 0.4;  // the plants draw on an empty pool
            for (int p = 0; p < P::kFloraMineralPool; ++p) phosphorus[j][p] = 0.2 + 0.1 * j + 0.05 * p;
            const SteadyLayer s{0.03, 0.01, 800.0, 0.5, 0.3, 0.02, 0.5};
            std::copy(nw.rate, nw.rate + kPathwayCount, nitrogen_rate[j]);
            NitrogenDiGraph::setFloraDemand(plants ? 2.0 : 0.0, nitrogen_rate[j]);
            NitrogenDiGraph::setLayerRates(s, 0.02, 0.7, 0.6, nitrogen[j], nitrogen_rate[j]);
            if (!top[j]) nitrogen_rate[j][kRainfallNO3ToMineralNO3] = 0.0;
            std::copy(pw.rate, pw.rate + P::kPathwayCount, phosphorus_rate[j]);
            P::PhosphorusDiGraph::balanceOrganic(nitrogen[j][kActivePool], nitrogen[j][kStablePool], phosphorus[j],
                                                 phosphorus_rate[j]);
            P::PhosphorusDiGraph::setLayerRates(s.residue, 0.6, phosphorus[j], phosphorus_rate[j]);
        }
        nitrogen_rate[3][kMineralNH4ToMineralNO3] = 1e3;                      // drained many times over
        nitrogen_rate[2][kStableToActive] = HUGE_VAL;                         // an amount not a number
        phosphorus_rate[0][P::kMineralActiveToMineralSolution] = 1e3;         // drained
        phosphorus_rate[2][P::kOrganicActiveToMineralSolution] = HUGE_VAL;  // not a number

        double n_own[kLayers][kPoolCount], p_own[kLayers][P::kPoolCount];
        double n_flux[kLayers][kPathwayCount], p_flux[kLayers][P::kPathwayCount];
        StepOutcome n_outcome[kLayers], p_outcome[kLayers];
        for (int j = 0; j < kLayers; ++j) {
            double nr[kPathwayCount], pr[P::kPathwayCount];
            std::copy(nitrogen[j], nitrogen[j] + kPoolCount, n_own[j]);
            std::copy(nitrogen_rate[j], nitrogen_rate[j] + kPathwayCount, nr);
            std::copy(phosphorus[j], phosphorus[j] + P::kPoolCount, p_own[j]);
            std::copy(phosphorus_rate[j], phosphorus_rate[j] + P::kPathwayCount, pr);
            n_outcome[j] = NitrogenDiGraph::integrateOwn(top[j], dt, GraphArrays{n_own[j], nr, n_flux[j], nullptr});
            p_outcome[j] = P::PhosphorusDiGraph::integrateOwn(dt, GraphArrays{p_own[j], pr, p_flux[j], nullptr});
        }
        EXPECT_GT(n_outcome[1].repairScans + n_outcome[3].repairScans, plants ? 1 : 0);
        EXPECT_GE(n_outcome[2].nonFinitePathway, 0);
        EXPECT_GT(p_outcome[0].repairScans, 0);

        double flux[kLayers][kPathwayCount];
        double* const n_mass[kLayers] = {nitrogen[0], nitrogen[1], nitrogen[2], nitrogen[3]};
        double* const n_rate[kLayers] = {nitrogen_rate[0], nitrogen_rate[1], nitrogen_rate[2], nitrogen_rate[3]};
        double* const p_mass[kLayers] = {phosphorus[0], phosphorus[1], phosphorus[2], phosphorus[3]};
        double* const p_rate[kLayers] = {phosphorus_rate[0], phosphorus_rate[1], phosphorus_rate[2],
                                         phosphorus_rate[3]};
        double* const fluxes[kLayers] = {flux[0], flux[1], flux[2], flux[3]};
        const auto same = [](const StepOutcome& a, const StepOutcome& b) {
            return a.repairScans == b.repairScans && a.unrepairedPool == b.unrepairedPool &&
                   a.nonFinitePool == b.nonFinitePool && a.nonFinitePathway == b.nonFinitePathway &&
                   a.scanLimitReached == b.scanLimitReached;
        };
        // The same steps again, giving back of the amounts of the graphs
        // stepped in lanes only the plants' (nitrogen) or none
        // (phosphorus): the other amounts are left as they were.
        double n_some[kLayers][kPoolCount], p_some[kLayers][P::kPoolCount];
        double n_some_rate[kLayers][kPathwayCount], p_some_rate[kLayers][P::kPathwayCount];
        std::memcpy(n_some, nitrogen, sizeof nitrogen);
        std::memcpy(p_some, phosphorus, sizeof phosphorus);
        std::memcpy(n_some_rate, nitrogen_rate, sizeof nitrogen_rate);
        std::memcpy(p_some_rate, phosphorus_rate, sizeof phosphorus_rate);
        StepOutcome outcome[kLayers];
        unsigned unclean = NitrogenDiGraph::stepLayers(kLayers, top, n_mass, n_rate, fluxes, dt, outcome);
        EXPECT_NE(unclean, 0u);
        for (int j = 0; j < kLayers; ++j) {
            EXPECT_EQ(((unclean >> j) & 1u) != 0, !outcome[j].clean()) << "nitrogen layer " << j;
            SCOPED_TRACE("nitrogen layer " + std::to_string(j));
            const int pools = top[j] ? kPoolCount : kPoolCount - 1;
            const int pathways = top[j] ? kPathwayCount : kPathwayCount - 1;
            EXPECT_EQ(std::memcmp(nitrogen[j], n_own[j], sizeof(double) * pools), 0);
            EXPECT_EQ(std::memcmp(flux[j], n_flux[j], sizeof(double) * pathways), 0);
            EXPECT_TRUE(same(outcome[j], n_outcome[j]));
        }
        unclean = P::PhosphorusDiGraph::stepLayers(kLayers, p_mass, p_rate, fluxes, dt, outcome);
        EXPECT_NE(unclean, 0u);
        for (int j = 0; j < kLayers; ++j) {
            EXPECT_EQ(((unclean >> j) & 1u) != 0, !outcome[j].clean()) << "phosphorus layer " << j;
            SCOPED_TRACE("phosphorus layer " + std::to_string(j));
            EXPECT_EQ(std::memcmp(phosphorus[j], p_own[j], sizeof p_own[j]), 0);
            EXPECT_EQ(std::memcmp(flux[j], p_flux[j], sizeof p_flux[j]), 0);
            EXPECT_TRUE(same(outcome[j], p_outcome[j]));
        }

        const double kUnset = -12345.0;
        double some_flux[kLayers][kPathwayCount];
        double* const some_fluxes[kLayers] = {some_flux[0], some_flux[1], some_flux[2], some_flux[3]};
        double* const ns_mass[kLayers] = {n_some[0], n_some[1], n_some[2], n_some[3]};
        double* const ns_rate[kLayers] = {n_some_rate[0], n_some_rate[1], n_some_rate[2], n_some_rate[3]};
        std::fill(&some_flux[0][0], &some_flux[0][0] + kLayers * kPathwayCount, kUnset);
        NitrogenDiGraph::stepLayers(kLayers, top, ns_mass, ns_rate, some_fluxes, dt, outcome, false);
        int unset = 0;
        for (int j = 0; j < kLayers; ++j) {
            SCOPED_TRACE("nitrogen layer " + std::to_string(j) + ", the plants' amounts");
            const int pools = top[j] ? kPoolCount : kPoolCount - 1;
            const int pathways = top[j] ? kPathwayCount : kPathwayCount - 1;
            EXPECT_EQ(std::memcmp(n_some[j], n_own[j], sizeof(double) * pools), 0);
            EXPECT_TRUE(same(outcome[j], n_outcome[j]));
            EXPECT_EQ(some_flux[j][kMineralNH4ToFlora], n_flux[j][kMineralNH4ToFlora]);
            EXPECT_EQ(some_flux[j][kMineralNO3ToFlora], n_flux[j][kMineralNO3ToFlora]);
            for (int w = 0; w < pathways; ++w) {
                if (some_flux[j][w] == kUnset) {
                    ++unset;
                } else {
                    EXPECT_EQ(some_flux[j][w], n_flux[j][w]) << w;
                }
            }
        }
        EXPECT_GT(unset, 0);
        double* const ps_mass[kLayers] = {p_some[0], p_some[1], p_some[2], p_some[3]};
        double* const ps_rate[kLayers] = {p_some_rate[0], p_some_rate[1], p_some_rate[2], p_some_rate[3]};
        std::fill(&some_flux[0][0], &some_flux[0][0] + kLayers * kPathwayCount, kUnset);
        P::PhosphorusDiGraph::stepLayers(kLayers, ps_mass, ps_rate, some_fluxes, dt, outcome, false);
        unset = 0;
        for (int j = 0; j < kLayers; ++j) {
            SCOPED_TRACE("phosphorus layer " + std::to_string(j) + ", no amounts");
            EXPECT_EQ(std::memcmp(p_some[j], p_own[j], sizeof p_own[j]), 0);
            EXPECT_TRUE(same(outcome[j], p_outcome[j]));
            for (int w = 0; w < P::kPathwayCount; ++w) {
                if (some_flux[j][w] == kUnset) {
                    ++unset;
                } else {
                    EXPECT_EQ(some_flux[j][w], p_flux[j][w]) << w;
                }
            }
        }
        EXPECT_GT(unset, 0);
    }
}
