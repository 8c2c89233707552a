// One soil column of the library: its plants and, per soil layer, the layer's
// values, its water and temperature factors, and its nitrogen and phosphorus
// cycles with their graphs. The cell works on layer records that it does not
// own: it reads them at the start of each step and writes them back at its
// end. A bound cell works on the caller's storage of its water and pools
// instead, and reads its layer values from the records only when bound: its
// pools go from that storage into the graphs and back, and its cycle
// descriptors keep only the pools' partition. Once such a cell without
// plants has stepped with its partition, its steps go by its lean layers
// (what persists of each layer, side by side) and the caller's storage
// alone. Likewise a cell on its records, once it has stepped with its
// partition, steps by its kept layers and its records: the rest of each
// layer is worked in copies in a room (its thread's, or the caller's for
// the part of the cells it steps), so that a step reads and writes little
// more of the cell than its records.
#pragma once

#include <limits>
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
class LayerRoom;

class Cell {
public:
    // Plants from the schema's plant descriptors, layers from its layer
    // records (none of them null), which must outlive the cell.
    // `cellNumber` names the cell in warnings.
    Cell(const vegso_schema& schema, int cellNumber);
    Cell(const Cell&) = delete;
    Cell& operator=(const Cell&) = delete;

    void setParams(const vegso_cell_params& params);
    // Binds the cell to the caller's storage (copied) and takes the layer
    // values from the records; null returns the cell to its records.
    void bind(const vegso_cell_binding* binding);
    // Reads the layer records (or the bound storage); steps the plants, then
    // the nitrogen graphs, shares the nitrogen taken up among the plants,
    // steps the phosphorus graphs and updates the plants' growth
    // constraints; writes the layer records back (or the pools into the
    // bound storage).
    void step(const Environment& e);

    struct KeptPartition;

    struct Layer {
        Layer() : soilLayer(descriptor), nitrogenGraph(false) {}
        Layer(const Layer&) = delete;
        Layer& operator=(const Layer&) = delete;
        // Takes the layer record, which must outlive the layer, and reads it.
        void attach(vegso_layer_record& record);
        // Takes the layer's values and pool masses from its record, and the
        // pools' partition unless `massesOnly` (a step computes it anew when
        // it is due). The masses go into the graphs, and into the cycle
        // descriptors unless `massesOnly`.
        void read(bool massesOnly);
        // Whether the pools' partition is to be computed anew: when `stale`
        // or when the layer values it depends on changed since the last.
        bool partitionDue(bool stale);
        // Writes the water taken up, the graphs' pool masses and the pools'
        // partition as last computed (each pool's sorbed share at
        // sorbed[i]).
        void write() const { write(sorbed); }
        void write(const double* sorbed) const;
        // The same from a kept partition.
        void write(const KeptPartition& partition) const;
        // The cycle descriptors' partition into `sorbed`, after a partition.
        void keepPartition();
        // The graphs' pool masses into the cycle descriptors.
        void storeCycles();
        // Takes the layer's water from layer j of the bound storage and its
        // pool masses into the graphs.
        void readBound(const vegso_cell_binding& b, int j);
        // The graph's mass of pool i of a binding (vegso_pool).
        double boundMass(int i) const;
        // f(pool record, its vegso_pool) for every pool, in the binding's
        // order.
        template <class F>
        void forPools(F f);

        // What every step reads and writes first, side by side: a step
        // touches of its graphs only the pools (their rates and amounts are
        // worked in a workspace), and the cycle descriptors below only when
        // it partitions its pools (or its graphs are not of the library's
        // shapes).
        vegso_layer_record* record = nullptr;
        SoilLayerDescriptor descriptor;
        SoilLayer soilLayer;
        // The porosity, organic carbon and solid density of the last
        // partition, and whether this step partitions.
        double partitionInputs[3] = {std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::quiet_NaN(),
                                     std::numeric_limits<double>::quiet_NaN()};
        bool partitionNow = true;
        double floraDemand = 0.0;  // the plants' nitrogen demand on the layer in this step
        // Each pool's sorbed share as last partitioned (vegso_pool order):
        // its dissolved share is 1 less it and its total their sum, as
        // PoolRecord::partition makes them. A step on the records writes
        // the partition from here and the masses from the graphs, and
        // leaves the cycle descriptors alone.
        double sorbed[vegso_pool_count] = {};
        NITROGEN::NitrogenDiGraph nitrogenGraph;
        PHOSPHORUS::PhosphorusDiGraph phosphorusGraph;
        NitrogenCycleDescriptor nitrogenCycle;
        PhosphorusCycleDescriptor phosphorusCycle;
    };

    // What a bound cell without plants steps of a layer besides the caller's
    // storage, once it has stepped after its binding or new coefficients
    // (its layer values then stay as they were bound and its partition as
    // computed): the rates' steady values, the water content of the last
    // step, and the graphs' pools that the binding does not hold. Its steps
    // then touch neither the layers nor their graphs.
    static constexpr int kLeanNitrogenPools = NITROGEN::kPoolCount - 5;
    static constexpr int kLeanPhosphorusPools = PHOSPHORUS::kPoolCount - 6;
    struct LeanLayer {
        NITROGEN::SteadyLayer steady;
        double thickness;     // m
        double waterContent;  // volumetric, of the last step
        double nitrogen[kLeanNitrogenPools];
        double phosphorus[kLeanPhosphorusPools];
        int layerNumber;
        bool top;
    };

    // What a lean step reads of the binding, and the cell's number and
    // layers, in one place.
    struct LeanHead {
        const double* waterContent;
        double* pools[vegso_pool_count];
        double unit;
        double* made;
        double* used;
        int cellNumber;
        int layerCount;
    };
    // Room for the heads and lean layers of cells first bound one after
    // another, one after another: a loop over the cells in that order
    // streams through them. Shared by the cells that took room in it.
    struct LeanBlock;
    // Room for the layers of cells made one after another.
    struct LayerBlock;

    int layerCount() const { return layerCount_; }
    // The layer as the cell last stepped it. A bound cell that steps from
    // its lean layers gives them to the layer first: its graphs then hold
    // the pools of the caller's storage (in the records' unit), and its
    // values the water of the last step. A cell on its records that steps
    // from its kept layers gives them to the layer first: its values, the
    // water taken up and the pools its record holds are then those of the
    // record as it is now. Not to be called while another thread steps the cell or looks
    // at its layers.
    const Layer& layer(int index) const;
    const PlantCommunity& plants() const { return community_; }

    // Steps `count` cells in the order given, each with the results of its
    // own `step`: the layers of consecutive cells go side by side into the
    // graphs' steps. A cell given twice steps twice, in turn. None may be
    // stepped by another thread meanwhile. The copies of the layers of the
    // cells stepped together are worked in `room` (null: the calling
    // thread's own).
    static void stepCells(const Environment& e, Cell* const* cells, int count, LayerRoom* room = nullptr);
    // The most cells whose layers a step works on together.
    static constexpr int kCellsTogether = 4;

    // A partition of a layer's pools: the porosity, organic carbon and
    // solid density it was computed for, and each pool's sorbed share.
    // The kept layers of one partition (of one soil and partition
    // coefficients) share it.
    struct KeptPartition {
        double inputs[3];
        double sorbed[vegso_pool_count];
        // The partition as a record lays it out after each pool's mass: the
        // pool's dissolved, sorbed and total shares at 4 i + 1, 4 i + 2 and
        // 4 i + 3 (4 i is unused).
        double laid[4 * vegso_pool_count];
    };
    // What persists of a layer between the steps of a cell on its records
    // whose partition stays as it is: such a step fills copies of the layers
    // (in its thread's room) from these and the records, and of the cell's
    // own layers touches nothing. The record's pools and values are read
    // anew each step; the graphs' other pools and the partition are kept
    // here.
    struct KeptLayer {
        vegso_layer_record* record;
        const KeptPartition* partition;
        double nitrogen[kLeanNitrogenPools];
        double phosphorus[kLeanPhosphorusPools];
        bool top;
    };

private:
    ProcessContext context(const Layer& layer, const Environment& e) const;
    // The start of a step: the layers read (from the records, the bound
    // storage or the kept layers into `room`, which has room for the
    // cell's layers), the plants stepped and their demand on each layer
    // set. Returns the layers the rest of the step works on (the cell's
    // own, or `room`), or null when the cell has stepped whole (layer by
    // layer, where a graph is not of the library's shapes). Not for a cell
    // that is leanReady, which steps by stepLeanCells.
    Layer* beginStep(const Environment& e, Layer* room);
    // The nitrogen `takenUp` from all layers shared among the plants, and
    // the nitrogen pools partitioned where due.
    void afterNitrogen(Layer* layers, double takenUp);
    // The phosphorus pools partitioned where due, the plants' growth
    // constraints, the layers written back, and what the next step goes by.
    void finishStep(const Environment& e, Layer* layers, bool own);
    // The kept layers into `room` for a step, while every record's
    // porosity, organic carbon and solid density are those of its kept
    // partition; returns whether they all are (where not, `room` holds
    // nothing of use).
    bool loadKept(Layer* room) const;
    // What persists of `layers` into the kept layers: all of it, or (after
    // a step over kept layers) what such a step changes. Returns false when
    // a partition found no room to be kept (the cell then steps over its
    // own layers).
    bool takeKept(const Layer* layers, bool whole);
    // The kept layers and the records into the cell's own layers.
    void giveKept() const;
    // Leaves the graphs' pool masses in the bound storage, adding their
    // changes to its tallies, and their dissolved shares when
    // `partitioned`.
    void writeBound(bool partitioned);
    // Whether the cell's next step goes by its lean layers.
    bool leanReady() const { return leanLive_ && bound_ && !partitionStale_; }
    // That step of `count` distinct cells in turn, the layers of one cell
    // after another side by side in the graphs' steps.
    static void stepLeanCells(const Environment& e, Cell* const* cells, int count);
    // That step of `count` layers: layer index[k] of the cell whose head is
    // heads[k] and whose lean layer is lean[k].
    static void stepLeanGroup(const Environment& e, const LeanHead* const* heads, const int* index,
                              LeanLayer* const* lean, int count, NITROGEN::NitrogenDiGraph::Workspace& nitrogenWork,
                              PHOSPHORUS::PhosphorusDiGraph::Workspace& phosphorusWork);
    // The lean layers from the layers, after a step over them.
    void takeLean();
    // The lean layers' pools and water into the layers (their graphs and
    // values): what a step over the layers, or a look at them, needs; with
    // the pools of the caller's storage when `withPools`.
    void giveLean(bool withPools) const;

    // What every step reads first, side by side.
    // Whether the steps go by the lean layers (they, not the layers, then
    // hold what persists).
    bool leanLive_ = false;
    // Whether the steps go by the kept layers (likewise).
    bool keptLive_ = false;
    bool bound_ = false;
    // The pools' partition between water and solids depends only on the
    // layer values and the partition coefficients: a bound cell computes it
    // again only after a binding or new coefficients, a cell on its records
    // also when a layer's values change.
    bool partitionStale_ = true;
    LeanHead* leanHead_ = nullptr;
    LeanLayer* lean_ = nullptr;  // the cell's lean layers, side by side
    std::unique_ptr<KeptLayer[]> kept_;
    std::shared_ptr<LeanBlock> leanBlock_;

    int cellNumber_;
    PlantCommunity community_;
    int layerCount_ = 0;
    // The layers side by side, in a block of the layers of many cells: a
    // cell that steps by its kept layers does not touch them, and they then
    // lie apart from what its steps read.
    Layer* layers_ = nullptr;
    std::shared_ptr<LayerBlock> layerBlock_;
    Layer* begin() { return layers_; }
    Layer* end() { return layers_ + layerCount_; }
    const Layer* begin() const { return layers_; }
    const Layer* end() const { return layers_ + layerCount_; }
    vegso_cell_binding binding_{};
};

// Room for the copies of the layers of the cells that a step works on
// together; it grows to the most layers asked for and is not given back. A
// room is used by one thread at a time.
class LayerRoom {
public:
    LayerRoom() = default;
    // Room for `layers` layers at once.
    explicit LayerRoom(int layers) { take(layers); }
    // Room for `layers` layers, kept for the next call.
    Cell::Layer* take(int layers) {
        if (size_ < layers) {
            layer_.reset(new Cell::Layer[static_cast<std::size_t>(layers)]);
            size_ = layers;
        }
        return layer_.get();
    }

private:
    std::unique_ptr<Cell::Layer[]> layer_;
    int size_ = 0;
};

}  // namespace VEGSO
