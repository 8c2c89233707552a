// One soil column of the library: its plants and, per soil layer, the layer's
// values, its water and temperature factors, and its nitrogen and phosphorus
// cycles with their graphs. The cell works on layer records that it does not
// own: it reads them at the start of each step and writes them back at its
// end.
#pragma once

#include <memory>
#include <vector>

#include "nutrients/source/nitrogen_graph.hpp"
#include "nutrients/source/phosphorus_graph.hpp"
#include "nutrients/source/plant.hpp"
#include "nutrients/source/soil_layer.hpp"
#include "nutrients/source/soil_schema.hpp"
#include "nutrients/source/vegso_interface.hpp"

namespace VEGSO {

class Environment;

class Cell {
public:
    // Plants from the schema's plant descriptors, layers from its layer
    // records (none of them null), which must outlive the cell.
    // `cellNumber` names the cell in warnings.
    Cell(const vegso_schema& schema, int cellNumber);
    Cell(const Cell&) = delete;
    Cell& operator=(const Cell&) = delete;

    void setParams(const vegso_cell_params& params);
    // Reads the layer records; steps the plants, then the nitrogen graphs,
    // shares the nitrogen taken up among the plants, steps the phosphorus
    // graphs and updates the plants' growth constraints; writes the layer
    // records back.
    void step(const Environment& e);

    struct Layer {
        explicit Layer(vegso_layer_record& record);
        Layer(const Layer&) = delete;
        Layer& operator=(const Layer&) = delete;
        // Takes the layer's values and pool masses from its record.
        void read();
        // Writes the water taken up and the nitrogen and phosphorus pools.
        void write() const;

        vegso_layer_record* record;
        SoilLayerDescriptor descriptor;
        SoilLayer soilLayer;
        NitrogenCycleDescriptor nitrogenCycle;
        NITROGEN::NitrogenDiGraph nitrogenGraph;
        PhosphorusCycleDescriptor phosphorusCycle;
        PHOSPHORUS::PhosphorusDiGraph phosphorusGraph;
    };

    int layerCount() const { return static_cast<int>(layers_.size()); }
    const Layer& layer(int index) const { return *layers_[index]; }
    const PlantCommunity& plants() const { return community_; }

private:
    ProcessContext context(const Layer& layer, const Environment& e) const;

    int cellNumber_;
    PlantCommunity community_;
    std::vector<std::unique_ptr<Layer>> layers_;
};

}  // namespace VEGSO
