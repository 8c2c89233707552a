#include "nutrients/source/cell.hpp"

#include "nutrients/source/environment.hpp"

namespace VEGSO {

namespace {

std::vector<PlantDescriptor> plant_descriptors(const vegso_schema& schema) {
    std::vector<PlantDescriptor> out;
    out.reserve(static_cast<std::size_t>(schema.plant_count));
    for (int i = 0; i < schema.plant_count; ++i) out.emplace_back(*schema.plants[i]);
    return out;
}

// Asks for the cache lines of `bytes` bytes from `at` to be loaded for
// writing.
void prefetch_lines(const void* at, std::size_t bytes) {
    constexpr std::size_t kLine = 64;
    const char* p = static_cast<const char*>(at);
    for (std::size_t i = 0; i < bytes; i += kLine) __builtin_prefetch(p + i, 1);
}

bool is_top_layer(const vegso_layer_record& record) {
    return static_cast<int>(record.v[vegso_layer_number]) == 0;
}

}  // namespace

Cell::Layer::Layer(vegso_layer_record& r)
    : record(&r), soilLayer(descriptor), nitrogenGraph(is_top_layer(r)) {
    read();
}

void Cell::Layer::read() {
    descriptor.readFrom(*record);
    soilLayer.updateFactors();
    nitrogenCycle.readFrom(*record);
    phosphorusCycle.readFrom(*record);
    nitrogenGraph.loadPools(nitrogenCycle);
    phosphorusGraph.loadPools(phosphorusCycle);
}

void Cell::Layer::write() const {
    record->v[vegso_result] = descriptor.plantWaterUptake;
    nitrogenCycle.writeTo(*record);
    phosphorusCycle.writeTo(*record);
}

Cell::Cell(const vegso_schema& schema, int cellNumber)
    : cellNumber_(cellNumber), community_(plant_descriptors(schema), cellNumber) {
    layers_.reserve(static_cast<std::size_t>(schema.layer_count));
    for (int j = 0; j < schema.layer_count; ++j) layers_.push_back(std::make_unique<Layer>(*schema.layers[j]));
}

void Cell::setParams(const vegso_cell_params& params) {
    for (auto& l : layers_) {
        l->nitrogenCycle.nitrate.partitionCoefficient = params.v[7];
        l->nitrogenCycle.ammonium.partitionCoefficient = params.v[8];
        l->nitrogenCycle.fresh.partitionCoefficient = params.v[9];
        l->phosphorusCycle.fresh.partitionCoefficient = params.v[10];
        l->phosphorusCycle.mineralSolution.partitionCoefficient = params.v[11];
    }
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
    // The step reads and writes all of every layer and its record; asking
    // for them at once lets their loads overlap.
    for (const auto& l : layers_) {
        prefetch_lines(l.get(), sizeof(Layer));
        prefetch_lines(l->record, sizeof(vegso_layer_record));
    }
    for (auto& l : layers_) l->read();

    community_.update(e);
    for (auto& l : layers_) {
        const double water = community_.layerWaterUptake(l->descriptor) * e.period;
        l->descriptor.plantWaterUptake = water;
        l->descriptor.plantWaterUptakeCopy = water;
    }

    // Nitrogen: the plants' demand on each layer, the graphs' steps, and what
    // the layers gave shared among the plants.
    for (auto& l : layers_) l->nitrogenGraph.setFloraDemand(community_.layerNitrogenUptake(l->descriptor));
    double taken_up = 0.0;
    for (auto& l : layers_) {
        l->nitrogenGraph.step(context(*l, e), l->nitrogenCycle);
        taken_up += l->nitrogenGraph.floraUptake();
    }
    community_.distributeUptake(taken_up);
    community_.nutrientMass = community_.totalNutrientMass();
    for (auto& l : layers_) l->nitrogenCycle.partition(l->descriptor);

    // Phosphorus, after the nitrogen whose organic split it follows.
    for (auto& l : layers_) {
        const ProcessContext c = context(*l, e);
        l->phosphorusGraph.balanceOrganic(c);
        l->phosphorusGraph.step(c, l->phosphorusCycle);
    }
    for (auto& l : layers_) l->phosphorusCycle.partition(l->descriptor);

    community_.updateConstraints(e);
    for (auto& l : layers_) l->write();
}

}  // namespace VEGSO
