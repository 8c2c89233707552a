#include "nutrients/source/cell.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

#include "nutrients/source/environment.hpp"
#include "nutrients/source/soil_graph_step.hpp"

namespace VEGSO {

namespace {

std::vector<PlantDescriptor> plant_descriptors(const vegso_schema& schema) {
    std::vector<PlantDescriptor> out;
    out.reserve(static_cast<std::size_t>(schema.plant_count));
    for (int i = 0; i < schema.plant_count; ++i) out.emplace_back(*schema.plants[i]);
    return out;
}

// Asks for the cache lines of an object of Bytes bytes at `at` to be loaded
// for writing.
template <std::size_t Bytes>
void prefetch_lines(const void* at) {
    constexpr std::size_t kLine = 64;
    const char* p = static_cast<const char*>(at);
#pragma GCC unroll 64
    for (std::size_t i = 0; i < Bytes; i += kLine) __builtin_prefetch(p + i, 1);
}

// Asks for the cache lines of the `bytes` bytes at `at` to be loaded for
// writing.
void prefetch_range(const void* at, std::size_t bytes) {
    constexpr std::size_t kLine = 64;
    const char* p = static_cast<const char*>(at);
    for (std::size_t i = 0; i < bytes; i += kLine) __builtin_prefetch(p + i, 1);
}

// The graph pool that holds each pool of a binding (vegso_pool order), as
// the cycles' graphs load their descriptors' pools.
struct GraphPool {
    bool phosphorus;
    int pool;
};
constexpr GraphPool kGraphPools[vegso_pool_count] = {
    {false, NITROGEN::kMineralNH4Pool},         {false, NITROGEN::kMineralNO3Pool},
    {false, NITROGEN::kFreshPool},              {false, NITROGEN::kActivePool},
    {false, NITROGEN::kStablePool},             {true, PHOSPHORUS::kFreshPool},
    {true, PHOSPHORUS::kActivePool},            {true, PHOSPHORUS::kStablePool},
    {true, PHOSPHORUS::kMineralActivePool},     {true, PHOSPHORUS::kMineralStablePool},
    {true, PHOSPHORUS::kMineralSolutionPool},
};

// The graph pools that no binding holds, in pool order: a lean layer keeps
// them.
template <int Count>
struct LeanPools {
    int pool[Count];
};
template <int Count>
constexpr LeanPools<Count> lean_pools(bool phosphorus, int pools) {
    LeanPools<Count> out{};
    int at = 0;
    for (int p = 0; p < pools; ++p) {
        bool bound = false;
        for (const GraphPool& g : kGraphPools) bound = bound || (g.phosphorus == phosphorus && g.pool == p);
        if (!bound && at < Count) out.pool[at++] = p;
    }
    return out;
}
constexpr LeanPools<Cell::kLeanNitrogenPools> kLeanNitrogen =
    lean_pools<Cell::kLeanNitrogenPools>(false, NITROGEN::kPoolCount);
constexpr LeanPools<Cell::kLeanPhosphorusPools> kLeanPhosphorus =
    lean_pools<Cell::kLeanPhosphorusPools>(true, PHOSPHORUS::kPoolCount);
static_assert(kLeanNitrogen.pool[0] == NITROGEN::kAppliedOrganicPool &&
                  kLeanNitrogen.pool[Cell::kLeanNitrogenPools - 1] == NITROGEN::kRainfallNO3Pool,
              "the nitrogen pools a lean layer keeps");
static_assert(kLeanPhosphorus.pool[0] == PHOSPHORUS::kAppliedOrganicPool &&
                  kLeanPhosphorus.pool[Cell::kLeanPhosphorusPools - 1] == PHOSPHORUS::kFloraMineralPool,
              "the phosphorus pools a lean layer keeps");

// Heads and lean layers for this many cells of three layers a block.
constexpr int kLeanBlockCells = 512;
constexpr int kLeanBlockLayers = 3 * kLeanBlockCells;

}  // namespace

struct Cell::LeanBlock {
    LeanBlock(int heads, int layers)
        : head(new LeanHead[static_cast<std::size_t>(heads)]()),
          layer(new LeanLayer[static_cast<std::size_t>(layers)]()),
          headRoom(heads),
          layerRoom(layers) {}
    std::unique_ptr<LeanHead[]> head;
    std::unique_ptr<LeanLayer[]> layer;
    int headRoom;
    int layerRoom;
    int headsTaken = 0;
    int layersTaken = 0;
};

struct Cell::LayerBlock {
    explicit LayerBlock(int layers) : layer(new Layer[static_cast<std::size_t>(layers)]), room(layers) {}
    std::unique_ptr<Layer[]> layer;
    int room;
    int taken = 0;
};

namespace {

// Gives each cell bound its room in the block of the cells bound before it,
// while the block has room; a room is not taken again when its cell is
// destroyed, and a block goes with its last cell (and the next block).
class LeanRooms {
public:
    std::shared_ptr<Cell::LeanBlock> take(int layers, Cell::LeanHead*& head, Cell::LeanLayer*& lean) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!block_ || block_->headsTaken == block_->headRoom || block_->layerRoom - block_->layersTaken < layers)
            block_ = std::make_shared<Cell::LeanBlock>(kLeanBlockCells,
                                                       layers > kLeanBlockLayers ? layers : kLeanBlockLayers);
        head = block_->head.get() + block_->headsTaken++;
        lean = block_->layer.get() + block_->layersTaken;
        block_->layersTaken += layers;
        return block_;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Cell::LeanBlock> block_;
};

// A block holds the layers of 128 cells of three layers.
constexpr int kLayerBlockLayers = 3 * 128;

// Gives each cell made its layers in the block of the cells made before it,
// while the block has room, as LeanRooms gives lean layers.
class LayerRooms {
public:
    std::shared_ptr<Cell::LayerBlock> take(int layers, Cell::Layer*& at) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!block_ || block_->room - block_->taken < layers)
            block_ = std::make_shared<Cell::LayerBlock>(layers > kLayerBlockLayers ? layers : kLayerBlockLayers);
        at = block_->layer.get() + block_->taken;
        block_->taken += layers;
        return block_;
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Cell::LayerBlock> block_;
};

LayerRooms& layer_rooms() {
    static LayerRooms rooms;
    return rooms;
}

LeanRooms& lean_rooms() {
    static LeanRooms rooms;
    return rooms;
}

bool is_top_layer(const vegso_layer_record& record) {
    return static_cast<int>(record.v[vegso_layer_number]) == 0;
}

}  // namespace

void Cell::Layer::attach(vegso_layer_record& r) {
    record = &r;
    nitrogenGraph = NITROGEN::NitrogenDiGraph(is_top_layer(r));
    read(false);
    keepPartition();
}

void Cell::Layer::read(bool massesOnly) {
    descriptor.readFrom(*record);
    soilLayer.updateFactors();
    if (massesOnly) {
        const double* v = record->v;
#pragma GCC unroll 11
        for (int i = 0; i < vegso_pool_count; ++i) {
            const double mass = v[vegso_ammonium + 4 * i];
            const GraphPool& g = kGraphPools[i];
            if (g.phosphorus) {
                phosphorusGraph.state().setMass(g.pool, mass);
            } else {
                nitrogenGraph.state().setMass(g.pool, mass);
            }
        }
        return;
    }
    nitrogenCycle.readFrom(*record);
    phosphorusCycle.readFrom(*record);
    nitrogenGraph.loadPools(nitrogenCycle);
    phosphorusGraph.loadPools(phosphorusCycle);
}

bool Cell::Layer::partitionDue(bool stale) {
    const double inputs[3] = {descriptor.porosity, descriptor.organicCarbonPercent, descriptor.solidDensity};
    bool due = stale;
    for (int i = 0; i < 3; ++i) {
        due = due || !(inputs[i] == partitionInputs[i]);
        partitionInputs[i] = inputs[i];
    }
    return due;
}

void Cell::Layer::write(const double* sorbed) const {
    double* v = record->v;
    v[vegso_result] = descriptor.plantWaterUptake;
#pragma GCC unroll 11
    for (int i = 0; i < vegso_pool_count; ++i) {
        double* at = v + vegso_ammonium + 4 * i;
        const double s = sorbed[i];
        const double d = 1.0 - s;
        at[0] = boundMass(i);
        at[1] = d;
        at[2] = s;
        at[3] = d + s;
    }
}

void Cell::Layer::write(const KeptPartition& partition) const {
    double* v = record->v;
    v[vegso_result] = descriptor.plantWaterUptake;
#pragma GCC unroll 11
    for (int i = 0; i < vegso_pool_count; ++i) {
        double* at = v + vegso_ammonium + 4 * i;
        at[0] = boundMass(i);
        std::memcpy(at + 1, partition.laid + 4 * i + 1, 3 * sizeof(double));
    }
}

void Cell::Layer::keepPartition() {
    forPools([&](const PoolRecord& r, int i) { sorbed[i] = r.sorbedFraction; });
}

void Cell::Layer::storeCycles() {
    nitrogenGraph.storePools(nitrogenCycle);
    phosphorusGraph.storePools(phosphorusCycle);
}

template <class F>
void Cell::Layer::forPools(F f) {
    f(nitrogenCycle.ammonium, vegso_pool_ammonium);
    f(nitrogenCycle.nitrate, vegso_pool_nitrate);
    f(nitrogenCycle.fresh, vegso_pool_fresh_n);
    f(nitrogenCycle.active, vegso_pool_active_n);
    f(nitrogenCycle.stable, vegso_pool_stable_n);
    f(phosphorusCycle.fresh, vegso_pool_fresh_p);
    f(phosphorusCycle.active, vegso_pool_active_p);
    f(phosphorusCycle.stable, vegso_pool_stable_p);
    f(phosphorusCycle.mineralActive, vegso_pool_mineral_active_p);
    f(phosphorusCycle.mineralStable, vegso_pool_mineral_stable_p);
    f(phosphorusCycle.mineralSolution, vegso_pool_solution_p);
}

void Cell::Layer::readBound(const vegso_cell_binding& b, int j) {
    descriptor.waterContent = b.water_content[j];
    descriptor.water = descriptor.waterContent * descriptor.thickness;
    soilLayer.updateFactors();
    const double unit = b.unit;
#pragma GCC unroll 11
    for (int i = 0; i < vegso_pool_count; ++i) {
        const double mass = b.pools[i][j] / unit;
        const GraphPool& g = kGraphPools[i];
        if (g.phosphorus) {
            phosphorusGraph.state().setMass(g.pool, mass);
        } else {
            nitrogenGraph.state().setMass(g.pool, mass);
        }
    }
}

double Cell::Layer::boundMass(int i) const {
    const GraphPool& g = kGraphPools[i];
    return g.phosphorus ? phosphorusGraph.state().mass(g.pool) : nitrogenGraph.state().mass(g.pool);
}

void Cell::writeBound(bool partitioned) {
    const vegso_cell_binding& b = binding_;
    const double unit = b.unit;
    double* made = b.made;
    double* used = b.used;
    const int n = layerCount_;
    // Pool by pool, each pool's tallies added to layer by layer as the
    // layers come, in sums kept at hand.
    if (made != nullptr && used != nullptr) {
        // Adding a zero to a tally changes nothing (a tally is never -0):
        // no branch on the sign of the change.
#pragma GCC unroll 11
        for (int i = 0; i < vegso_pool_count; ++i) {
            double* at = b.pools[i];
            double gained = made[i];
            double lost = used[i];
            for (int j = 0; j < n; ++j) {
                const double now = layers_[j].boundMass(i) * unit;
                const double change = now - at[j];
                gained += change > 0.0 ? change : 0.0;
                lost -= change > 0.0 ? 0.0 : change;
                at[j] = now;
            }
            made[i] = gained;
            used[i] = lost;
        }
    } else {
        for (int i = 0; i < vegso_pool_count; ++i) {
            double* at = b.pools[i];
            for (int j = 0; j < n; ++j) {
                const double now = layers_[j].boundMass(i) * unit;
                const double change = now - at[j];
                if (made != nullptr && change > 0.0) made[i] += change;
                if (used != nullptr && !(change > 0.0)) used[i] -= change;
                at[j] = now;
            }
        }
    }
    if (!partitioned) return;
    for (int j = 0; j < n; ++j)
        layers_[j].forPools([&](PoolRecord& r, int i) {
            if (b.dissolved[i] != nullptr) b.dissolved[i][j] = r.dissolvedFraction;
        });
}

Cell::Cell(const vegso_schema& schema, int cellNumber)
    : cellNumber_(cellNumber), community_(plant_descriptors(schema), cellNumber) {
    layerCount_ = schema.layer_count;
    // The kept layers lie with the cell and its plants, which their steps
    // read too.
    kept_.reset(new KeptLayer[static_cast<std::size_t>(layerCount_)]());
    layerBlock_ = layer_rooms().take(layerCount_, layers_);
    for (int j = 0; j < layerCount_; ++j) {
        layers_[j].attach(*schema.layers[j]);
        kept_[j].record = schema.layers[j];
        kept_[j].top = layers_[j].nitrogenGraph.topShape();
    }
}

const Cell::Layer& Cell::layer(int index) const {
    if (leanLive_) giveLean(true);
    if (keptLive_) giveKept();
    // A step on the records leaves the pools in the graphs alone.
    if (!bound_)
        for (int j = 0; j < layerCount_; ++j) layers_[j].storeCycles();
    return layers_[index];
}

void Cell::takeLean() {
    LeanHead& head = *leanHead_;
    head.waterContent = binding_.water_content;
    for (int i = 0; i < vegso_pool_count; ++i) head.pools[i] = binding_.pools[i];
    head.unit = binding_.unit;
    head.made = binding_.made;
    head.used = binding_.used;
    head.cellNumber = cellNumber_;
    head.layerCount = layerCount_;
    for (int j = 0; j < layerCount_; ++j) {
        Layer& l = layers_[j];
        LeanLayer& lean = lean_[j];
        lean.steady = l.nitrogenGraph.steady(l.soilLayer);
        lean.thickness = l.descriptor.thickness;
        lean.waterContent = l.descriptor.waterContent;
        for (int q = 0; q < kLeanNitrogenPools; ++q)
            lean.nitrogen[q] = l.nitrogenGraph.state().mass(kLeanNitrogen.pool[q]);
        for (int q = 0; q < kLeanPhosphorusPools; ++q)
            lean.phosphorus[q] = l.phosphorusGraph.state().mass(kLeanPhosphorus.pool[q]);
        lean.layerNumber = l.descriptor.layerNumber;
        lean.top = l.nitrogenGraph.topShape();
    }
}

void Cell::giveLean(bool withPools) const {
    // The layers are the cell's to refresh from the lean layers, which hold
    // the same step's state.
    Layer* layers = layers_;
    for (int j = 0; j < layerCount_; ++j) {
        Layer& l = layers[j];
        const LeanLayer& lean = lean_[j];
        if (withPools) l.readBound(binding_, j);
        l.descriptor.waterContent = lean.waterContent;
        l.descriptor.water = lean.waterContent * l.descriptor.thickness;
        l.soilLayer.updateFactors();
        for (int q = 0; q < kLeanNitrogenPools; ++q)
            l.nitrogenGraph.state().setMass(kLeanNitrogen.pool[q], lean.nitrogen[q]);
        for (int q = 0; q < kLeanPhosphorusPools; ++q)
            l.phosphorusGraph.state().setMass(kLeanPhosphorus.pool[q], lean.phosphorus[q]);
    }
}

void Cell::stepLeanCells(const Environment& e, Cell* const* cells, int count) {
    namespace N = NITROGEN;
    namespace P = PHOSPHORUS;
    static thread_local N::NitrogenDiGraph::Workspace nitrogenWork;
    static thread_local P::PhosphorusDiGraph::Workspace phosphorusWork;
    // No plants: no uptake.
    N::NitrogenDiGraph::setFloraDemand(0.0, nitrogenWork);
    // The layers go together, a few at a time, one cell's after another's:
    // their values side by side for the integration of their graphs at
    // once. Each layer's lane works as in a step of its cell alone.
    constexpr int kGroup = graph_step::kLanes;
    const LeanHead* heads[kGroup];
    int index[kGroup];
    LeanLayer* lean[kGroup];
    int filled = 0;
    for (int c = 0; c < count; ++c) {
        const LeanHead& b = *cells[c]->leanHead_;
        for (int j = 0; j < b.layerCount; ++j) {
            heads[filled] = &b;
            index[filled] = j;
            lean[filled] = cells[c]->lean_ + j;
            if (++filled == kGroup) {
                stepLeanGroup(e, heads, index, lean, filled, nitrogenWork, phosphorusWork);
                filled = 0;
            }
        }
    }
    if (filled > 0) stepLeanGroup(e, heads, index, lean, filled, nitrogenWork, phosphorusWork);
}

void Cell::stepLeanGroup(const Environment& e, const LeanHead* const* heads, const int* index,
                         LeanLayer* const* lean, int count, NITROGEN::NitrogenDiGraph::Workspace& nitrogenWork,
                         PHOSPHORUS::PhosphorusDiGraph::Workspace& phosphorusWork) {
    namespace N = NITROGEN;
    namespace P = PHOSPHORUS;
    constexpr int kGroup = graph_step::kLanes;
    const double dt = e.period;
    const double rain = 0.01 * e.rainfall * e.rainNitrate;
    double water[kGroup];
    double waterFactor[kGroup];
    double combinedFactor[kGroup];
    bool top[kGroup] = {};
    double nitrogen[kGroup][N::kPoolCount];
    double phosphorus[kGroup][P::kPoolCount];
    double nitrogenRate[kGroup][N::kPathwayCount];
    double phosphorusRate[kGroup][P::kPathwayCount];
    static_assert(kGroup == 4, "a group of four layers");
    double* const nitrogenMass[kGroup] = {nitrogen[0], nitrogen[1], nitrogen[2], nitrogen[3]};
    double* const phosphorusMass[kGroup] = {phosphorus[0], phosphorus[1], phosphorus[2], phosphorus[3]};
    double* const nitrogenRates[kGroup] = {nitrogenRate[0], nitrogenRate[1], nitrogenRate[2], nitrogenRate[3]};
    double* const phosphorusRates[kGroup] = {phosphorusRate[0], phosphorusRate[1], phosphorusRate[2],
                                             phosphorusRate[3]};

    // Each layer's water, factors, pools and nitrogen rates.
    for (int k = 0; k < count; ++k) {
        const LeanHead& b = *heads[k];
        const int j = index[k];
        LeanLayer& l = *lean[k];
        const double content = b.waterContent[j];
        l.waterContent = content;
        water[k] = content * l.thickness;
        waterFactor[k] = SoilLayer::waterFactorOf(water[k], l.steady.fieldCapacityWater);
        combinedFactor[k] = std::sqrt(waterFactor[k] * l.steady.temperatureFactor);
        top[k] = l.top;
#pragma GCC unroll 11
        for (int i = 0; i < vegso_pool_count; ++i) {
            const GraphPool& g = kGraphPools[i];
            (g.phosphorus ? phosphorus[k] : nitrogen[k])[g.pool] = b.pools[i][j] / b.unit;
        }
#pragma GCC unroll 8
        for (int q = 0; q < kLeanNitrogenPools; ++q) nitrogen[k][kLeanNitrogen.pool[q]] = l.nitrogen[q];
#pragma GCC unroll 3
        for (int q = 0; q < kLeanPhosphorusPools; ++q) phosphorus[k][kLeanPhosphorus.pool[q]] = l.phosphorus[q];
#pragma GCC unroll 14
        for (int w = 0; w < N::kPathwayCount; ++w) nitrogenRate[k][w] = nitrogenWork.rate[w];
        N::NitrogenDiGraph::setLayerRates(l.steady, water[k], waterFactor[k], combinedFactor[k], nitrogen[k],
                                          nitrogenRate[k]);
        if (l.top) nitrogenRate[k][N::kRainfallNO3ToMineralNO3] = rain;
    }
    double flux[kGroup][N::kPathwayCount];
    double* const fluxes[kGroup] = {flux[0], flux[1], flux[2], flux[3]};
    // Layers without plants seldom need the repair: one that does takes its
    // own step again. The amounts moved are not read here.
    const unsigned nitrogenStepped =
        N::NitrogenDiGraph::integrateLayers(count, top, nitrogenMass, nitrogenRates, fluxes, dt, false);
    for (int k = 0; k < count; ++k) {
        if (((nitrogenStepped >> k) & 1u) == 0) {
            const GraphArrays g = {nitrogen[k], nitrogenRate[k], nitrogenWork.lastFlux, nullptr};
            const StepOutcome outcome = N::NitrogenDiGraph::integrateOwn(top[k], dt, g);
            if (!outcome.clean())
                reportStep(outcome, N::NitrogenDiGraph::topology(top[k]), "nitrogen", heads[k]->cellNumber,
                           lean[k]->layerNumber);
        }
    }

    // Phosphorus, after the nitrogen whose organic split it follows.
    for (int k = 0; k < count; ++k) {
#pragma GCC unroll 11
        for (int w = 0; w < P::kPathwayCount; ++w) phosphorusRate[k][w] = phosphorusWork.rate[w];
        P::PhosphorusDiGraph::balanceOrganic(nitrogen[k][N::kActivePool], nitrogen[k][N::kStablePool], phosphorus[k],
                                             phosphorusRate[k]);
        P::PhosphorusDiGraph::setLayerRates(lean[k]->steady.residue, combinedFactor[k], phosphorus[k],
                                            phosphorusRate[k]);
    }
    const unsigned phosphorusStepped =
        P::PhosphorusDiGraph::integrateLayers(count, phosphorusMass, phosphorusRates, fluxes, dt, false);
    for (int k = 0; k < count; ++k) {
        if (((phosphorusStepped >> k) & 1u) == 0) {
            const GraphArrays g = {phosphorus[k], phosphorusRate[k], phosphorusWork.lastFlux, nullptr};
            const StepOutcome outcome = P::PhosphorusDiGraph::integrateOwn(dt, g);
            if (!outcome.clean())
                reportStep(outcome, P::PhosphorusDiGraph::topology(), "phosphorus", heads[k]->cellNumber,
                           lean[k]->layerNumber);
        }
    }

    // The kept pools back, and the pools into the caller's storage with
    // their tallies, as writeBound leaves them.
    for (int k = 0; k < count; ++k) {
        const LeanHead& b = *heads[k];
        const int j = index[k];
        const double unit = b.unit;
        double* made = b.made;
        double* used = b.used;
        LeanLayer& l = *lean[k];
#pragma GCC unroll 8
        for (int q = 0; q < kLeanNitrogenPools; ++q) l.nitrogen[q] = nitrogen[k][kLeanNitrogen.pool[q]];
#pragma GCC unroll 3
        for (int q = 0; q < kLeanPhosphorusPools; ++q) l.phosphorus[q] = phosphorus[k][kLeanPhosphorus.pool[q]];
#pragma GCC unroll 11
        for (int i = 0; i < vegso_pool_count; ++i) {
            const GraphPool& g = kGraphPools[i];
            const double now = (g.phosphorus ? phosphorus[k] : nitrogen[k])[g.pool] * unit;
            double& at = b.pools[i][j];
            const double change = now - at;
            if (made != nullptr && used != nullptr) {
                made[i] += change > 0.0 ? change : 0.0;
                used[i] -= change > 0.0 ? 0.0 : change;
            } else {
                if (made != nullptr && change > 0.0) made[i] += change;
                if (used != nullptr && !(change > 0.0)) used[i] -= change;
            }
            at = now;
        }
    }
}

void Cell::setParams(const vegso_cell_params& params) {
    for (Layer& l : *this) {
        l.nitrogenCycle.nitrate.partitionCoefficient = params.v[7];
        l.nitrogenCycle.ammonium.partitionCoefficient = params.v[8];
        l.nitrogenCycle.fresh.partitionCoefficient = params.v[9];
        l.phosphorusCycle.fresh.partitionCoefficient = params.v[10];
        l.phosphorusCycle.mineralSolution.partitionCoefficient = params.v[11];
    }
    partitionStale_ = true;
}

void Cell::bind(const vegso_cell_binding* binding) {
    // The storage of the binding that ends is not read again.
    if (leanLive_) giveLean(false);
    leanLive_ = false;
    if (keptLive_) giveKept();
    keptLive_ = false;
    partitionStale_ = true;
    bound_ = binding != nullptr;
    if (!bound_) return;
    // Only a bound cell steps by lean layers: its room is taken when it is
    // first bound.
    if (!leanBlock_) leanBlock_ = lean_rooms().take(layerCount_, leanHead_, lean_);
    binding_ = *binding;
    for (Layer& l : *this) l.descriptor.readFrom(*l.record);
}

ProcessContext Cell::context(const Layer& layer, const Environment& e) const {
    ProcessContext c;
    c.environment = &e;
    c.nitrogenCycle = &layer.nitrogenCycle;
    c.phosphorusCycle = &layer.phosphorusCycle;
    c.soilLayer = &layer.soilLayer;
    c.cellNumber = cellNumber_;
    return c;
}

void Cell::step(const Environment& e) {
    Cell* const self = this;
    stepCells(e, &self, 1);
}

namespace {

// The partitions the kept layers share, one of each, at most
// kMostPartitions of them; none is given back.
class KeptPartitions {
public:
    // The partition of these values, or null when it is not kept and there
    // is no room for it.
    const Cell::KeptPartition* share(const Cell::KeptPartition& partition) {
        Key key;
        static_assert(sizeof key == offsetof(Cell::KeptPartition, laid), "a partition is its values");
        std::memcpy(key.data(), &partition, sizeof key);
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto at = kept_.find(key);
        if (at != kept_.end()) return at->second.get();
        if (kept_.size() == kMostPartitions) return nullptr;
        auto kept = std::make_unique<Cell::KeptPartition>(partition);
        // The shares as Layer::write makes them from the sorbed shares.
        for (int i = 0; i < vegso_pool_count; ++i) {
            const double s = kept->sorbed[i];
            const double d = 1.0 - s;
            kept->laid[4 * i] = 0.0;
            kept->laid[4 * i + 1] = d;
            kept->laid[4 * i + 2] = s;
            kept->laid[4 * i + 3] = d + s;
        }
        return kept_.emplace(key, std::move(kept)).first->second.get();
    }

private:
    // Soils times layers and partition coefficients seldom come near it.
    static constexpr std::size_t kMostPartitions = 1 << 16;
    // The values' bits: values that compare equal but differ in their bits
    // (0 and -0) make two partitions, so that each kept layer writes the
    // very values its cell computed.
    using Key = std::array<std::uint64_t, 3 + vegso_pool_count>;
    std::mutex mutex_;
    std::map<Key, std::unique_ptr<Cell::KeptPartition>> kept_;
};

KeptPartitions& kept_partitions() {
    static KeptPartitions partitions;
    return partitions;
}

}  // namespace

bool Cell::loadKept(Layer* room) const {
    for (int j = 0; j < layerCount_; ++j) {
        const KeptLayer& k = kept_[j];
        Layer& l = room[j];
        if (l.nitrogenGraph.topShape() != k.top) l.nitrogenGraph = NITROGEN::NitrogenDiGraph(k.top);
        l.record = k.record;
        l.read(true);
        const SoilLayerDescriptor& d = l.descriptor;
        const double* kept = k.partition->inputs;
        if (!(d.porosity == kept[0] && d.organicCarbonPercent == kept[1] && d.solidDensity == kept[2])) return false;
        l.partitionNow = false;
#pragma GCC unroll 8
        for (int q = 0; q < kLeanNitrogenPools; ++q) l.nitrogenGraph.state().setMass(kLeanNitrogen.pool[q], k.nitrogen[q]);
#pragma GCC unroll 3
        for (int q = 0; q < kLeanPhosphorusPools; ++q)
            l.phosphorusGraph.state().setMass(kLeanPhosphorus.pool[q], k.phosphorus[q]);
    }
    return true;
}

bool Cell::takeKept(const Layer* layers, bool whole) {
    for (int j = 0; j < layerCount_; ++j) {
        const Layer& l = layers[j];
        KeptLayer& k = kept_[j];
        if (whole) {
            KeptPartition p{};
            for (int i = 0; i < 3; ++i) p.inputs[i] = l.partitionInputs[i];
            for (int i = 0; i < vegso_pool_count; ++i) p.sorbed[i] = l.sorbed[i];
            k.partition = kept_partitions().share(p);
            if (k.partition == nullptr) return false;
        }
#pragma GCC unroll 8
        for (int q = 0; q < kLeanNitrogenPools; ++q) k.nitrogen[q] = l.nitrogenGraph.state().mass(kLeanNitrogen.pool[q]);
#pragma GCC unroll 3
        for (int q = 0; q < kLeanPhosphorusPools; ++q)
            k.phosphorus[q] = l.phosphorusGraph.state().mass(kLeanPhosphorus.pool[q]);
    }
    return true;
}

void Cell::giveKept() const {
    // The layers are the cell's to refresh from the kept layers and the
    // records: their partition is that of the kept layers already.
    Layer* layers = layers_;
    for (int j = 0; j < layerCount_; ++j) {
        Layer& l = layers[j];
        const KeptLayer& k = kept_[j];
        l.read(true);
        const double water = l.record->v[vegso_result];
        l.descriptor.plantWaterUptake = water;
        l.descriptor.plantWaterUptakeCopy = water;
        for (int q = 0; q < kLeanNitrogenPools; ++q) l.nitrogenGraph.state().setMass(kLeanNitrogen.pool[q], k.nitrogen[q]);
        for (int q = 0; q < kLeanPhosphorusPools; ++q)
            l.phosphorusGraph.state().setMass(kLeanPhosphorus.pool[q], k.phosphorus[q]);
    }
}

Cell::Layer* Cell::beginStep(const Environment& e, Layer* room) {
    // A cell still on its lean layers comes here only when it cannot step
    // by them (leanReady): it goes back to its full layers.
    if (leanLive_) {
        giveLean(true);
        leanLive_ = false;
    }
    const int n = layerCount();
    Layer* layers = layers_;
    if (keptLive_) {
        // Of its own, a step by the kept layers reads and writes only them
        // and the records; asking for them at once lets their loads
        // overlap.
        prefetch_range(kept_.get(), static_cast<std::size_t>(n) * sizeof(KeptLayer));
        for (int j = 0; j < n; ++j) prefetch_lines<sizeof(vegso_layer_record)>(kept_[j].record);
        // Only a cell on its records keeps its layers.
        if (!partitionStale_ && loadKept(room)) {
            layers = room;
        } else {
            giveKept();
            keptLive_ = false;
        }
    }
    if (layers == layers_) {
        // The step reads and writes all of every layer (and its record);
        // asking for them at once lets their loads overlap. A cell that
        // keeps its partition leaves the cycle descriptors alone.
        const bool cycles = partitionStale_;
        for (const Layer& l : *this) {
            const char* at = reinterpret_cast<const char*>(&l);
            const char* nitrogen = reinterpret_cast<const char*>(&l.nitrogenGraph);
            prefetch_range(at, static_cast<std::size_t>(nitrogen - at) + l.nitrogenGraph.massBytes());
            prefetch_range(&l.phosphorusGraph, l.phosphorusGraph.massBytes());
            if (cycles)
                prefetch_lines<sizeof(NitrogenCycleDescriptor) + sizeof(PhosphorusCycleDescriptor)>(&l.nitrogenCycle);
            if (!bound_) prefetch_lines<sizeof(vegso_layer_record)>(l.record);
        }
        // A record's partition is written with it each step, as computed
        // when its inputs last changed; a bound cell's stays as computed
        // until it is bound anew.
        if (bound_) {
            for (int j = 0; j < n; ++j) {
                layers_[j].readBound(binding_, j);
                layers_[j].partitionNow = partitionStale_;
            }
        } else {
            for (Layer& l : *this) {
                l.read(true);
                l.partitionNow = l.partitionDue(partitionStale_);
            }
        }
    }

    community_.update(e);
    // The water the plants take from each layer and their nitrogen demand
    // on it; where a plant's uptake fails its checks, again check by check
    // in their order, for their reports.
    bool sound = true;
    for (int j = 0; j < n; ++j) {
        Layer& l = layers[j];
        double water;
        sound = community_.layerUptakes(l.descriptor, water, l.floraDemand) && sound;
        water *= e.period;
        l.descriptor.plantWaterUptake = water;
        l.descriptor.plantWaterUptakeCopy = water;
    }
    if (!sound) {
        for (int j = 0; j < n; ++j) {
            Layer& l = layers[j];
            const double water = community_.layerWaterUptake(l.descriptor) * e.period;
            l.descriptor.plantWaterUptake = water;
            l.descriptor.plantWaterUptakeCopy = water;
        }
        for (int j = 0; j < n; ++j) layers[j].floraDemand = community_.layerNitrogenUptake(layers[j].descriptor);
    }
    // The copies of kept layers have the library's shapes: only a cell whose
    // graphs have them keeps its layers.
    if (layers != layers_) return layers;
    bool own = true;
    for (int j = 0; j < n; ++j) own = own && layers[j].nitrogenGraph.ownShape() && layers[j].phosphorusGraph.ownShape();
    if (own) return layers;

    // Graphs not all of the library's shapes step layer by layer, their
    // rates and amounts worked in this thread's workspace; a cell on its
    // records copies its pools into its cycles.
    double taken_up = 0.0;
    {
        namespace N = NITROGEN;
        static thread_local N::NitrogenDiGraph::Workspace work;
        for (Layer& l : *this) {
            N::NitrogenDiGraph::setFloraDemand(l.floraDemand, work);
            l.nitrogenGraph.step(context(l, e), work);
            if (!bound_) l.nitrogenGraph.storePools(l.nitrogenCycle);
            taken_up += N::NitrogenDiGraph::floraUptake(work);
        }
    }
    afterNitrogen(layers, taken_up);
    {
        namespace P = PHOSPHORUS;
        static thread_local P::PhosphorusDiGraph::Workspace work;
        for (Layer& l : *this) {
            const NITROGEN::NitrogenDiGraph::State& nitrogen = l.nitrogenGraph.state();
            l.phosphorusGraph.balanceOrganic(nitrogen.mass(NITROGEN::kActivePool),
                                             nitrogen.mass(NITROGEN::kStablePool), work);
            l.phosphorusGraph.step(context(l, e), work);
            if (!bound_) l.phosphorusGraph.storePools(l.phosphorusCycle);
        }
    }
    finishStep(e, layers, false);
    return nullptr;
}

void Cell::afterNitrogen(Layer* layers, double takenUp) {
    community_.distributeUptake(takenUp);
    community_.nutrientMass = community_.totalNutrientMass();
    for (int j = 0; j < layerCount_; ++j)
        if (layers[j].partitionNow) layers[j].nitrogenCycle.partition(layers[j].descriptor);
}

void Cell::finishStep(const Environment& e, Layer* layers, bool own) {
    const int n = layerCount_;
    for (int j = 0; j < n; ++j) {
        Layer& l = layers[j];
        if (!l.partitionNow) continue;
        l.phosphorusCycle.partition(l.descriptor);
        l.keepPartition();
    }

    community_.updateConstraints(e);
    if (layers != layers_) {
        // The partition stays in the kept layers.
        for (int j = 0; j < n; ++j) layers[j].write(*kept_[j].partition);
        takeKept(layers, false);
        return;
    }
    if (bound_) {
        writeBound(partitionStale_);
    } else {
        for (int j = 0; j < n; ++j) layers[j].write();
    }
    partitionStale_ = false;
    // From now on a bound cell without plants steps by its lean layers, and
    // a cell on its records by its kept layers, when its graphs have the
    // library's shapes.
    if (bound_ && community_.plants().empty() && own) {
        takeLean();
        leanLive_ = true;
    } else if (!bound_ && own) {
        keptLive_ = takeKept(layers, true);
    }
}

namespace {

// Room for the copies of the layers of the cells stepped together by their
// kept layers, one room per thread, for the steps not given a room of their
// own.
Cell::Layer* layer_room(int layers) {
    static thread_local LayerRoom room;
    return room.take(layers);
}

// The layers of the cells of a run, cell by cell and layer by layer, taken
// a few at a time.
struct LayerRun {
    Cell::Layer* const* layers;  // each cell's
    const int* counts;           // each cell's number of layers
    int cells;
    int cell = 0;
    int layer = 0;
    // Up to `room` next layers into `at`, and the place of each one's cell
    // in the run into `owner`; returns how many.
    int next(Cell::Layer** at, int* owner, int room) {
        int taken = 0;
        while (taken < room && cell < cells) {
            if (layer == counts[cell]) {
                ++cell;
                layer = 0;
                continue;
            }
            at[taken] = layers[cell] + layer++;
            owner[taken++] = cell;
        }
        return taken;
    }
};

// Steps the layers of a run through one graph's lanes, graph_step::kLanes layers
// at a time, lane k on rate[k] (which holds the pathways' constant rates and
// takes each layer's own over them): prepare(k, layer, owner, rate, top)
// sets lane k's rates (and its shape in top) and gives its masses; step(n,
// top, mass, rates, fluxes, outcome) steps n lanes and gives the mask of
// the outcomes to report, each through report(k, layer, owner, outcome);
// after(owner, flux) then reads what each lane moved.
template <std::size_t Pathways, class Prepare, class Step, class Report, class After>
void stepLanes(Cell::Layer* const* layers, const int* counts, int inRun, double (&rate)[graph_step::kLanes][Pathways],
               Prepare prepare, Step step, Report report, After after) {
    constexpr int kGroup = graph_step::kLanes;
    static_assert(kGroup == 4, "a group of four layers");
    LayerRun walk{layers, counts, inRun};
    for (;;) {
        Cell::Layer* group[kGroup];
        int owner[kGroup];
        const int n = walk.next(group, owner, kGroup);
        if (n == 0) break;
        double flux[kGroup][Pathways];
        double* const rates[kGroup] = {rate[0], rate[1], rate[2], rate[3]};
        double* const fluxes[kGroup] = {flux[0], flux[1], flux[2], flux[3]};
        double* mass[kGroup] = {};
        bool top[kGroup] = {};
        for (int k = 0; k < n; ++k) mass[k] = prepare(k, *group[k], owner[k], rate[k], top);
        StepOutcome outcome[kGroup];
        const unsigned unclean = step(n, top, mass, rates, fluxes, outcome);
        for (int k = 0; unclean != 0 && k < n; ++k)
            if (((unclean >> k) & 1u) != 0) report(k, *group[k], owner[k], outcome[k]);
        for (int k = 0; k < n; ++k) after(owner[k], flux[k]);
    }
}

}  // namespace

void Cell::stepCells(const Environment& e, Cell* const* cells, int count, LayerRoom* own) {
    constexpr int kGroup = graph_step::kLanes;
    static_assert(kGroup == 4, "a group of four layers");
    const double dt = e.period;
    namespace N = NITROGEN;
    namespace P = PHOSPHORUS;
    // Each lane's rates: the pathways' own rates, of which each layer's
    // step sets anew those of its layer (the same ones every step), the
    // others staying as they are here.
    double nitrogenRate[kGroup][N::kPathwayCount];
    double phosphorusRate[kGroup][P::kPathwayCount];
    {
        static thread_local const N::NitrogenDiGraph::Workspace nitrogenWork;
        static thread_local const P::PhosphorusDiGraph::Workspace phosphorusWork;
        for (int k = 0; k < kGroup; ++k) {
            std::memcpy(nitrogenRate[k], nitrogenWork.rate, sizeof nitrogenWork.rate);
            std::memcpy(phosphorusRate[k], phosphorusWork.rate, sizeof phosphorusWork.rate);
        }
    }
    // The cells go a few at a time: the layers of consecutive cells fill
    // the lanes of the graphs' steps, each layer with the same operations
    // in the same order as in a step of its cell alone.
    constexpr int kCells = kCellsTogether;
    for (int first = 0, last = 0; first < count; first = last) {
        // A cell given again steps again once the run that steps it ends.
        last = first + 1;
        while (last < count && last - first < kCells &&
               std::find(cells + first, cells + last, cells[last]) == cells + last)
            ++last;
        // Only a step by kept layers works in the room: a run without such
        // a cell (bound cells never keep their layers) takes none.
        int roomLayers = 0;
        bool kept = false;
        for (int c = first; c < last; ++c) {
            roomLayers += cells[c]->layerCount_;
            kept = kept || cells[c]->keptLive_;
        }
        Layer* room = !kept ? nullptr : own != nullptr ? own->take(roomLayers) : layer_room(roomLayers);
        Cell* run[kCells];
        Layer* layers[kCells];
        int counts[kCells];
        int inRun = 0;
        // Consecutive cells that step by their lean layers go together, in
        // their turn.
        Cell* lean[kCells];
        int inLean = 0;
        for (int c = first; c < last; ++c) {
            Cell* cell = cells[c];
            if (cell->leanReady()) {
                lean[inLean++] = cell;
                continue;
            }
            if (inLean > 0) stepLeanCells(e, lean, inLean);
            inLean = 0;
            Layer* l = cell->beginStep(e, room);
            if (room != nullptr) room += cell->layerCount_;
            if (l == nullptr) continue;
            run[inRun] = cell;
            layers[inRun] = l;
            counts[inRun++] = cell->layerCount_;
        }
        if (inLean > 0) stepLeanCells(e, lean, inLean);
        if (inRun == 0) continue;

        // Nitrogen: the graphs' steps, and what the layers gave shared among
        // each cell's plants. The rates and amounts are worked here; the
        // pools stay in the graphs.
        double takenUp[kCells] = {};
        const auto nitrogenReport = [&](int, const Layer& l, int owner, const StepOutcome& outcome) {
            reportStep(outcome, l.nitrogenGraph.state().topology(), "nitrogen", run[owner]->cellNumber_,
                       l.descriptor.layerNumber);
        };
        stepLanes(
            layers, counts, inRun, nitrogenRate,
            [&](int k, Layer& l, int owner, double* rate, bool* top) {
                N::NitrogenDiGraph::setFloraDemand(l.floraDemand, rate);
                top[k] = l.nitrogenGraph.topShape();
                if (!top[k]) rate[N::kRainfallNO3ToMineralNO3] = 0.0;  // a lower layer has no rain
                l.nitrogenGraph.setRates(run[owner]->context(l, e), rate);
                return l.nitrogenGraph.state().arrays().mass;
            },
            [&](int n, const bool* top, double* const* mass, double* const* rates, double* const* fluxes,
                StepOutcome* outcome) {
                // Of the amounts, only the plants' uptake is read here.
                return N::NitrogenDiGraph::stepLayers(n, top, mass, rates, fluxes, dt, outcome, false);
            },
            nitrogenReport,
            [&](int owner, const double* flux) {
                takenUp[owner] += flux[N::kMineralNH4ToFlora] + flux[N::kMineralNO3ToFlora];
            });
        for (int c = 0; c < inRun; ++c) run[c]->afterNitrogen(layers[c], takenUp[c]);

        // Phosphorus, after the nitrogen whose organic split it follows.
        const auto phosphorusReport = [&](int, const Layer& l, int owner, const StepOutcome& outcome) {
            reportStep(outcome, P::PhosphorusDiGraph::topology(), "phosphorus", run[owner]->cellNumber_,
                       l.descriptor.layerNumber);
        };
        stepLanes(
            layers, counts, inRun, phosphorusRate,
            [&](int, Layer& l, int owner, double* rate, bool*) {
                const NITROGEN::NitrogenDiGraph::State& nitrogen = l.nitrogenGraph.state();
                P::PhosphorusDiGraph::balanceOrganic(nitrogen.mass(NITROGEN::kActivePool),
                                                     nitrogen.mass(NITROGEN::kStablePool),
                                                     l.phosphorusGraph.state().masses(), rate);
                l.phosphorusGraph.setRates(run[owner]->context(l, e), rate);
                return l.phosphorusGraph.state().arrays().mass;
            },
            [&](int n, const bool*, double* const* mass, double* const* rates, double* const* fluxes,
                StepOutcome* outcome) {
                return P::PhosphorusDiGraph::stepLayers(n, mass, rates, fluxes, dt, outcome, false);
            },
            phosphorusReport, [](int, const double*) {});
        for (int c = 0; c < inRun; ++c) run[c]->finishStep(e, layers[c], true);
    }
}

}  // namespace VEGSO
